#include "modules/shelf/shelf_tile.h"
#include "modules/shelf/shelf_view.h"
#include "platform/thumbnails/file_thumbnails.h"

#include "modules/surface_stage.h"

#include <QDrag>
#include <QEnterEvent>
#include <QFile>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

const NotchTheme dark = NotchTheme::dark();
const NotchTheme light { false, ClockFont::lockScreen };

SurfaceMetrics metrics(double w, double h, double notch = 32)
{
    return SurfaceMetrics(QSizeF(w, h), notch, 185);
}

// Files of the test's own and a thumbnail cache that makes their pictures without a service.
struct Files {
    QTemporaryDir dir;
    FileThumbnails thumbnails { FileThumbnails::Options {
        .cacheRoot = dir.path() + "/thumbnails", .bus = std::nullopt, .useService = false, .threads = 2 } };

    ShelfItem picture(const QString& name, const QColor& colour)
    {
        QImage image(400, 300, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = dir.path() + "/" + name;
        EXPECT_TRUE(image.save(path, "png"));
        return ShelfItem(QUuid::createUuid(), QUrl::fromLocalFile(path), QDateTime::currentDateTimeUtc());
    }
    ShelfItem document(const QString& name)
    {
        const QString path = dir.path() + "/" + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("%PDF-1.1\n");
        return ShelfItem(QUuid::createUuid(), QUrl::fromLocalFile(path), QDateTime::currentDateTimeUtc());
    }
    // Asks for every picture and waits until all are made (or failed).
    void prepare(const QList<ShelfItem>& items, const SurfaceMetrics& m)
    {
        for (const ShelfItem& item : items)
            thumbnails.image(item.url, ShelfView::tileSide(m), 2);
        EXPECT_TRUE(waitUntil([&] { return thumbnails.isIdle(); }, 20000));
    }
};

struct Calls {
    QList<QString> log;
    ShelfView::Actions actions()
    {
        return { [this](const QUuid& id) { log << "toggle " + id.toString(); }, [this] { log << "begin"; },
            [this] { log << "cancel"; }, [this] { log << "all"; }, [this] { log << "delete"; },
            [this](const QUuid& id) { log << "remove " + id.toString(); },
            [this](const QUuid& id) { log << "reveal " + id.toString(); },
            [this](const QUuid& id) { log << "vanished " + id.toString(); } };
    }
};

ShelfView* makeView(Stage& stage, Files& files, const ShelfView::State& state, const SurfaceMetrics& m, Calls& calls)
{
    return stage.make<ShelfView>(state, m, calls.actions(), files.thumbnails);
}

QRectF within(const QWidget* child, const QWidget* ancestor, QRectF r)
{
    return r.translated(child->mapTo(ancestor, QPoint(0, 0)));
}

void hover(QWidget* widget)
{
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), widget->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(widget, &enter);
}

} // namespace

TEST(ShelfView, SizesAndTitles)
{
    EXPECT_EQ(Shelf::moduleID.rawValue, "shelf");
    EXPECT_NEAR(ShelfView::tileSide(metrics(360, 124)), 92 * 0.52, 1e-9);
    EXPECT_EQ(ShelfView::tileSide(metrics(360, 32 + 50)), 40);
    EXPECT_EQ(ShelfView::tileSide(metrics(620, 32 + 200)), 96);

    EXPECT_EQ(ShelfView::countTitle(1), "1 file");
    EXPECT_EQ(ShelfView::countTitle(2), "2 files");
    EXPECT_EQ(ShelfView::countTitle(0), "0 files");
    EXPECT_EQ(ShelfView::selectionTitle(0), "Select files");
    EXPECT_EQ(ShelfView::selectionTitle(3), "3 selected");
    EXPECT_EQ(ShelfView::selectAllTitle(3, 3), "None");
    EXPECT_EQ(ShelfView::selectAllTitle(3, 2), "All");
    EXPECT_EQ(ShelfView::selectAllTitle(0, 0), "All");
}

