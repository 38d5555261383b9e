#include "modules/clipboard/clipboard_view.h"

#include "modules/surface_stage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

using namespace nimbra;
using nimbra::test::pngBytes;
using namespace nimbra::test;

namespace {

const NotchTheme dark = NotchTheme::dark();
const NotchTheme light { false, ClockFont::lockScreen };

ClipboardItem item(ClipboardItem::Payload payload, std::optional<QString> source = std::nullopt, bool pinned = false)
{
    return { QUuid::createUuid(), std::move(payload), std::move(source), QDateTime::currentDateTime(), pinned };
}

ClipboardItem text(const QString& t, std::optional<QString> source = std::nullopt, bool pinned = false)
{
    return item(ClipboardItem::Payload::text(t), std::move(source), pinned);
}

// A surface of the default size, or a tall one that shows five rows.
SurfaceMetrics metrics(double scale = 1)
{
    return SurfaceMetrics(QSizeF(360 * scale, 124 * scale), 32 * scale, 185 * scale);
}
SurfaceMetrics tall(double scale = 1)
{
    return SurfaceMetrics(QSizeF(400 * scale, 260 * scale), 32 * scale, 185 * scale);
}

QSizeF contentSize(const SurfaceMetrics& m)
{
    return QSizeF(m.size().width(), m.contentHeight());
}

QList<ClipboardItem> sampleHistory()
{
    return { text("https://example.org/a/long/path/that/keeps/going", "org.mozilla.firefox"),
        item(
            ClipboardItem::Payload::image(pngBytes(40, 20, QColor(40, 160, 90)), QSizeF(40, 20)), "org.gnome.Shotwell"),
        item(ClipboardItem::Payload::files({ QUrl("file:///home/me/Report.pdf") }), "org.gnome.Nautilus", true),
        text("Meeting notes\nsecond line", "code"), text("One more") };
}

} // namespace

TEST(ClipboardView, GlyphsAndApplicationNames)
{
    EXPECT_EQ(ClipboardView::glyph(text("http://x")), "link");
    EXPECT_EQ(ClipboardView::glyph(text("https://x")), "link");
    EXPECT_EQ(ClipboardView::glyph(text("HTTP://x")), "text.alignleft");
    EXPECT_EQ(ClipboardView::glyph(text(" http://x")), "text.alignleft");
    EXPECT_EQ(ClipboardView::glyph(item(ClipboardItem::Payload::image("x", QSizeF(1, 1)))), "photo");
    EXPECT_EQ(ClipboardView::glyph(item(ClipboardItem::Payload::files({ QUrl("file:///a") }))), "doc.fill");

    EXPECT_EQ(ClipboardView::applicationName(std::nullopt), std::nullopt);
    EXPECT_EQ(ClipboardView::applicationName(QString("org.example.NoSuchEditor")), "NoSuchEditor");
    EXPECT_EQ(ClipboardView::applicationName(QString("org.example.")), "example");
    EXPECT_EQ(ClipboardView::applicationName(QString("...")), std::nullopt);

    EXPECT_FALSE(ClipboardView::showsApplicationNames(SurfaceMetrics(QSizeF(360, 32 + 65), 32, 185)));
    EXPECT_TRUE(ClipboardView::showsApplicationNames(SurfaceMetrics(QSizeF(360, 32 + 66), 32, 185)));
}

TEST(ClipboardView, EmptyStatesAndTheCountOfMatches)
{
    Stage stage(dark, contentSize(metrics()));
    auto* empty = stage.make<ClipboardView>(QList<ClipboardItem> {}, metrics(), QString(), std::nullopt,
        ClipboardView::Actions {}, ClipboardView::Thumbnails {});
    EXPECT_EQ(empty->emptySymbol(), "doc.on.clipboard");
    EXPECT_EQ(empty->emptyText(), "Nothing copied yet");
    EXPECT_FALSE(empty->list()->isVisible());
    const QImage nothing = stage.render();
    saveArtefact(nothing, "clipboard-empty-dark");
    delete empty;

    auto* noMatch = stage.make<ClipboardView>(QList<ClipboardItem> {}, metrics(), QString(" "), std::nullopt,
        ClipboardView::Actions {}, ClipboardView::Thumbnails {});
    EXPECT_EQ(noMatch->emptySymbol(), "magnifyingglass");
    EXPECT_EQ(noMatch->emptyText(), "No matches");
    EXPECT_EQ(noMatch->countText(), "0");
    // The empty state's grey text shows below the search bar.
    const QImage none = stage.render();
    const QColor grey = over(dark.secondaryText(0.4), dark.surface());
    EXPECT_GT(countNear(none, QRectF(0, 40, 360, 52), grey, 20), 20);
    delete noMatch;

    auto* three = stage.make<ClipboardView>(sampleHistory().mid(0, 3), metrics(), QString("e"), std::nullopt,
        ClipboardView::Actions {}, ClipboardView::Thumbnails {});
    EXPECT_EQ(three->countText(), "3") << "the count is the number listed, not the history's size";
}

