#include "settings_fixture.h"
#include "ui/settings/charge_previews.h"
#include "ui/settings/notch_previews.h"
#include "ui/settings/notch_stage.h"
#include "ui/settings/settings_blocks.h"
#include "ui/settings/settings_controls.h"
#include "ui/settings/sound_battery_pages.h"
#include "ui/surface/notch_theme.h"

#include <QGraphicsOpacityEffect>
#include <QJsonArray>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

SystemLevel volumeAt(double value, bool available = true)
{
    return SystemLevel(SystemLevel::Kind::volume, value, false, available, std::nullopt);
}

LevelChip* chip(const SettingsFixture& f, int level)
{
    for (LevelChip* c : f.view->currentScrollArea()->findChildren<LevelChip*>()) {
        if (c->level() == level)
            return c;
    }
    return nullptr;
}

// How many pixels of row `y` are close to `colour`.
int run(const QImage& image, int y, const QColor& colour)
{
    int count = 0;
    for (int x = 0; x < image.width(); ++x) {
        const QColor c = image.pixelColor(x, y);
        if (std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) + std::abs(c.blue() - colour.blue())
            < 30)
            ++count;
    }
    return count;
}

} // namespace

TEST(SoundCapabilities, RowsFollowTheReadingsAndTheDisplayServer)
{
    LiveLevels none;
    EXPECT_FALSE(SoundCapabilities::volume(none).isAvailable());
    EXPECT_EQ(SoundCapabilities::volume(none).explanation, "This output device has no volume control.");
    EXPECT_EQ(SoundCapabilities::reading(none.volume), std::nullopt);
    EXPECT_EQ(SoundCapabilities::brightness(none).explanation, "This display's brightness can't be read.");

    const LiveLevels live { volumeAt(0.004), SystemLevel(SystemLevel::Kind::brightness, 0.995, false, true, {}) };
    EXPECT_EQ(SoundCapabilities::volume(live), CapabilityRow::Status::available("Works now. No permission needed."));
    EXPECT_EQ(SoundCapabilities::reading(live.volume), "0%");
    EXPECT_EQ(SoundCapabilities::reading(live.brightness), "100%");
    EXPECT_TRUE(SoundCapabilities::brightness(live).isAvailable());

    // A reading that cannot be controlled: unavailable, with its percentage.
    const LiveLevels stuck { volumeAt(0.42, false), SystemLevel(SystemLevel::Kind::brightness, 0.4, false, false, {}) };
    EXPECT_FALSE(SoundCapabilities::volume(stuck).isAvailable());
    EXPECT_EQ(SoundCapabilities::reading(stuck.volume), "42%");
    EXPECT_EQ(SoundCapabilities::brightness(stuck),
        CapabilityRow::Status::unavailable("This display's brightness can't be changed here."));
    EXPECT_EQ(SoundCapabilities::reading(stuck.brightness), "40%");

    // The media keys: what is true of them, not only what the display server allows.
    EXPECT_FALSE(SoundCapabilities::keyTakeover(false).isAvailable());
    EXPECT_TRUE(SoundCapabilities::keyTakeover(false).explanation.contains("needs an X11 session"));
    KeyboardStatus keys;
    keys.mediaKeysTaken = true;
    EXPECT_EQ(SoundCapabilities::keyTakeover(true, keys),
        CapabilityRow::Status::available("Nimbra catches the key before the desktop draws its panel."));
    keys.mediaKeysHeldElsewhere = { "Volume Up", "Volume Down", "Mute" };
    EXPECT_EQ(SoundCapabilities::keyTakeover(true, keys),
        CapabilityRow::Status::unavailable("Another program holds Volume Up, Volume Down and Mute, so the desktop still "
                                           "draws its own display for them. Nimbra tries again whenever one of its "
                                           "windows comes to the front."));
    keys.mediaKeysHeldElsewhere = { "Mute" };
    EXPECT_TRUE(SoundCapabilities::keyTakeover(true, keys)
                    .explanation.contains("holds Mute, so the desktop still draws its own display for it."));
    EXPECT_TRUE(SoundCapabilities::keyTakeover(true).isAvailable());
    EXPECT_TRUE(SoundCapabilities::keyTakeover(true).explanation.startsWith("The keys are free."));
}

