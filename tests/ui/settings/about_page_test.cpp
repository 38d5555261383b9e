#include "settings_fixture.h"
#include "ui/settings/about_page.h"
#include "ui/settings/settings_blocks.h"
#include "ui/settings/settings_controls.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

QLabel* valueOf(const SettingsFixture& f, const QString& name)
{
    for (QLabel* l : f.view->currentScrollArea()->findChildren<QLabel*>()) {
        if (l->accessibleName() == name)
            return l;
    }
    return nullptr;
}

int pixelsNear(const QImage& image, const QColor& colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green())
                    + std::abs(c.blue() - colour.blue())
                < 24)
                ++count;
        }
    }
    return count;
}

} // namespace

TEST(MakerInfo, OnlyWellFormedDetailsAreShownAndNothingByDefault)
{
    // The build configures no maker: no name, no address, no link.
    EXPECT_TRUE(MakerInfo::configured().isEmpty());

    const MakerInfo maker
        = MakerInfo::from(" Ada Byron King ", "ada@example.org", "https://github.com/example", "javascript:alert(1)");
    EXPECT_EQ(maker.name, "Ada Byron King");
    EXPECT_EQ(maker.monogram(), "AB");
    EXPECT_EQ(maker.mailto(), QUrl("mailto:ada@example.org"));
    ASSERT_EQ(maker.links.size(), 1u);
    EXPECT_EQ(maker.links[0].first, BrandMark::github);
    EXPECT_EQ(maker.links[0].second, QUrl("https://github.com/example"));

    const MakerInfo broken = MakerInfo::from("", "not an address", "github.com/no-scheme", "https://");
    EXPECT_TRUE(broken.isEmpty());
    EXPECT_EQ(broken.mailto(), std::nullopt);
    EXPECT_EQ(MakerInfo::from("", "a@b@c", "", "").email, "");
    EXPECT_EQ(MakerInfo::from("", "@example.org", "", "").email, "");
    EXPECT_EQ(MakerInfo::from("", "", "", "http://www.linkedin.com/in/example").links.size(), 1u);
}

TEST(AboutPage, SaysWhatItIsAndDiagnosesThisMachine)
{
    SettingsFixture f;
    bool keys = false;
    KeyboardStatus status;
    SettingsView::Inputs in = f.inputs();
    in.displaySummary = QString();
    in.isAccessibilityGranted = [&keys] { return keys; };
    in.keyboardStatus = [&status] { return status; };
    f.make(false, in);
    f.open(SettingsSection::about);

    QStringList texts;
    for (const QLabel* l : f.view->currentScrollArea()->findChildren<QLabel*>())
        texts << l->text();
    EXPECT_TRUE(texts.contains("A quiet status layer for the top edge of your screen."));
    EXPECT_TRUE(texts.contains(AboutTexts::version()));
    EXPECT_TRUE(AboutTexts::version().startsWith("Version ")); // from the project's version
    EXPECT_GT(AboutTexts::version().size(), QString("Version ").size());
    // No maker configured: no "Built by", no mail button.
    EXPECT_FALSE(texts.contains("Built by"));
    EXPECT_EQ(f.button("Email"), nullptr);

    ASSERT_NE(valueOf(f, "Display"), nullptr);
    EXPECT_EQ(valueOf(f, "Display")->text(), "None detected");
    EXPECT_EQ(valueOf(f, "Signature")->text(), "Unsigned");
    QLabel* takeover = valueOf(f, "Key takeover");
    ASSERT_NE(takeover, nullptr);
    EXPECT_EQ(takeover->text(), "Not available");
    EXPECT_EQ(takeover->palette().color(QPalette::WindowText), settings_style::secondary(takeover->palette()));
    keys = true;
    f.view->refreshAccessibility();
    EXPECT_EQ(takeover->text(), "Available");
    EXPECT_EQ(takeover->palette().color(QPalette::WindowText), settings_style::green(takeover->palette()));
    // What is true of the keys, not only of the display server.
    status.mediaKeysHeldElsewhere = { "Volume Up", "Mute" };
    f.view->refreshAccessibility();
    EXPECT_EQ(takeover->text(), "Volume Up and Mute held by another program");
    EXPECT_EQ(takeover->palette().color(QPalette::WindowText), settings_style::orange(takeover->palette()));
    status = KeyboardStatus {};
    status.mediaKeysTaken = true;
    f.view->refreshAccessibility();
    EXPECT_EQ(takeover->text(), "Media keys taken");

    auto* updates = f.find<SwitchControl>("Check for updates automatically");
    ASSERT_NE(updates, nullptr);
    updates->click();
    EXPECT_FALSE(f.settings.checksForUpdates());
}

