#include "platform/autostart/login_item.h"

#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using nimbra::LoginItem;

namespace {
QString readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString makeProgram(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("#!/bin/sh\n");
    file.close();
    file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    return path;
}

void append(const QString& path, const QByteArray& line)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(line);
}
} // namespace

TEST(LoginItem, RegisteringWritesAnAutostartEntryThatStartsTheExecutable)
{
    QTemporaryDir home;
    LoginItem item(home.path());
    EXPECT_EQ(item.path(), home.path() + "/autostart/nimbra.desktop");
    EXPECT_FALSE(item.isEnabled());

    QString error;
    ASSERT_TRUE(item.registerItem("/opt/nimbra/bin/nimbra", &error)) << error.toStdString();
    EXPECT_TRUE(item.isEnabled());
    const QString entry = readAll(item.path());
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(entry.contains("\nType=Application\n"));
    EXPECT_TRUE(entry.contains("\nExec=/opt/nimbra/bin/nimbra\n"));

    // Registering again replaces the entry rather than failing.
    ASSERT_TRUE(item.registerItem("/usr/bin/nimbra"));
    EXPECT_TRUE(readAll(item.path()).contains("\nExec=/usr/bin/nimbra\n"));
}

TEST(LoginItem, AnEntryStartsAProgramOnlyWhileEnabledAndWhileItsExecNamesThatFile)
{
    QTemporaryDir home;
    LoginItem item(home.path());
    // A path the entry must quote and escape every way it can.
    const QString program = makeProgram(home.filePath("a b/$x \\ \"q\" 100%/nimbra"));
    ASSERT_FALSE(program.isEmpty());
    ASSERT_TRUE(item.registerItem(program));
    EXPECT_TRUE(item.startsProgram(program));
    // The same file by another name is the same program; another program is not.
    ASSERT_TRUE(QFile::link(program, home.filePath("linked")));
    EXPECT_TRUE(item.startsProgram(home.filePath("linked")));
    EXPECT_FALSE(item.startsProgram(makeProgram(home.filePath("other/nimbra"))));

    // Disabled by the desktop, either way it writes that.
    append(item.path(), "Hidden=true\n");
    EXPECT_FALSE(item.isEnabled());
    EXPECT_FALSE(item.startsProgram(program));
    ASSERT_TRUE(item.registerItem(program));
    append(item.path(), "X-GNOME-Autostart-enabled=false\n");
    EXPECT_FALSE(item.startsProgram(program));
    // A key of another group says nothing about the entry.
    ASSERT_TRUE(item.registerItem(program));
    append(item.path(), "[Desktop Action quit]\nHidden=true\n");
    EXPECT_TRUE(item.startsProgram(program));

    // The program moved away: the entry starts nothing.
    ASSERT_TRUE(QFile::rename(program, home.filePath("moved")));
    EXPECT_TRUE(item.isEnabled());
    EXPECT_FALSE(item.startsProgram(program));
    EXPECT_FALSE(item.startsProgram(home.filePath("moved")));

    // A FIFO in the entry's place is never read (the test would hang).
    ASSERT_TRUE(QFile::remove(item.path()));
    ASSERT_TRUE(nimbra::test::makeFifo(item.path()));
    EXPECT_FALSE(item.isEnabled());
    EXPECT_FALSE(item.startsProgram(home.filePath("moved")));
}

TEST(LoginItem, ExecValueQuotesPathsTheEntryFormatWouldSplit)
{
    EXPECT_EQ(LoginItem::execValue("/usr/bin/nimbra"), "/usr/bin/nimbra");
    EXPECT_EQ(LoginItem::execValue("/home/a b/nimbra"), "\"/home/a b/nimbra\"");
    EXPECT_EQ(LoginItem::execValue("/x/$HOME/n"), "\"/x/\\$HOME/n\"");
    EXPECT_EQ(LoginItem::execValue("/x/\"q\"/n"), "\"/x/\\\"q\\\"/n\"");
    // A percent sign would otherwise be read as a field code.
    EXPECT_EQ(LoginItem::execValue("/x/100%/n"), "/x/100%%/n");
    EXPECT_EQ(LoginItem::execProgram("\"/home/a b/nimbra\" --flag"), "/home/a b/nimbra");
    EXPECT_EQ(LoginItem::execProgram("/x/100%%/n %U"), "/x/100%/n");
    EXPECT_EQ(LoginItem::execProgram("\"/unterminated"), std::nullopt);
    EXPECT_EQ(LoginItem::execProgram("  "), std::nullopt);
}

