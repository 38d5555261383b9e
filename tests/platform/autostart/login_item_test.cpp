#include "platform/autostart/login_item.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using nimbra::LoginItem;

namespace {
QString readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
} // namespace

TEST(LoginItem, RegisteringWritesAnAutostartEntryThatStartsTheExecutable)
{
    QTemporaryDir home;
    LoginItem item(home.path());
    EXPECT_EQ(item.path(), home.path() + "/autostart/nimbra.desktop");
    EXPECT_FALSE(item.isRegistered());

    QString error;
    ASSERT_TRUE(item.registerItem("/opt/nimbra/bin/nimbra", &error)) << error.toStdString();
    EXPECT_TRUE(item.isRegistered());
    const QString entry = readAll(item.path());
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(entry.contains("\nType=Application\n"));
    EXPECT_TRUE(entry.contains("\nExec=/opt/nimbra/bin/nimbra\n"));

    // Registering again replaces the entry rather than failing.
    ASSERT_TRUE(item.registerItem("/usr/bin/nimbra"));
    EXPECT_TRUE(readAll(item.path()).contains("\nExec=/usr/bin/nimbra\n"));
}

TEST(LoginItem, ExecValueQuotesPathsTheEntryFormatWouldSplit)
{
    EXPECT_EQ(LoginItem::execValue("/usr/bin/nimbra"), "/usr/bin/nimbra");
    EXPECT_EQ(LoginItem::execValue("/home/a b/nimbra"), "\"/home/a b/nimbra\"");
    EXPECT_EQ(LoginItem::execValue("/x/$HOME/n"), "\"/x/\\$HOME/n\"");
    EXPECT_EQ(LoginItem::execValue("/x/\"q\"/n"), "\"/x/\\\"q\\\"/n\"");
    // A percent sign would otherwise be read as a field code.
    EXPECT_EQ(LoginItem::execValue("/x/100%/n"), "/x/100%%/n");
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
    EXPECT_FALSE(item.isRegistered());
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
    EXPECT_FALSE(item.isRegistered());

    // The autostart folder cannot be created when a file has its name.
    QTemporaryDir other;
    QFile blocker(other.path() + "/autostart");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    LoginItem blocked(other.path());
    error.clear();
    EXPECT_FALSE(blocked.registerItem("/usr/bin/nimbra", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(blocked.isRegistered());
}

TEST(LoginItem, OnlyAnInstalledProgramCountsAsInstalled)
{
    const QString home = "/home/ada";
    EXPECT_TRUE(LoginItem::isInstalledLocation("/usr/bin/nimbra", home));
    EXPECT_TRUE(LoginItem::isInstalledLocation("/usr/local/bin/nimbra", home));
    EXPECT_TRUE(LoginItem::isInstalledLocation("/opt/nimbra/bin/nimbra", home));
    EXPECT_TRUE(LoginItem::isInstalledLocation("/home/ada/.local/bin/nimbra", home));
    // A build folder, another user's folder, a look-alike prefix and relative paths do not.
    EXPECT_FALSE(LoginItem::isInstalledLocation("/home/ada/src/nimbra/build/src/app/nimbra", home));
    EXPECT_FALSE(LoginItem::isInstalledLocation("/home/bob/.local/bin/nimbra", home));
    EXPECT_FALSE(LoginItem::isInstalledLocation("/usrlocal/nimbra", home));
    EXPECT_FALSE(LoginItem::isInstalledLocation("/usr/../home/ada/build/nimbra", home));
    EXPECT_FALSE(LoginItem::isInstalledLocation("usr/bin/nimbra", home));
    EXPECT_FALSE(LoginItem::isInstalledLocation("", home));
    EXPECT_FALSE(LoginItem::isInstalledLocation("/home/ada/.local/bin/nimbra", ""));
}
