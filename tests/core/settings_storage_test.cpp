#include "core/settings_storage.h"

#include "core/diagnostics.h"

#include "support/captured_stderr.h"
#include "support/test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace nimbra;

namespace {

QJsonObject readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

void writeFile(const QString& path, const QByteArray& contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(contents);
}

QStringList corruptCopies(const QString& dir)
{
    return QDir(dir).entryList({ QStringLiteral("settings.json.corrupt-*") }, QDir::Files);
}

} // namespace

TEST(SettingsStorage, TypedGettersConvertWhatIsStored)
{
    MemorySettingsStorage storage(QJsonObject {
        { "bool", true },
        { "one", 1 },
        { "fraction", -2.7 },
        { "text", "12" },
        { "yes", "YES" },
        { "word", "hello" },
        { "list", QJsonArray { 1, 2 } },
        { "object", QJsonObject { { "keyCode", 9 } } },
        { "huge", 1e300 },
    });

    EXPECT_TRUE(storage.boolValue("bool"));
    EXPECT_TRUE(storage.boolValue("one"));
    EXPECT_TRUE(storage.boolValue("yes"));
    EXPECT_TRUE(storage.boolValue("text"));
    EXPECT_FALSE(storage.boolValue("word"));
    EXPECT_FALSE(storage.boolValue("absent"));

    EXPECT_EQ(storage.integer("bool"), 1);
    EXPECT_EQ(storage.integer("fraction"), -2);
    EXPECT_EQ(storage.integer("text"), 12);
    EXPECT_EQ(storage.integer("word"), 0);
    EXPECT_EQ(storage.integer("list"), 0);
    EXPECT_EQ(storage.integer("huge"), 0);
    EXPECT_EQ(storage.integer("absent"), 0);

    EXPECT_DOUBLE_EQ(storage.doubleValue("fraction"), -2.7);
    EXPECT_DOUBLE_EQ(storage.doubleValue("text"), 12.0);
    EXPECT_DOUBLE_EQ(storage.doubleValue("absent"), 0.0);

    EXPECT_EQ(storage.string("word"), QString("hello"));
    EXPECT_EQ(storage.string("one"), std::nullopt);
    EXPECT_EQ(storage.array("list"), (QJsonArray { 1, 2 }));
    EXPECT_EQ(storage.array("text"), std::nullopt);
    EXPECT_EQ(storage.data("object"), QByteArray(R"({"keyCode":9})"));
    EXPECT_EQ(storage.data("word"), std::nullopt);
    EXPECT_TRUE(storage.object("absent").isUndefined());
}

TEST(SettingsStorage, MemoryRecordsEveryWriteAndRefusesDataThatIsNotJson)
{
    MemorySettingsStorage storage;
    storage.setBool("a", true);
    storage.setBool("a", true);
    storage.setInteger("b", 3);
    EXPECT_TRUE(storage.setData("c", R"({"keyCode":9,"modifiers":768})"));
    EXPECT_FALSE(storage.setData("d", "not json"));
    EXPECT_FALSE(storage.setData("d", "42"));

    EXPECT_EQ(storage.writtenKeys(), (QStringList { "a", "a", "b", "c" }));
    EXPECT_EQ(storage.object("c").toObject().value("modifiers").toInt(), 768);
    EXPECT_TRUE(storage.object("d").isUndefined());
}

class JsonFileSettingsStorageTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.path() + "/nimbra/settings.json"; }
};

TEST_F(JsonFileSettingsStorageTest, CreatingAndReadingWritesNothing)
{
    {
        JsonFileSettingsStorage storage(path());
        EXPECT_TRUE(storage.object("anything").isUndefined());
        EXPECT_FALSE(storage.hasPendingWrite());
        storage.flush();
    }
    // Destruction writes synchronously, so nothing can land later.
    EXPECT_FALSE(QFileInfo::exists(path()));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/nimbra"));
}

