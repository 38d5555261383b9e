#include "modules/shell/settings_surface.h"

#include "ui/surface/notch_theme.h"
#include "ui/surface/symbols.h"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

namespace nimbra {

namespace {

// A large labelled button: the symbol over the title on a soft rounded well.
class SurfaceButton : public QAbstractButton {
public:
    SurfaceButton(const QString& title, const QString& symbol, const SurfaceMetrics& metrics, QWidget* parent)
        : QAbstractButton(parent)
        , m_symbol(symbol)
        , m_metrics(metrics)
    {
        setText(title);
        setAccessibleName(title);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::NoFocus);
        resize(int(metrics.size(84)), int(metrics.size(50)));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const NotchTheme theme = notchTheme(this);
        const SurfaceMetrics& m = m_metrics;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(theme.well(0.1));
        const double radius = m.size(9);
        p.drawRoundedRect(QRectF(rect()), radius, radius);

        QColor colour = theme.primaryText();
        colour.setAlphaF(colour.alphaF() * 0.9f);
        const double symbolSide = symbols::side(m.font(15));
        const FittedText title = fitText(text(), systemFont(m.font(10)), width(), 1.0);
        const double stack = symbolSide + m.space(4) + title.height();
        const double top = (height() - stack) / 2;
        symbols::draw(p, m_symbol, QRectF(0, top, width(), symbolSide), m.font(15), colour, QFont::Medium);
        drawFitted(p, title, QPointF((width() - title.width) / 2, top + symbolSide + m.space(4)), colour);
    }

private:
    QString m_symbol;
    SurfaceMetrics m_metrics;
};

} // namespace

SettingsSurface::SettingsSurface(
    const SurfaceMetrics& metrics, std::function<void()> openSettings, std::function<void()> quit, QWidget* parent)
    : QWidget(parent)
    , onOpenSettings(std::move(openSettings))
    , onQuit(std::move(quit))
    , m_metrics(metrics)
    , m_settings(new SurfaceButton(QStringLiteral("Settings"), QStringLiteral("slider.horizontal.3"), metrics, this))
    , m_quit(new SurfaceButton(QStringLiteral("Quit"), QStringLiteral("power"), metrics, this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    connect(m_settings, &QAbstractButton::clicked, this, [this] {
        if (onOpenSettings)
            onOpenSettings();
    });
    connect(m_quit, &QAbstractButton::clicked, this, [this] {
        if (onQuit)
            onQuit();
    });
}

void SettingsSurface::resizeEvent(QResizeEvent*)
{
    // The pair sits centred in what the bottom padding leaves.
    const int gap = int(m_metrics.space(9));
    const int w = m_settings->width(), h = m_settings->height();
    const double band = std::max(0.0, height() - m_metrics.space(12));
    const int left = int(std::round((width() - (2 * w + gap)) / 2.0));
    const int top = int(std::round((band - h) / 2));
    m_settings->move(left, top);
    m_quit->move(left + w + gap, top);
}

} // namespace nimbra
