#include "app/app_delegate.h"

#include "core/nimbra_settings.h"
#include "core/settings_storage.h"
#include "modules/update/update_checker.h"

#include "support/https_feed.h"
#include "support/test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace nimbra;
using nimbra::test::HttpsFeed;
using nimbra::test::ScopedEnvironment;
using nimbra::test::shownAlerts;
using nimbra::test::waitUntil;

namespace {

QStringList buttonTexts(QMessageBox* box)
{
    QStringList texts;
    for (QAbstractButton* button : box->buttons())
        texts.append(button->text());
    texts.sort();
    return texts;
}

// A launched Nimbra at version 1.9 whose update feed is a local server it trusts. Automatic
// checks are off, so every check here is one the test starts.
// Another launched Nimbra on the same feed, whose settings allow the automatic check.
struct LaunchedWithAutomaticChecks {
    explicit LaunchedWithAutomaticChecks(HttpsFeed& feed)
    {
        settings.setHasSeenOnboarding(true);
        delegate.applicationDidFinishLaunching();
        delegate.updates().feedURL = feed.url("/appcast.json");
    }
    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    AppDelegate delegate { &settings };
};

struct Offers : ::testing::Test {
    Offers()
    {
        QCoreApplication::setApplicationVersion("1.9");
        settings.setHasSeenOnboarding(true);
        settings.setChecksForUpdates(false);
        delegate.applicationDidFinishLaunching();
        delegate.updates().feedURL = feed.url("/appcast.json");
    }
    ~Offers() override
    {
        for (QMessageBox* box : shownAlerts())
            delete box;
        QCoreApplication::setApplicationVersion({});
    }

    // Runs the check the menu starts to its end.
    void checkManually()
    {
        const std::optional<QDateTime> before = delegate.updates().lastCheckedAt();
        delegate.checkForUpdates();
        ASSERT_TRUE(waitUntil([&] { return delegate.updates().lastCheckedAt() != before; }, 20000));
    }
    // The automatic check, to its end.
    void checkAutomatically()
    {
        const std::optional<QDateTime> before = delegate.updates().lastCheckedAt();
        delegate.updates().check();
        ASSERT_TRUE(waitUntil([&] { return delegate.updates().lastCheckedAt() != before; }, 20000));
    }

    HttpsFeed feed;
    ScopedEnvironment trust { "SSL_CERT_FILE", feed.certificate().toUtf8() };
    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    AppDelegate delegate { &settings };
};

// Every address the desktop is asked to open, whatever its scheme.
class OpenedAddresses : public QObject {
    Q_OBJECT
public:
    OpenedAddresses()
    {
        for (const char* scheme : { "file", "http", "https" })
            QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~OpenedAddresses() override
    {
        for (const char* scheme : { "file", "http", "https" })
            QDesktopServices::unsetUrlHandler(scheme);
    }
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened.append(url); }
};

const QByteArray newer = R"({"version": "2.0", "url": "https://example.org/nimbra-2.0.tar.gz"})";
const QByteArray current = R"({"version": "1.9", "url": "https://example.org/nimbra-1.9.tar.gz"})";

} // namespace

TEST_F(Offers, AManualCheckOffersANewerVersionOnceAndTheAutomaticOneAfterItStaysSilent)
{
    ASSERT_TRUE(feed.isRunning());
    feed.serve("/appcast.json", newer);
    checkManually();
    ASSERT_EQ(shownAlerts().size(), 1);
    QMessageBox* offer = shownAlerts().first();
    EXPECT_EQ(offer->text(), "Nimbra 2.0 is available");
    EXPECT_EQ(offer->informativeText(), "You have 1.9. Would you like to download the new version?");
    EXPECT_EQ(buttonTexts(offer), QStringList({ "Download", "Later" }));
    offer->escapeButton()->click();
    ASSERT_TRUE(waitUntil([] { return shownAlerts().isEmpty(); }));

    // The automatic check does not answer the user when there is nothing to offer, nor when
    // it fails: the manual check's answer was for that check alone.
    feed.serve("/appcast.json", current);
    checkAutomatically();
    feed.serve("/appcast.json", "not a manifest", 500);
    checkAutomatically();
    QCoreApplication::processEvents();
    EXPECT_TRUE(shownAlerts().isEmpty());
}

TEST_F(Offers, AManualCheckSaysUpToDateOnlyOfAFeedItReadAndFailuresAsFailures)
{
    ASSERT_TRUE(feed.isRunning());
    feed.serve("/appcast.json", current);
    checkManually();
    ASSERT_EQ(shownAlerts().size(), 1);
    EXPECT_EQ(shownAlerts().first()->text(), "Nimbra is up to date");
    EXPECT_EQ(shownAlerts().first()->informativeText(), "You have version 1.9.");
    delete shownAlerts().first();

    feed.serve("/appcast.json", "<html>Internal Server Error</html>", 500);
    checkManually();
    ASSERT_EQ(shownAlerts().size(), 1);
    EXPECT_EQ(shownAlerts().first()->text(), "Couldn't check for updates");
    EXPECT_TRUE(shownAlerts().first()->informativeText().contains("500"))
        << shownAlerts().first()->informativeText().toStdString();
    EXPECT_EQ(buttonTexts(shownAlerts().first()), QStringList({ "OK" }));
}

