#include "settings_fixture.h"
#include "ui/eyes/eye_preview.h"
#include "ui/settings/eyes_page.h"
#include "ui/settings/settings_blocks.h"
#include "ui/settings/settings_controls.h"

#include <QComboBox>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSlider>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

// The opacity a widget is drawn at: its own and its containers' together.
double opacity(QWidget* widget)
{
    double product = 1;
    for (QWidget* w = widget; w; w = w->parentWidget()) {
        if (auto* effect = qobject_cast<QGraphicsOpacityEffect*>(w->graphicsEffect()))
            product *= effect->opacity();
    }
    return product;
}

// Moves a slider to the position that stands for `value` in `range`, as a drag would end there.
void slideTo(QSlider* slider, double value, double lower, double upper)
{
    slider->setValue(int(std::lround((value - lower) / (upper - lower) * slider->maximum())));
}

} // namespace

TEST(EyeTexts, SecondsMinutesAndTheBlinkSpread)
{
    EXPECT_EQ(EyeTexts::secondsLabel(4.94), "4.9 s");
    EXPECT_EQ(EyeTexts::secondsLabel(4.95), "5.0 s");
    EXPECT_EQ(EyeTexts::secondsLabel(12.4), "12 s");
    EXPECT_EQ(EyeTexts::secondsLabel(12.5), "13 s");
    EXPECT_EQ(EyeTexts::minutesLabel(150), "2.5 min");
    EXPECT_EQ(EyeTexts::minutesLabel(15), "0.25 min");
    EXPECT_EQ(EyeTexts::minutesLabel(420), "7 min");
    EXPECT_EQ(EyeTexts::minutesLabel(900), "15 min");
    EXPECT_EQ(EyeTexts::minutesLabel(1230), "21 min"); // 20.5, away from zero
    EXPECT_EQ(EyeTexts::percentLabel(0.34, 0.8), "43%");
    EXPECT_EQ(EyeTexts::percentLabel(0.55, 0.95), "58%");
    EXPECT_EQ(EyeTexts::sizeLabel(18), "18 px");

    EyeStyle style = EyeStyle::defaultStyle();
    EXPECT_EQ(EyeTexts::blinkRangeDetail(style), "Somewhere between 2.4 s and 7.5 s apart.");
    style.blinkVariation = 0;
    style.blinkInterval = 5;
    EXPECT_EQ(EyeTexts::blinkRangeDetail(style), "Always on the same beat.");
    style.blinkInterval = 30;
    style.blinkVariation = 0.9;
    EXPECT_EQ(EyeTexts::blinkRangeDetail(style), "Somewhere between 3.0 s and 57 s apart.");
}

TEST(EyeMinutes, SleepStaysAMinuteAfterTheDroop)
{
    const EyeStyle style = EyeStyle::defaultStyle(); // droops at 150 s, asleep at 420 s
    // Droop at 7 minutes with sleep at 7: sleep moves to 8.
    EyeStyle later = EyeMinutes::drowsyAfter(style, 7);
    EXPECT_DOUBLE_EQ(later.drowsyAfter, 420);
    EXPECT_DOUBLE_EQ(later.asleepAfter, 480);
    // Far enough apart: sleep stays.
    EyeStyle earlier = EyeMinutes::drowsyAfter(style, 1);
    EXPECT_DOUBLE_EQ(earlier.drowsyAfter, 60);
    EXPECT_DOUBLE_EQ(earlier.asleepAfter, 420);
    // Never below 15 s.
    EXPECT_DOUBLE_EQ(EyeMinutes::drowsyAfter(style, 0.1).drowsyAfter, 15);
    // Sleep below the droop point plus a minute stays there.
    EXPECT_DOUBLE_EQ(EyeMinutes::asleepAfter(style, 2).asleepAfter, 210);
    EXPECT_DOUBLE_EQ(EyeMinutes::asleepAfter(style, 30).asleepAfter, 1800);
}

