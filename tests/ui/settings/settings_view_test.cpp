#include "settings_fixture.h"
#include "ui/settings/settings_blocks.h"
#include "ui/settings/settings_controls.h"
#include "ui/settings/settings_section.h"

#include <QComboBox>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QListWidget>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

// Sets NIMBRA_SETTINGS_PAGE for the lifetime of the object.
struct StartPage {
    explicit StartPage(const char* value) { qputenv("NIMBRA_SETTINGS_PAGE", value); }
    ~StartPage() { qunsetenv("NIMBRA_SETTINGS_PAGE"); }
};

QStringList labelTexts(QWidget* root)
{
    QStringList texts;
    for (const QLabel* l : root->findChildren<QLabel*>())
        texts << l->text();
    return texts;
}

} // namespace

TEST(SettingsSections, RawValuesTitlesAndTheStartPage)
{
    QStringList titles;
    for (const SettingsSection section : kSettingsSections) {
        titles << title(section);
        EXPECT_EQ(settingsSectionFromRawValue(rawValue(section)), section);
    }
    EXPECT_EQ(titles,
        (QStringList { "General", "Hover", "Notch", "Music", "Sound", "Battery", "Clipboard", "Shelf", "Timers", "Eyes",
            "Priority", "About" }));
    EXPECT_EQ(startSection("system"), SettingsSection::system);
    EXPECT_EQ(startSection("notch"), SettingsSection::notch);
    // Only the exact raw values: not the title, not another letter case, not empty.
    EXPECT_EQ(startSection("Sound"), SettingsSection::general);
    EXPECT_EQ(startSection("NOTCH"), SettingsSection::general);
    EXPECT_EQ(startSection(""), SettingsSection::general);
    EXPECT_EQ(startSection(" notch"), SettingsSection::general);
}

TEST(SettingsView, SidebarListsTheTwelvePagesAndOpensOnTheNamedOne)
{
    {
        StartPage page("system");
        SettingsFixture f;
        SettingsView& view = f.make();
        EXPECT_EQ(view.selection(), SettingsSection::system);
        ASSERT_EQ(view.sidebar()->count(), 12);
        EXPECT_EQ(view.sidebar()->currentRow(), int(SettingsSection::system));
        EXPECT_EQ(view.sidebar()->item(4)->text(), "Sound");
        // The page titled "Sound", with its own rows under the title.
        EXPECT_TRUE(labelTexts(view.currentScrollArea()).contains("Sound"));
        EXPECT_TRUE(labelTexts(view.pageContent(SettingsSection::system)).contains("Show volume in the notch"));
    }
    {
        StartPage page("Sound");
        SettingsFixture f;
        EXPECT_EQ(f.make().selection(), SettingsSection::general);
    }
}

TEST(SettingsView, ChoosingInTheSidebarShowsThatPageBuiltOnce)
{
    SettingsFixture f;
    SettingsView& view = f.make();
    EXPECT_EQ(view.pageContent(SettingsSection::priority), nullptr);
    view.sidebar()->setCurrentRow(int(SettingsSection::priority));
    EXPECT_EQ(view.selection(), SettingsSection::priority);
    QWidget* built = view.page(SettingsSection::priority);
    ASSERT_NE(view.pageContent(SettingsSection::priority), nullptr);
    EXPECT_TRUE(labelTexts(view.currentScrollArea()).contains("When two things happen at once"));
    view.sidebar()->setCurrentRow(0);
    view.sidebar()->setCurrentRow(int(SettingsSection::priority));
    EXPECT_EQ(view.page(SettingsSection::priority), built);
    EXPECT_EQ(SettingsView::pageSpacing(SettingsSection::hover), 18);
    EXPECT_EQ(SettingsView::pageSpacing(SettingsSection::about), 18);
    EXPECT_EQ(SettingsView::pageSpacing(SettingsSection::notch), 16);
}

TEST(SettingsView, PagesOfSwitchedOffFeaturesAreDimmedButTheirSwitchStillWorks)
{
    SettingsFixture f;
    f.settings.setNowPlayingEnabled(false);
    f.settings.setClipboardEnabled(false);
    SettingsView& view = f.open(SettingsSection::music);
    EXPECT_DOUBLE_EQ(view.pageOpacity(SettingsSection::music), 0.55);
    EXPECT_DOUBLE_EQ(view.pageOpacity(SettingsSection::clipboard), 0.55);
    EXPECT_DOUBLE_EQ(view.pageOpacity(SettingsSection::shelf), 1);
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(view.pageContent(SettingsSection::music)->graphicsEffect());
    ASSERT_NE(effect, nullptr);
    EXPECT_DOUBLE_EQ(effect->opacity(), 0.55);

    auto* show = f.find<SwitchControl>("Show what's playing");
    ASSERT_NE(show, nullptr);
    EXPECT_TRUE(show->isEnabled());
    QTest::mouseClick(show, Qt::LeftButton);
    EXPECT_TRUE(f.settings.nowPlayingEnabled());
    EXPECT_DOUBLE_EQ(view.pageOpacity(SettingsSection::music), 1);
    EXPECT_EQ(view.pageContent(SettingsSection::music)->graphicsEffect(), nullptr);
}

