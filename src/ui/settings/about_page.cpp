#include "ui/settings/about_page.h"

#include "core/build_info.h"
#include "core/nimbra_settings.h"
#include "ui/settings/settings_blocks.h"
#include "ui/settings/settings_style.h"
#include "ui/settings/settings_view.h"
#include "ui/surface/notch_theme.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace nimbra {

using namespace settings_style;

namespace {

// Nimbra's mark, as the windows carry it (the icon theme's, else the one built in).
class AppIcon : public QWidget {
public:
    AppIcon() { setFixedSize(72, 72); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QIcon icon = QGuiApplication::windowIcon();
        if (icon.isNull())
            icon = QIcon(QStringLiteral(":/nimbra.svg"));
        QPainter p(this);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        icon.paint(&p, rect());
    }
};

// A round badge filled with a gradient of the accent colour, with the maker's monogram.
class Avatar : public QWidget {
public:
    explicit Avatar(QString monogram)
        : m_monogram(std::move(monogram))
    {
        setFixedSize(40, 40);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QColor tint = accent(palette());
        QColor faded = tint;
        faded.setAlphaF(0.55f);
        QLinearGradient fill(0, 0, width(), height());
        fill.setColorAt(0, tint);
        fill.setColorAt(1, faded);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawEllipse(QRectF(rect()));
        p.setPen(Qt::white);
        p.setFont(systemFont(15, QFont::DemiBold));
        p.drawText(rect(), Qt::AlignCenter, m_monogram);
    }

private:
    QString m_monogram;
};

bool isProfileUrl(const QUrl& url)
{
    return url.isValid() && (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"))
        && !url.host().isEmpty();
}

bool isEmailAddress(const QString& text)
{
    const qsizetype at = text.indexOf(QLatin1Char('@'));
    return at > 0 && at == text.lastIndexOf(QLatin1Char('@')) && at < text.size() - 1
        && !text.contains(QRegularExpression(QStringLiteral("[\\s<>\"]")));
}

} // namespace

// MARK: Brand marks

QString title(BrandMark mark)
{
    switch (mark) {
    case BrandMark::github:
        return QStringLiteral("GitHub");
    case BrandMark::linkedIn:
        return QStringLiteral("LinkedIn");
    }
    return {};
}

void paintBrandMark(QPainter& painter, BrandMark mark, const QRectF& box, const QColor& colour)
{
    const double w = box.width(), x = box.left(), y = box.top();
    QPainterPath outline;
    QPainterPath cut;
    switch (mark) {
    case BrandMark::github: {
        outline.addEllipse(box);
        // A cat's head: a round face with two pointed ears, and a short neck below.
        cut.addEllipse(QRectF(x + w * 0.27, y + w * 0.3, w * 0.46, w * 0.38));
        cut.moveTo(x + w * 0.29, y + w * 0.42);
        cut.lineTo(x + w * 0.3, y + w * 0.2);
        cut.lineTo(x + w * 0.44, y + w * 0.31);
        cut.closeSubpath();
        cut.moveTo(x + w * 0.71, y + w * 0.42);
        cut.lineTo(x + w * 0.7, y + w * 0.2);
        cut.lineTo(x + w * 0.56, y + w * 0.31);
        cut.closeSubpath();
        cut.addRect(QRectF(x + w * 0.42, y + w * 0.64, w * 0.16, w * 0.36));
        break;
    }
    case BrandMark::linkedIn: {
        outline.addRoundedRect(box, w * 0.16, w * 0.16);
        // The letters "i" and "n", drawn as strokes of the same weight.
        const double stem = w * 0.14;
        cut.addRect(QRectF(x + w * 0.2, y + w * 0.4, stem, w * 0.42));
        cut.addEllipse(QPointF(x + w * 0.2 + stem / 2, y + w * 0.26), stem * 0.62, stem * 0.62);
        cut.addRect(QRectF(x + w * 0.44, y + w * 0.4, stem, w * 0.42));
        QPainterPath arch;
        arch.moveTo(x + w * 0.44, y + w * 0.56);
        arch.cubicTo(x + w * 0.44, y + w * 0.34, x + w * 0.8, y + w * 0.32, x + w * 0.8, y + w * 0.56);
        arch.lineTo(x + w * 0.8, y + w * 0.82);
        arch.lineTo(x + w * 0.8 - stem, y + w * 0.82);
        arch.lineTo(x + w * 0.8 - stem, y + w * 0.58);
        arch.cubicTo(
            x + w * 0.8 - stem, y + w * 0.46, x + w * 0.44 + stem, y + w * 0.46, x + w * 0.44 + stem, y + w * 0.58);
        arch.closeSubpath();
        cut = cut.united(arch);
        break;
    }
    }
    painter.fillPath(outline.subtracted(cut), colour);
}

// MARK: Maker

MakerInfo MakerInfo::configured()
{
    return from(QString::fromUtf8(build_info::makerName), QString::fromUtf8(build_info::makerEmail),
        QString::fromUtf8(build_info::makerGitHub), QString::fromUtf8(build_info::makerLinkedIn));
}

MakerInfo MakerInfo::from(const QString& name, const QString& email, const QString& github, const QString& linkedIn)
{
    MakerInfo maker;
    maker.name = name.trimmed();
    if (isEmailAddress(email.trimmed()))
        maker.email = email.trimmed();
    for (const auto& [mark, text] :
        { std::pair { BrandMark::github, github }, std::pair { BrandMark::linkedIn, linkedIn } }) {
        const QUrl url(text.trimmed(), QUrl::StrictMode);
        if (isProfileUrl(url))
            maker.links.emplace_back(mark, url);
    }
    return maker;
}

QString MakerInfo::monogram() const
{
    QString letters;
    for (const QString& word : name.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        letters += word.front().toUpper();
        if (letters.size() == 2)
            break;
    }
    return letters;
}

std::optional<QUrl> MakerInfo::mailto() const
{
    if (email.isEmpty())
        return std::nullopt;
    const QUrl url(QStringLiteral("mailto:") + email);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

QWidget* makerBlock(const MakerInfo& maker)
{
    auto* block = new QWidget;
    auto* column = new QVBoxLayout(block);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addWidget(label(QStringLiteral("Built by"), TextStyle::callout, Tone::primary, QFont::Medium));

    auto* line = new QHBoxLayout;
    line->setSpacing(12);
    if (!maker.name.isEmpty())
        line->addWidget(new Avatar(maker.monogram()));
    auto* texts = new QVBoxLayout;
    texts->setSpacing(1);
    auto* nameLine = new QHBoxLayout;
    nameLine->setSpacing(8);
    if (!maker.name.isEmpty())
        nameLine->addWidget(label(maker.name, TextStyle::body, Tone::primary, QFont::Medium));
    for (const auto& [mark, url] : maker.links) {
        auto* link = new BrandLink(mark, url, 15);
        QObject::connect(link, &QAbstractButton::clicked, link, [url] { QDesktopServices::openUrl(url); });
        nameLine->addWidget(link);
    }
    nameLine->addStretch(1);
    texts->addLayout(nameLine);
    if (!maker.email.isEmpty())
        texts->addWidget(label(maker.email, TextStyle::callout, Tone::secondary));
    line->addLayout(texts, 1);
    if (const std::optional<QUrl> mail = maker.mailto()) {
        QPushButton* email = smallButton(QStringLiteral("Email"));
        QObject::connect(email, &QPushButton::clicked, email, [url = *mail] { QDesktopServices::openUrl(url); });
        line->addWidget(email, 0, Qt::AlignVCenter);
    }
    column->addLayout(line);
    return block;
}

// MARK: Brand link

BrandLink::BrandLink(BrandMark mark, QUrl url, int size, QWidget* parent)
    : QAbstractButton(parent)
    , m_mark(mark)
    , m_url(std::move(url))
    , m_size(size)
{
    setFixedSize(size, size);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
    setAccessibleName(title(mark));
    setToolTip(title(mark) + QStringLiteral(": ") + m_url.toString());
}

void BrandLink::enterEvent(QEnterEvent* event)
{
    QAbstractButton::enterEvent(event);
    m_hovering = true;
    update();
}

void BrandLink::leaveEvent(QEvent* event)
{
    QAbstractButton::leaveEvent(event);
    m_hovering = false;
    update();
}

void BrandLink::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink = m_hovering || hasFocus() ? palette().color(QPalette::WindowText) : secondary(palette());
    paintBrandMark(p, m_mark, QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), ink);
}

