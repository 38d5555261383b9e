#include "ui/settings/notch_previews.h"

#include "core/uptime.h"
#include "ui/settings/music_previews.h"
#include "ui/settings/preview_paint.h"
#include "ui/surface/notch_shape.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QTimeZone>

namespace nimbra {

using preview_paint::good;
using preview_paint::grey;

namespace {

constexpr Spring kThemeSpring { 0.3, 0.9 };
constexpr QSizeF kNotchFrame { 300, 92 };

} // namespace

// Lies over the preview and its content while the theme changes, showing the picture in the
// old theme as it fades away.
class NotchPreview::FadeOverlay : public QWidget {
public:
    explicit FadeOverlay(NotchPreview* preview)
        : QWidget(preview)
        , m_preview(preview)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_TranslucentBackground);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setOpacity(std::clamp(1 - m_preview->m_fade.value(uptime()), 0.0, 1.0));
        p.drawPixmap(0, 0, m_preview->m_before);
    }

private:
    NotchPreview* m_preview;
};

NotchPreview::NotchPreview(const NotchTheme& theme, const LayoutMetrics& layout, QWidget* content, QWidget* parent)
    : QWidget(parent)
    , m_theme(theme)
    , m_layout(layout)
    , m_content(content)
    , m_fade(1)
{
    setFixedHeight(112);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setNotchTheme(this, theme);
    if (m_content) {
        m_content->setParent(this);
        m_content->setAttribute(Qt::WA_TranslucentBackground);
    }
    m_frames.onFrame = [this] {
        if (!m_fade.isMoving(uptime())) {
            m_frames.stop();
            m_before = QPixmap();
            m_overlay->hide();
            return;
        }
        m_overlay->update();
    };
    placeContent();
}

QRectF NotchPreview::notchFrame() const
{
    return QRectF((width() - kNotchFrame.width()) / 2, 0, kNotchFrame.width(), kNotchFrame.height());
}

QRectF NotchPreview::contentFrame() const
{
    const QRectF frame = notchFrame();
    const double w = std::max(0.0, kNotchFrame.width() - 1.2 * m_layout.expandedTopRadius);
    return QRectF(frame.center().x() - w / 2, frame.top(), w, frame.height());
}

void NotchPreview::placeContent()
{
    if (m_content)
        m_content->setGeometry(contentFrame().toAlignedRect());
}

void NotchPreview::resizeEvent(QResizeEvent*)
{
    placeContent();
    if (m_overlay)
        m_overlay->setGeometry(rect());
}

void NotchPreview::setNotchLayout(const LayoutMetrics& layout)
{
    if (layout == m_layout)
        return;
    m_layout = layout;
    placeContent();
    update();
}

void NotchPreview::setTheme(const NotchTheme& theme)
{
    if (theme == m_theme)
        return;
    // The picture in the old theme fades out over the new one, when anyone can see it.
    if (isVisible() && theme.isDark != m_theme.isDark) {
        m_before = grab();
        m_fade.set(0);
        m_fade.animate(1, kThemeSpring, uptime());
        if (!m_overlay)
            m_overlay = new FadeOverlay(this);
        m_overlay->setGeometry(rect());
        m_overlay->raise();
        m_overlay->show();
        m_frames.start();
    }
    m_theme = theme;
    setNotchTheme(this, theme);
    if (m_content)
        m_content->update();
    update();
}

void NotchPreview::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    preview_paint::backdrop(
        p, QRectF(rect()), 9, { QColor::fromRgbF(0.36f, 0.47f, 0.58f), QColor::fromRgbF(0.58f, 0.50f, 0.42f) });
    const NotchShape shape { 0.6 * m_layout.expandedTopRadius, 0.6 * m_layout.expandedBottomRadius };
    p.setPen(Qt::NoPen);
    p.setBrush(PreviewColours::notchFill(m_theme));
    p.drawPath(shape.path(notchFrame()));
}

// MARK: Clock preview

ClockPreview::ClockPreview(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

QDateTime ClockPreview::sampleMoment()
{
    const QDateTime moment(QDate(2026, 9, 17), QTime(9, 41), QTimeZone::systemTimeZone());
    return moment.isValid() ? moment : QDateTime::currentDateTime();
}

QString ClockPreview::timeText(const QDateTime& moment)
{
    const QLocale locale;
    // The locale's short time form already reads as hours and minutes (with its AM/PM marker).
    QString format = locale.timeFormat(QLocale::ShortFormat);
    format.remove(QRegularExpression(QStringLiteral("[:.]?s+")));
    return locale.toString(moment.time(), format);
}

QString ClockPreview::dateText(const QDateTime& moment)
{
    const QLocale locale;
    // The long date form without its year: weekday, day and month in the locale's order.
    QString format = locale.dateFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("[,./\\s]*y+[.]?|y+[,./\\s]*")));
    format = format.trimmed();
    while (format.endsWith(QLatin1Char(',')))
        format.chop(1);
    return locale.toString(moment.date(), format);
}

void ClockPreview::paintEvent(QPaintEvent*)
{
    const NotchTheme theme = notchTheme(this);
    const bool dark = theme.isDark;
    const QDateTime moment = sampleMoment();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);

    QFont timeFont = theme.clock(26);
    timeFont.setLetterSpacing(QFont::AbsoluteSpacing, theme.clockTracking());
    const QFont dateFont = systemFont(9);
    const QFont percentFont = systemFont(12, QFont::DemiBold);
    const QFont sourceFont = systemFont(8);
    const QFontMetricsF timeMetrics(timeFont), dateMetrics(dateFont), percentMetrics(percentFont),
        sourceMetrics(sourceFont);

    const double clockHeight = timeMetrics.height() + 1 + dateMetrics.height();
    const double batteryHeight = percentMetrics.height() + sourceMetrics.height();
    const double rowHeight = std::max(clockHeight, batteryHeight);
    // The whole sample (26 above its row) sits centred in the frame it is given.
    const double top = (height() - (26 + rowHeight)) / 2 + 26;
    const double left = 22;
    const double right = width() - 22;

    double y = top + (rowHeight - clockHeight) / 2;
    p.setFont(timeFont);
    p.setPen(dark ? grey(1) : grey(0.09));
    p.drawText(QPointF(left, y + timeMetrics.ascent()), timeText(moment));
    y += timeMetrics.height() + 1;
    p.setFont(dateFont);
    p.setPen(dark ? grey(1, 0.45) : grey(0.09, 0.5));
    p.drawText(QPointF(left, y + dateMetrics.ascent()), dateText(moment));

    y = top + (rowHeight - batteryHeight) / 2;
    p.setFont(percentFont);
    p.setPen(good(dark));
    const QString percent = QStringLiteral("80%");
    p.drawText(QPointF(right - percentMetrics.horizontalAdvance(percent), y + percentMetrics.ascent()), percent);
    y += percentMetrics.height();
    p.setFont(sourceFont);
    p.setPen(dark ? grey(1, 0.4) : grey(0.09, 0.45));
    const QString source = QStringLiteral("On Power");
    p.drawText(QPointF(right - sourceMetrics.horizontalAdvance(source), y + sourceMetrics.ascent()), source);
}

} // namespace nimbra