TEST_F(Offers, TheAutomaticCheckOffersWithTheFeedsNotesAndANewerOfferReplacesAWaitingOne)
{
    ASSERT_TRUE(feed.isRunning());
    feed.serve("/appcast.json", R"({"version": "2.0", "url": "https://example.org/n.tar.gz", "notes": "Quieter."})");
    checkAutomatically();
    ASSERT_EQ(shownAlerts().size(), 1);
    EXPECT_EQ(shownAlerts().first()->text(), "Nimbra 2.0 is available");
    EXPECT_EQ(shownAlerts().first()->informativeText(), "Quieter.");

    feed.serve("/appcast.json", R"({"version": "2.1", "url": "https://example.org/n.tar.gz"})");
    checkManually();
    QCoreApplication::processEvents();
    ASSERT_EQ(shownAlerts().size(), 1) << "offers do not pile up";
    EXPECT_EQ(shownAlerts().first()->text(), "Nimbra 2.1 is available");
}

TEST_F(Offers, TheNotesArePlainTextAndOnlyTheHttpsDownloadOpens)
{
    ASSERT_TRUE(feed.isRunning());
    const QString notes = R"(<b>Faster</b>. <a href="file:///etc">Details</a> <a href="http://example.org/x">here</a>)";
    feed.serve("/appcast.json",
        R"({"version": "2.0", "url": "https://example.org/n.tar.gz", "notes": ")" + notes.toUtf8().replace('"', "\\\"")
            + R"("})");
    OpenedAddresses desktop;
    checkManually();
    ASSERT_EQ(shownAlerts().size(), 1);
    QMessageBox* offer = shownAlerts().first();
    QLabel* shown = nullptr;
    for (QLabel* label : offer->findChildren<QLabel*>()) {
        if (label->text() == notes)
            shown = label;
    }
    ASSERT_NE(shown, nullptr);
    // The tags are shown as written, and clicks all over the text open nothing.
    EXPECT_EQ(shown->textFormat(), Qt::PlainText);
    for (int y = 2; y < shown->height(); y += 4) {
        for (int x = 2; x < shown->width(); x += 4)
            QTest::mouseClick(shown, Qt::LeftButton, {}, QPoint(x, y));
    }
    // Download opens its address, the only one ever opened.
    offer->defaultButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !desktop.opened.isEmpty(); }));
    EXPECT_EQ(QUrl::toStringList(desktop.opened), QStringList { "https://example.org/n.tar.gz" });
}

TEST(UpdateOffers, WithoutAConfiguredFeedTheManualCheckSaysSo)
{
    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    settings.setHasSeenOnboarding(true);
    AppDelegate delegate(&settings);
    delegate.applicationDidFinishLaunching();
    // The build's feed host is empty unless configured.
    if (delegate.updates().feedURL)
        GTEST_SKIP() << "this build has an update feed";
    delegate.checkForUpdates();
    ASSERT_EQ(shownAlerts().size(), 1);
    EXPECT_EQ(shownAlerts().first()->text(), "Couldn't check for updates");
    EXPECT_EQ(shownAlerts().first()->informativeText(), "No update feed configured.");
    delete shownAlerts().first();
}

TEST_F(Offers, ShortlyAfterLaunchTheAutomaticCheckAsksTheFeedWhenAllowed)
{
    ASSERT_TRUE(feed.isRunning());
    feed.serve("/appcast.json", newer);
    LaunchedWithAutomaticChecks app(feed);
    AppDelegate& launched = app.delegate;
    // Some seconds after launch, without anyone asking.
    ASSERT_TRUE(waitUntil([&] { return launched.updateAlert() != nullptr; }, 20000));
    EXPECT_EQ(launched.updateAlert()->text(), "Nimbra 2.0 is available");
    EXPECT_EQ(feed.requests("/appcast.json"), 1);
}

TEST_F(Offers, TheAutomaticCheckTurnedOffBeforeItIsDueDoesNotRun)
{
    ASSERT_TRUE(feed.isRunning());
    feed.serve("/appcast.json", newer);
    LaunchedWithAutomaticChecks app(feed);
    NimbraSettings& allowed = app.settings;
    AppDelegate& launched = app.delegate;
    ASSERT_TRUE(launched.isAutomaticCheckPending());
    allowed.setChecksForUpdates(false);
    // Its time comes and goes: no check was started, none asked the feed.
    ASSERT_TRUE(waitUntil([&] { return !launched.isAutomaticCheckPending(); }, 20000));
    EXPECT_EQ(launched.updates().runningChecks(), 0);
    EXPECT_FALSE(launched.updates().lastCheckedAt().has_value());
    EXPECT_EQ(feed.requests("/appcast.json"), 0);
}

#include "update_offers_itest.moc"
