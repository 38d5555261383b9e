#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "core/nimbra_settings.h"
#include "modules/shell/expanded_shell.h"
#include "modules/shell/glance.h"
#include "modules/level/system_level_monitor.h"
#include "modules/shell/settings_surface.h"
#include "modules/update/update_checker.h"
#include "platform/autostart/login_item.h"
#include "support/private_servers.h"
#include "support/test_support.h"
#include "ui/settings/capability_row.h"
#include "ui/settings/settings_view.h"
#include "ui/settings/settings_window_controller.h"
#include "ui/surface/surface_metrics.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace nimbra;

namespace {

// Points libpulse at a sound server of the test's own (with its null sink at 37 %) for as long
// as it lives; the delegate's level monitor connects to it.
struct OwnSoundServer {
    test::PrivatePulse pulse;
    QByteArray harness = qgetenv("PULSE_SERVER");
    bool ready = pulse.isRunning() && pulse.pactl({ "set-sink-volume", "nimbra_null", "37%" }).has_value();
    OwnSoundServer() { qputenv("PULSE_SERVER", pulse.address().toUtf8()); }
    ~OwnSoundServer() { qputenv("PULSE_SERVER", harness); }
};

struct SettingsWindow : ::testing::Test {
    SettingsWindow()
    {
        // Login items go to a folder of this test's own.
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        delegate.applicationDidFinishLaunching();
    }
    ~SettingsWindow() override
    {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == "NimbraAlert")
                delete w;
        }
        if (original.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", original);
    }

    QMessageBox* alert() const
    {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                return box;
        }
        return nullptr;
    }

    QByteArray original = qgetenv("XDG_CONFIG_HOME");
    QTemporaryDir config;
    OwnSoundServer sound;
    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    AppDelegate delegate { &settings };
};

} // namespace

TEST_F(SettingsWindow, ReopeningAndTheNotchsSettingsButtonOpenTheOneWindow)
{
    SettingsWindowController* controller = delegate.settingsWindow();
    ASSERT_NE(controller, nullptr);
    EXPECT_EQ(controller->window(), nullptr); // built on first use

    EXPECT_TRUE(delegate.applicationShouldHandleReopen());
    QWidget* window = controller->window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    window->close();

    delegate.selectTab(NotchSurfaceTab::settings);
    const SurfaceContext context { QSizeF(360, 124), 32, 185 };
    std::unique_ptr<QWidget> view(delegate.view(Presentation::Surface::expanded(Glance::moduleID), context));
    auto* shell = qobject_cast<ExpandedShell*>(view.get());
    ASSERT_NE(shell, nullptr);
    auto* surface = qobject_cast<SettingsSurface*>(shell->content());
    ASSERT_NE(surface, nullptr);
    surface->settingsButton()->click();
    EXPECT_EQ(controller->window(), window);
    EXPECT_TRUE(window->isVisible());

    delegate.showSettings();
    EXPECT_EQ(controller->window(), window);
    EXPECT_EQ(controller->viewsBuilt(), 3);
}

TEST_F(SettingsWindow, TheWindowIsGivenTheDisplaysAndTheLiveLevels)
{
    ASSERT_TRUE(sound.ready);
    ASSERT_TRUE(test::waitUntil([&] { return delegate.levels().read(SystemLevel::Kind::volume).has_value(); }));
    delegate.showSettings();
    SettingsView* view = delegate.settingsWindow()->view();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->displaySummary(), delegate.coordinator()->summary());
    ASSERT_TRUE(view->liveGeometry().has_value());
    EXPECT_GT(view->liveGeometry()->anchorRect().width(), 0);

    // The sink's own level reaches the Sound page: its row and the readout in the stage.
    const std::optional<SystemLevel>& volume = view->levels().volume;
    ASSERT_TRUE(volume.has_value());
    EXPECT_TRUE(volume->isAvailable);
    EXPECT_NEAR(volume->value, 0.37, 0.005);
    view->select(SettingsSection::system);
    CapabilityRow* row = nullptr;
    for (CapabilityRow* r : view->findChildren<CapabilityRow*>()) {
        if (r->accessibleName() == "Show volume in the notch")
            row = r;
    }
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->reading(), "37%");
    EXPECT_NEAR(view->previewedLevelSample().value, 0.37, 0.005);
}

