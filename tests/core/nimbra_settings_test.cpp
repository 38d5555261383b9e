#include "core/nimbra_settings.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace nimbra;
using Property = NimbraSettings::Property;

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

using Order = QList<ActivityCategory>;
constexpr ActivityCategory volume = ActivityCategory::volume;
constexpr ActivityCategory brightness = ActivityCategory::brightness;
constexpr ActivityCategory battery = ActivityCategory::battery;
constexpr ActivityCategory music = ActivityCategory::music;

const QStringList eyeKeys = { "eyes.diameter", "eyes.separation", "eyes.speed", "eyes.sclera", "eyes.pupil",
    "eyes.blinks", "eyes.blinkInterval", "eyes.blinkVariation", "eyes.clickBlink", "eyes.sleeps", "eyes.drowsyAfter",
    "eyes.asleepAfter", "eyes.cross", "eyes.clicks" };
const QStringList layoutKeys = { "layout.expandedWidth", "layout.expandedHeight", "layout.activityExtraWidth",
    "layout.activityHeight", "layout.collapsedTopRadius", "layout.collapsedBottomRadius", "layout.expandedTopRadius",
    "layout.expandedBottomRadius" };

// A store over an in-memory storage holding `stored`; the storage stays reachable.
struct Fixture {
    std::shared_ptr<MemorySettingsStorage> storage;
    std::unique_ptr<NimbraSettings> settings;

    explicit Fixture(QJsonObject stored = {})
        : storage(std::make_shared<MemorySettingsStorage>(std::move(stored)))
        , settings(std::make_unique<NimbraSettings>(storage))
    {
    }
    NimbraSettings* operator->() const { return settings.get(); }
};