TEST(LoginItem, UnregisteringRemovesTheEntryAndAnAbsentEntryIsNoFailure)
{
    QTemporaryDir home;
    LoginItem item(home.path());
    QString error;
    EXPECT_TRUE(item.unregisterItem(&error)) << error.toStdString();
    EXPECT_TRUE(error.isEmpty());

    ASSERT_TRUE(item.registerItem("/usr/bin/nimbra"));
    EXPECT_TRUE(item.unregisterItem(&error)) << error.toStdString();
    EXPECT_FALSE(item.isEnabled());
    EXPECT_FALSE(QFile::exists(item.path()));
}

TEST(LoginItem, FailuresAreReportedWithAReason)
{
    QTemporaryDir home;
    LoginItem item(home.path());
    // Something that is not a file sits where the entry belongs: it cannot be removed.
    ASSERT_TRUE(QDir().mkpath(item.path() + "/inside"));
    QString error;
    EXPECT_FALSE(item.unregisterItem(&error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(item.isEnabled());

    // The autostart folder cannot be created when a file has its name.
    QTemporaryDir other;
    QFile blocker(other.path() + "/autostart");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    LoginItem blocked(other.path());
    error.clear();
    EXPECT_FALSE(blocked.registerItem("/usr/bin/nimbra", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(blocked.isEnabled());
}

TEST(LoginItem, OnlyAnInstalledCopyOrAnAppImageMayBeRegistered)
{
    const QString home = "/home/ada";
    EXPECT_EQ(LoginItem::installedCopy("/usr/bin/nimbra", home, {}), "/usr/bin/nimbra");
    EXPECT_EQ(LoginItem::installedCopy("/usr/local/bin/nimbra", home, {}), "/usr/local/bin/nimbra");
    EXPECT_EQ(LoginItem::installedCopy("/opt/nimbra/bin/nimbra", home, {}), "/opt/nimbra/bin/nimbra");
    EXPECT_EQ(LoginItem::installedCopy("/home/ada/.local/bin/nimbra", home, {}), "/home/ada/.local/bin/nimbra");
    // A build tree, a download, another user's ~/.local, look-alike folders and relative paths.
    EXPECT_FALSE(LoginItem::installedCopy("/home/ada/src/nimbra/build/src/app/nimbra", home, {}));
    EXPECT_FALSE(LoginItem::installedCopy("/home/ada/Downloads/nimbra", home, {}));
    EXPECT_FALSE(LoginItem::installedCopy("/home/bob/.local/bin/nimbra", home, {}));
    EXPECT_FALSE(LoginItem::installedCopy("/usrlocal/bin/nimbra", home, {}));
    EXPECT_FALSE(LoginItem::installedCopy("/optional/nimbra", home, {}));
    EXPECT_FALSE(LoginItem::installedCopy("usr/bin/nimbra", home, {}));
    EXPECT_FALSE(LoginItem::installedCopy("/usr/../home/ada/build/nimbra", home, {}));
    // Without a home, ~/.local means nothing.
    EXPECT_FALSE(LoginItem::installedCopy("/.local/bin/nimbra", "", {}));
    EXPECT_FALSE(LoginItem::installedCopy("/.local/bin/nimbra", "/", {}));

    // An AppImage is registered by its own file, wherever it lies; a name that is no file is not.
    QTemporaryDir downloads;
    const QString image = downloads.filePath("Nimbra.AppImage");
    QFile file(image);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_EQ(LoginItem::installedCopy("/tmp/.mount_Nimbra/usr/bin/nimbra", home, image), image);
    EXPECT_FALSE(LoginItem::installedCopy("/tmp/.mount_Nimbra/usr/bin/nimbra", home, downloads.filePath("gone")));
    EXPECT_FALSE(LoginItem::installedCopy("/tmp/.mount_Nimbra/usr/bin/nimbra", home, "Nimbra.AppImage"));
}