TEST(SoundPage, ShowsTheChosenLevelInTheStageAndTheMachinesCapabilities)
{
    SettingsFixture f;
    bool keys = false;
    KeyboardStatus status;
    SettingsView::Inputs in = f.inputs();
    in.isAccessibilityGranted = [&keys] { return keys; };
    in.keyboardStatus = [&status] { return status; };
    f.make(false, in);
    f.open(SettingsSection::system);

    auto* stage = f.view->currentScrollArea()->findChild<NotchStage*>();
    ASSERT_NE(stage, nullptr);
    EXPECT_EQ(stage->state(), NotchStageState::readout);
    EXPECT_EQ(stage->picker(), nullptr);
    // The fixture has a volume reading of 50 % and no brightness.
    auto* volume = f.find<CapabilityRow>("Show volume in the notch");
    auto* brightness = f.find<CapabilityRow>("Show brightness in the notch");
    auto* takeover = f.find<CapabilityRow>("Hide the desktop's own on-screen display");
    ASSERT_TRUE(volume && brightness && takeover);
    EXPECT_TRUE(volume->status().isAvailable());
    EXPECT_EQ(volume->reading(), "50%");
    EXPECT_FALSE(brightness->status().isAvailable());
    EXPECT_EQ(brightness->reading(), std::nullopt);
    EXPECT_FALSE(takeover->status().isAvailable());
    EXPECT_TRUE(takeover->findChildren<QPushButton*>().isEmpty());
    keys = true;
    f.view->refreshAccessibility();
    EXPECT_TRUE(takeover->status().isAvailable());
    // A daemon of the desktop holds the volume keys: the row says so.
    status.mediaKeysHeldElsewhere = { "Volume Up", "Volume Down", "Mute" };
    f.view->refreshAccessibility();
    EXPECT_FALSE(takeover->status().isAvailable());
    EXPECT_TRUE(takeover->explanation().startsWith("Another program holds Volume Up, Volume Down and Mute"));
    // The row grows to show the whole of the longer explanation.
    QLabel* explanation = nullptr;
    for (QLabel* label : takeover->findChildren<QLabel*>())
        explanation = label->text() == takeover->explanation() ? label : explanation;
    ASSERT_NE(explanation, nullptr);
    EXPECT_TRUE(waitUntil([&] { return explanation->height() >= explanation->heightForWidth(explanation->width()); }));
    saveArtefact(f.renderPage(), "sound-page-keys-held-elsewhere");

    // Choosing brightness shows a sample at 60 % in the stage, as there is no reading.
    f.view->setPreviewedKind(SystemLevel::Kind::brightness);
    EXPECT_EQ(f.view->previewedLevelSample().value, 0.6);

    const QImage image = f.render();
    saveArtefact(image, "sound-page-brightness-chosen");
}

TEST(SoundPage, TheHudSwitchStoresItsValueEvenWhenTheKeysCannotBeTaken)
{
    SettingsFixture f;
    QList<bool> asked;
    SettingsView::Inputs in = f.inputs();
    in.onHUDChange = [&asked](bool on) {
        asked << on;
        return false;
    };
    f.make(false, in);
    f.open(SettingsSection::system);
    auto* hud = f.find<SwitchControl>("Replace the volume & brightness on-screen display");
    ASSERT_NE(hud, nullptr);
    EXPECT_FALSE(hud->isChecked());
    hud->click();
    EXPECT_TRUE(f.settings.hudReplacement());
    EXPECT_EQ(asked, (QList<bool> { true }));
    EXPECT_TRUE(hud->isChecked());
    hud->click();
    EXPECT_FALSE(f.settings.hudReplacement());
    EXPECT_EQ(asked, (QList<bool> { true, false }));

    // The title reads "&", not a mnemonic's underline: it draws as a plain label of that text.
    QLabel* heading = nullptr;
    for (QLabel* l : f.view->currentScrollArea()->findChildren<QLabel*>()) {
        if (l->buddy() == hud)
            heading = l;
    }
    ASSERT_NE(heading, nullptr);
    QLabel plain;
    plain.setTextFormat(Qt::PlainText);
    plain.setFont(heading->font());
    plain.setPalette(heading->palette());
    plain.setText("Replace the volume & brightness on-screen display");
    plain.setStyle(heading->style());
    plain.resize(heading->size());
    const auto draw = [](QLabel& l) {
        QImage image(l.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        l.render(&image, QPoint(), QRegion(), {});
        return image;
    };
    // Alike up to the smoothing of the glyphs' edges.
    const QImage a = draw(*heading), b = draw(plain);
    int differ = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            differ += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))) > 40;
    EXPECT_EQ(differ, 0);

    auto* brightnessRule = f.find<SwitchControl>("Only show brightness when I press a key");
    ASSERT_NE(brightnessRule, nullptr);
    brightnessRule->click();
    EXPECT_FALSE(f.settings.brightnessNeedsKeyPress());
}

