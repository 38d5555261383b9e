#include "settings_fixture.h"
#include "ui/settings/music_previews.h"
#include "ui/settings/priority_music_pages.h"
#include "ui/settings/settings_controls.h"

#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {
using Beat = MusicBehaviourDemo::Beat;

QStringList storedOrder(const SettingsFixture& f)
{
    QStringList names;
    for (const QJsonValue& v : f.storage->object("activity.order").toArray())
        names << v.toString();
    return names;
}
} // namespace

TEST(MusicBehaviourDemo, BeatsOfTheSixSecondLoop)
{
    EXPECT_EQ(MusicBehaviourDemo::beat(600.0, true), Beat::rest);
    EXPECT_EQ(MusicBehaviourDemo::beat(601.99, true), Beat::rest);
    EXPECT_EQ(MusicBehaviourDemo::beat(602.0, true), Beat::announce);
    EXPECT_EQ(MusicBehaviourDemo::beat(603.5, true), Beat::announce);
    EXPECT_EQ(MusicBehaviourDemo::beat(604.0, true), Beat::after);
    EXPECT_EQ(MusicBehaviourDemo::beat(605.99, true), Beat::after);
    EXPECT_EQ(MusicBehaviourDemo::beat(606.0, true), Beat::rest);
    // Without announcements the scene stays in its last beat for good.
    EXPECT_EQ(MusicBehaviourDemo::beat(602.5, false), Beat::after);
    EXPECT_FALSE(MusicBehaviourDemo::untilNextBeat(602.5, false).has_value());
    EXPECT_NEAR(*MusicBehaviourDemo::untilNextBeat(603.5, true), 0.5, 1e-9);

    EXPECT_EQ(MusicBehaviourDemo::caption(Beat::rest, true, false), "Playing — notch at rest");
    EXPECT_EQ(MusicBehaviourDemo::caption(Beat::announce, true, false), "Track changed");
    EXPECT_EQ(MusicBehaviourDemo::caption(Beat::after, true, true), "An indicator stays while it plays");
    EXPECT_EQ(MusicBehaviourDemo::caption(Beat::after, true, false), "Back to nothing");
    EXPECT_EQ(MusicBehaviourDemo::caption(Beat::after, false, true), "Track changes pass silently");
    EXPECT_EQ(MusicBehaviourDemo::notchSize(Beat::rest, true), QSizeF(130, 26));
    EXPECT_EQ(MusicBehaviourDemo::notchSize(Beat::announce, false), QSizeF(250, 62));
    EXPECT_EQ(MusicBehaviourDemo::notchSize(Beat::after, true), QSizeF(168, 34));
    EXPECT_EQ(MusicBehaviourDemo::notchSize(Beat::after, false), QSizeF(130, 26));
}

TEST(MusicBehaviourDemo, FollowsTheClockAndWakesOnlyWhileSeen)
{
    QWidget host;
    host.resize(480, 118);
    double t = 602.5;
    auto* demo = new MusicBehaviourDemo(NotchTheme::dark(), true, true, &host);
    demo->clock = [&] { return t; };
    demo->resize(480, 118);
    EXPECT_FALSE(demo->isTicking()); // not shown yet
    host.show();
    EXPECT_EQ(demo->currentBeat(), Beat::announce);
    EXPECT_TRUE(demo->isTicking()); // the next beat is scheduled
    saveArtefact(demo->grab().toImage(), "music-demo-announce");

    // The beat turns when the clock says so.
    t = 604.01;
    EXPECT_TRUE(waitUntil([&] { return demo->currentBeat() == Beat::after; }, 3000));
    EXPECT_EQ(demo->currentCaption(), "An indicator stays while it plays");
    EXPECT_TRUE(waitUntil([&] { return demo->isTicking(); }, 100)); // the equaliser plays
    saveArtefact(demo->grab().toImage(), "music-demo-after");

    // Minimised: Qt still calls the window visible, yet nothing may wake for it.
    host.setWindowState(Qt::WindowMinimized);
    EXPECT_FALSE(demo->isTicking());
    host.setWindowState(Qt::WindowNoState);
    host.show();
    EXPECT_TRUE(demo->isTicking());
    host.hide();
    EXPECT_FALSE(demo->isTicking());
}

