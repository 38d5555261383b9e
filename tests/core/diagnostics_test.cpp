#include "core/diagnostics.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>
#include <vector>

using nimbra::Diagnostics;
using Category = nimbra::Diagnostics::Category;

namespace {

constexpr int kThreads = 6;
constexpr int kLinesPerThread = 150;

// Runs this test binary again with only the logging test selected and the given NIMBRA_DEBUG.
QByteArray runLoggingChild(const std::optional<QString>& debugValue)
{
    QProcess child;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("NIMBRA_DEBUG"));
    if (debugValue)
        environment.insert(QStringLiteral("NIMBRA_DEBUG"), *debugValue);
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
        { QStringLiteral("--gtest_filter=DiagnosticsLogging.MessagesAreBuiltOnlyWhenEnabled") });
    EXPECT_TRUE(child.waitForFinished(60000));
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardOutput().toStdString();
    return child.readAllStandardError();
}

} // namespace

TEST(Diagnostics, LineFormatPadsAndCutsTheCategory)
{
    EXPECT_EQ(Diagnostics::formatLine(123.4567, Category::hover, QStringLiteral("entered")),
        QByteArray("[ 123.457] hover   entered\n"));
    EXPECT_EQ(
        Diagnostics::formatLine(1.0, Category::clipboard, QStringLiteral("x")), QByteArray("[   1.000] clipboa x\n"));
    EXPECT_EQ(
        Diagnostics::formatLine(1.0, Category::update, QStringLiteral("x")), QByteArray("[   1.000] update  x\n"));
    EXPECT_EQ(Diagnostics::formatLine(1.0, Category::eyes, QString()), QByteArray("[   1.000] eyes    \n"));
}

TEST(Diagnostics, UptimeFieldWidensWhenNeeded)
{
    EXPECT_EQ(Diagnostics::formatLine(1234567.0005, Category::display, QStringLiteral("m")),
        QByteArray("[1234567.001] display m\n"));
    EXPECT_EQ(Diagnostics::formatLine(0.0, Category::power, QStringLiteral("m")), QByteArray("[   0.000] power   m\n"));
}

TEST(Diagnostics, MessageIsWrittenAsIsWithOneNewlineAndUtf8)
{
    const auto line = Diagnostics::formatLine(2.0, Category::media, QStringLiteral("a\nb\n ‘Café’"));
    EXPECT_EQ(line, QByteArray("[   2.000] media   a\nb\n ") + QStringLiteral("‘Café’\n").toUtf8());
}

TEST(Diagnostics, OnlyExactlyOneEnables)
{
    EXPECT_TRUE(Diagnostics::enabledBy("1"));
    EXPECT_FALSE(Diagnostics::enabledBy(nullptr));
    EXPECT_FALSE(Diagnostics::enabledBy(""));
    EXPECT_FALSE(Diagnostics::enabledBy("true"));
    EXPECT_FALSE(Diagnostics::enabledBy("01"));
    EXPECT_FALSE(Diagnostics::enabledBy("1 "));
}

TEST(DiagnosticsLogging, MessagesAreBuiltOnlyWhenEnabled)
{
    std::atomic<int> built = 0;
    Diagnostics::log(Category::hover, [&] {
        ++built;
        return QStringLiteral("single");
    });
    Diagnostics::log(Category::clipboard, "literal");
    char buffer[32] = "buffered";
    Diagnostics::log(Category::shelf, buffer);

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &built] {
            for (int i = 0; i < kLinesPerThread; ++i) {
                Diagnostics::log(Category::surface, [&] {
                    ++built;
                    return QStringLiteral("thread %1 line %2 %3").arg(t).arg(i).arg(QString(100, QLatin1Char('.')));
                });
            }
        });
    }
    for (auto& thread : threads)
        thread.join();

    EXPECT_EQ(built.load(), Diagnostics::isEnabled() ? 1 + kThreads * kLinesPerThread : 0);
}

TEST(Diagnostics, EnabledLogWritesWholeLinesToStandardError)
{
    const QByteArray output = runLoggingChild(QStringLiteral("1"));
    const auto lines = output.split('\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines.last().isEmpty()) << "output must end with a newline";

    const QRegularExpression stamp(QStringLiteral(R"(^\[ *\d+\.\d{3}\] )"));
    int single = 0, literal = 0, buffered = 0, threaded = 0;
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines[i]);
        ASSERT_TRUE(stamp.match(line).hasMatch()) << line.toStdString();
        const QString rest = line.mid(line.indexOf(QLatin1String("] ")) + 2);
        if (rest == QLatin1String("hover   single"))
            ++single;
        else if (rest == QLatin1String("clipboa literal"))
            ++literal;
        else if (rest == QLatin1String("shelf   buffered"))
            ++buffered;
        else if (QRegularExpression(QStringLiteral(R"(^surface thread \d line \d+ \.{100}$)")).match(rest).hasMatch())
            ++threaded;
        else
            ADD_FAILURE() << "unexpected or interleaved line: " << line.toStdString();
    }
    EXPECT_EQ(single, 1);
    EXPECT_EQ(literal, 1);
    EXPECT_EQ(buffered, 1);
    EXPECT_EQ(threaded, kThreads * kLinesPerThread);
}

TEST(Diagnostics, AnyOtherValueKeepsTheLogSilent)
{
    for (const auto& value : { std::optional<QString>(), std::optional<QString>(QStringLiteral("true")),
             std::optional<QString>(QStringLiteral("01")), std::optional<QString>(QString()) }) {
        EXPECT_EQ(runLoggingChild(value), QByteArray()) << (value ? value->toStdString() : "<unset>");
    }
}