TEST(BatteryPage, ATappedChipTogglesItsLevelAndPreviewsItsWarning)
{
    SettingsFixture f;
    f.open(SettingsSection::battery);
    auto* sample = f.view->currentScrollArea()->findChild<ChargePreview*>();
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->lowLevel(), std::nullopt);
    EXPECT_EQ(sample->captionText(), "Charging");

    QList<int> levels;
    for (LevelChip* c : f.view->currentScrollArea()->findChildren<LevelChip*>())
        levels << c->level();
    EXPECT_EQ(levels, (QList<int> { 50, 30, 25, 20, 15, 10, 5 }));
    ASSERT_TRUE(chip(f, 10)->isOn());
    EXPECT_EQ(chip(f, 10)->toolTip(), "Warn at 10%");
    EXPECT_EQ(chip(f, 50)->toolTip(), "Don't warn at 50%");

    // 10 is on: a tap removes it, stores the rest ascending, and previews the 10 % warning.
    chip(f, 10)->click();
    EXPECT_EQ(f.settings.lowBatteryLevels(), (std::set<int> { 5, 20 }));
    EXPECT_EQ(f.storage->object("module.power.lowLevels").toArray(), QJsonArray({ 5, 20 }));
    EXPECT_FALSE(chip(f, 10)->isOn());
    EXPECT_EQ(chip(f, 10)->toolTip(), "Don't warn at 10%");
    EXPECT_EQ(f.view->previewedLevel(), 10);
    EXPECT_EQ(sample->lowLevel(), 10);
    EXPECT_EQ(sample->captionText(), "Low Battery");
    EXPECT_TRUE(f.shownTexts().contains("This is what 10% would look like — it's switched off."));

    chip(f, 50)->click();
    EXPECT_TRUE(f.shownTexts().contains("Showing the warning you'll get at 50%."));
    EXPECT_EQ(sample->levelText(), "50%");

    // "Done" goes back to the charging readout.
    QPushButton* done = nullptr;
    for (QPushButton* b : f.view->currentScrollArea()->findChildren<QPushButton*>()) {
        if (b->text() == "Done" && b->isVisibleTo(f.view.get()))
            done = b;
    }
    ASSERT_NE(done, nullptr);
    done->click();
    EXPECT_EQ(f.view->previewedLevel(), std::nullopt);
    EXPECT_EQ(sample->lowLevel(), std::nullopt);
    EXPECT_FALSE(done->isVisibleTo(f.view.get()));
}

TEST(BatteryPage, WithoutLevelsItSaysSoAndWithTheReadoutOffTheBlockIsDimmed)
{
    SettingsFixture f;
    f.open(SettingsSection::battery);
    EXPECT_FALSE(f.shownTexts().contains(BatteryTexts::noWarnings()));
    for (const int level : { 20, 10, 5 })
        chip(f, level)->click();
    EXPECT_TRUE(f.settings.lowBatteryLevels().empty());
    EXPECT_TRUE(f.shownTexts().contains(BatteryTexts::noWarnings()));
    // The chips stay usable.
    chip(f, 15)->click();
    EXPECT_EQ(f.settings.lowBatteryLevels(), (std::set<int> { 15 }));
    EXPECT_FALSE(f.shownTexts().contains(BatteryTexts::noWarnings()));

    auto* readouts = f.find<SwitchControl>("Charging and battery changes");
    ASSERT_NE(readouts, nullptr);
    const double shown = f.contrastOf("Warn me at");
    readouts->click();
    EXPECT_FALSE(f.settings.powerActivityEnabled());
    EXPECT_FALSE(chip(f, 15)->isEnabled());
    // Dimmed, and still readable.
    const double dimmed = f.contrastOf("Warn me at");
    EXPECT_LT(dimmed, shown * 0.6);
    EXPECT_GE(dimmed, 3);
    // A disabled chip does not react.
    QTest::mouseClick(chip(f, 30), Qt::LeftButton);
    EXPECT_EQ(f.settings.lowBatteryLevels(), (std::set<int> { 15 }));
    readouts->click();
    EXPECT_TRUE(chip(f, 15)->isEnabled());
    EXPECT_DOUBLE_EQ(f.contrastOf("Warn me at"), shown);
}

TEST(ChargePreview, TheWarningsBarIsItsShareOfTheTrackAndNeverVanishes)
{
    EXPECT_DOUBLE_EQ(ChargePreview::fillWidth(std::nullopt), 150);
    EXPECT_DOUBLE_EQ(ChargePreview::fillWidth(1), 4);
    EXPECT_DOUBLE_EQ(ChargePreview::fillWidth(50), 94);
    EXPECT_DOUBLE_EQ(ChargePreview::fillWidth(100), 188);

    // Drawn: the red bar of a 50 % warning is 94 points long; the charging bar is green.
    for (const bool dark : { false, true }) {
        const NotchTheme theme { dark, ClockFont::lockScreen };
        ChargePreview preview(50);
        setNotchTheme(&preview, theme);
        preview.resize(280, 92);
        QImage image(preview.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(theme.surface());
        preview.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        saveArtefact(image, QString("charge-preview-50-%1").arg(dark ? "dark" : "light"));
        int longest = 0;
        for (int y = 0; y < image.height(); ++y)
            longest = std::max(longest, run(image, y, ChargePreview::alertColour()));
        EXPECT_NEAR(longest, 94, 2);

        preview.setLowLevel(std::nullopt);
        image.fill(theme.surface());
        preview.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        saveArtefact(image, QString("charge-preview-charging-%1").arg(dark ? "dark" : "light"));
        int green = 0;
        for (int y = 0; y < image.height(); ++y)
            green = std::max(green, run(image, y, theme.good()));
        EXPECT_GT(green, 20);
    }
}