TEST(SettingsView, PreviewThemeFollowsTheAppearanceAndTheDesktopOnlyOnAuto)
{
    SettingsFixture f;
    SettingsView& view = f.make();
    int changes = 0;
    QObject::connect(&view, &SettingsView::previewThemeChanged, [&] { ++changes; });
    view.setSystemIsDark(true);
    EXPECT_TRUE(view.previewTheme().isDark);
    f.settings.setAppearance(Appearance::light);
    EXPECT_FALSE(view.previewTheme().isDark);
    view.setSystemIsDark(false);
    view.setSystemIsDark(true);
    EXPECT_FALSE(view.previewTheme().isDark);
    f.settings.setAppearance(Appearance::dark);
    EXPECT_TRUE(view.previewTheme().isDark);
    f.settings.setClockFont(ClockFont::mono);
    EXPECT_EQ(view.previewTheme().clockFont, ClockFont::mono);
    // Auto (dark desktop), light, dark, the mono clock: four real changes, no more.
    EXPECT_EQ(changes, 4);
}

TEST(SettingsView, TheDraftReachesTheStoreWhileDraggedWhenReleasedAndOnEveryKeyStep)
{
    SettingsFixture f;
    SettingsView& view = f.open(SettingsSection::notch);
    auto* width = f.find<QSlider>("Width");
    ASSERT_NE(width, nullptr);
    int writes = 0;
    QObject::connect(&f.settings, &NimbraSettings::changed, [&](NimbraSettings::Property p) {
        if (p == NimbraSettings::Property::layout)
            ++writes;
    });

    // A drag: every step lands in the store, so the running notch follows.
    width->setSliderDown(true);
    EXPECT_TRUE(view.isDragging());
    width->setSliderPosition(400);
    EXPECT_DOUBLE_EQ(view.draft().expandedWidth, 400);
    EXPECT_DOUBLE_EQ(f.settings.layout().expandedWidth, 400);
    width->setSliderPosition(410);
    EXPECT_DOUBLE_EQ(f.settings.layout().expandedWidth, 410);
    width->setSliderDown(false);
    EXPECT_FALSE(view.isDragging());
    EXPECT_DOUBLE_EQ(f.storage->object("layout.expandedWidth").toDouble(), 410);
    EXPECT_EQ(writes, 2);

    // The keyboard moves the slider without a drag: each step is written at once.
    width->setFocus();
    QTest::keyClick(width, Qt::Key_Right);
    EXPECT_DOUBLE_EQ(f.settings.layout().expandedWidth, 411);
    QTest::keyClick(width, Qt::Key_PageDown);
    EXPECT_DOUBLE_EQ(f.settings.layout().expandedWidth, 401);
    EXPECT_DOUBLE_EQ(f.storage->object("layout.expandedWidth").toDouble(), 401);

    // A change made elsewhere moves the draft and the slider.
    LayoutMetrics other = f.settings.layout();
    other.expandedWidth = 333;
    f.settings.setLayout(other);
    EXPECT_DOUBLE_EQ(view.draft().expandedWidth, 333);
    EXPECT_EQ(width->value(), 333);

    // A draft set without a drag stays a draft.
    LayoutMetrics draft = view.draft();
    draft.expandedHeight = 200;
    view.setDraft(draft);
    EXPECT_DOUBLE_EQ(f.settings.layout().expandedHeight, LayoutMetrics::defaults().expandedHeight);
}

TEST(SettingsView, AHandEditedFileShowsOnThePagesAsTheirControlsCanShowIt)
{
    SettingsFixture f(QJsonObject { { "pomodoro.cycles", 2000000000 }, { "pomodoro.work", 1 },
        { "clipboard.historyLimit", 40 }, { "hover.dwell", 9 }, { "eyes.diameter", 400 } });
    SettingsView& view = f.make();

    f.open(SettingsSection::timers);
    EXPECT_TRUE(f.shownTexts().contains("8"));
    EXPECT_TRUE(f.shownTexts().contains("5 min"));
    auto* cycles = f.find<StepperControl>("Blocks before a long break");
    ASSERT_NE(cycles, nullptr);
    EXPECT_EQ(cycles->value(), cycles->maximum());

    f.open(SettingsSection::clipboard);
    auto* keep = f.find<QComboBox>("Keep");
    ASSERT_NE(keep, nullptr);
    EXPECT_EQ(keep->currentText(), "50 items");

    f.open(SettingsSection::hover);
    EXPECT_TRUE(f.shownTexts().contains("500 ms"));
    auto* delay = f.find<QSlider>("Open delay");
    ASSERT_NE(delay, nullptr);
    EXPECT_EQ(delay->value(), delay->maximum());

    f.open(SettingsSection::eyes);
    auto* size = f.find<QSlider>("Size");
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(size->value(), size->maximum());
    EXPECT_TRUE(f.shownTexts().contains(QStringLiteral("20 px")));

    // Showing them wrote nothing back.
    EXPECT_TRUE(f.storage->writtenKeys().isEmpty());
    (void)view;
}