// MARK: Page

QString AboutTexts::version()
{
    return QStringLiteral("Version ") + QString::fromUtf8(build_info::version);
}

QString AboutTexts::displays(const QString& summary)
{
    return summary.isEmpty() ? QStringLiteral("None detected") : summary;
}

QString AboutTexts::keyTakeover(bool available, const KeyboardStatus& keys)
{
    if (!available)
        return QStringLiteral("Not available");
    if (!keys.mediaKeysHeldElsewhere.isEmpty())
        return KeyboardStatus::spoken(keys.mediaKeysHeldElsewhere) + QStringLiteral(" held by another program");
    return keys.mediaKeysTaken ? QStringLiteral("Media keys taken") : QStringLiteral("Available");
}

void aboutPage(SettingsView& view, QVBoxLayout& column)
{
    NimbraSettings& settings = view.settings();

    auto* header = new QHBoxLayout;
    header->setSpacing(16);
    header->addWidget(new AppIcon);
    auto* names = new QVBoxLayout;
    names->setSpacing(3);
    names->addStretch(1);
    names->addWidget(label(QStringLiteral("Nimbra"), TextStyle::title2, Tone::primary, QFont::DemiBold));
    names->addWidget(label(
        QStringLiteral("A quiet status layer for the top edge of your screen."), TextStyle::callout, Tone::secondary));
    names->addWidget(new SignalLabel(AboutTexts::version(), TextStyle::caption, &tertiary));
    names->addStretch(1);
    header->addLayout(names, 1);
    column.addLayout(header);
    column.addWidget(divider());

    // A build without an update feed shows the switch off and held there, and says why; the
    // stored choice is left as it is.
    const QString unavailable = view.updatesUnavailable();
    QWidget* automatic = view.switchRow(QStringLiteral("Check for updates automatically"),
        QStringLiteral("Looks for a newer version each time Nimbra starts and tells you if there is one. It never "
                       "installs anything on its own."),
        unavailable.isEmpty()
            ? view.bind<bool>(&NimbraSettings::checksForUpdates, &NimbraSettings::setChecksForUpdates)
            : Binding<bool> { [] { return false; }, [](const bool&) {} });
    if (auto* toggle = automatic->findChild<QAbstractButton*>(); toggle && !unavailable.isEmpty()) {
        toggle->setEnabled(false);
        toggle->setToolTip(unavailable);
    }
    column.addWidget(automatic);
    if (const std::function<void()>& check = view.checkForUpdates()) {
        // A check right now, which answers whatever it finds.
        auto* line = new QHBoxLayout;
        if (!unavailable.isEmpty())
            line->addWidget(label(unavailable, TextStyle::callout, Tone::secondary));
        line->addStretch(1);
        QPushButton* now = smallButton(QStringLiteral("Check Now…"));
        QObject::connect(now, &QPushButton::clicked, now, [check] { check(); });
        now->setEnabled(unavailable.isEmpty());
        now->setToolTip(unavailable);
        line->addWidget(now);
        column.addLayout(line);
    }

    // Without a configured maker the block is left out whole: no empty name, no dead link.
    if (const MakerInfo maker = MakerInfo::configured(); !maker.isEmpty()) {
        column.addWidget(divider());
        column.addWidget(makerBlock(maker));
    }
    column.addWidget(divider());

    auto* diagnosis = new QGridLayout;
    diagnosis->setHorizontalSpacing(14);
    diagnosis->setVerticalSpacing(8);
    diagnosis->setColumnStretch(1, 1);
    const auto addLine = [diagnosis](const QString& name, QLabel* value) {
        const int row = diagnosis->rowCount();
        diagnosis->addWidget(label(name, TextStyle::callout, Tone::secondary), row, 0);
        value->setAccessibleName(name);
        diagnosis->addWidget(value, row, 1);
    };
    addLine(QStringLiteral("Display"), label(AboutTexts::displays(view.displaySummary()), TextStyle::callout));
    auto* keys = new SignalLabel({}, TextStyle::callout, &secondary);
    const auto followKeys = [keys, &view] {
        const bool available = view.accessibilityGranted();
        const bool heldElsewhere = !view.keyboardStatus().mediaKeysHeldElsewhere.isEmpty();
        keys->setText(AboutTexts::keyTakeover(available, view.keyboardStatus()));
        keys->setColour(!available ? &secondary : heldElsewhere ? &orange : &green);
    };
    followKeys();
    QObject::connect(&view, &SettingsView::accessibilityGrantedChanged, keys, followKeys);
    QObject::connect(&view, &SettingsView::keyboardStatusChanged, keys, followKeys);
    addLine(QStringLiteral("Key takeover"), keys);
    addLine(QStringLiteral("Signature"), label(AboutTexts::signature(), TextStyle::callout));
    column.addLayout(diagnosis);
    column.addWidget(divider());

    auto* actions = new QHBoxLayout;
    QPushButton* reset = smallButton(QStringLiteral("Reset All Settings"));
    QObject::connect(reset, &QPushButton::clicked, reset, [&settings, &view] {
        settings.resetToDefaults();
        // The notch page's sliders follow the default layout.
        view.setDraft(settings.layout());
    });
    QPushButton* quit = smallButton(QStringLiteral("Quit Nimbra"));
    QObject::connect(quit, &QPushButton::clicked, quit, [] { QCoreApplication::quit(); });
    actions->addWidget(reset);
    actions->addStretch(1);
    actions->addWidget(quit);
    column.addLayout(actions);
}

} // namespace nimbra
