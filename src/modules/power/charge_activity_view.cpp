#include "modules/power/charge_activity_view.h"

#include "core/clamped.h"
#include "core/uptime.h"
#include "ui/surface/capsule_bar.h"
#include "ui/surface/notch_theme.h"
#include "ui/surface/symbols.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QRadialGradient>
#include <cmath>

namespace nimbra {

namespace {

const Spring kLandingSpring { 0.32, 0.66 };
constexpr double kBarHeight = 3;
constexpr double kBarTopPadding = 7;

QColor green()
{
    return QColor::fromRgbF(0.3f, 0.85f, 0.39f);
}

QColor withOpacity(QColor c, double opacity)
{
    c.setAlphaF(float(clamped(c.alphaF() * opacity, 0.0, 1.0)));
    return c;
}

} // namespace

// MARK: Kind

QString ChargeActivityView::Kind::title() const
{
    switch (kind) {
    case Case::low:
        return QStringLiteral("Low Battery");
    case Case::connected:
        return QStringLiteral("Charging");
    case Case::holding:
        return QStringLiteral("On Power");
    case Case::disconnected:
        return QStringLiteral("On Battery");
    case Case::charged:
        return QStringLiteral("Charged");
    }
    return {};
}

QString ChargeActivityView::Kind::symbol() const
{
    switch (kind) {
    case Case::low:
        return QStringLiteral("exclamationmark.triangle.fill");
    case Case::connected:
        return QStringLiteral("bolt.fill");
    case Case::holding:
        return QStringLiteral("powerplug.fill");
    case Case::disconnected:
        return QStringLiteral("battery.50percent");
    case Case::charged:
        return QStringLiteral("checkmark.circle.fill");
    }
    return {};
}

QColor ChargeActivityView::Kind::tint() const
{
    switch (kind) {
    case Case::low:
        return QColor::fromRgbF(1.0f, 0.36f, 0.31f);
    case Case::disconnected:
        return QColor::fromRgbF(0.92f, 0.92f, 0.92f);
    case Case::connected:
    case Case::holding:
    case Case::charged:
        return green();
    }
    return green();
}

bool ChargeActivityView::Kind::hasGlow() const
{
    return kind == Case::connected || kind == Case::holding || kind == Case::charged;
}

// MARK: LevelBar

double LevelBar::fillWidth(double width) const
{
    return capsuleFillWidth(fraction, width, minimumFill);
}

void LevelBar::paint(QPainter& p, const QRectF& rect) const
{
    paintCapsuleBar(p, rect, QColor::fromRgbF(0.56f, 0.56f, 0.58f, 0.28f), fillWidth(rect.width()), tint, 0.7);
}

// MARK: ChargeActivityView

ChargeActivityView::ChargeActivityView(
    const Kind& kind, const PowerSnapshot& snapshot, const SurfaceMetrics& metrics, QWidget* parent)
    : QWidget(parent)
    , m_kind(kind)
    , m_snapshot(snapshot)
    , m_metrics(metrics)
    , m_landing(kLandingSpring)
{
    setAttribute(Qt::WA_TranslucentBackground);
    m_landing.onFrame = [this] { update(); };
}

void ChargeActivityView::showEvent(QShowEvent*)
{
    m_landing.begin();
}

void ChargeActivityView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paint(p, QRectF(rect()), m_kind, m_snapshot, m_metrics, notchTheme(this), m_landing.value());
}

void ChargeActivityView::paint(QPainter& p, const QRectF& rect, const Kind& kind, const PowerSnapshot& snapshot,
    const SurfaceMetrics& m, const NotchTheme& theme, double progress)
{
    const double opacity = clamped(progress, 0.0, 1.0);
    const double icon = m.size(18);
    const double gap = m.space(8);
    const QFont percentFont = systemFont(m.font(13), QFont::DemiBold);
    const QFont titleFont = systemFont(m.font(11));
    const QString percent = QString::number(snapshot.percentage) + QLatin1Char('%');
    const QString title = kind.title();
    const QFontMetricsF percentMetrics(percentFont);
    const QFontMetricsF titleMetrics(titleFont);
    const double percentWidth = percentMetrics.horizontalAdvance(percent);
    const double titleWidth = titleMetrics.horizontalAdvance(title);
    const double rowHeight = std::max({ icon, percentMetrics.height(), titleMetrics.height() });
    const double stackHeight = rowHeight + m.space(6) + kBarTopPadding + kBarHeight;

    // Spacers above and below centre the stack; the row is centred horizontally.
    const double top = rect.top() + (rect.height() - stackHeight) / 2;
    const double rowWidth = icon + gap + percentWidth + gap + titleWidth;
    double x = rect.center().x() - rowWidth / 2;
    const double midY = top + rowHeight / 2;

    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(p.opacity() * opacity);

    const QPointF iconCentre(x + icon / 2, midY);
    if (kind.hasGlow()) {
        // A soft ring that grows from half to twice its size while fading out.
        const double glowOpacity = 0.5 * (1 - progress);
        if (glowOpacity > 0.001) {
            const double radius = m.size(22) / 2 * (0.5 + 1.5 * progress);
            const double blur = m.size(7);
            QRadialGradient glow(iconCentre, radius + blur);
            const QColor g = green();
            glow.setColorAt(0, withOpacity(g, glowOpacity));
            glow.setColorAt(clamped(radius / (radius + blur), 0.0, 1.0) * 0.7, withOpacity(g, glowOpacity * 0.8));
            glow.setColorAt(1, withOpacity(g, 0));
            p.setPen(Qt::NoPen);
            p.setBrush(glow);
            p.drawEllipse(iconCentre, radius + blur, radius + blur);
        }
    }
    {
        const double scale = 0.4 + 0.6 * progress;
        p.save();
        p.translate(iconCentre);
        p.scale(scale, scale);
        symbols::draw(
            p, kind.symbol(), QRectF(-icon / 2, -icon / 2, icon, icon), m.font(12), kind.tint(), QFont::DemiBold);
        p.restore();
    }
    x += icon + gap;
    p.setFont(percentFont);
    p.setPen(theme.primaryText());
    p.drawText(QRectF(x, midY - percentMetrics.height() / 2, percentWidth + 1, percentMetrics.height()),
        Qt::AlignLeft | Qt::AlignVCenter, percent);
    x += percentWidth + gap;
    p.setFont(titleFont);
    p.setPen(theme.secondaryText(0.55));
    p.drawText(QRectF(x, midY - titleMetrics.height() / 2, titleWidth + 1, titleMetrics.height()),
        Qt::AlignLeft | Qt::AlignVCenter, title);

    const double inset = m.space(10) + m.space(22);
    const QRectF bar(rect.left() + inset, top + rowHeight + m.space(6) + kBarTopPadding,
        std::max(0.0, rect.width() - 2 * inset), kBarHeight);
    const LevelBar levelBar { clamped(snapshot.percentage / 100.0, 0.0, 1.0) * std::max(progress, 0.0), kind.tint() };
    levelBar.paint(p, bar);
    p.restore();
}

} // namespace nimbra