TEST(MusicPage, WithNowPlayingOffTheLowerSwitchesAreDisabledAndTheSceneIsStill)
{
    SettingsFixture f;
    f.settings.setNowPlayingActivity(true);
    f.settings.setNowPlayingResident(true);
    f.settings.setNowPlayingEnabled(false);
    SettingsView& view = f.open(SettingsSection::music);
    auto* demo = view.currentScrollArea()->findChild<MusicBehaviourDemo*>();
    ASSERT_NE(demo, nullptr);
    EXPECT_FALSE(demo->announcesTracks());
    EXPECT_EQ(demo->currentBeat(), Beat::after);
    EXPECT_EQ(demo->currentCaption(), "Track changes pass silently");
    EXPECT_FALSE(demo->isTicking());
    auto* announce = f.find<SwitchControl>("Announce new tracks");
    auto* resident = f.find<SwitchControl>("Keep it visible while playing");
    ASSERT_TRUE(announce && resident);
    EXPECT_FALSE(announce->isEnabled());
    EXPECT_FALSE(resident->isEnabled());
    // The disabled rows still show what is stored.
    EXPECT_TRUE(announce->isChecked());

    QTest::mouseClick(f.find<SwitchControl>("Show what's playing"), Qt::LeftButton);
    EXPECT_TRUE(announce->isEnabled());
    EXPECT_TRUE(demo->announcesTracks());
    EXPECT_TRUE(demo->staysVisible());
    QTest::mouseClick(resident, Qt::LeftButton);
    EXPECT_FALSE(f.settings.nowPlayingResident());
    EXPECT_FALSE(demo->staysVisible());
}

TEST(PriorityList, MovesApplyAsAListMoves)
{
    using C = ActivityCategory;
    const QList<C> order { C::volume, C::brightness, C::battery, C::music };
    EXPECT_EQ(PriorityList::moved(order, 3, 0), (QList<C> { C::music, C::volume, C::brightness, C::battery }));
    EXPECT_EQ(PriorityList::moved(order, 0, 4), (QList<C> { C::brightness, C::battery, C::music, C::volume }));
    EXPECT_EQ(PriorityList::moved(order, 1, 3), (QList<C> { C::volume, C::battery, C::brightness, C::music }));
    EXPECT_EQ(PriorityList::moved(order, 1, 1), order);
    EXPECT_EQ(PriorityList::moved(order, 1, 2), order);
    EXPECT_EQ(PriorityList::moved(order, 5, 0), order);
    EXPECT_EQ(PriorityList::moved(order, 0, 9), order);
}

TEST(PriorityList, DraggingMusicToTheTopWritesTheWholeOrder)
{
    SettingsFixture f;
    SettingsView& view = f.open(SettingsSection::priority);
    auto* list = view.currentScrollArea()->findChild<PriorityList*>();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->height(), 208); // four rows, never scrolling
    saveArtefact(list->grab().toImage(), "priority-list");

    const QPoint from = list->rowRect(3).center().toPoint();
    const QPoint to = list->rowRect(0).center().toPoint();
    QTest::mousePress(list, Qt::LeftButton, {}, from);
    for (int y = from.y(); y >= to.y(); y -= 12)
        QTest::mouseMove(list, QPoint(from.x(), y));
    QTest::mouseMove(list, to);
    saveArtefact(list->grab().toImage(), "priority-list-dragging");
    // Nothing is written while the row is in the air.
    EXPECT_TRUE(storedOrder(f).isEmpty());
    QTest::mouseRelease(list, Qt::LeftButton, {}, to);

    EXPECT_EQ(storedOrder(f), (QStringList { "music", "volume", "brightness", "battery" }));
    EXPECT_EQ(f.settings.priority(ActivityCategory::music), 40);
    EXPECT_EQ(f.settings.priority(ActivityCategory::battery), 10);

    // A click without a drag moves nothing.
    QTest::mouseClick(list, Qt::LeftButton, {}, list->rowRect(2).center().toPoint());
    EXPECT_EQ(f.settings.activityOrder().first(), ActivityCategory::music);

    // From the keyboard: Alt+Down moves the focused row one place down.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Up);
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(list->focusedRow(), 0);
    QTest::keyClick(list, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(storedOrder(f), (QStringList { "volume", "music", "brightness", "battery" }));
    EXPECT_EQ(list->focusedRow(), 1);

    QPushButton* reset = nullptr;
    for (QPushButton* b : view.currentScrollArea()->findChildren<QPushButton*>()) {
        if (b->text() == "Reset Order")
            reset = b;
    }
    ASSERT_NE(reset, nullptr);
    reset->click();
    EXPECT_EQ(storedOrder(f), (QStringList { "volume", "brightness", "battery", "music" }));
    int changes = 0;
    QObject::connect(&f.settings, &NimbraSettings::changed, [&] { ++changes; });
    reset->click(); // already the default: written again, nothing changes
    EXPECT_EQ(changes, 0);
}