TEST(EyesPage, ShowsTheDefaultStyleAndMovesSleepAlongWithTheDroop)
{
    SettingsFixture f;
    f.settings.setEyesEnabled(true);
    f.open(SettingsSection::eyes);
    const QStringList texts = f.shownTexts();
    for (const char* expected : { "18 px", "43%", "58%", "5.0 s", "52%", "Somewhere between 2.4 s and 7.5 s apart.",
             "2.5 min", "7 min", "Eyes in the tray", "Left click winks the left eye, right click the right." })
        EXPECT_TRUE(texts.contains(expected)) << expected;

    auto* droop = f.find<QSlider>("Start to droop after");
    ASSERT_NE(droop, nullptr);
    slideTo(droop, 7, 0.25, 20);
    EXPECT_NEAR(f.settings.eyeStyle().drowsyAfter, 420, 1);
    EXPECT_NEAR(f.settings.eyeStyle().asleepAfter, 480, 1);
    EXPECT_TRUE(f.shownTexts().contains("8 min"));

    // Sleep below the droop point plus a minute snaps back there.
    auto* asleep = f.find<QSlider>("Fully asleep after");
    ASSERT_NE(asleep, nullptr);
    slideTo(asleep, 2, 0.5, 60);
    EXPECT_NEAR(f.settings.eyeStyle().asleepAfter, f.settings.eyeStyle().drowsyAfter + 60, 0.001);

    auto* size = f.find<QSlider>("Size");
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(size->maximum(), 11); // 9 to 20 in whole points
    size->setValue(size->maximum());
    EXPECT_DOUBLE_EQ(f.settings.eyeStyle().diameter, 20);
    EXPECT_TRUE(f.shownTexts().contains("20 px"));

    // "Give or take" at 0 with a long interval: always on the same beat.
    auto* spread = f.find<QSlider>("Give or take");
    ASSERT_NE(spread, nullptr);
    spread->setValue(0);
    EXPECT_DOUBLE_EQ(f.settings.eyeStyle().blinkVariation, 0);
    EXPECT_TRUE(f.shownTexts().contains("Always on the same beat."));
}

TEST(EyesPage, APresetIsOneWriteAndResetLeavesTheSwitchAlone)
{
    SettingsFixture f;
    f.settings.setEyesEnabled(true);
    f.open(SettingsSection::eyes);
    QPushButton* rarely = f.button("Rarely");
    QPushButton* nowAndThen = f.button("Now and then");
    ASSERT_TRUE(rarely && nowAndThen && f.button("Often"));
    rarely->click();
    EXPECT_DOUBLE_EQ(f.settings.eyeStyle().blinkInterval, 11.5);
    EXPECT_DOUBLE_EQ(f.settings.eyeStyle().blinkVariation, 0.39);
    QSignalSpy changes(&f.settings, &NimbraSettings::changed);
    nowAndThen->click();
    EXPECT_EQ(changes.count(), 1);
    EXPECT_DOUBLE_EQ(f.settings.eyeStyle().blinkInterval, 4.95);
    EXPECT_DOUBLE_EQ(f.settings.eyeStyle().blinkVariation, 0.515);

    f.settings.mutateEyeStyle([](EyeStyle& style) {
        style.diameter = 11;
        style.sleeps = false;
    });
    f.settings.setEyesEnabled(false);
    QPushButton* reset = f.button("Reset Eyes");
    ASSERT_NE(reset, nullptr);
    EXPECT_TRUE(reset->isEnabled());
    reset->click();
    EXPECT_EQ(f.settings.eyeStyle(), EyeStyle::defaultStyle());
    EXPECT_FALSE(f.settings.eyesEnabled());
}