TEST(ClipboardView, RendersRowsAtEveryScaleInBothThemes)
{
    for (const double scale : { 0.8, 1.0, 1.6 }) {
        for (const NotchTheme& theme : { dark, light }) {
            const SurfaceMetrics m = tall(scale);
            const QList<ClipboardItem> items = sampleHistory();
            Stage stage(theme, contentSize(m));
            auto* view = stage.make<ClipboardView>(
                items, m, QString(), items[1].id, ClipboardView::Actions {}, ClipboardView::Thumbnails {});
            QCoreApplication::processEvents();
            const QImage image = stage.render();
            const QString name = QStringLiteral("clipboard-%1-%2").arg(theme.isDark ? "dark" : "light").arg(scale);
            saveArtefact(image, name);

            // The selected row is tinted with the accent; the first row is not.
            QColor selected = theme.accent();
            selected.setAlphaF(0.26f);
            const QRectF second = view->list()->rowRect(1).translated(view->list()->pos());
            const QRectF first = view->list()->rowRect(0).translated(view->list()->pos());
            const QColor tint = over(selected, theme.surface());
            EXPECT_GT(countNear(image, second, tint, 6), second.width() * second.height() * 0.3) << name.toStdString();
            EXPECT_EQ(countNear(image, first, tint, 6), 0) << name.toStdString();
            // The image entry shows its picture, green.
            EXPECT_GT(countNear(image, second, QColor(40, 160, 90), 12), 20) << name.toStdString();
            // The pinned entry shows the accent pin mark at its end.
            const QRectF third = view->list()->rowRect(2).translated(view->list()->pos());
            const QRectF end(third.right() - third.width() * 0.15, third.top(), third.width() * 0.15, third.height());
            EXPECT_GT(countNear(image, end, theme.accent(), 40), 3) << name.toStdString();
            // Preview text in the theme's text colour.
            EXPECT_GT(countNear(image, first, theme.primaryText(), 40), 10) << name.toStdString();
        }
    }
}

TEST(ClipboardView, TheSearchTextIsReadableOnTheLightSurface)
{
    Stage stage(light, contentSize(metrics()));
    auto* view = stage.make<ClipboardView>(QList<ClipboardItem> {}, metrics(), QString("WWWWW"), std::nullopt,
        ClipboardView::Actions {}, ClipboardView::Thumbnails {});
    QCoreApplication::processEvents();
    const QImage image = stage.render();
    saveArtefact(image, "clipboard-search-light");
    const QRectF field = QRectF(view->searchField()->geometry());
    EXPECT_GT(countNear(image, field, light.primaryText(), 60), 15) << "dark text on the light surface";
    EXPECT_EQ(countNear(image, field, Qt::white, 10), 0) << "no white text";
    EXPECT_EQ(view->searchField()->palette().color(QPalette::PlaceholderText), light.secondaryText(0.35));
}