TEST(ShelfView, EmptyShelfInvitesADrop)
{
    Files files;
    Calls calls;
    for (const NotchTheme& theme : { dark, light }) {
        const QString themeName = theme.isDark ? "dark" : "light";
        const SurfaceMetrics m = metrics(360, 124);
        Stage idle(theme, QSizeF(360, m.contentHeight()));
        ShelfView* view = makeView(idle, files, {}, m, calls);
        const QImage waiting = idle.render();
        saveArtefact(waiting, "shelf-empty-" + themeName);
        // Only the invitation: no header, no strip.
        EXPECT_FALSE(view->strip()->isVisible());
        EXPECT_FALSE(view->chooseButton()->isVisible());
        EXPECT_EQ(countNear(waiting, QRectF(0, 0, 360, m.contentHeight()), theme.accent(), 30), 0);
        // The grey title and the caption below it.
        EXPECT_GT(countNear(waiting, QRectF(0, 0, 360, m.contentHeight()),
                      over(theme.secondaryText(0.45), theme.surface()), 12),
            20);

        Stage receiving(theme, QSizeF(360, m.contentHeight()));
        makeView(receiving, files, { .isReceiving = true }, m, calls);
        const QImage hovered = receiving.render();
        saveArtefact(hovered, "shelf-empty-receiving-" + themeName);
        // The symbol and the dashed outline turn to the accent colour; along the left edge of the
        // outline the dashes leave gaps.
        const QColor outline = over(
            [&] {
                QColor c = theme.accent();
                c.setAlphaF(0.9f);
                return c;
            }(),
            theme.surface());
        const int onEdge = countNear(hovered, QRectF(6, 20, 2, 40), outline, 30);
        EXPECT_GT(onEdge, 20) << themeName.toStdString();
        // The band is 4 × 80 pixels at twice the density; a solid line would fill it.
        EXPECT_LT(onEdge, 4 * 80 * 0.8) << "dashed, not solid";
        EXPECT_GT(countNear(hovered, QRectF(120, 0, 120, 40), theme.accent(), 30), 20) << "the accent tray";
        EXPECT_EQ(calls.log.size(), 0);
    }

    // Too little room for the caption: it goes, and tiles are 40 points.
    const SurfaceMetrics low = metrics(360, 32 + 60);
    EXPECT_EQ(low.detail(), SurfaceMetrics::Detail::minimal);
    Stage small(dark, QSizeF(360, low.contentHeight()));
    makeView(small, files, {}, low, calls);
    const QImage smallImage = small.render();
    saveArtefact(smallImage, "shelf-empty-minimal");
    const QColor caption = over(dark.secondaryText(0.3), dark.surface());
    EXPECT_EQ(countNear(smallImage, QRectF(0, 44, 360, 16), caption, 4), 0);
}

