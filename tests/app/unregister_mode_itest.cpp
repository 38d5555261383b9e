#include "support/nimbra_process.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using nimbra::test::NimbraProcess;

namespace {
const QByteArray loginOn = R"({ "app.launchAtLogin": true })";

QString autostartEntry(NimbraProcess& nimbra)
{
    return nimbra.configHome() + "/autostart/nimbra.desktop";
}

void writeEntry(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nType=Application\nName=Nimbra\nExec=/usr/bin/nimbra\n");
}

QJsonObject storedSettings(NimbraProcess& nimbra)
{
    QFile file(nimbra.configHome() + "/nimbra/settings.json");
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

struct Finished {
    int exitCode = -1;
    QString out;
    QString err;
};

Finished runToEnd(NimbraProcess& nimbra, const QString& value)
{
    Finished result;
    if (!nimbra.start({ "NIMBRA_UNREGISTER_LOGIN=" + value }) || !nimbra.process().waitForFinished(10000))
        return result;
    result.exitCode = nimbra.process().exitStatus() == QProcess::NormalExit ? nimbra.process().exitCode() : -1;
    result.out = QString::fromUtf8(nimbra.process().readAllStandardOutput());
    result.err = nimbra.log();
    return result;
}
} // namespace

TEST(UnregisterMode, RemovesTheLoginItemTurnsTheSettingOffAndSaysSo)
{
    NimbraProcess nimbra(loginOn);
    writeEntry(autostartEntry(nimbra));
    const Finished run = runToEnd(nimbra, "1");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith("login item unregistered for /")) << run.out.toStdString();
    EXPECT_TRUE(run.out.endsWith("/nimbra\n")) << run.out.toStdString();
    EXPECT_FALSE(QFile::exists(autostartEntry(nimbra)));
    EXPECT_EQ(storedSettings(nimbra).value("app.launchAtLogin"), QJsonValue(false));
    // It only cleans up: no notch was made.
    EXPECT_FALSE(run.err.contains("] display + ")) << run.err.toStdString();
}

TEST(UnregisterMode, AFailureIsReportedOnStandardErrorWithAFailingStatus)
{
    NimbraProcess nimbra(loginOn);
    // A folder where the entry belongs cannot be removed as a file.
    ASSERT_TRUE(QDir().mkpath(autostartEntry(nimbra) + "/kept"));
    const Finished run = runToEnd(nimbra, "1");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.exitCode, -1) << "it crashed or hung";
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    EXPECT_TRUE(run.err.contains("could not unregister the login item")) << run.err.toStdString();
    // The preference is turned off all the same.
    EXPECT_EQ(storedSettings(nimbra).value("app.launchAtLogin"), QJsonValue(false));
}

TEST(UnregisterMode, ASettingThatCannotBeWrittenIsAFailureToo)
{
    NimbraProcess nimbra;
    writeEntry(autostartEntry(nimbra));
    // A file where the settings folder belongs: the setting cannot reach the disk (even as root).
    QFile blocker(nimbra.configHome() + "/nimbra");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const Finished run = runToEnd(nimbra, "1");
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty()) << "success was claimed: " << run.out.toStdString();
    EXPECT_TRUE(run.err.contains(
        "could not turn off launch at login: cannot write " + nimbra.configHome() + "/nimbra/settings.json"))
        << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(autostartEntry(nimbra))) << "the entry itself could be removed";
}

TEST(UnregisterMode, OnlyTheExactValueOneUnregisters)
{
    for (const QString value : { "true", "01", "" }) {
        NimbraProcess nimbra(loginOn);
        writeEntry(autostartEntry(nimbra));
        ASSERT_TRUE(nimbra.start({ "NIMBRA_UNREGISTER_LOGIN=" + value }));
        // A normal launch runs to its end, which the unregister mode never reaches.
        EXPECT_TRUE(nimbra.waitForLog("level   accessibility trusted = ", 10000))
            << "value '" << value.toStdString() << "': " << nimbra.log().toStdString();
        EXPECT_TRUE(QFile::exists(autostartEntry(nimbra)));
        EXPECT_EQ(storedSettings(nimbra).value("app.launchAtLogin"), QJsonValue(true));
        EXPECT_TRUE(nimbra.terminate()) << nimbra.log().toStdString();
    }
}
