#include "app/app_delegate.h"

#include "core/nimbra_settings.h"
#include "core/settings_storage.h"

#include "support/https_feed.h"
#include "support/test_support.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

using namespace nimbra;
using nimbra::test::ScopedEnvironment;
using nimbra::test::shownAlerts;
using nimbra::test::waitUntil;

namespace {

QString readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString execOf(const QString& entry)
{
    for (const QString& line : entry.split('\n')) {
        if (line.startsWith("Exec="))
            return line.mid(5);
    }
    return {};
}

// A home and a configuration folder of the test's own: the delegate's autostart entry lands
// in `config`/autostart, and ~/.local is below `home`.
struct Login : ::testing::Test {
    ~Login() override
    {
        for (QMessageBox* box : shownAlerts())
            delete box;
    }
    QString entry() const { return dir.filePath("config/autostart/nimbra.desktop"); }

    QTemporaryDir dir;
    ScopedEnvironment home { "HOME", dir.filePath("home").toUtf8() };
    ScopedEnvironment config { "XDG_CONFIG_HOME", dir.filePath("config").toUtf8() };
    ScopedEnvironment notAnAppImage { "APPIMAGE", "" };
    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    AppDelegate delegate { &settings };
};

} // namespace

TEST_F(Login, AnInstalledCopyIsRegisteredByItsAbsolutePathAndTheEntryStartsIt)
{
    // Installed as a user installs it: into ~/.local.
    const QString prefix = dir.filePath("home/.local");
    QProcess install;
    install.start("cmake", { "--install", NIMBRA_BINARY_DIR, "--prefix", prefix });
    ASSERT_TRUE(install.waitForFinished(60000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();
    const QString program = prefix + "/bin/nimbra";
    ASSERT_TRUE(QFileInfo(program).isExecutable());
    EXPECT_TRUE(QFile::exists(prefix + "/share/applications/nimbra.desktop"));
    EXPECT_TRUE(QFile::exists(prefix + "/share/icons/hicolor/scalable/apps/nimbra.svg"));

    delegate.runningProgram = program;
    delegate.setLaunchAtLogin(true);
    EXPECT_TRUE(shownAlerts().isEmpty());
    EXPECT_TRUE(settings.launchAtLogin());
    ASSERT_TRUE(QFile::exists(entry()));
    const QString exec = execOf(readAll(entry()));
    EXPECT_EQ(exec, program);
    EXPECT_TRUE(QDir::isAbsolutePath(exec));

    // What the desktop would start at login is this installed Nimbra.
    QProcess started;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", dir.filePath("login-profile"));
    env.insert("NIMBRA_DEBUG", "1");
    env.remove("QT_QPA_PLATFORM");
    started.setProcessEnvironment(env);
    started.start(exec, {});
    ASSERT_TRUE(started.waitForStarted(5000));
    QByteArray log;
    EXPECT_TRUE(waitUntil(
        [&] {
            log += started.readAllStandardError();
            return log.contains("accessibility trusted = ");
        },
        15000))
        << log.toStdString();
    ::kill(pid_t(started.processId()), SIGTERM);
    ASSERT_TRUE(started.waitForFinished(10000));
    EXPECT_EQ(started.exitCode(), 0);

    // Off removes it again.
    delegate.setLaunchAtLogin(false);
    EXPECT_FALSE(QFile::exists(entry()));
    EXPECT_FALSE(settings.launchAtLogin());
    EXPECT_TRUE(shownAlerts().isEmpty());
}

TEST_F(Login, TheBuildTreesCopyIsNotRegisteredAndTheAlertNamesItsPath)
{
    const QString program = QStringLiteral(NIMBRA_BINARY_DIR) + "/src/app/nimbra";
    delegate.runningProgram = program;
    settings.setLaunchAtLogin(true); // as the switch writes it
    delegate.setLaunchAtLogin(true);
    EXPECT_FALSE(QFile::exists(entry()));
    EXPECT_FALSE(QDir(dir.filePath("config/autostart")).exists());
    EXPECT_FALSE(settings.launchAtLogin()) << "the switch goes back";
    ASSERT_EQ(shownAlerts().size(), 1);
    EXPECT_EQ(shownAlerts().first()->text(), "Install Nimbra first");
    EXPECT_EQ(shownAlerts().first()->icon(), QMessageBox::Information);
    EXPECT_TRUE(shownAlerts().first()->informativeText().contains("\n\n" + program + "\n\n"))
        << shownAlerts().first()->informativeText().toStdString();
}

TEST_F(Login, AnAppImageRegistersItsOwnFile)
{
    const QString image = dir.filePath("Downloads/Nimbra-x86_64.AppImage");
    QDir().mkpath(QFileInfo(image).absolutePath());
    QFile file(image);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ScopedEnvironment appImage("APPIMAGE", image.toUtf8());
    // An AppImage runs from a mount of its own that goes when it ends.
    delegate.runningProgram = "/tmp/.mount_NimbraXYZ/usr/bin/nimbra";
    delegate.setLaunchAtLogin(true);
    EXPECT_TRUE(shownAlerts().isEmpty());
    EXPECT_EQ(execOf(readAll(entry())), image);
    EXPECT_TRUE(settings.launchAtLogin());
}

TEST_F(Login, AFailureToWriteOrRemoveIsSaidAndTheSettingKeepsWhatIsOnDisk)
{
    delegate.runningProgram = dir.filePath("home/.local/bin/nimbra");
    // A file where the autostart folder belongs: nothing can be written there.
    QDir().mkpath(dir.filePath("config"));
    QFile blocker(dir.filePath("config/autostart"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    settings.setLaunchAtLogin(true);
    delegate.setLaunchAtLogin(true);
    EXPECT_FALSE(settings.launchAtLogin());
    ASSERT_EQ(shownAlerts().size(), 1);
    EXPECT_EQ(shownAlerts().first()->text(), "Couldn't change the login item");
    EXPECT_EQ(shownAlerts().first()->icon(), QMessageBox::Warning);
    EXPECT_FALSE(shownAlerts().first()->informativeText().isEmpty());
    delete shownAlerts().first();

    // An entry that cannot be removed (a folder in its place is no entry the desktop reads,
    // but it is in the way) leaves the setting saying what the desktop sees.
    ASSERT_TRUE(QFile::remove(dir.filePath("config/autostart")));
    ASSERT_TRUE(QDir().mkpath(entry() + "/kept"));
    delegate.setLaunchAtLogin(false);
    ASSERT_EQ(shownAlerts().size(), 1);
    EXPECT_EQ(shownAlerts().first()->text(), "Couldn't change the login item");
    EXPECT_FALSE(settings.launchAtLogin());
}

namespace {
void writeEntry(const QString& path, const QString& exec, const QByteArray& more = {})
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nType=Application\nName=Nimbra\nExec=" + exec.toUtf8() + "\n" + more);
}

// An installed copy of the program where a user installs it.
QString installedProgram(const QTemporaryDir& dir)
{
    const QString program = dir.filePath("home/.local/bin/nimbra");
    QDir().mkpath(QFileInfo(program).absolutePath());
    if (!QFile::copy(QStringLiteral(NIMBRA_BINARY_DIR) + "/src/app/nimbra", program))
        return {};
    return program;
}
} // namespace

TEST_F(Login, AtLaunchTheSettingTakesWhatIsOnDisk)
{
    delegate.runningProgram = installedProgram(dir);
    ASSERT_FALSE(delegate.runningProgram.isEmpty());
    writeEntry(entry(), delegate.runningProgram);
    settings.setHasSeenOnboarding(true);
    ASSERT_FALSE(settings.launchAtLogin());
    delegate.applicationDidFinishLaunching();
    EXPECT_TRUE(settings.launchAtLogin()) << "the desktop's startup settings added it";
}

TEST_F(Login, AtLaunchASettingWithoutItsEntryTurnsOff)
{
    settings.setHasSeenOnboarding(true);
    settings.setLaunchAtLogin(true);
    delegate.applicationDidFinishLaunching();
    EXPECT_FALSE(settings.launchAtLogin()) << "the desktop's startup settings removed it";
}

TEST_F(Login, AtLaunchAnEntryTheDesktopDisabledReadsOffAndStaysDisabled)
{
    delegate.runningProgram = installedProgram(dir);
    ASSERT_FALSE(delegate.runningProgram.isEmpty());
    writeEntry(entry(), delegate.runningProgram, "Hidden=true\n");
    settings.setHasSeenOnboarding(true);
    settings.setLaunchAtLogin(true);
    delegate.applicationDidFinishLaunching();
    EXPECT_FALSE(settings.launchAtLogin()) << "the desktop's startup settings turned it off";
    EXPECT_TRUE(readAll(entry()).contains("\nHidden=true\n")) << "the user's choice there stands";
}

TEST_F(Login, AtLaunchAnEntryWhoseProgramIsGoneIsPointedAtThisInstalledCopyWhileTheSettingWantsIt)
{
    delegate.runningProgram = installedProgram(dir);
    ASSERT_FALSE(delegate.runningProgram.isEmpty());
    // Written by an AppImage that has since been moved away.
    const QString gone = dir.filePath("Downloads/Nimbra-x86_64.AppImage");
    writeEntry(entry(), gone);
    settings.setHasSeenOnboarding(true);

    // Not wanted: it reads off and is left as it is.
    delegate.syncLaunchAtLogin();
    EXPECT_FALSE(settings.launchAtLogin());
    EXPECT_EQ(execOf(readAll(entry())), gone);

    // Wanted: it starts this copy from now on.
    settings.setLaunchAtLogin(true);
    delegate.applicationDidFinishLaunching();
    EXPECT_TRUE(settings.launchAtLogin());
    EXPECT_EQ(execOf(readAll(entry())), delegate.runningProgram);
    EXPECT_TRUE(shownAlerts().isEmpty());
}