TEST(AboutPage, ResetAllSettingsRestoresTheMainSettingsAndTheLayoutSliders)
{
    SettingsFixture f;
    f.make();
    LayoutMetrics wide = LayoutMetrics::defaults();
    wide.expandedWidth = 500;
    f.settings.setLayout(wide);
    f.settings.setHoverDwell(0.3);
    f.settings.setHudReplacement(true);
    f.settings.setLowBatteryLevels({ 50 });
    f.settings.setClipboardHistoryLimit(25);
    f.settings.setEyesEnabled(true);
    f.settings.setPomodoroWorkMinutes(50);
    f.settings.setAppearance(Appearance::dark);
    f.settings.setShelfEnabled(false);
    EXPECT_EQ(f.view->draft().expandedWidth, 500);

    f.open(SettingsSection::about);
    QPushButton* reset = f.button("Reset All Settings");
    ASSERT_NE(reset, nullptr);
    reset->click();
    EXPECT_EQ(f.settings.layout(), LayoutMetrics::defaults());
    EXPECT_EQ(f.view->draft(), LayoutMetrics::defaults());
    EXPECT_DOUBLE_EQ(f.settings.hoverDwell(), 0.1);
    EXPECT_FALSE(f.settings.hudReplacement());
    EXPECT_EQ(f.settings.lowBatteryLevels(), (std::set<int> { 5, 10, 20 }));
    // Left alone.
    EXPECT_EQ(f.settings.clipboardHistoryLimit(), 25);
    EXPECT_TRUE(f.settings.eyesEnabled());
    EXPECT_EQ(f.settings.pomodoroWorkMinutes(), 50);
    EXPECT_EQ(f.settings.appearance(), Appearance::dark);
    EXPECT_FALSE(f.settings.shelfEnabled());

    // The notch page's sliders show the default width.
    f.open(SettingsSection::notch);
    bool shown = false;
    for (const QLabel* l : f.view->currentScrollArea()->findChildren<QLabel*>())
        shown |= l->text() == "360" && l->isVisibleTo(f.view.get());
    EXPECT_TRUE(shown);
}

TEST(BrandLink, ShowsItsAddressAndBrightensUnderThePointer)
{
    QWidget host;
    host.setPalette(settings_style::palette(false));
    BrandLink link(BrandMark::linkedIn, QUrl("https://www.linkedin.com/in/example"), 30, &host);
    host.resize(30, 30);
    host.show();
    EXPECT_EQ(link.toolTip(), "LinkedIn: https://www.linkedin.com/in/example");
    EXPECT_EQ(link.accessibleName(), "LinkedIn");
    EXPECT_EQ(title(BrandMark::github), "GitHub");

    const auto draw = [&] {
        QImage image(link.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(host.palette().color(QPalette::Window));
        link.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    };
    const QImage away = draw();
    EXPECT_GT(pixelsNear(away, settings_style::secondary(host.palette())), 50);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&link, &enter);
    EXPECT_TRUE(link.isHovering());
    const QImage over = draw();
    saveArtefact(over, "brand-link-hover");
    EXPECT_GT(pixelsNear(over, host.palette().color(QPalette::WindowText)), 50);
    EXPECT_LT(pixelsNear(over, settings_style::secondary(host.palette())) * 4,
        pixelsNear(away, settings_style::secondary(host.palette())));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&link, &leave);
    EXPECT_FALSE(link.isHovering());
}

TEST(AboutPage, AConfiguredMakerShowsTheirMonogramLinksAndAddress)
{
    const MakerInfo maker = MakerInfo::from(
        "Ada Byron", "ada@example.org", "https://github.com/example", "https://www.linkedin.com/in/example");
    for (const bool dark : { false, true }) {
        QWidget host;
        host.setPalette(settings_style::palette(dark));
        auto* layout = new QVBoxLayout(&host);
        layout->addWidget(makerBlock(maker));
        settings_style::adoptStyle(&host);
        host.resize(480, 90);
        host.show();
        QApplication::processEvents();
        QStringList texts;
        for (const QLabel* l : host.findChildren<QLabel*>())
            texts << l->text();
        EXPECT_TRUE(texts.contains("Built by"));
        EXPECT_TRUE(texts.contains("Ada Byron"));
        EXPECT_TRUE(texts.contains("ada@example.org"));
        QList<BrandMark> marks;
        for (const BrandLink* link : host.findChildren<BrandLink*>())
            marks << link->mark();
        EXPECT_EQ(marks, (QList<BrandMark> { BrandMark::github, BrandMark::linkedIn }));
        QImage image(host.size() * 2, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        host.render(&image);
        saveArtefact(image, QString("about-maker-%1").arg(dark ? "dark" : "light"));
        // The avatar's round badge in shades of the (blue) accent colour.
        int blue = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width() / 4; ++x) {
                const QColor c = image.pixelColor(x, y);
                blue += c.blue() > c.red() + 80 && c.blue() > 180;
            }
        }
        EXPECT_GT(blue, 2000);
    }
}

TEST(AboutPage, TheVersionIsInTheTertiaryColourOfEitherAppearance)
{
    SettingsFixture f;
    f.make(true);
    f.open(SettingsSection::about);
    QLabel* version = nullptr;
    for (QLabel* l : f.view->currentScrollArea()->findChildren<QLabel*>()) {
        if (l->text() == AboutTexts::version())
            version = l;
    }
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->palette().color(QPalette::WindowText), settings_style::tertiary(settings_style::palette(true)));
    f.view->setPalette(settings_style::palette(false));
    EXPECT_EQ(version->palette().color(QPalette::WindowText), settings_style::tertiary(settings_style::palette(false)));
}

TEST(AboutPage, ShowsNimbrasMarkAndChecksForUpdatesWhenAsked)
{
    SettingsFixture f;
    int checks = 0;
    SettingsView::Inputs in = f.inputs();
    in.checkForUpdates = [&checks] { ++checks; };
    f.make(false, in);
    f.open(SettingsSection::about);
    QPushButton* now = f.button("Check Now…");
    ASSERT_NE(now, nullptr);
    now->click();
    EXPECT_EQ(checks, 1);

    // The mark built into Nimbra: its orange level bar in the black notch.
    const QImage page = f.render();
    saveArtefact(page, "about-page-mark");
    EXPECT_GT(pixelsNear(page, QColor(0xfc, 0x73, 0x38)), 20);

    // Without a way to check, no button that does nothing.
    SettingsFixture plain;
    plain.open(SettingsSection::about);
    EXPECT_EQ(plain.button("Check Now…"), nullptr);
}
