#include "settings_fixture.h"
#include "ui/settings/general_pages.h"
#include "ui/settings/notch_previews.h"
#include "ui/settings/settings_controls.h"

#include <QComboBox>
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

bool showsText(const SettingsFixture& f, const QString& text)
{
    for (const QLabel* l : f.view->currentScrollArea()->findChildren<QLabel*>()) {
        if (l->text() == text && l->isVisible())
            return true;
    }
    return false;
}

} // namespace

TEST(HoverTexts, DelayLabelsAndCaptionsChangeAtTheirThresholds)
{
    const QString instant = HoverTexts::delayCaption(0);
    EXPECT_EQ(HoverTexts::delayLabel(0), "Instant");
    EXPECT_EQ(HoverTexts::delayLabel(0.004), "Instant");
    EXPECT_EQ(HoverTexts::delayCaption(0.004), instant);
    EXPECT_TRUE(instant.startsWith("Opens the instant the pointer touches the notch"));
    EXPECT_EQ(HoverTexts::delayLabel(0.01), "10 ms");
    EXPECT_TRUE(HoverTexts::delayCaption(0.01).startsWith("Feels instant"));
    EXPECT_TRUE(HoverTexts::delayCaption(0.159).startsWith("Feels instant"));
    EXPECT_EQ(HoverTexts::delayLabel(0.16), "160 ms");
    EXPECT_EQ(HoverTexts::delayCaption(0.16), "A deliberate pause. Almost never opens by accident.");
    EXPECT_EQ(HoverTexts::delayLabel(0.32), "320 ms");
    EXPECT_EQ(HoverTexts::delayCaption(0.32), "Very deliberate. You'll need to rest on the notch and wait.");
    EXPECT_EQ(HoverTexts::delayLabel(0.1234), "123 ms");
    EXPECT_EQ(HoverTexts::delayLabel(0.0125), "13 ms"); // halves away from zero

    EXPECT_EQ(HoverTexts::toleranceLabel(699.9), "Strict");
    EXPECT_EQ(HoverTexts::toleranceLabel(700), "Balanced");
    EXPECT_EQ(HoverTexts::toleranceLabel(1299), "Balanced");
    EXPECT_EQ(HoverTexts::toleranceLabel(1300), "Forgiving");
}

TEST(HoverPage, SlidersWriteEveryStepAndOutOfRangeValuesAreLeftAlone)
{
    SettingsFixture f;
    f.settings.setVelocityCeiling(3000);
    f.open(SettingsSection::hover);
    EXPECT_TRUE(showsText(f, "Forgiving"));
    EXPECT_DOUBLE_EQ(f.settings.velocityCeiling(), 3000); // shown, not clamped by the page
    EXPECT_TRUE(showsText(f, "100 ms"));

    auto* delay = f.find<QSlider>("Open delay");
    ASSERT_NE(delay, nullptr);
    delay->setFocus();
    QTest::keyClick(delay, Qt::Key_Right);
    EXPECT_DOUBLE_EQ(f.settings.hoverDwell(), 0.11);
    EXPECT_TRUE(showsText(f, "110 ms"));
    QTest::keyClick(delay, Qt::Key_Home);
    EXPECT_DOUBLE_EQ(f.settings.hoverDwell(), 0);
    EXPECT_TRUE(showsText(f, "Instant"));
    EXPECT_TRUE(showsText(f, HoverTexts::delayCaption(0)));

    auto* tolerance = f.find<QSlider>("Movement tolerance");
    ASSERT_NE(tolerance, nullptr);
    tolerance->setFocus();
    QTest::keyClick(tolerance, Qt::Key_Home);
    EXPECT_DOUBLE_EQ(f.settings.velocityCeiling(), 400);
    EXPECT_TRUE(showsText(f, "Strict"));
    QTest::keyClick(tolerance, Qt::Key_Right);
    EXPECT_DOUBLE_EQ(f.settings.velocityCeiling(), 450);
}