TEST(ClipboardView, HoverButtonsClicksAndTyping)
{
    const QList<ClipboardItem> items = sampleHistory();
    QStringList calls;
    ClipboardView::Actions actions;
    actions.onPaste = [&](const QUuid& id) { calls << "paste " + id.toString(); };
    actions.onCopy = [&](const QUuid& id) { calls << "copy " + id.toString(); };
    actions.onDelete = [&](const QUuid& id) { calls << "delete " + id.toString(); };
    actions.onTogglePin = [&](const QUuid& id) { calls << "pin " + id.toString(); };
    actions.onClear = [&] { calls << "clear"; };
    actions.onQueryChange = [&](const QString& q) { calls << "query " + q; };
    Stage stage(dark, contentSize(tall()));
    auto* view
        = stage.make<ClipboardView>(items, tall(), QString(), items[0].id, actions, ClipboardView::Thumbnails {});
    ClipboardList* list = view->list();

    // No buttons until the pointer rests on a row; the selected row shows none by itself.
    EXPECT_EQ(list->hoveredRow(), -1);
    EXPECT_FALSE(list->buttonAt(0, list->buttonRect(0, ClipboardList::Button::copy).center()));
    const QPoint onRow = list->rowRect(2).center().toPoint();
    QTest::mouseMove(list, onRow);
    ASSERT_EQ(list->hoveredRow(), 2);
    saveArtefact(stage.render(), "clipboard-hovered-pinned-row");
    EXPECT_EQ(list->toolTipAt(onRow), "Paste into what you were doing");
    EXPECT_EQ(list->toolTipAt(list->buttonRect(2, ClipboardList::Button::pin).center()), "Unpin") << "a pinned entry";
    QTest::mouseMove(list, list->rowRect(1).center().toPoint());
    EXPECT_EQ(list->toolTipAt(list->buttonRect(1, ClipboardList::Button::pin).center()), "Keep this one");
    EXPECT_EQ(list->toolTipAt(list->buttonRect(1, ClipboardList::Button::copy).center()), "Copy without pasting");
    EXPECT_EQ(list->toolTipAt(list->buttonRect(1, ClipboardList::Button::remove).center()), "Remove");

    QTest::mouseClick(list, Qt::LeftButton, {}, list->rowRect(1).center().toPoint());
    QTest::mouseClick(list, Qt::LeftButton, {}, list->buttonRect(1, ClipboardList::Button::copy).center().toPoint());
    QTest::mouseClick(list, Qt::LeftButton, {}, list->buttonRect(1, ClipboardList::Button::pin).center().toPoint());
    QTest::mouseClick(list, Qt::LeftButton, {}, list->buttonRect(1, ClipboardList::Button::remove).center().toPoint());
    QTest::mouseClick(view->clearButton(), Qt::LeftButton);
    const QString id = items[1].id.toString();
    EXPECT_EQ(calls, (QStringList { "paste " + id, "copy " + id, "pin " + id, "delete " + id, "clear" }));
    EXPECT_EQ(view->clearButton()->toolTip(), "Clear everything except pinned items");

    calls.clear();
    QTest::keyClicks(view->searchField(), "ab");
    EXPECT_EQ(calls, (QStringList { "query a", "query ab" }));
    QTest::mouseMove(list, QPoint(list->width() / 2, list->height() + 40));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(list, &leave);
    EXPECT_EQ(list->hoveredRow(), -1);
}

TEST(ClipboardView, ANewSelectionScrollsToTheCentreAnUnchangedOneDoesNot)
{
    QList<ClipboardItem> items;
    for (int i = 0; i < 40; ++i)
        items << text(QStringLiteral("Entry %1").arg(i));
    const SurfaceMetrics m = metrics();
    Stage stage(dark, contentSize(m));
    auto* view = stage.make<ClipboardView>(
        items, m, QString(), items[0].id, ClipboardView::Actions {}, ClipboardView::Thumbnails {});
    ClipboardList* list = view->list();
    EXPECT_EQ(list->scrollOffset(), 0);

    ClipboardView next(items, m, QString(), items[20].id, ClipboardView::Actions {});
    view->adopt(next);
    EXPECT_TRUE(list->isScrollAnimating());
    ASSERT_TRUE(waitUntil([&] { return !list->isScrollAnimating(); }, 2000));
    const QRectF row = list->rowRect(20);
    EXPECT_NEAR(row.center().y(), list->height() / 2.0, 1.0) << "the selected row sits in the middle";

    // A notch of the wheel moves one whole row; rebuilt with the same selection, the list
    // stays where the user scrolled it.
    QWheelEvent notch(QPointF(10, 10), list->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, 120), Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(list, &notch);
    ASSERT_TRUE(waitUntil([&] { return !list->isScrollAnimating(); }, 2000));
    const double scrolled = list->scrollOffset();
    EXPECT_DOUBLE_EQ(scrolled, 20 * list->rowPitch() - list->rowPitch());
    ClipboardView same(items, m, QString(), items[20].id, ClipboardView::Actions {});
    view->adopt(same);
    EXPECT_FALSE(list->isScrollAnimating());
    EXPECT_EQ(list->scrollOffset(), scrolled);

    // Only what is on screen is painted, however long the list.
    stage.render();
    EXPECT_LE(list->rowsPainted(), int(list->height() / list->rowPitch()) + 2);
}

TEST(ClipboardView, AdoptingKeepsTheSearchFieldAndItsCursor)
{
    Stage stage(dark, contentSize(metrics()));
    auto* view = stage.make<ClipboardView>(sampleHistory(), metrics(), QString("on"), std::nullopt,
        ClipboardView::Actions {}, ClipboardView::Thumbnails {});
    ClipboardSearchField* field = view->searchField();
    field->setCursorPosition(1);
    ClipboardView fresh(sampleHistory().mid(3), metrics(), QString("on"), std::nullopt, ClipboardView::Actions {});
    view->adopt(fresh);
    EXPECT_EQ(view->searchField(), field);
    EXPECT_EQ(field->cursorPosition(), 1);
    EXPECT_EQ(view->items().size(), 2);
    EXPECT_EQ(view->countText(), "2");
}

