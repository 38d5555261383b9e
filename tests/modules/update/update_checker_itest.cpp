#include "modules/update/update_checker.h"

#include "core/uptime.h"

#include "support/https_feed.h"
#include "support/test_support.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace nimbra;
using nimbra::test::HttpsFeed;
using nimbra::test::ScopedEnvironment;
using nimbra::test::waitUntil;

namespace {

// A feed the checker trusts, and Nimbra running as version 1.9.
struct Feed : ::testing::Test {
    Feed()
    {
        QCoreApplication::setApplicationVersion("1.9");
        checker.feedURL = feed.url("/appcast.json");
        checker.onFinish = [this](const UpdateChecker::Result& result) { results.append(result); };
    }
    ~Feed() override { QCoreApplication::setApplicationVersion({}); }

    static QByteArray manifest(const QByteArray& version, const QByteArray& url = "https://example.org/nimbra.tar.gz")
    {
        return R"({"version": ")" + version + R"(", "url": ")" + url + R"(", "notes": "Faster."})";
    }

    // Runs one check to its end; the result it reported.
    UpdateChecker::Result checkOnce(UpdateChecker& which)
    {
        const qsizetype before = results.size();
        which.check();
        EXPECT_TRUE(waitUntil([&] { return results.size() > before; }, 20000)) << "the check never finished";
        return results.isEmpty() ? UpdateChecker::Result {} : results.last();
    }
    UpdateChecker::Result checkOnce() { return checkOnce(checker); }

    HttpsFeed feed;
    ScopedEnvironment trust { "SSL_CERT_FILE", feed.certificate().toUtf8() };
    UpdateChecker checker;
    QList<UpdateChecker::Result> results;
};

} // namespace

TEST_F(Feed, ANewerVersionIsOfferedOnceAndTheSameOrAnOlderOneIsUpToDate)
{
    ASSERT_TRUE(feed.isRunning());
    feed.serve("/appcast.json", manifest("1.10"));
    const UpdateChecker::Result newer = checkOnce();
    ASSERT_TRUE(newer.available.has_value()) << newer.error.value_or("no error").toStdString();
    EXPECT_EQ(newer.available->version, "1.10");
    EXPECT_EQ(newer.available->notes, "Faster.");
    EXPECT_FALSE(newer.error);
    EXPECT_EQ(checker.available(), newer.available);
    EXPECT_TRUE(checker.lastCheckedAt().has_value());
    EXPECT_EQ(results.size(), 1) << "one check, one report";

    for (const QByteArray version : { "1.9", "1.9.0", "v1.2" }) {
        feed.serve("/appcast.json", manifest(version));
        const UpdateChecker::Result same = checkOnce();
        EXPECT_FALSE(same.available) << version.constData();
        EXPECT_FALSE(same.error) << version.constData() << ": " << same.error.value_or("").toStdString();
        EXPECT_FALSE(checker.available()) << "the earlier offer is gone";
    }
    // Every check asked the feed: nothing came from a cache.
    EXPECT_EQ(feed.requests("/appcast.json"), 4);
}

TEST_F(Feed, ErrorStatusesGarbageAndPlainHttpDownloadsAreFailuresNeverUpToDate)
{
    ASSERT_TRUE(feed.isRunning());
    struct Case {
        const char* name;
        QByteArray body;
        int status;
        QString reason;
    };
    const QList<Case> cases {
        { "not found", manifest("2.0"), 404, "404" },
        { "server error", "<html>Internal Server Error</html>", 500, "500" },
        { "garbage", "<html>Welcome to nginx!</html>", 200, "not send a valid update manifest" },
        { "truncated", manifest("2.0").left(20), 200, "not send a valid update manifest" },
        { "not an object", R"(["2.0"])", 200, "not send a valid update manifest" },
        { "plain http download", manifest("2.0", "http://example.org/nimbra.tar.gz"), 200,
            "not send a valid update manifest" },
    };
    for (const Case& c : cases) {
        feed.serve("/appcast.json", c.body, c.status);
        const UpdateChecker::Result result = checkOnce();
        EXPECT_FALSE(result.available) << c.name;
        ASSERT_TRUE(result.error.has_value()) << c.name << " was reported as up to date";
        EXPECT_TRUE(result.error->contains(c.reason)) << c.name << ": " << result.error->toStdString();
        EXPECT_EQ(checker.lastError(), result.error) << c.name;
    }
    // A success afterwards clears the failure.
    feed.serve("/appcast.json", manifest("1.9"));
    EXPECT_FALSE(checkOnce().error);
    EXPECT_FALSE(checker.lastError());
}