TEST(ShelfView, TilesAtThreeScalesInBothThemes)
{
    Files files;
    Calls calls;
    const QList<ShelfItem> items { files.picture("sunset.png", QColor(220, 40, 30)),
        files.document("Quarterly report with a very long name (final, really final).pdf"),
        files.picture("sea.png", QColor(30, 60, 220)) };
    struct Case {
        const char* name;
        SurfaceMetrics m;
    };
    for (const Case& c : { Case { "small", metrics(300, 32 + 64) }, Case { "reference", metrics(360, 124) },
             Case { "large", metrics(620, 32 + 200) } }) {
        files.prepare(items, c.m);
        const double side = ShelfView::tileSide(c.m);
        for (const NotchTheme& theme : { dark, light }) {
            Stage stage(theme, QSizeF(c.m.size().width(), c.m.contentHeight()));
            ShelfView* view = makeView(stage, files, { .items = items }, c.m, calls);
            const QImage image = stage.render();
            saveArtefact(image, QString("shelf-%1-%2").arg(c.name, theme.isDark ? "dark" : "light"));
            ASSERT_EQ(view->tiles().size(), 3);
            EXPECT_TRUE(view->chooseButton()->isVisible());
            // The photos show as themselves, the document as its type's icon.
            ShelfTile* sunset = view->tiles().at(0);
            const QRectF picture = within(sunset, &stage.host, sunset->pictureRect());
            // Pixels at twice the density: four to a square point.
            const double area = 4 * side * side;
            EXPECT_GT(countNear(image, picture, QColor(220, 40, 30), 20), area * 0.4) << c.name;
            ShelfTile* report = view->tiles().at(1);
            EXPECT_TRUE(files.thumbnails.hasFailed(report->item().url, side));
            EXPECT_EQ(countNear(image, within(report, &stage.host, report->pictureRect()), theme.surface(), 6)
                    < area * 0.95,
                true)
                << "the icon is drawn";
            // The long name is cut at the end of its stem: its start and its extension stay.
            EXPECT_TRUE(report->shownName().startsWith("Qu")) << report->shownName().toStdString();
            EXPECT_TRUE(report->shownName().endsWith(".pdf")) << report->shownName().toStdString();
            EXPECT_TRUE(report->shownName().contains(QChar(0x2026)));
            // The count in the header, in the title grey.
            EXPECT_GT(countNear(image, QRectF(0, 0, c.m.size().width() / 2, 24),
                          over(theme.secondaryText(0.5), theme.surface()), 16),
                8)
                << c.name;
            // Names show whole or not at all (the smallest surface has no room for them).
            EXPECT_EQ(sunset->showsName(), c.m.size().width() > 300) << c.name;
            // Pictures are whole inside the surface.
            EXPECT_LE(within(sunset, &stage.host, sunset->pictureRect()).bottom(), c.m.contentHeight() + 0.5) << c.name;
        }
    }
}

TEST(ShelfView, TheStripShowsTheSurfaceBehindItsTiles)
{
    // In the notch the shelf sits on a translucent window whose surface paints the fill: the
    // strip of tiles must let that fill through, not clear its rectangle to nothing.
    Files files;
    Calls calls;
    const QList<ShelfItem> items { files.document("notes.md"), files.document("report.txt") };
    const SurfaceMetrics m = metrics(360, 124);
    files.prepare(items, m);
    struct Surface : QWidget {
        void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), light.surface()); }
    } window;
    window.setAttribute(Qt::WA_TranslucentBackground);
    window.resize(360, int(m.contentHeight()));
    setNotchTheme(&window, light);
    auto* view = new ShelfView({ .items = items }, m, calls.actions(), files.thumbnails, &window);
    view->setGeometry(window.rect());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_EQ(view->tiles().size(), 2);

    // What the window really shows in the corner of a tile, outside its picture.
    const ShelfTile* tile = view->tiles().at(1);
    ASSERT_FALSE(tile->pictureRect().contains(QPointF(1, 1)));
    const QPoint beside(tile->mapTo(&window, QPoint(1, 1)));
    QImage shown;
    ASSERT_TRUE(waitUntil([&] {
        shown = window.screen()->grabWindow(window.winId()).toImage();
        return !shown.isNull();
    }));
    saveArtefact(shown, "shelf-strip-on-translucent-window");
    const double ratio = shown.width() / double(window.width());
    EXPECT_TRUE(near(shown.pixelColor(int(beside.x() * ratio), int(beside.y() * ratio)), light.surface(), 4))
        << shown.pixelColor(int(beside.x() * ratio), int(beside.y() * ratio)).name().toStdString();
}