TEST_F(JsonFileSettingsStorageTest, WritesAreBatchedIntoOneFileWriteAfterTheDelay)
{
    JsonFileSettingsStorage storage(path(), 50);
    for (int i = 0; i <= 60; ++i)
        storage.setDouble("layout.expandedWidth", 300 + i);

    // Visible at once, on disk only later.
    EXPECT_EQ(storage.integer("layout.expandedWidth"), 360);
    EXPECT_TRUE(storage.hasPendingWrite());
    EXPECT_FALSE(QFileInfo::exists(path()));

    ASSERT_TRUE(test::waitUntil([&] { return !storage.hasPendingWrite(); }, 2000));
    EXPECT_EQ(storage.fileWrites(), 1);
    EXPECT_EQ(readFile(path()).value("layout.expandedWidth").toDouble(), 360.0);

    // Nothing more to write: the timer is gone. A stray one would have written again before
    // the next batch's own delay runs out.
    storage.setDouble("layout.expandedWidth", 400);
    ASSERT_TRUE(test::waitUntil([&] { return !storage.hasPendingWrite(); }, 2000));
    EXPECT_EQ(storage.fileWrites(), 2);
}

TEST_F(JsonFileSettingsStorageTest, DestructionAndFlushWriteWhatIsPending)
{
    {
        JsonFileSettingsStorage storage(path(), 60'000);
        storage.setBool("display.showOnAll", true);
        EXPECT_FALSE(QFileInfo::exists(path()));
    }
    EXPECT_EQ(readFile(path()).value("display.showOnAll"), QJsonValue(true));

    JsonFileSettingsStorage storage(path(), 60'000);
    storage.setInteger("pomodoro.work", 30);
    storage.flush();
    EXPECT_FALSE(storage.hasPendingWrite());
    EXPECT_EQ(readFile(path()).value("pomodoro.work").toInt(), 30);
    EXPECT_EQ(readFile(path()).value("display.showOnAll"), QJsonValue(true));
}

TEST_F(JsonFileSettingsStorageTest, QuittingWritesAtOnceAndLaterWritesGoStraightToDisk)
{
    JsonFileSettingsStorage storage(path(), 60'000);
    storage.setInteger("pomodoro.cycles", 3);
    QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    EXPECT_FALSE(storage.hasPendingWrite());
    EXPECT_EQ(readFile(path()).value("pomodoro.cycles").toInt(), 3);

    // The event loop will not run again to fire a delayed write.
    storage.setInteger("pomodoro.cycles", 5);
    EXPECT_FALSE(storage.hasPendingWrite());
    EXPECT_EQ(readFile(path()).value("pomodoro.cycles").toInt(), 5);
}

TEST_F(JsonFileSettingsStorageTest, TheFileIsPrivateToTheUserAndReplacedWhole)
{
    writeFile(path(), R"({"timer.chime": false})");
    QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    {
        JsonFileSettingsStorage storage(path());
        EXPECT_EQ(storage.object("timer.chime"), QJsonValue(false));
        storage.setBool("eyes.enabled", true);
    }
    struct stat info { };
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const QJsonObject stored = readFile(path());
    EXPECT_EQ(stored.value("timer.chime"), QJsonValue(false));
    EXPECT_EQ(stored.value("eyes.enabled"), QJsonValue(true));
    // No temporary file is left beside it.
    EXPECT_EQ(QDir(dir.path() + "/nimbra").entryList(QDir::Files), QStringList { "settings.json" });
}

TEST_F(JsonFileSettingsStorageTest, ValuesKeepTheirJsonTypesThroughTheFile)
{
    {
        JsonFileSettingsStorage storage(path());
        storage.setBool("b", false);
        storage.setInteger("i", 100);
        storage.setDouble("d", 0.1);
        storage.setObject("empty", QJsonArray {});
        storage.setObject("one", QJsonArray { "music" });
        storage.setData("hotKey", R"({"keyCode":49,"modifiers":4352})");
    }
    JsonFileSettingsStorage storage(path());
    EXPECT_EQ(storage.object("b"), QJsonValue(false));
    EXPECT_EQ(storage.object("i"), QJsonValue(100));
    EXPECT_EQ(storage.object("d").toDouble(), 0.1);
    EXPECT_EQ(storage.array("empty"), QJsonArray {});
    EXPECT_EQ(storage.array("one"), (QJsonArray { "music" }));
    EXPECT_EQ(storage.object("hotKey").toObject(), (QJsonObject { { "keyCode", 49 }, { "modifiers", 4352 } }));
}

TEST_F(JsonFileSettingsStorageTest, ADamagedFileIsMovedAsideNotOverwritten)
{
    struct Case {
        const char* name;
        QByteArray contents;
    };
    const Case cases[] = {
        { "not JSON", R"({"hover.dwell": 0.3,)" },
        { "an array", R"([1, 2, 3])" },
        { "a number", "42" },
        { "empty", "" },
        { "an overflowing number", R"({"hover.dwell": 1e999})" },
        { "larger than any settings of ours",
            R"({"hover.dwell": 0.3, "x": ")" + QByteArray(JsonFileSettingsStorage::maximumFileBytes, 'x') + R"("})" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(dir.path() + "/nimbra").removeRecursively();
        writeFile(path(), c.contents);

        JsonFileSettingsStorage storage(path(), 60'000);
        EXPECT_TRUE(storage.isWritable());
        EXPECT_TRUE(storage.object("hover.dwell").isUndefined());
        ASSERT_EQ(corruptCopies(dir.path() + "/nimbra").size(), 1);
        EXPECT_EQ(storage.corruptCopyPath(), dir.path() + "/nimbra/" + corruptCopies(dir.path() + "/nimbra").first());
        EXPECT_FALSE(QFileInfo::exists(path()));

        storage.setBool("eyes.enabled", true);
        storage.flush();
        EXPECT_EQ(readFile(path()).keys(), QStringList { "eyes.enabled" });
        QFile copy(storage.corruptCopyPath());
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
        EXPECT_TRUE(copy.readAll() == c.contents);
    }
}

TEST_F(JsonFileSettingsStorageTest, ASecondDamagedFileInTheSameSecondGetsItsOwnCopy)
{
    writeFile(path(), "{");
    JsonFileSettingsStorage first(path(), 60'000);
    writeFile(path(), "[");
    JsonFileSettingsStorage second(path(), 60'000);
    EXPECT_NE(first.corruptCopyPath(), second.corruptCopyPath());
    EXPECT_EQ(corruptCopies(dir.path() + "/nimbra").size(), 2);
}

TEST(JsonFileSettingsStoragePath, FollowsXdgConfigHome)
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/nimbra-config-probe");
    EXPECT_EQ(JsonFileSettingsStorage::defaultPath(), QString("/tmp/nimbra-config-probe/nimbra/settings.json"));
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(JsonFileSettingsStorage::defaultPath(), QDir::homePath() + "/.config/nimbra/settings.json");
    if (!saved.isNull())
        qputenv("XDG_CONFIG_HOME", saved);
}

TEST_F(JsonFileSettingsStorageTest, AFileThatCannotBeReadIsNeverWritten)
{
    // What stands where the file should be, none of which reads as one. A FIFO without a writer
    // held start-up for ever, and a link to an endless device read until memory ran out.
    struct Case {
        const char* name;
        std::function<bool()> make;
        std::function<bool()> stillThere;
    };
    const Case cases[] = {
        { "a folder", [&] { return QDir().mkpath(path()); }, [&] { return QFileInfo(path()).isDir(); } },
        { "a FIFO", [&] { return test::makeFifo(path()); },
            [&] {
                struct stat info {};
                return ::lstat(QFile::encodeName(path()).constData(), &info) == 0 && S_ISFIFO(info.st_mode);
            } },
        { "a link to /dev/zero", [&] { return QFile::link("/dev/zero", path()); },
            [&] { return QFileInfo(path()).symLinkTarget() == "/dev/zero"; } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(dir.path() + "/nimbra").removeRecursively();
        QDir().mkpath(dir.path() + "/nimbra");
        ASSERT_TRUE(c.make());
        {
            JsonFileSettingsStorage storage(path(), 60'000);
            EXPECT_FALSE(storage.isWritable());
            EXPECT_TRUE(storage.object("eyes.enabled").isUndefined());
            storage.setBool("eyes.enabled", true);
        }
        EXPECT_TRUE(c.stillThere());
        EXPECT_TRUE(corruptCopies(dir.path() + "/nimbra").isEmpty());
    }
}

TEST_F(JsonFileSettingsStorageTest, ADamagedFileLeavesOneDiagnosticsLine)
{
    qputenv("NIMBRA_DEBUG", "1");
    if (!Diagnostics::isEnabled())
        GTEST_SKIP() << "the log was already read as off in this process";
    writeFile(path(), "{ broken");

    // Catch standard error in a file for the store's lifetime.
    test::CapturedStderr log;
    ASSERT_TRUE(log.isCapturing());
    {
        JsonFileSettingsStorage storage(path(), 60'000);
        storage.setBool("eyes.enabled", true);
        storage.flush();
    }
    log.release();

    const QList<QByteArray> lines = log.lines();
    ASSERT_EQ(lines.size(), 2); // one line and the empty rest after its newline
    EXPECT_TRUE(lines[0].contains("settings.json is not valid JSON")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains("settings.json.corrupt-")) << lines[0].toStdString();
}