TEST(GeneralPage, PickersAndSwitchesWriteTheStore)
{
    SettingsFixture f;
    SettingsView& view = f.open(SettingsSection::general);
    auto* appearance = f.find<SegmentedControl>("Appearance");
    ASSERT_NE(appearance, nullptr);
    EXPECT_EQ(appearance->titles(), (QStringList { "Auto", "Light", "Dark" }));
    QTest::mouseClick(appearance, Qt::LeftButton, {}, appearance->segmentRect(2).center());
    EXPECT_EQ(f.settings.appearance(), Appearance::dark);
    EXPECT_TRUE(view.previewTheme().isDark); // whatever the desktop's scheme

    auto* clock = f.find<QComboBox>("Clock");
    ASSERT_NE(clock, nullptr);
    ASSERT_EQ(clock->count(), 5);
    EXPECT_EQ(clock->itemText(0), "Lock Screen");
    EXPECT_EQ(clock->itemText(4), "Mono");
    clock->activated(3);
    EXPECT_EQ(f.settings.clockFont(), ClockFont::serif);
    f.settings.setClockFont(ClockFont::rounded);
    EXPECT_EQ(clock->currentIndex(), 2);

    auto* all = f.find<SwitchControl>("Show on all displays");
    ASSERT_NE(all, nullptr);
    QTest::mouseClick(all, Qt::LeftButton);
    EXPECT_TRUE(f.settings.showOnAllDisplays());
    EXPECT_TRUE(f.storage->object("display.showOnAll").toBool());
}

TEST(GeneralPage, OpenAtLoginWritesTheSettingFirstAndFollowsAWriteBack)
{
    SettingsFixture f;
    SettingsView::Inputs inputs = f.inputs();
    QList<bool> seen;
    // The shell sees the setting already written, then refuses and writes it back.
    inputs.onLaunchAtLoginChange = [&](bool on) {
        seen << f.settings.launchAtLogin();
        f.settings.setLaunchAtLogin(!on);
    };
    f.make(false, inputs);
    f.open(SettingsSection::general);
    auto* login = f.find<SwitchControl>("Open at login");
    ASSERT_NE(login, nullptr);
    QTest::mouseClick(login, Qt::LeftButton);
    EXPECT_EQ(seen, QList<bool> { true });
    EXPECT_FALSE(f.settings.launchAtLogin());
    EXPECT_FALSE(login->isChecked());
}

TEST(GeneralPage, TheClockSampleTakesTheAppearanceAndTheNotchCorners)
{
    SettingsFixture f;
    f.settings.setAppearance(Appearance::dark);
    SettingsView& view = f.open(SettingsSection::general);
    NotchPreview* preview = view.currentScrollArea()->findChild<NotchPreview*>();
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->theme().isDark);
    // The notch's fill under the clock is black in a dark theme, near white in a light one.
    const auto fillAt = [&] {
        const QImage image = preview->grab().toImage();
        return image.pixelColor(int(preview->notchFrame().center().x()), 4);
    };
    EXPECT_EQ(fillAt(), QColor(0, 0, 0));
    f.settings.setAppearance(Appearance::light);
    EXPECT_FALSE(preview->theme().isDark);
    EXPECT_TRUE(waitUntil([&] { return !preview->isFading(); }, 3000));
    EXPECT_EQ(fillAt(), QColor::fromRgbF(0.96f, 0.96f, 0.96f).rgb());

    LayoutMetrics layout = f.settings.layout();
    layout.expandedTopRadius = 30;
    f.settings.setLayout(layout);
    EXPECT_DOUBLE_EQ(preview->notchLayout().expandedTopRadius, 30);
    EXPECT_DOUBLE_EQ(preview->contentFrame().width(), 300 - 36);

    EXPECT_TRUE(ClockPreview::timeText(ClockPreview::sampleMoment()).contains("41"));
    EXPECT_FALSE(ClockPreview::dateText(ClockPreview::sampleMoment()).contains("2026"));
    EXPECT_TRUE(ClockPreview::dateText(ClockPreview::sampleMoment()).contains("17"));
}