TEST(ShelfView, SelectionMode)
{
    Files files;
    Calls calls;
    const SurfaceMetrics m = metrics(360, 124);
    const QList<ShelfItem> items { files.picture("a.png", Qt::white), files.picture("b.png", Qt::white) };
    files.prepare(items, m);

    Stage none(dark, QSizeF(360, m.contentHeight()));
    ShelfView* view = makeView(none, files, { .items = items, .isSelecting = true }, m, calls);
    EXPECT_FALSE(view->chooseButton()->isVisible());
    EXPECT_EQ(view->selectAllButton()->text(), "All");
    EXPECT_FALSE(view->deleteButton()->isEnabled());
    QTest::mouseClick(view->deleteButton(), Qt::LeftButton);
    EXPECT_TRUE(calls.log.isEmpty()) << "Delete does nothing while nothing is selected";
    const QImage greyed = none.render();
    saveArtefact(greyed, "shelf-selecting-none");
    EXPECT_EQ(
        countNear(greyed, within(view->deleteButton(), &none.host, view->deleteButton()->rect()), dark.bad(), 40), 0);

    // A single click toggles; a double click reveals nothing; no remove control on hover.
    ShelfTile* first = view->tiles().at(0);
    QTest::mouseClick(first, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(calls.log, QList<QString> { "toggle " + items[0].id.toString() });
    calls.log.clear();
    QTest::mouseDClick(first, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_FALSE(calls.log.contains("reveal " + items[0].id.toString()));
    hover(first);
    EXPECT_FALSE(first->removeButton()->isVisible());
    calls.log.clear();

    Stage all(light, QSizeF(360, m.contentHeight()));
    ShelfView* selected = makeView(
        all, files, { .items = items, .isSelecting = true, .selection = { items[0].id, items[1].id } }, m, calls);
    EXPECT_EQ(selected->selectAllButton()->text(), "None");
    EXPECT_TRUE(selected->deleteButton()->isEnabled());
    const QImage chosen = all.render();
    saveArtefact(chosen, "shelf-selecting-all-light");
    // The red delete capsule, and the accent ring around each picture.
    EXPECT_GT(countNear(chosen, within(selected->deleteButton(), &all.host, selected->deleteButton()->rect()),
                  over(
                      [] {
                          QColor c = light.bad();
                          c.setAlphaF(0.85f);
                          return c;
                      }(),
                      light.surface()),
                  20),
        20);
    ShelfTile* ringed = selected->tiles().at(1);
    const QRectF picture = within(ringed, &all.host, ringed->pictureRect());
    EXPECT_GT(countNear(chosen, QRectF(picture.left(), picture.center().y() - 5, 3, 10), light.accent(), 40), 4);

    QTest::mouseClick(selected->selectAllButton(), Qt::LeftButton);
    QTest::mouseClick(selected->cancelButton(), Qt::LeftButton);
    QTest::mouseClick(selected->deleteButton(), Qt::LeftButton);
    EXPECT_EQ(calls.log, (QList<QString> { "all", "cancel", "delete" }));
}

TEST(ShelfView, TileClicksOutsideSelection)
{
    Files files;
    Calls calls;
    const SurfaceMetrics m = metrics(360, 124);
    const QList<ShelfItem> items { files.picture("a.png", Qt::green) };
    Stage stage(dark, QSizeF(360, m.contentHeight()));
    ShelfView* view = makeView(stage, files, { .items = items }, m, calls);
    ShelfTile* tile = view->tiles().at(0);
    EXPECT_EQ(tile->toolTip(), items[0].path());

    QTest::mouseClick(tile, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_TRUE(calls.log.isEmpty()) << "a single click does nothing";
    QTest::mouseDClick(tile, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(calls.log, QList<QString> { "reveal " + items[0].id.toString() });
    calls.log.clear();

    QTest::mouseClick(view->chooseButton(), Qt::LeftButton);
    EXPECT_EQ(calls.log, QList<QString> { "begin" });
    calls.log.clear();

    EXPECT_FALSE(tile->removeButton()->isVisible());
    hover(tile);
    EXPECT_TRUE(tile->isHovering());
    EXPECT_TRUE(tile->removeButton()->isVisible());
    EXPECT_EQ(tile->removeButton()->toolTip(), "Take this one off the shelf");
    QTest::mouseClick(tile->removeButton(), Qt::LeftButton);
    EXPECT_EQ(calls.log, QList<QString> { "remove " + items[0].id.toString() });
}

TEST(ShelfView, AdoptingANewerStateKeepsTilesHoverAndScroll)
{
    Files files;
    Calls calls;
    const SurfaceMetrics m = metrics(360, 124);
    QList<ShelfItem> items;
    for (int i = 0; i < 10; ++i)
        items << files.picture(QString("p%1.png").arg(i), QColor(20 * i, 100, 100));
    Stage stage(dark, QSizeF(360, m.contentHeight()));
    ShelfView* view = makeView(stage, files, { .items = items }, m, calls);
    const int scrolled = 2 * view->tilePitch();
    view->strip()->horizontalScrollBar()->setValue(scrolled);
    ASSERT_EQ(view->strip()->horizontalScrollBar()->value(), scrolled);
    ShelfTile* kept = view->tiles().at(3);
    hover(kept);

    // A newer state: one item left, thumbnails arrived, a drag hovers.
    QList<ShelfItem> fewer = items;
    const ShelfItem gone = fewer.takeAt(5);
    files.prepare(fewer, m);
    ShelfView fresh({ .items = fewer, .isReceiving = true, .thumbnailRevision = files.thumbnails.revision() }, m,
        calls.actions(), files.thumbnails);
    ASSERT_TRUE(view->adopt(fresh));
    EXPECT_EQ(view->tiles().size(), 9);
    EXPECT_EQ(view->tile(items[3].id), kept);
    EXPECT_TRUE(kept->isHovering());
    EXPECT_EQ(view->tile(gone.id), nullptr);
    EXPECT_EQ(view->strip()->horizontalScrollBar()->value(), scrolled);
    // The outline fades in rather than jumping.
    EXPECT_TRUE(view->isOutlineFading());
    ASSERT_TRUE(waitUntil([&] { return !view->isOutlineFading(); }));
    EXPECT_EQ(view->outlineOpacity(), 1);
    // The kept tile now shows its thumbnail.
    EXPECT_TRUE(files.thumbnails.isCached(items[3].url, ShelfView::tileSide(m)));
    EXPECT_EQ(kept->image().cacheKey(), files.thumbnails.image(items[3].url, ShelfView::tileSide(m), 2).cacheKey());

    // A view for another size is not adopted.
    ShelfView other({ .items = fewer }, metrics(400, 124), calls.actions(), files.thumbnails);
    EXPECT_FALSE(view->adopt(other));
}

TEST(ShelfView, DraggingAVanishedFileStartsNoDrag)
{
    Files files;
    Calls calls;
    const SurfaceMetrics m = metrics(360, 124);
    const ShelfItem item = files.picture("short-lived.png", Qt::red);
    Stage stage(dark, QSizeF(360, m.contentHeight()));
    ShelfView* view = makeView(stage, files, { .items = { item } }, m, calls);
    ShelfTile* tile = view->tiles().at(0);
    ASSERT_TRUE(QFile::remove(item.path()));

    QTest::mousePress(tile, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(tile, QPoint(40, 30));
    EXPECT_EQ(calls.log, QList<QString> { "vanished " + item.id.toString() });
    QTest::mouseRelease(tile, Qt::LeftButton, {}, QPoint(40, 30));
    // The next turn of the event loop, where a drag would start, starts none.
    QCoreApplication::processEvents();
    EXPECT_TRUE(shelf_drag::source()->findChildren<QDrag*>().isEmpty());

    // What a drag of a file carries: its URL, also in the form GNOME's file managers read.
    std::unique_ptr<QMimeData> data(shelf_drag::mimeData(QUrl::fromLocalFile("/tmp/a b.txt")));
    EXPECT_EQ(data->urls(), QList<QUrl> { QUrl::fromLocalFile("/tmp/a b.txt") });
    EXPECT_EQ(data->data("x-special/gnome-copied-files"), QByteArray("copy\nfile:///tmp/a%20b.txt"));
}


namespace {

// What a person sees of the strip: which pictures show, whole or in part, by their colours.
struct StripLook {
    QImage image;
    QRectF strip;

    // Pixels of `colour` anywhere in the strip.
    int pixelsOf(const QColor& colour) const { return countNear(image, strip, colour, 10); }
};

QColor vivid(int i)
{
    return QColor::fromHsv((i * 47) % 360, 255, 230);
}

// A notch of the mouse wheel over the strip (a sent event does not climb from a tile to it as a
// real one does).
void wheel(QScrollArea* strip, int angle)
{
    QWidget* target = strip->viewport();
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, Qt::NoModifier,
        Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

} // namespace

TEST(ShelfView, AtRestEveryTileIsWholeAndAnEndFadesWhereMoreFollow)
{
    Files files;
    Calls calls;
    QList<ShelfItem> items;
    for (int i = 0; i < 9; ++i)
        items << files.picture(QString("p%1.png").arg(i), vivid(i));
    for (const SurfaceMetrics& m : { metrics(360, 124), metrics(620, 32 + 200), metrics(300, 32 + 64) }) {
        const QString size = QString::number(m.size().width());
        files.prepare(items, m);
        Stage stage(dark, QSizeF(m.size().width(), m.contentHeight()));
        ShelfView* view = makeView(stage, files, { .items = items }, m, calls);
        QScrollArea* strip = view->strip();
        const QRectF stripRect = within(strip, &stage.host, QRectF(strip->rect()));
        auto look = [&] { return StripLook { stage.render(), stripRect }; };
        // Which tiles are in view, judged by what shows: wholly, or not at all.
        auto shown = [&](const StripLook& seen) {
            QList<int> whole;
            for (int i = 0; i < items.size(); ++i) {
                ShelfTile* tile = view->tiles().at(i);
                const QRectF picture = within(tile, &stage.host, tile->pictureRect());
                const int visible = seen.pixelsOf(vivid(i));
                if (visible == 0)
                    continue;
                // Whole: its picture's centre shows, and nothing of it lies beyond the strip.
                EXPECT_TRUE(stripRect.contains(picture)) << size.toStdString() << " tile " << i << " is cut";
                EXPECT_TRUE(near(pixelAt(seen.image, picture.center().x(), picture.center().y()), vivid(i), 10));
                whole << i;
            }
            return whole;
        };

        const StripLook first = look();
        saveArtefact(first.image, "shelf-strip-start-" + size);
        const QList<int> atStart = shown(first);
        ASSERT_GE(atStart.size(), 2) << size.toStdString();
        ASSERT_LT(atStart.size(), items.size()) << size.toStdString();
        EXPECT_EQ(atStart.first(), 0);
        // More follow on the right: the last shown picture fades into the surface at its right
        // edge; nothing fades on the left.
        auto edgeOf = [&](const StripLook& seen, int i, bool right) {
            ShelfTile* tile = view->tiles().at(i);
            const QRectF picture = within(tile, &stage.host, tile->pictureRect());
            return pixelAt(seen.image, right ? picture.right() - 1.5 : picture.left() + 1.5, picture.center().y());
        };
        const int last = atStart.last();
        EXPECT_LT(edgeOf(first, last, true).value(), vivid(last).value() - 60) << size.toStdString();
        EXPECT_TRUE(near(edgeOf(first, 0, false), vivid(0), 10)) << size.toStdString();

        // A notch of the wheel moves by one whole tile.
        wheel(strip, -120);
        const StripLook moved = look();
        const QList<int> afterOne = shown(moved);
        EXPECT_EQ(afterOne.first(), 1) << size.toStdString();
        EXPECT_EQ(afterOne.size(), atStart.size());
        EXPECT_EQ(strip->horizontalScrollBar()->value(), view->tilePitch());

        // At the far end the last tile shows whole, unfaded, and the left end fades instead.
        for (int i = 0; i < items.size(); ++i)
            wheel(strip, -120);
        const StripLook end = look();
        saveArtefact(end.image, "shelf-strip-end-" + size);
        const QList<int> atEnd = shown(end);
        EXPECT_EQ(atEnd.last(), items.size() - 1) << size.toStdString();
        EXPECT_TRUE(near(edgeOf(end, items.size() - 1, true), vivid(items.size() - 1), 10)) << size.toStdString();
        EXPECT_LT(edgeOf(end, atEnd.first(), false).value(), vivid(atEnd.first()).value() - 60);
    }
}

TEST(ShelfView, NamesShowOnOneLineShortenedAtTheEndWithTheirExtension)
{
    Files files;
    Calls calls;
    const SurfaceMetrics m = metrics(360, 124);
    QList<ShelfItem> items { files.picture("a very long holiday picture from the coast.jpg", Qt::darkGreen),
        files.picture("two lines.png", Qt::darkCyan), files.picture("no extension at all in this name", Qt::darkRed) };
    // A name with a line break in it.
    items[1] = ShelfItem(items[1].id, QUrl::fromLocalFile(files.dir.path() + "/two\nlines.png"), items[1].addedAt);
    ASSERT_TRUE(QFile::rename(files.dir.path() + "/two lines.png", items[1].path()));
    files.prepare(items, m);
    Stage stage(dark, QSizeF(360, m.contentHeight()));
    ShelfView* view = makeView(stage, files, { .items = items }, m, calls);
    const QImage image = stage.render();
    saveArtefact(image, "shelf-names");

    const QString holiday = view->tiles().at(0)->shownName();
    EXPECT_TRUE(holiday.startsWith("a very")) << holiday.toStdString();
    EXPECT_TRUE(holiday.endsWith(QString(QChar(0x2026)) + ".jpg")) << holiday.toStdString();
    EXPECT_EQ(view->tiles().at(1)->shownName(), QString("two") + QChar(0x23CE) + "lines.png");
    const QString plain = view->tiles().at(2)->shownName();
    EXPECT_TRUE(plain.startsWith("no ext") && plain.endsWith(QChar(0x2026))) << plain.toStdString();

    // On screen: each name is one line of text under its picture, within its tile; the broken
    // name shows its second part too.
    const QColor ink = over(dark.secondaryText(0.5), dark.surface());
    for (ShelfTile* tile : view->tiles()) {
        const QRectF box = within(tile, &stage.host, QRectF(tile->rect()));
        const QRectF picture = within(tile, &stage.host, tile->pictureRect());
        const double lineHeight = QFontMetricsF(systemFont(m.font(8.5))).height();
        const QRectF line(box.left(), picture.bottom() + 1, box.width(), lineHeight + m.space(3));
        EXPECT_GT(countNear(image, line, ink, 40), 20);
        EXPECT_EQ(countNear(image, QRectF(box.left(), line.bottom(), box.width(), 40), ink, 40), 0);
    }
    ShelfTile* broken = view->tiles().at(1);
    const QRectF box = within(broken, &stage.host, QRectF(broken->rect()));
    const QRectF picture = within(broken, &stage.host, broken->pictureRect());
    const double firstWord = QFontMetricsF(systemFont(m.font(8.5))).horizontalAdvance("two");
    const double inkStart = box.center().x() + firstWord;
    EXPECT_GT(countNear(image, QRectF(inkStart, picture.bottom() + 1, box.right() - inkStart, 20), ink, 40), 20)
        << "the part after the line break shows";
}