TEST_F(SettingsWindow, AnAppearanceChangeReachesTheOpenWindow)
{
    delegate.showSettings();
    QWidget* window = delegate.settingsWindow()->window();
    settings.setAppearance(Appearance::dark);
    QApplication::processEvents();
    EXPECT_LT(window->palette().color(QPalette::Window).lightnessF(), 0.5);
    settings.setAppearance(Appearance::light);
    QApplication::processEvents();
    EXPECT_GT(window->palette().color(QPalette::Window).lightnessF(), 0.5);
}

TEST_F(SettingsWindow, OpenAtLoginFromABuildFolderIsRefusedWithAnExplanation)
{
    // The test binary lives in the build folder, as a copy run from there would.
    settings.setLaunchAtLogin(true);
    delegate.setLaunchAtLogin(true);
    EXPECT_FALSE(settings.launchAtLogin());
    QMessageBox* box = alert();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Install Nimbra first");
    EXPECT_TRUE(box->informativeText().contains(QCoreApplication::applicationFilePath()));
    EXPECT_FALSE(LoginItem().isEnabled());
}

TEST_F(SettingsWindow, TurningOpenAtLoginOffRemovesTheEntryWhicheverCopyRuns)
{
    LoginItem item;
    ASSERT_TRUE(item.registerItem("/usr/bin/nimbra"));
    settings.setLaunchAtLogin(false);
    delegate.setLaunchAtLogin(false);
    EXPECT_FALSE(QFile::exists(item.path()));
    EXPECT_FALSE(settings.launchAtLogin());
    EXPECT_EQ(alert(), nullptr);
}

namespace {
QPushButton* checkNowButton(const SettingsView& view)
{
    for (QPushButton* b : view.findChildren<QPushButton*>()) {
        if (b->text() == QString::fromUtf8("Check Now…"))
            return b;
    }
    return nullptr;
}
} // namespace

TEST_F(SettingsWindow, TheAboutPagesCheckNowRunsTheManualUpdateCheck)
{
    // A feed that refuses at once: the check answers, as a manual check does, that it failed.
    delegate.updates().feedURL = QUrl("https://127.0.0.1:1/appcast.json");
    delegate.showSettings();
    SettingsView* view = delegate.settingsWindow()->view();
    ASSERT_NE(view, nullptr);
    view->select(SettingsSection::about);
    QPushButton* now = checkNowButton(*view);
    ASSERT_NE(now, nullptr);
    ASSERT_TRUE(now->isEnabled());
    now->click();
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return alert() != nullptr; }, 20000));
    EXPECT_EQ(alert()->text(), "Couldn't check for updates");
}

TEST_F(SettingsWindow, ABuildWithoutAnUpdateFeedHoldsTheAboutPagesUpdateControlsOffAndSaysWhy)
{
    delegate.updates().feedURL.reset();
    ASSERT_TRUE(settings.checksForUpdates());
    delegate.showSettings();
    SettingsView* view = delegate.settingsWindow()->view();
    ASSERT_NE(view, nullptr);
    view->select(SettingsSection::about);
    QPushButton* now = checkNowButton(*view);
    ASSERT_NE(now, nullptr);
    EXPECT_FALSE(now->isEnabled());
    QAbstractButton* automatic = nullptr;
    for (QAbstractButton* b : view->findChildren<QAbstractButton*>()) {
        if (b->accessibleName() == "Check for updates automatically")
            automatic = b;
    }
    ASSERT_NE(automatic, nullptr);
    EXPECT_FALSE(automatic->isChecked());
    EXPECT_FALSE(automatic->isEnabled());
    bool said = false;
    for (QLabel* label : view->findChildren<QLabel*>())
        said = said || (label->text() == "This build has no update feed" && label->isVisibleTo(view));
    EXPECT_TRUE(said);
    EXPECT_TRUE(settings.checksForUpdates()) << "the stored choice is left alone";
}