TEST(EyesPage, SwitchedOffPartsAreDimmedAndDisabledWithoutLosingTheirValues)
{
    SettingsFixture f;
    f.settings.setEyesEnabled(true);
    f.open(SettingsSection::eyes);
    auto* preview = f.view->currentScrollArea()->findChild<EyePreview*>();
    auto* interval = f.find<QSlider>("About every");
    auto* picker = f.find<QComboBox>("Which eye");
    ASSERT_TRUE(preview && interval && picker);
    EXPECT_DOUBLE_EQ(opacity(preview), 1);
    EXPECT_TRUE(interval->isEnabled());
    EXPECT_EQ(picker->currentText(), "The eye on that side");

    // Blinking off: its group is disabled and dimmed, yet readable.
    const double shown = f.contrastOf("About every");
    f.find<SwitchControl>("Blink on their own")->click();
    EXPECT_FALSE(f.settings.eyeStyle().blinks);
    EXPECT_FALSE(interval->isEnabled());
    const double dimmed = f.contrastOf("About every");
    EXPECT_LT(dimmed, shown * 0.6);
    EXPECT_GE(dimmed, 3);
    // Click reactions off: the picker is disabled and the choice kept.
    f.find<SwitchControl>("Blink when I click")->click();
    EXPECT_FALSE(picker->isEnabled());
    EXPECT_EQ(f.settings.eyeStyle().clickBlink, ClickBlink::matchingSide);
    f.find<SwitchControl>("Blink when I click")->click();
    picker->setCurrentIndex(0);
    Q_EMIT picker->activated(0);
    EXPECT_EQ(f.settings.eyeStyle().clickBlink, ClickBlink::both);
    EXPECT_TRUE(f.shownTexts().contains("A full blink on every click."));

    // Eyes off: the preview at 0.4, every style control disabled, the switch still usable.
    auto* eyes = f.find<SwitchControl>("Show eyes in the tray");
    eyes->click();
    EXPECT_FALSE(f.settings.eyesEnabled());
    EXPECT_DOUBLE_EQ(opacity(preview), 0.4);
    EXPECT_FALSE(f.find<QSlider>("Size")->isEnabled());
    // A group inside another is dimmed no further.
    EXPECT_DOUBLE_EQ(f.contrastOf("Size"), dimmed);
    EXPECT_DOUBLE_EQ(f.contrastOf("About every"), dimmed);
    EXPECT_FALSE(picker->isEnabled());
    EXPECT_TRUE(eyes->isEnabled());
    const QImage off = f.render();
    saveArtefact(off, "eyes-page-off");
}

TEST(EyesPage, ColourWellsShowWhatTheEyesDrawAndStoreUpperCaseHex)
{
    SettingsFixture f;
    f.settings.setEyesEnabled(true);
    f.settings.mutateEyeStyle([](EyeStyle& style) {
        style.scleraHex = "not a colour";
        style.pupilHex = "12345";
    });
    f.open(SettingsSection::eyes);
    auto* sclera = f.find<ColourWell>("White of the eye");
    auto* pupil = f.find<ColourWell>("Pupil");
    ASSERT_TRUE(sclera && pupil);
    EXPECT_EQ(sclera->colour(), QColor(Qt::white));
    // A pupil that is no colour is drawn black by the eyes, so its well shows black.
    EXPECT_EQ(pupil->colour(), QColor(Qt::black));

    pupil->onPick(QColor(0x1a, 0x2b, 0x3c));
    EXPECT_EQ(f.settings.eyeStyle().pupilHex, "1A2B3C");
    EXPECT_EQ(pupil->colour(), QColor(0x1a, 0x2b, 0x3c));
    sclera->onPick(QColor(255, 250, 240));
    EXPECT_EQ(f.settings.eyeStyle().scleraHex, "FFFAF0");
}

TEST(EyesPage, ThePreviewAnimatesOnlyWhileItsPageIsOnScreen)
{
    SettingsFixture f;
    f.open(SettingsSection::eyes);
    auto* preview = f.view->currentScrollArea()->findChild<EyePreview*>();
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->isAnimating());
    f.open(SettingsSection::about);
    EXPECT_FALSE(preview->isAnimating());
    f.open(SettingsSection::eyes);
    EXPECT_TRUE(preview->isAnimating());
    f.view->hide();
    EXPECT_FALSE(preview->isAnimating());
}
