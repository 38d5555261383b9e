#include "support/nimbra_process.h"

#include <QDir>
#include <gtest/gtest.h>

using nimbra::test::NimbraProcess;

namespace {
// Logged at the end of the launch, long after the name on the bus was claimed.
const QString launched = "level   accessibility trusted = ";
} // namespace

TEST(SingleInstance, ASecondStartHandsOverToTheRunningOneSaysSoAndExits)
{
    NimbraProcess first;
    ASSERT_TRUE(first.start());
    ASSERT_TRUE(first.waitForLog(launched, 10000)) << first.log().toStdString();

    NimbraProcess second;
    ASSERT_TRUE(second.start({ "XDG_CONFIG_HOME=" + first.configHome() }));
    ASSERT_TRUE(second.process().waitForFinished(5000)) << "the second start kept running";
    EXPECT_EQ(second.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process().exitCode(), 0);
    EXPECT_EQ(
        QString::fromUtf8(second.process().readAllStandardOutput()), "Nimbra is already running; handed over to it\n");
    EXPECT_FALSE(second.log().contains(launched)) << "the second start launched as well";

    // The first one reacts as to being opened again, and runs on; another profile runs beside it.
    EXPECT_TRUE(first.waitForLog("] display reopened by another start\n")) << first.log().toStdString();
    EXPECT_EQ(first.process().state(), QProcess::Running);
    NimbraProcess otherProfile;
    ASSERT_TRUE(otherProfile.start());
    EXPECT_TRUE(otherProfile.waitForLog(launched, 10000)) << otherProfile.log().toStdString();
    EXPECT_TRUE(otherProfile.process().readAllStandardOutput().isEmpty());

    EXPECT_TRUE(otherProfile.terminate());
    EXPECT_TRUE(first.terminate()) << first.log().toStdString();
}

TEST(SettingsFile, ACorruptFileMovedAsideIsReportedInOneLineWithoutDiagnostics)
{
    NimbraProcess nimbra(R"({ "display.showOnAll": tru )");
    ASSERT_TRUE(nimbra.start({ "NIMBRA_DEBUG=0" }));
    // Nothing else reaches standard error without diagnostics, so the first line is the report.
    // A second start hands over once the first one runs its event loop, past the launch; stopped
    // then, the run shows that no second line followed.
    ASSERT_TRUE(nimbra.waitForLog("\n", 10000));
    NimbraProcess second;
    ASSERT_TRUE(second.start({ "XDG_CONFIG_HOME=" + nimbra.configHome() }));
    ASSERT_TRUE(second.process().waitForFinished(10000));
    EXPECT_TRUE(nimbra.terminate());
    const QStringList lines = nimbra.log().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << nimbra.log().toStdString();
    EXPECT_TRUE(
        lines[0].startsWith("nimbra: settings: " + nimbra.configHome() + "/nimbra/settings.json is not valid JSON"))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains("; moved to " + nimbra.configHome() + "/nimbra/settings.json.corrupt-"))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(", defaults in use")) << lines[0].toStdString();
    EXPECT_EQ(QDir(nimbra.configHome() + "/nimbra").entryList({ "settings.json.corrupt-*" }).size(), 1);
}