// Every change signal, as property names in order.
struct Changes {
    explicit Changes(NimbraSettings& settings)
    {
        QObject::connect(&settings, &NimbraSettings::changed, [this](Property p) { names.append(rawValue(p)); });
    }
    QStringList names;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Loading

TEST(NimbraSettingsLoading, EmptyStorageGivesEveryDefaultAndWritesNothing)
{
    Fixture f;
    EXPECT_DOUBLE_EQ(f->hoverDwell(), 0.1);
    EXPECT_DOUBLE_EQ(f->velocityCeiling(), 1100);
    EXPECT_TRUE(f->clipboardEnabled());
    EXPECT_EQ(f->clipboardHistoryLimit(), 100);
    EXPECT_TRUE(f->clipboardKeepsImages());
    EXPECT_EQ(f->clipboardHotKey(), (KeyCombo { 9, 768 }));
    EXPECT_EQ(f->clipboardAutoCloseSeconds(), 10);
    EXPECT_FALSE(f->hasSeenOnboarding());
    EXPECT_TRUE(f->checksForUpdates());
    EXPECT_FALSE(f->eyesEnabled());
    EXPECT_EQ(f->eyeStyle(), EyeStyle::defaultStyle());
    EXPECT_TRUE(f->shelfEnabled());
    EXPECT_TRUE(f->shelfPersists());
    EXPECT_TRUE(f->timerChimeEnabled());
    EXPECT_EQ(f->pomodoroWorkMinutes(), 25);
    EXPECT_EQ(f->pomodoroBreakMinutes(), 5);
    EXPECT_EQ(f->pomodoroLongBreakMinutes(), 15);
    EXPECT_EQ(f->pomodoroCycles(), 4);
    EXPECT_TRUE(f->brightnessNeedsKeyPress());
    EXPECT_EQ(f->activityOrder(), (Order { volume, brightness, battery, music }));
    EXPECT_TRUE(f->nowPlayingEnabled());
    EXPECT_FALSE(f->nowPlayingResident());
    EXPECT_TRUE(f->nowPlayingActivity());
    EXPECT_FALSE(f->hudReplacement());
    EXPECT_TRUE(f->glanceEnabled());
    EXPECT_TRUE(f->powerEnabled());
    EXPECT_TRUE(f->powerActivityEnabled());
    EXPECT_EQ(f->lowBatteryLevels(), (std::set<int> { 5, 10, 20 }));
    EXPECT_EQ(f->layout(), LayoutMetrics::defaults());
    EXPECT_EQ(f->clockFont(), NimbraSettings::ClockFont::lockScreen);
    EXPECT_EQ(f->appearance(), NimbraSettings::Appearance::system);
    EXPECT_FALSE(f->showOnAllDisplays());
    EXPECT_FALSE(f->launchAtLogin());
    EXPECT_TRUE(f->storedShelfPaths().isEmpty());

    EXPECT_TRUE(f.storage->writtenKeys().isEmpty());
    EXPECT_TRUE(f.storage->values().isEmpty());
}

TEST(NimbraSettingsLoading, StoredValuesOfTheRightTypeAreTaken)
{
    Fixture f(QJsonObject {
        { "hover.dwell", 0.3 },
        { "hover.velocityCeiling", 800 },
        { "clipboard.enabled", false },
        { "clipboard.historyLimit", 200 },
        { "clipboard.hotKey", QJsonObject { { "keyCode", 49 }, { "modifiers", 4352 } } },
        { "clipboard.autoCloseSeconds", 0 },
        { "onboarding.seen", true },
        { "pomodoro.cycles", 2 },
        { "module.hud.replacement", true },
        { "display.showOnAll", true },
        { "app.clockFont", "serif" },
        { "app.appearance", "dark" },
    });
    EXPECT_DOUBLE_EQ(f->hoverDwell(), 0.3);
    EXPECT_DOUBLE_EQ(f->velocityCeiling(), 800);
    EXPECT_FALSE(f->clipboardEnabled());
    EXPECT_EQ(f->clipboardHistoryLimit(), 200);
    EXPECT_EQ(f->clipboardHotKey(), (KeyCombo { 49, 4352 }));
    EXPECT_EQ(f->clipboardAutoCloseSeconds(), 0);
    EXPECT_TRUE(f->hasSeenOnboarding());
    EXPECT_EQ(f->pomodoroCycles(), 2);
    EXPECT_TRUE(f->hudReplacement());
    EXPECT_TRUE(f->showOnAllDisplays());
    EXPECT_EQ(f->clockFont(), NimbraSettings::ClockFont::serif);
    EXPECT_EQ(f->appearance(), NimbraSettings::Appearance::dark);
}

TEST(NimbraSettingsLoading, AWrongTypeGivesThatKeysDefaultOnly)
{
    Fixture f(QJsonObject {
        { "hover.dwell", "0.3" }, // a string that spells a number is still a string
        { "hover.velocityCeiling", true },
        { "clipboard.enabled", 0 },
        { "eyes.enabled", "true" },
        { "clipboard.hotKey", "⇧⌘V" },
        { "app.clockFont", 3 },
        { "layout.activityHeight", "100" },
        { "module.power.lowLevels", "20" },
        { "activity.order", "music" },
        // Right types beside them still load.
        { "timer.chime", false },
        { "layout.expandedHeight", 200 },
    });
    EXPECT_DOUBLE_EQ(f->hoverDwell(), 0.1);
    EXPECT_DOUBLE_EQ(f->velocityCeiling(), 1100);
    EXPECT_TRUE(f->clipboardEnabled());
    EXPECT_FALSE(f->eyesEnabled());
    EXPECT_EQ(f->clipboardHotKey(), KeyCombo::defaultClipboard);
    EXPECT_EQ(f->clockFont(), NimbraSettings::ClockFont::lockScreen);
    EXPECT_DOUBLE_EQ(f->layout().activityHeight, 78);
    EXPECT_EQ(f->lowBatteryLevels(), (std::set<int> { 5, 10, 20 }));
    EXPECT_EQ(f->activityOrder(), (Order { volume, brightness, battery, music }));
    EXPECT_FALSE(f->timerChimeEnabled());
    EXPECT_DOUBLE_EQ(f->layout().expandedHeight, 200);
}

TEST(NimbraSettingsLoading, NonZeroKeysTreatValuesBelowOneAsUnset)
{
    Fixture zeros(QJsonObject { { "clipboard.historyLimit", 0 }, { "pomodoro.work", 0 }, { "pomodoro.cycles", 0 } });
    EXPECT_EQ(zeros->clipboardHistoryLimit(), 100);
    EXPECT_EQ(zeros->pomodoroWorkMinutes(), 25);
    EXPECT_EQ(zeros->pomodoroCycles(), 4);

    // A negative length would restart a phase on every tick.
    Fixture negatives(QJsonObject { { "pomodoro.work", -5 }, { "pomodoro.break", -1 }, { "pomodoro.longBreak", -15 },
        { "clipboard.historyLimit", -3 } });
    EXPECT_EQ(negatives->pomodoroWorkMinutes(), 25);
    EXPECT_EQ(negatives->pomodoroBreakMinutes(), 5);
    EXPECT_EQ(negatives->pomodoroLongBreakMinutes(), 15);
    EXPECT_EQ(negatives->clipboardHistoryLimit(), 100);

    // The storage's own integer conversion: a fraction is cut, a numeric string is read.
    Fixture converted(QJsonObject { { "pomodoro.work", 30.7 }, { "pomodoro.break", "7" }, { "pomodoro.cycles", 0.5 } });
    EXPECT_EQ(converted->pomodoroWorkMinutes(), 30);
    EXPECT_EQ(converted->pomodoroBreakMinutes(), 7);
    EXPECT_EQ(converted->pomodoroCycles(), 4);

    // The auto-close delay is read by presence: a stored 0 means never close.
    Fixture autoClose(QJsonObject { { "clipboard.autoCloseSeconds", 0 } });
    EXPECT_EQ(autoClose->clipboardAutoCloseSeconds(), 0);
}

TEST(NimbraSettingsLoading, NumbersAreBroughtIntoWhatTheirPageOffers)
{
    // A hand-edited file: far too high, too low, and between the choices of a pop-up.
    Fixture high(QJsonObject {
        { "pomodoro.cycles", 2000000000 },
        { "pomodoro.work", 1e12 },
        { "pomodoro.break", 31 },
        { "pomodoro.longBreak", 61 },
        { "clipboard.historyLimit", 2000000000 },
        { "clipboard.autoCloseSeconds", 99999 },
        { "hover.dwell", 9 },
        { "hover.velocityCeiling", 1e9 },
        { "eyes.diameter", 400 },
        { "eyes.separation", 3 },
        { "eyes.speed", 2 },
        { "eyes.blinkInterval", 1e6 },
        { "eyes.blinkVariation", 5 },
        { "eyes.drowsyAfter", 1e9 },
        { "eyes.asleepAfter", 1e9 },
        { "module.power.lowLevels", QJsonArray { 5, 40, 2000000000 } },
    });
    EXPECT_EQ(high->pomodoroCycles(), 8);
    EXPECT_EQ(high->pomodoroWorkMinutes(), 90);
    EXPECT_EQ(high->pomodoroBreakMinutes(), 30);
    EXPECT_EQ(high->pomodoroLongBreakMinutes(), 60);
    EXPECT_EQ(high->clipboardHistoryLimit(), 500);
    EXPECT_EQ(high->clipboardAutoCloseSeconds(), 30);
    EXPECT_DOUBLE_EQ(high->hoverDwell(), 0.5);
    EXPECT_DOUBLE_EQ(high->velocityCeiling(), 2000);
    const EyeStyle& big = high->eyeStyle();
    EXPECT_DOUBLE_EQ(big.diameter, 20);
    EXPECT_DOUBLE_EQ(big.separation, 0.8);
    EXPECT_DOUBLE_EQ(big.followSpeed, 0.95);
    EXPECT_DOUBLE_EQ(big.blinkInterval, 30);
    EXPECT_DOUBLE_EQ(big.blinkVariation, 0.9);
    EXPECT_DOUBLE_EQ(big.drowsyAfter, 20 * 60);
    EXPECT_DOUBLE_EQ(big.asleepAfter, 60 * 60);
    EXPECT_EQ(high->lowBatteryLevels(), (std::set<int> { 5 }));

    Fixture low(QJsonObject {
        { "pomodoro.cycles", 1 },
        { "pomodoro.work", 1 },
        { "pomodoro.longBreak", 2 },
        { "clipboard.historyLimit", 3 },
        { "clipboard.autoCloseSeconds", -4 },
        { "hover.dwell", -1 },
        { "hover.velocityCeiling", 10 },
        { "eyes.diameter", 1 },
        { "eyes.separation", 0 },
        { "eyes.blinkInterval", 0.1 },
        { "eyes.blinkVariation", -1 },
        { "eyes.drowsyAfter", 1 },
        { "eyes.asleepAfter", 1 },
    });
    EXPECT_EQ(low->pomodoroCycles(), 2);
    EXPECT_EQ(low->pomodoroWorkMinutes(), 5);
    EXPECT_EQ(low->pomodoroLongBreakMinutes(), 5);
    EXPECT_EQ(low->clipboardHistoryLimit(), 25);
    EXPECT_EQ(low->clipboardAutoCloseSeconds(), 0);
    EXPECT_DOUBLE_EQ(low->hoverDwell(), 0);
    EXPECT_DOUBLE_EQ(low->velocityCeiling(), 400);
    const EyeStyle& small = low->eyeStyle();
    EXPECT_DOUBLE_EQ(small.diameter, 9);
    EXPECT_DOUBLE_EQ(small.separation, 0.05);
    EXPECT_DOUBLE_EQ(small.blinkInterval, 1);
    EXPECT_DOUBLE_EQ(small.blinkVariation, 0);
    EXPECT_DOUBLE_EQ(small.drowsyAfter, 15);
    EXPECT_DOUBLE_EQ(small.asleepAfter, 30);

    // A pop-up shows one of its choices: the nearest (the smaller of two as near).
    Fixture between(QJsonObject { { "clipboard.historyLimit", 40 }, { "clipboard.autoCloseSeconds", 20 } });
    EXPECT_EQ(between->clipboardHistoryLimit(), 50);
    EXPECT_EQ(between->clipboardAutoCloseSeconds(), 10);
    // Values inside the ranges stay as stored, between the slider's steps too.
    Fixture inside(QJsonObject { { "hover.dwell", 0.1234 }, { "hover.velocityCeiling", 1234 } });
    EXPECT_DOUBLE_EQ(inside->hoverDwell(), 0.1234);
    EXPECT_DOUBLE_EQ(inside->velocityCeiling(), 1234);
}

TEST(NimbraSettingsLoading, NonFiniteNumbersTakeTheKeysDefault)
{
    Fixture f(QJsonObject {
        { "hover.dwell", notANumber },
        { "hover.velocityCeiling", infinity },
        { "layout.expandedWidth", notANumber },
        { "layout.activityHeight", -infinity },
        { "eyes.diameter", notANumber },
        { "eyes.separation", infinity },
        { "eyes.blinkInterval", "nan" },
        { "eyes.drowsyAfter", -infinity },
    });
    EXPECT_DOUBLE_EQ(f->hoverDwell(), 0.1);
    EXPECT_DOUBLE_EQ(f->velocityCeiling(), 1100);
    EXPECT_DOUBLE_EQ(f->layout().expandedWidth, 360);
    EXPECT_DOUBLE_EQ(f->layout().activityHeight, 78);
    EXPECT_DOUBLE_EQ(f->eyeStyle().diameter, 18);
    EXPECT_DOUBLE_EQ(f->eyeStyle().separation, 0.34);
    EXPECT_DOUBLE_EQ(f->eyeStyle().blinkInterval, 4.95);
    EXPECT_DOUBLE_EQ(f->eyeStyle().drowsyAfter, 150);

    Fixture legacy(QJsonObject { { "eyes.size", infinity } });
    EXPECT_DOUBLE_EQ(legacy->eyeStyle().diameter, 18);
}

TEST(NimbraSettingsLoading, NullIsNoValueForAnyKey)
{
    QJsonObject stored;
    for (const char* key : { "clipboard.autoCloseSeconds", "eyes.diameter", "eyes.size", "eyes.blinkInterval",
             "eyes.blinkVariation", "eyes.separation", "eyes.blinks", "eyes.cross", "eyes.asleepAfter" })
        stored.insert(QLatin1String(key), QJsonValue::Null);
    Fixture f(stored);
    EXPECT_EQ(f->clipboardAutoCloseSeconds(), 10);
    EXPECT_EQ(f->eyeStyle(), EyeStyle::defaultStyle());
}

TEST(NimbraSettingsLoading, ActivityOrderIsReconciledWithTheDefaultOrder)
{
    struct Case {
        QJsonArray stored;
        Order expected;
    };
    const Case cases[] = {
        { { "music", "loudness", "volume" }, { music, volume, brightness, battery } },
        { { "volume", "volume" }, { volume, volume, brightness, battery, music } },
        { { "music", 3, "volume" }, { volume, brightness, battery, music } },
        { { "Music" }, { volume, brightness, battery, music } },
        { {}, { volume, brightness, battery, music } },
        { { "battery" }, { battery, volume, brightness, music } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QJsonDocument(c.stored).toJson(QJsonDocument::Compact).toStdString());
        Fixture f(QJsonObject { { "activity.order", c.stored } });
        EXPECT_EQ(f->activityOrder(), c.expected);
    }
}

TEST(NimbraSettingsLoading, LowBatteryLevelsAreAnArrayOfWholeNumbersOrTheDefault)
{
    struct Case {
        QJsonArray stored;
        std::set<int> expected;
    };
    const Case cases[] = {
        { { 5, 5, 30 }, { 5, 30 } },
        { {}, {} },
        { { 20, "10" }, { 5, 10, 20 } },
        { { 20, 10.5 }, { 5, 10, 20 } },
        { { 20, true }, { 5, 10, 20 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QJsonDocument(c.stored).toJson(QJsonDocument::Compact).toStdString());
        Fixture f(QJsonObject { { "module.power.lowLevels", c.stored } });
        EXPECT_EQ(f->lowBatteryLevels(), c.expected);
        EXPECT_EQ(f->lowBatteryAlerts(), !c.expected.empty());
    }
}

TEST(NimbraSettingsLoading, EnumerationsMatchRawValuesExactly)
{
    EXPECT_EQ(
        Fixture(QJsonObject { { "app.clockFont", "Serif" } })->clockFont(), NimbraSettings::ClockFont::lockScreen);
    EXPECT_EQ(Fixture(QJsonObject { { "app.clockFont", "Lock Screen" } })->clockFont(),
        NimbraSettings::ClockFont::lockScreen);
    EXPECT_EQ(Fixture(QJsonObject { { "app.clockFont", "mono" } })->clockFont(), NimbraSettings::ClockFont::mono);
    EXPECT_EQ(Fixture(QJsonObject { { "app.appearance", "DARK" } })->appearance(), NimbraSettings::Appearance::system);
    EXPECT_EQ(Fixture(QJsonObject { { "app.appearance", "light" } })->appearance(), NimbraSettings::Appearance::light);
}

TEST(NimbraSettingsLoading, HotKeyThatIsNoKeyCombinationGivesTheDefault)
{
    const QJsonValue broken[] = {
        QJsonObject { { "keyCode", 9 } },
        QJsonObject { { "keyCode", 9 }, { "modifiers", -1 } },
        QJsonObject { { "keyCode", "9" }, { "modifiers", 768 } },
        QJsonArray { 9, 768 },
        768,
    };
    for (const QJsonValue& value : broken) {
        Fixture f(QJsonObject { { "clipboard.hotKey", value } });
        EXPECT_EQ(f->clipboardHotKey(), (KeyCombo { 9, 768 }));
    }
}

TEST(NimbraSettingsLoading, LayoutIsClampedIntoItsRanges)
{
    Fixture f(QJsonObject {
        { "layout.expandedWidth", 1000 },
        { "layout.expandedHeight", 10 },
        { "layout.activityExtraWidth", 500 },
        { "layout.collapsedTopRadius", -3 },
        { "layout.collapsedBottomRadius", 80 },
        { "layout.expandedTopRadius", 30 },
        { "layout.expandedBottomRadius", 56 },
    });
    const LayoutMetrics& layout = f->layout();
    EXPECT_DOUBLE_EQ(layout.expandedWidth, 620);
    EXPECT_DOUBLE_EQ(layout.expandedHeight, 84);
    EXPECT_DOUBLE_EQ(layout.activityExtraWidth, 180);
    EXPECT_DOUBLE_EQ(layout.activityHeight, 78);
    EXPECT_DOUBLE_EQ(layout.collapsedTopRadius, 0);
    EXPECT_DOUBLE_EQ(layout.collapsedBottomRadius, 56);
    EXPECT_DOUBLE_EQ(layout.expandedTopRadius, 30);
    EXPECT_DOUBLE_EQ(layout.expandedBottomRadius, 56);
}

// ---------------------------------------------------------------------------------------------
// The eyes and their older format

TEST(NimbraSettingsEyes, CurrentKeysAreReadByPresence)
{
    Fixture f(QJsonObject {
        { "eyes.diameter", 40 },
        { "eyes.separation", 0.5 },
        { "eyes.speed", "0.8" }, // the storage's own conversion
        { "eyes.sclera", "ABCDEF" },
        { "eyes.pupil", "not a colour" },
        { "eyes.blinks", 0 },
        { "eyes.sleeps", false },
        { "eyes.drowsyAfter", 60 },
        { "eyes.asleepAfter", 90 },
        { "eyes.cross", false },
        { "eyes.clicks", "no" },
        { "eyes.clickBlink", "random" },
    });
    const EyeStyle& style = f->eyeStyle();
    EXPECT_DOUBLE_EQ(style.diameter, 20); // what the eyes page offers at most
    EXPECT_DOUBLE_EQ(style.separation, 0.5);
    EXPECT_DOUBLE_EQ(style.followSpeed, 0.8);
    EXPECT_EQ(style.scleraHex, "ABCDEF");
    EXPECT_EQ(style.pupilHex, "not a colour");
    EXPECT_FALSE(style.blinks);
    EXPECT_FALSE(style.sleeps);
    EXPECT_DOUBLE_EQ(style.drowsyAfter, 60);
    EXPECT_DOUBLE_EQ(style.asleepAfter, 90);
    EXPECT_FALSE(style.crossesEyes);
    EXPECT_FALSE(style.reactsToClicks);
    EXPECT_EQ(style.clickBlink, ClickBlink::random);

    EXPECT_EQ(Fixture(QJsonObject { { "eyes.clickBlink", "both" } })->eyeStyle().clickBlink, ClickBlink::both);
    EXPECT_EQ(Fixture(QJsonObject { { "eyes.clickBlink", "Both" } })->eyeStyle().clickBlink, ClickBlink::matchingSide);
}

TEST(NimbraSettingsEyes, LegacySizeBecomesABoundedDiameter)
{
    const std::pair<double, double> cases[] = { { 0.62, 18 }, { 0.5, 0.5 * 18 / 0.62 }, { 0.3, 9 }, { 1.0, 20 } };
    for (auto [size, diameter] : cases) {
        Fixture f(QJsonObject { { "eyes.size", size } });
        EXPECT_NEAR(f->eyeStyle().diameter, diameter, 1e-9) << size;
    }
    EXPECT_NEAR(Fixture(QJsonObject { { "eyes.size", 0.5 } })->eyeStyle().diameter, 14.516, 1e-3);
    EXPECT_DOUBLE_EQ(Fixture(QJsonObject { { "eyes.size", 0.5 }, { "eyes.diameter", 12 } })->eyeStyle().diameter, 12);
}

TEST(NimbraSettingsEyes, LegacyBlinkRateDecidesIntervalAndVariation)
{
    const EyeStyle often = Fixture(QJsonObject { { "eyes.blinkRate", "often" } })->eyeStyle();
    EXPECT_DOUBLE_EQ(often.blinkInterval, 2.35);
    EXPECT_DOUBLE_EQ(often.blinkVariation, 0.49);

    const EyeStyle rare
        = Fixture(QJsonObject { { "eyes.blinkRate", "rare" }, { "eyes.blinkVariation", 0.1 } })->eyeStyle();
    EXPECT_DOUBLE_EQ(rare.blinkInterval, 11.5);
    EXPECT_DOUBLE_EQ(rare.blinkVariation, 0.39);

    const EyeStyle unknown = Fixture(QJsonObject { { "eyes.blinkRate", "Often" } })->eyeStyle();
    EXPECT_DOUBLE_EQ(unknown.blinkInterval, 4.95);
    EXPECT_DOUBLE_EQ(unknown.blinkVariation, 0.515);

    const EyeStyle current
        = Fixture(QJsonObject { { "eyes.blinkRate", "often" }, { "eyes.blinkInterval", 3 } })->eyeStyle();
    EXPECT_DOUBLE_EQ(current.blinkInterval, 3);
    EXPECT_DOUBLE_EQ(current.blinkVariation, 0.515);

    // A variation without an interval is ignored.
    const EyeStyle lone = Fixture(QJsonObject { { "eyes.blinkVariation", 0.2 } })->eyeStyle();
    EXPECT_DOUBLE_EQ(lone.blinkVariation, 0.515);
}

TEST(NimbraSettingsEyes, MigrationLivesInMemoryUntilTheStyleIsNextWritten)
{
    Fixture f(QJsonObject { { "eyes.size", 0.3 }, { "eyes.blinkRate", "often" } });
    EXPECT_TRUE(f.storage->writtenKeys().isEmpty());

    f->mutateEyeStyle([](EyeStyle& style) { style.separation = 0.4; });
    EXPECT_EQ(f.storage->writtenKeys(), eyeKeys);
    EXPECT_DOUBLE_EQ(f.storage->object("eyes.diameter").toDouble(), 9);
    EXPECT_DOUBLE_EQ(f.storage->object("eyes.blinkInterval").toDouble(), 2.35);
    // The older keys stay as they were.
    EXPECT_DOUBLE_EQ(f.storage->object("eyes.size").toDouble(), 0.3);
    EXPECT_EQ(f.storage->object("eyes.blinkRate").toString(), "often");
}

// ---------------------------------------------------------------------------------------------
// Write-through and the change signal

TEST(NimbraSettingsWriteThrough, EveryAssignmentWritesButOnlyARealChangeSignals)
{
    Fixture f;
    Changes changes(*f.settings);

    f->setHoverDwell(0.1);
    f->setClipboardEnabled(true);
    f->setClipboardHotKey(KeyCombo::defaultClipboard);
    f->setActivityOrder({ volume, brightness, battery, music });
    f->setAppearance(NimbraSettings::Appearance::system);
    EXPECT_TRUE(changes.names.isEmpty());
    EXPECT_EQ(f.storage->writtenKeys(),
        (QStringList { "hover.dwell", "clipboard.enabled", "clipboard.hotKey", "activity.order", "app.appearance" }));

    f.storage->forgetWrites();
    f->setHoverDwell(0.25);
    f->setClipboardEnabled(false);
    f->setClipboardHotKey({ 49, 4352 });
    f->setActivityOrder({ music });
    f->setAppearance(NimbraSettings::Appearance::dark);
    f->setPomodoroCycles(6);
    EXPECT_EQ(changes.names,
        (QStringList {
            "hoverDwell", "clipboardEnabled", "clipboardHotKey", "activityOrder", "appearance", "pomodoroCycles" }));
    EXPECT_EQ(f.storage->writtenKeys().size(), 6);

    const QJsonObject& stored = f.storage->values();
    EXPECT_EQ(stored.value("hover.dwell"), QJsonValue(0.25));
    EXPECT_EQ(stored.value("clipboard.enabled"), QJsonValue(false));
    EXPECT_EQ(stored.value("clipboard.hotKey"), (QJsonObject { { "keyCode", 49 }, { "modifiers", 4352 } }));
    EXPECT_EQ(stored.value("activity.order"), (QJsonArray { "music" }));
    EXPECT_EQ(stored.value("app.appearance"), QJsonValue("dark"));
    EXPECT_EQ(stored.value("pomodoro.cycles"), QJsonValue(6));
}

TEST(NimbraSettingsWriteThrough, InPlaceMutationAlwaysSignalsAndWritesTheWhole)
{
    Fixture f;
    Changes changes(*f.settings);

    f->mutateLowBatteryLevels([](std::set<int>& levels) { levels.insert(10); }); // already there
    EXPECT_EQ(changes.names, QStringList { "lowBatteryLevels" });
    EXPECT_EQ(f.storage->values().value("module.power.lowLevels"), (QJsonArray { 5, 10, 20 }));

    f->mutateLowBatteryLevels([](std::set<int>& levels) { levels.insert(50); });
    EXPECT_EQ(f.storage->values().value("module.power.lowLevels"), (QJsonArray { 5, 10, 20, 50 }));

    f.storage->forgetWrites();
    f->mutateLayout([](LayoutMetrics& layout) { layout.expandedWidth = 1000; });
    EXPECT_EQ(f.storage->writtenKeys(), layoutKeys);
    // Assigning one field of an existing value stores it as given.
    EXPECT_DOUBLE_EQ(f->layout().expandedWidth, 1000);

    f.storage->forgetWrites();
    f->mutateActivityOrder([](Order& order) { order.move(3, 0); });
    f->mutateClipboardHotKey([](KeyCombo& combo) { combo.modifiers |= KeyCombo::option; });
    EXPECT_EQ(f.storage->writtenKeys(), (QStringList { "activity.order", "clipboard.hotKey" }));
    EXPECT_EQ(f.storage->values().value("activity.order"), (QJsonArray { "music", "volume", "brightness", "battery" }));
    EXPECT_EQ(changes.names,
        (QStringList { "lowBatteryLevels", "lowBatteryLevels", "layout", "activityOrder", "clipboardHotKey" }));
}

TEST(NimbraSettingsWriteThrough, EyeStyleAndLayoutWriteAllTheirKeysInOrder)
{
    Fixture f;
    Changes changes(*f.settings);

    f->setEyeStyle(EyeStyle::defaultStyle());
    EXPECT_EQ(f.storage->writtenKeys(), eyeKeys);
    EXPECT_TRUE(changes.names.isEmpty());
    const QJsonObject& stored = f.storage->values();
    EXPECT_EQ(stored.value("eyes.sclera"), QJsonValue("FFFFFF"));
    EXPECT_EQ(stored.value("eyes.pupil"), QJsonValue("111318"));
    EXPECT_EQ(stored.value("eyes.clickBlink"), QJsonValue("matchingSide"));
    EXPECT_EQ(stored.value("eyes.blinks"), QJsonValue(true));
    EXPECT_EQ(stored.value("eyes.asleepAfter"), QJsonValue(420));
    EXPECT_FALSE(stored.contains("eyes.size"));
    EXPECT_FALSE(stored.contains("eyes.blinkRate"));

    f.storage->forgetWrites();
    LayoutMetrics layout = LayoutMetrics::defaults();
    layout.activityHeight = 100;
    f->setLayout(layout);
    EXPECT_EQ(f.storage->writtenKeys(), layoutKeys);
    EXPECT_EQ(f.storage->values().value("layout.activityHeight"), QJsonValue(100));
    EXPECT_EQ(changes.names, QStringList { "layout" });
}

TEST(NimbraSettingsWriteThrough, NonFiniteAndBelowOneAssignmentsStoreTheDefault)
{
    Fixture f;
    f->setHoverDwell(0.5);
    f->setHoverDwell(notANumber);
    EXPECT_DOUBLE_EQ(f->hoverDwell(), 0.1);
    f->setVelocityCeiling(infinity);
    EXPECT_DOUBLE_EQ(f->velocityCeiling(), 1100);
    f->setPomodoroWorkMinutes(-5);
    EXPECT_EQ(f->pomodoroWorkMinutes(), 25);
    f->setClipboardHistoryLimit(0);
    EXPECT_EQ(f->clipboardHistoryLimit(), 100);
    // Zero is a real choice for the auto-close delay.
    f->setClipboardAutoCloseSeconds(0);
    EXPECT_EQ(f->clipboardAutoCloseSeconds(), 0);

    Fixture reread(f.storage->values());
    EXPECT_DOUBLE_EQ(reread->hoverDwell(), 0.1);
    EXPECT_EQ(reread->pomodoroWorkMinutes(), 25);
    EXPECT_EQ(reread->clipboardAutoCloseSeconds(), 0);
}

// ---------------------------------------------------------------------------------------------
// Derived values

TEST(NimbraSettingsDerived, PriorityFollowsTheFirstPlaceInTheOrder)
{
    Fixture f;
    EXPECT_EQ(f->priority(volume), 40);
    EXPECT_EQ(f->priority(brightness), 30);
    EXPECT_EQ(f->priority(battery), 20);
    EXPECT_EQ(f->priority(music), 10);

    f->setActivityOrder({ music, battery, brightness, volume });
    EXPECT_EQ(f->priority(music), 40);
    EXPECT_EQ(f->priority(volume), 10);

    // A missing kind takes its place in the default order.
    f->setActivityOrder({ music });
    EXPECT_EQ(f->priority(music), 40);
    EXPECT_EQ(f->priority(volume), 40);
    EXPECT_EQ(f->priority(battery), 20);

    Fixture repeated(QJsonObject { { "activity.order", QJsonArray { "volume", "volume", "volume", "volume" } } });
    EXPECT_EQ(repeated->priority(volume), 40);
    EXPECT_EQ(repeated->priority(brightness), 0);
    EXPECT_EQ(repeated->priority(music), -20);
}

TEST(NimbraSettingsDerived, ConfigurationsOfOtherModels)
{
    Fixture f;
    const ClipboardStore::Limits limits = f->clipboardLimits();
    EXPECT_EQ(limits.maxItems, 100);
    EXPECT_EQ(limits.maxBytes, 201326592);

    const Pomodoro::Configuration pomodoro = f->pomodoroConfiguration();
    EXPECT_DOUBLE_EQ(pomodoro.work, 1500);
    EXPECT_DOUBLE_EQ(pomodoro.shortBreak, 300);
    EXPECT_DOUBLE_EQ(pomodoro.longBreak, 900);
    EXPECT_EQ(pomodoro.cyclesBeforeLongBreak, 4);

    f->setHoverDwell(0.6);
    f->setVelocityCeiling(700);
    const HoverIntent::Configuration hover = f->hoverConfiguration();
    EXPECT_DOUBLE_EQ(hover.dwell, 0.6);
    EXPECT_DOUBLE_EQ(hover.releaseGrace, 0.1);
    EXPECT_DOUBLE_EQ(hover.velocityCeiling, 700);

    f->setLowBatteryLevels({});
    EXPECT_FALSE(f->lowBatteryAlerts());
    f->mutateLowBatteryLevels([](std::set<int>& levels) { levels.insert(15); });
    EXPECT_TRUE(f->lowBatteryAlerts());

    EXPECT_EQ(NimbraSettings::availableBatteryLevels(), (std::array<int, 7> { 50, 30, 25, 20, 15, 10, 5 }));
}

TEST(NimbraSettingsShelf, PathsAreRememberedOnlyWhileTheShelfPersists)
{
    Fixture f;
    f->storeShelf({ "/tmp/b", "/tmp/a" });
    EXPECT_EQ(f->storedShelfPaths(), (QStringList { "/tmp/b", "/tmp/a" }));

    f->setShelfPersists(false);
    EXPECT_TRUE(f->storedShelfPaths().isEmpty());
    EXPECT_EQ(f.storage->values().value("shelf.paths"), (QJsonArray { "/tmp/b", "/tmp/a" }));
    f->storeShelf({ "/tmp/c" });
    EXPECT_EQ(f.storage->values().value("shelf.paths"), QJsonArray {});

    Fixture mixed(QJsonObject { { "shelf.paths", QJsonArray { "/tmp/a", 3 } } });
    EXPECT_TRUE(mixed->storedShelfPaths().isEmpty());
}

// ---------------------------------------------------------------------------------------------
// Reset

TEST(NimbraSettingsReset, AtDefaultsRewritesTheTwelveSettingsAndSignalsNothing)
{
    Fixture f;
    Changes changes(*f.settings);
    f->resetToDefaults();
    EXPECT_TRUE(changes.names.isEmpty());
    EXPECT_EQ(f.storage->writtenKeys(),
        QStringList({ "hover.dwell", "hover.velocityCeiling", "module.nowPlaying.enabled", "module.nowPlaying.resident",
            "module.nowPlaying.activity", "module.hud.replacement", "module.glance.enabled", "module.power.enabled",
            "module.power.activity", "module.power.lowLevels", "display.showOnAll" })
            + layoutKeys);
}

TEST(NimbraSettingsReset, RestoresItsGroupAndLeavesTheRest)
{
    Fixture f(QJsonObject {
        { "hover.dwell", 0.4 },
        { "module.hud.replacement", true },
        { "module.power.lowLevels", QJsonArray {} },
        { "layout.expandedWidth", 500 },
        { "activity.order", QJsonArray { "music" } },
        { "eyes.diameter", 12 },
        { "clipboard.historyLimit", 25 },
        { "app.appearance", "light" },
        { "timer.chime", false },
    });
    Changes changes(*f.settings);
    f->resetToDefaults();

    EXPECT_EQ(changes.names, (QStringList { "hoverDwell", "hudReplacement", "lowBatteryLevels", "layout" }));
    EXPECT_DOUBLE_EQ(f->hoverDwell(), 0.1);
    EXPECT_FALSE(f->hudReplacement());
    EXPECT_EQ(f->lowBatteryLevels(), (std::set<int> { 5, 10, 20 }));
    EXPECT_EQ(f->layout(), LayoutMetrics::defaults());

    EXPECT_EQ(f->activityOrder(), (Order { music, volume, brightness, battery }));
    EXPECT_DOUBLE_EQ(f->eyeStyle().diameter, 12);
    EXPECT_EQ(f->clipboardHistoryLimit(), 25);
    EXPECT_EQ(f->appearance(), NimbraSettings::Appearance::light);
    EXPECT_FALSE(f->timerChimeEnabled());
    EXPECT_EQ(f.storage->values().value("activity.order"), (QJsonArray { "music" }));
}

// ---------------------------------------------------------------------------------------------
// Through a real file

class NimbraSettingsFile : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.path() + "/nimbra/settings.json"; }
    std::unique_ptr<NimbraSettings> open() const
    {
        return std::make_unique<NimbraSettings>(std::make_shared<JsonFileSettingsStorage>(path(), 60'000));
    }
};

TEST_F(NimbraSettingsFile, ValuesSurviveARestartWithTheirTypes)
{
    {
        auto settings = open();
        EXPECT_FALSE(QFileInfo::exists(path()));
        settings->setClipboardEnabled(false);
        settings->setLaunchAtLogin(true);
        settings->setClipboardHistoryLimit(200);
        settings->setClipboardAutoCloseSeconds(0);
        settings->setHoverDwell(0.35);
        settings->setVelocityCeiling(1234.5);
        settings->setLowBatteryLevels({});
        settings->setActivityOrder({ music });
        settings->setClipboardHotKey({ 49, KeyCombo::control | KeyCombo::cmd });
        settings->mutateEyeStyle([](EyeStyle& style) {
            style.diameter = 14.5;
            style.clickBlink = ClickBlink::both;
        });
        settings->mutateLayout([](LayoutMetrics& layout) { layout.expandedTopRadius = 22.5; });
        settings->setClockFont(NimbraSettings::ClockFont::rounded);
        settings->storeShelf({ "/tmp/only" });
    } // destroyed: the pending write lands now

    QFile file(path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject stored = QJsonDocument::fromJson(file.readAll()).object();
    EXPECT_TRUE(stored.value("clipboard.enabled").isBool());
    EXPECT_TRUE(stored.value("clipboard.historyLimit").isDouble());
    EXPECT_TRUE(stored.value("module.power.lowLevels").isArray());
    EXPECT_EQ(stored.value("clipboard.hotKey"), (QJsonObject { { "keyCode", 49 }, { "modifiers", 4352 } }));

    auto settings = open();
    EXPECT_FALSE(settings->clipboardEnabled());
    EXPECT_TRUE(settings->launchAtLogin());
    EXPECT_EQ(settings->clipboardHistoryLimit(), 200);
    EXPECT_EQ(settings->clipboardAutoCloseSeconds(), 0);
    EXPECT_DOUBLE_EQ(settings->hoverDwell(), 0.35);
    EXPECT_DOUBLE_EQ(settings->velocityCeiling(), 1234.5);
    EXPECT_TRUE(settings->lowBatteryLevels().empty());
    EXPECT_EQ(settings->activityOrder(), (Order { music, volume, brightness, battery }));
    EXPECT_EQ(settings->clipboardHotKey(), (KeyCombo { 49, 4352 }));
    EXPECT_DOUBLE_EQ(settings->eyeStyle().diameter, 14.5);
    EXPECT_EQ(settings->eyeStyle().clickBlink, ClickBlink::both);
    EXPECT_DOUBLE_EQ(settings->layout().expandedTopRadius, 22.5);
    EXPECT_EQ(settings->clockFont(), NimbraSettings::ClockFont::rounded);
    EXPECT_EQ(settings->storedShelfPaths(), QStringList { "/tmp/only" });
    // Untouched settings stay defaults.
    EXPECT_TRUE(settings->timerChimeEnabled());
    EXPECT_EQ(settings->eyeStyle().separation, EyeStyle::defaultStyle().separation);
}

TEST_F(NimbraSettingsFile, NonFiniteNumbersComeBackAsTheKeysDefault)
{
    {
        auto settings = open();
        settings->mutateEyeStyle([](EyeStyle& style) {
            style.diameter = notANumber;
            style.drowsyAfter = infinity;
        });
        settings->mutateLayout([](LayoutMetrics& layout) { layout.expandedWidth = notANumber; });
    }
    auto settings = open();
    EXPECT_DOUBLE_EQ(settings->eyeStyle().diameter, 18);
    EXPECT_DOUBLE_EQ(settings->eyeStyle().drowsyAfter, 150);
    EXPECT_DOUBLE_EQ(settings->layout().expandedWidth, 360);
}

TEST_F(NimbraSettingsFile, ADamagedFileGivesDefaultsAndIsKeptAside)
{
    QDir().mkpath(dir.path() + "/nimbra");
    QFile file(path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"clipboard.enabled": false, "hover.dwell": )");
    file.close();

    {
        auto settings = open();
        EXPECT_TRUE(settings->clipboardEnabled());
        EXPECT_DOUBLE_EQ(settings->hoverDwell(), 0.1);
        settings->setEyesEnabled(true);
    }
    const QStringList copies = QDir(dir.path() + "/nimbra").entryList({ "settings.json.corrupt-*" }, QDir::Files);
    ASSERT_EQ(copies.size(), 1);
    QFile copy(dir.path() + "/nimbra/" + copies.first());
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), QByteArray(R"({"clipboard.enabled": false, "hover.dwell": )"));
    EXPECT_TRUE(open()->eyesEnabled());
}