TEST(ClipboardView, AtRestNoRowIsCutThroughItsTextAndTheListGoesOnFaintly)
{
    QList<ClipboardItem> items;
    for (int i = 0; i < 12; ++i)
        items << text(QStringLiteral("Entry number %1 with words").arg(i), QStringLiteral("org.example.Editor"));
    // Surfaces of many heights, so that the rows' fonts and the room left fall every way.
    QList<SurfaceMetrics> sizes;
    for (double height = 100; height <= 230; height += 13)
        sizes << SurfaceMetrics(QSizeF(380, height), 32, 185);
    sizes << metrics(0.8) << metrics(1.6);
    for (const SurfaceMetrics& m : sizes) {
        Stage stage(dark, contentSize(m));
        auto* view = stage.make<ClipboardView>(
            items, m, QString(), items[0].id, ClipboardView::Actions {}, ClipboardView::Thumbnails {});
        ClipboardList* list = view->list();
        const QString name = QStringLiteral("clipboard-rows-%1x%2").arg(m.size().width()).arg(m.size().height());
        const QRectF shown = QRectF(list->rect()).translated(list->pos());
        // At the top, after a wheel notch down, and with a later row selected.
        for (int step = 0; step < 3; ++step) {
            if (step == 1) {
                QWheelEvent down(QPointF(10, 10), list->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, -120),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
                QCoreApplication::sendEvent(list, &down);
            } else if (step == 2) {
                ClipboardView next(items, m, QString(), items[7].id, ClipboardView::Actions {});
                view->adopt(next);
            }
            ASSERT_TRUE(waitUntil([&] { return !list->isScrollAnimating(); }, 2000));
            const QImage image = stage.render();
            const std::string where = name.toStdString() + " step " + std::to_string(step);
            int whole = 0;
            double wholeBottom = shown.top();
            for (int i = 0; i < items.size(); ++i) {
                const QRectF row = list->rowRect(i).translated(list->pos());
                const QRectF visible = row.intersected(shown);
                if (visible.isEmpty())
                    continue;
                const int textPixels = countNear(image, visible, dark.primaryText(), 60);
                if (visible.height() >= row.height() - 0.5) {
                    ++whole;
                    wholeBottom = row.bottom();
                    EXPECT_GT(textPixels, 10) << where << " row " << i;
                } else {
                    EXPECT_EQ(textPixels, 0) << where << ": row " << i << " is cut through its text";
                }
                if (step == 2 && i == 7) {
                    EXPECT_EQ(visible, row) << where << ": the selected row shows whole";
                }
            }
            EXPECT_GE(whole, 1) << where;
            saveArtefact(image, name + QStringLiteral("-%1").arg(step));
            // The list goes on below: the next row's well shows faintly under the whole ones.
            const QRectF below(shown.left(), wholeBottom, shown.width(), shown.bottom() - wholeBottom);
            if (below.height() >= 6) {
                const QColor well = over(dark.well(0.14), dark.surface());
                EXPECT_EQ(countNear(image, below, well, 3), 0) << where << ": not at full strength";
                EXPECT_LT(countNear(image, below, dark.surface(), 1), below.width() * below.height() * 4) << where;
            }
        }
    }
}

TEST(ClipboardView, ATextStackedWithCombiningMarksStaysInItsRow)
{
    // Copied "zalgo" text: each letter carries marks far above and below its line.
    QString stacked = QStringLiteral("tal");
    stacked += QString(30, QChar(0x0301)) + QStringLiteral("l t") + QString(30, QChar(0x0316));
    stacked += QStringLiteral("ext");
    const auto render = [](const QString& middle) {
        const SurfaceMetrics m = tall();
        const QList<ClipboardItem> items { text("above it"), text(middle), text("below it") };
        Stage stage(dark, contentSize(m));
        auto* view = stage.make<ClipboardView>(
            items, m, QString(), std::nullopt, ClipboardView::Actions {}, ClipboardView::Thumbnails {});
        QCoreApplication::processEvents();
        const QImage image = stage.render();
        const QPointF at = view->list()->pos();
        return std::tuple { image, view->list()->rowRect(0).translated(at).toRect(),
            view->list()->rowRect(2).translated(at).toRect() };
    };
    const auto [plain, firstRow, lastRow] = render(QStringLiteral("tall text"));
    const auto [marked, firstRowThere, lastRowThere] = render(stacked);
    saveArtefact(marked, "clipboard-stacked-marks");
    ASSERT_EQ(firstRow, firstRowThere);
    ASSERT_EQ(lastRow, lastRowThere);
    EXPECT_EQ(marked.copy(firstRow), plain.copy(firstRow)) << "the row above is untouched";
    EXPECT_EQ(marked.copy(lastRow), plain.copy(lastRow)) << "the row below is untouched";
}
