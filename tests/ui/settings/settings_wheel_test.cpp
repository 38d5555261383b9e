#include "settings_fixture.h"

#include <QComboBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>
#include <QtTest/qtestspontaneevent.h>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

// One notch of the wheel at `pos` of the window, delivered as the window system delivers it:
// to the deepest widget there, handed on to its parents for as long as nobody takes it.
void turnWheel(QWidget* window, QPoint pos, int notches)
{
    QWidget* target = window->childAt(pos);
    if (!target)
        target = window;
    const QPointF local = target->mapFrom(window, QPointF(pos));
    QWheelEvent event(local, window->mapToGlobal(QPointF(pos)), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&event);
    QApplication::instance()->notify(target, &event);
}

// Where on the window the middle of `widget` is, after scrolling the page to show it.
std::optional<QPoint> bringIntoView(SettingsView& view, QWidget* widget)
{
    QScrollArea* scroll = view.currentScrollArea();
    scroll->ensureWidgetVisible(widget, 0, 0);
    const QPoint centre = widget->mapTo(&view, widget->rect().center());
    const QRect viewport(scroll->viewport()->mapTo(&view, QPoint()), scroll->viewport()->size());
    if (!widget->isVisibleTo(&view) || !viewport.contains(centre))
        return std::nullopt;
    return centre;
}

} // namespace

TEST(SettingsWheel, TheWheelOverAnyPartOfAnyPageScrollsItAndChangesNoSetting)
{
    int pagesScrolled = 0;
    for (const SettingsSection section : kSettingsSections) {
        SCOPED_TRACE(rawValue(section).toStdString());
        SettingsFixture f;
        f.settings.setEyesEnabled(true); // every eye control enabled
        SettingsView& view = f.make();
        view.resize(view.minimumSize()); // the smallest window: most pages scroll
        f.open(section);
        f.storage->forgetWrites();
        QScrollBar* bar = view.currentScrollArea()->verticalScrollBar();
        if (bar->maximum() > 0)
            ++pagesScrolled;

        // Over every widget of the page, down and up: the page moves whenever it can.
        int turns = 0;
        for (QWidget* widget : view.currentScrollArea()->widget()->findChildren<QWidget*>()) {
            for (const int notches : { -1, 1 }) {
                const std::optional<QPoint> at = bringIntoView(view, widget);
                if (!at)
                    continue;
                const int before = bar->value();
                turnWheel(&view, *at, notches);
                ++turns;
                const bool couldMove = notches < 0 ? before < bar->maximum() : before > bar->minimum();
                if (couldMove) {
                    EXPECT_NE(bar->value(), before) << "the wheel stopped at " << widget->metaObject()->className()
                                                    << " '" << widget->accessibleName().toStdString() << "'";
                }
            }
        }
        EXPECT_GT(turns, 10);
        // A sweep of the whole visible page from its top to its end as well.
        bar->setValue(0);
        const QRect viewport(
            view.currentScrollArea()->viewport()->mapTo(&view, QPoint()), view.currentScrollArea()->viewport()->size());
        for (int x = viewport.left() + 3; x < viewport.right(); x += 9) {
            for (int y = viewport.top() + 3; y < viewport.bottom(); y += 9)
                turnWheel(&view, { x, y }, (x / 9) % 2 ? -1 : 1);
        }
        EXPECT_TRUE(f.storage->writtenKeys().isEmpty()) << f.storage->writtenKeys().join(", ").toStdString();
    }
    // The general, notch, sound, clipboard and eyes pages are taller than the smallest window.
    EXPECT_GE(pagesScrolled, 5);
}

TEST(SettingsWheel, AControlWithTheFocusTakesTheWheel)
{
    SettingsFixture f;
    SettingsView& view = f.make();
    f.open(SettingsSection::clipboard);
    QComboBox* keep = f.find<QComboBox>("Keep");
    ASSERT_NE(keep, nullptr);
    const std::optional<QPoint> at = bringIntoView(view, keep);
    ASSERT_TRUE(at);

    turnWheel(&view, *at, -1);
    EXPECT_EQ(f.settings.clipboardHistoryLimit(), 100);
    EXPECT_FALSE(keep->hasFocus()); // the wheel gives no focus

    QApplication::setActiveWindow(&view);
    keep->setFocus();
    ASSERT_TRUE(keep->hasFocus());
    turnWheel(&view, keep->mapTo(&view, keep->rect().center()), -1);
    EXPECT_EQ(keep->currentText(), "200 items");
    EXPECT_EQ(f.settings.clipboardHistoryLimit(), 200);
}
