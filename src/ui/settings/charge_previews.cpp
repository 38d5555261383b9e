#include "ui/settings/charge_previews.h"

#include "ui/settings/music_previews.h"
#include "ui/surface/notch_theme.h"
#include "ui/surface/symbols.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <algorithm>

namespace nimbra {

ChargePreview::ChargePreview(std::optional<int> lowLevel, QWidget* parent)
    : QWidget(parent)
    , m_lowLevel(lowLevel)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void ChargePreview::setLowLevel(std::optional<int> level)
{
    if (level == m_lowLevel)
        return;
    m_lowLevel = level;
    update();
}

QString ChargePreview::levelText() const
{
    return m_lowLevel ? QStringLiteral("%1%").arg(*m_lowLevel) : QStringLiteral("80%");
}

QString ChargePreview::captionText() const
{
    return m_lowLevel ? QStringLiteral("Low Battery") : QStringLiteral("Charging");
}

double ChargePreview::fillWidth(std::optional<int> lowLevel)
{
    if (!lowLevel)
        return 150;
    return std::max(*lowLevel * barWidth / 100, 4.0);
}

QColor ChargePreview::alertColour()
{
    return QColor::fromRgbF(1.0f, 0.36f, 0.31f);
}

void ChargePreview::paintEvent(QPaintEvent*)
{
    const NotchTheme theme = notchTheme(this);
    const QColor ink = PreviewColours::ink(theme);
    const QColor signal = m_lowLevel ? alertColour() : theme.good();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);

    const QFont levelFont = systemFont(12, QFont::DemiBold);
    const QFont captionFont = systemFont(10);
    const QFontMetricsF levelMetrics(levelFont), captionMetrics(captionFont);
    const QString level = levelText(), caption = captionText();
    const double symbolSide = symbols::side(11);
    const double rowWidth
        = symbolSide + 7 + levelMetrics.horizontalAdvance(level) + 7 + captionMetrics.horizontalAdvance(caption);
    const double rowHeight = std::max({ symbolSide, levelMetrics.height(), captionMetrics.height() });
    const double spacing = m_lowLevel ? 7 : 6;

    // The row and the bar, centred, 34 below the top.
    double x = (width() - rowWidth) / 2;
    const double top = 34;
    const double baseline = top + (rowHeight + levelMetrics.ascent() - levelMetrics.descent()) / 2;
    symbols::draw(p, m_lowLevel ? QStringLiteral("exclamationmark.triangle.fill") : QStringLiteral("bolt.fill"),
        QRectF(x, top + (rowHeight - symbolSide) / 2, symbolSide, symbolSide), 11, signal, QFont::DemiBold);
    x += symbolSide + 7;
    p.setFont(levelFont);
    p.setPen(ink);
    p.drawText(QPointF(x, baseline), level);
    x += levelMetrics.horizontalAdvance(level) + 7;
    p.setFont(captionFont);
    QColor faint = ink;
    faint.setAlphaF(theme.isDark ? 0.55f : 0.6f);
    p.setPen(faint);
    p.drawText(QPointF(x, baseline), caption);

    const QRectF track((width() - barWidth) / 2, top + rowHeight + spacing, barWidth, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(theme.isDark ? QColor::fromRgbF(1, 1, 1, 0.18f) : QColor::fromRgbF(0, 0, 0, 0.153f));
    p.drawRoundedRect(track, 1.5, 1.5);
    const QRectF fill(track.left(), track.top(), fillWidth(m_lowLevel), track.height());
    if (m_lowLevel) {
        p.setBrush(signal);
    } else {
        QLinearGradient gradient(fill.topLeft(), fill.topRight());
        QColor start = signal;
        start.setAlphaF(0.7f);
        gradient.setColorAt(0, start);
        gradient.setColorAt(1, signal);
        p.setBrush(gradient);
    }
    p.drawRoundedRect(fill, 1.5, 1.5);
}

} // namespace nimbra