TEST_F(Feed, AnUntrustedCertificateIsAFailure)
{
    ASSERT_TRUE(feed.isRunning());
    feed.serve("/appcast.json", manifest("2.0"));
    ScopedEnvironment untrusted("SSL_CERT_FILE", "/nonexistent/certificates.pem");
    const UpdateChecker::Result result = checkOnce();
    EXPECT_FALSE(result.available);
    ASSERT_TRUE(result.error.has_value());
    EXPECT_TRUE(result.error->contains("SSL")) << result.error->toStdString();
}

TEST_F(Feed, AFeedThatNeverAnswersFailsWithATimeout)
{
    ASSERT_TRUE(feed.isRunning());
    // The server holds the request for 20 s; this checker gives up after a second.
    UpdateChecker quick(1);
    quick.feedURL = feed.url("/stall");
    quick.onFinish = checker.onFinish;
    const UpdateChecker::Result result = checkOnce(quick);
    EXPECT_FALSE(result.available);
    EXPECT_EQ(result.error, "The request timed out.");
    EXPECT_EQ(feed.requests("/stall"), 1);
}

TEST_F(Feed, AnOversizedAnswerIsAFailureAndAnEndlessOneIsCutOff)
{
    ASSERT_TRUE(feed.isRunning());
    feed.serve("/appcast.json", manifest("2.0") + QByteArray(UpdateChecker::maximumBody + 1, ' '));
    const UpdateChecker::Result result = checkOnce();
    EXPECT_FALSE(result.available);
    ASSERT_TRUE(result.error.has_value());
    EXPECT_TRUE(result.error->contains("more than")) << result.error->toStdString();

    // A feed that never stops sending: the checker hangs up soon after the limit, and the
    // server stops long before it has sent its 128 MiB.
    checker.feedURL = feed.url("/endless");
    const UpdateChecker::Result endless = checkOnce();
    EXPECT_TRUE(endless.error && endless.error->contains("more than"));
    ASSERT_TRUE(waitUntil([&] { return feed.endlessSent().has_value(); }, 20000));
    EXPECT_LT(*feed.endlessSent(), 32 * UpdateChecker::maximumBody);
}

TEST_F(Feed, ACheckIsDueOnceADayAndACompletionOfItsOwnAnswersAlone)
{
    ASSERT_TRUE(feed.isRunning());
    feed.serve("/appcast.json", manifest("1.10"));
    checker.checkIfDue(uptime());
    ASSERT_TRUE(waitUntil([&] { return results.size() == 1; }, 20000));
    // Not due again within the day.
    checker.checkIfDue(uptime() + UpdateChecker::checkInterval - 60);
    EXPECT_EQ(checker.runningChecks(), 0);
    checker.checkIfDue(uptime() + UpdateChecker::checkInterval);
    EXPECT_EQ(checker.runningChecks(), 1);
    ASSERT_TRUE(waitUntil([&] { return results.size() == 2; }, 20000));

    // A check with its own completion reports there and not to onFinish.
    std::optional<UpdateChecker::Result> own;
    feed.serve("/appcast.json", manifest("1.2"));
    checker.check([&](const UpdateChecker::Result& result) { own = result; });
    ASSERT_TRUE(waitUntil([&] { return own.has_value(); }, 20000));
    EXPECT_FALSE(own->available);
    EXPECT_FALSE(own->error);
    EXPECT_EQ(results.size(), 2);
    EXPECT_EQ(feed.requests("/appcast.json"), 3);
}

TEST(UpdateChecker, WithoutAFeedItSaysSoAndLeavesTheLastCheckTime)
{
    UpdateChecker checker;
    EXPECT_FALSE(UpdateChecker::feedAddress(""));
    EXPECT_FALSE(UpdateChecker::feedAddress("  "));
    EXPECT_EQ(UpdateChecker::feedAddress("updates.example.org"), QUrl("https://updates.example.org/appcast.json"));
    EXPECT_EQ(UpdateChecker::feedAddress("localhost:8443"), QUrl("https://localhost:8443/appcast.json"));
    EXPECT_FALSE(UpdateChecker::feedAddress("a b/c?"));

    std::optional<UpdateChecker::Result> result;
    checker.onFinish = [&](const UpdateChecker::Result& r) { result = r; };
    checker.check();
    ASSERT_TRUE(result.has_value()) << "reported at once";
    EXPECT_EQ(result->error, "No update feed configured.");
    EXPECT_FALSE(checker.lastCheckedAt());
    EXPECT_EQ(checker.runningChecks(), 0);

    // A feed that is not https is refused without a request.
    checker.feedURL = QUrl("http://example.org/appcast.json");
    checker.check();
    EXPECT_EQ(result->error, "The update feed must be an https address.");
    EXPECT_EQ(checker.runningChecks(), 0);
    EXPECT_FALSE(checker.openDownload()) << "nothing to download";
}
