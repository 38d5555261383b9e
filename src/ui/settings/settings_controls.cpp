#include "ui/settings/settings_controls.h"

#include "core/uptime.h"
#include "ui/settings/settings_style.h"
#include "ui/surface/symbols.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace nimbra {

using namespace settings_style;

namespace {

constexpr Spring kKnobSpring { 0.22, 1.0 };

void drawFocusRing(QPainter& p, const QRectF& r, double radius, const QPalette& palette)
{
    QColor ring = accent(palette);
    ring.setAlphaF(0.5f);
    p.setPen(QPen(ring, 3));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(-1.5, -1.5, 1.5, 1.5), radius + 1.5, radius + 1.5);
}

} // namespace

SwitchControl::SwitchControl(QWidget* parent)
    : QAbstractButton(parent)
    , m_knob(0)
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(sizeHint());
    m_frames.onFrame = [this] {
        if (!m_knob.isMoving(uptime()))
            m_frames.stop();
        update();
    };
}

void SwitchControl::setCheckedQuietly(bool on)
{
    const bool blocked = blockSignals(true);
    setChecked(on);
    blockSignals(blocked);
    m_knob.set(on ? 1 : 0);
    m_frames.stop();
    update();
}

void SwitchControl::checkStateSet()
{
    travel();
}

void SwitchControl::nextCheckState()
{
    QAbstractButton::nextCheckState();
    travel();
}

void SwitchControl::travel()
{
    const double target = isChecked() ? 1 : 0;
    if (m_knob.target() == target)
        return;
    // Unseen, the knob just jumps: no frames for a switch nobody looks at.
    if (!isVisible()) {
        m_knob.set(target);
        return;
    }
    m_knob.animate(target, kKnobSpring, uptime());
    m_frames.start();
    update();
}

void SwitchControl::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const double t = std::clamp(m_knob.value(uptime()), 0.0, 1.0);
    const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
    const double radius = track.height() / 2;
    const QColor window = pal.color(QPalette::Window);
    const QColor off = over(pal.color(QPalette::WindowText), isDark(pal) ? 0.22 : 0.14, window);
    QColor fill = over(accent(pal), t, off);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(track, radius, radius);

    const double inset = 2;
    const double side = track.height() - 2 * inset;
    const double x = track.left() + inset + t * (track.width() - 2 * inset - side);
    const QRectF knob(x, track.top() + inset, side, side);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawEllipse(knob.translated(0, 0.6));
    p.setBrush(isDark(pal) ? QColor(236, 236, 236) : Qt::white);
    p.drawEllipse(knob);
    if (hasFocus())
        drawFocusRing(p, track, radius, pal);
    if (!isEnabled()) {
        // Drawn faded rather than recoloured, as a disabled control is.
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        p.setPen(Qt::NoPen);
        QColor veil = window;
        veil.setAlphaF(0.5f);
        p.setBrush(veil);
        p.drawRoundedRect(QRectF(rect()), radius + 1, radius + 1);
    }
}

SegmentedControl::SegmentedControl(const QStringList& titles, QWidget* parent)
    : QWidget(parent)
    , m_titles(titles)
{
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFont(settings_style::font(TextStyle::body));
}

QSize SegmentedControl::sizeHint() const
{
    const QFontMetrics metrics(font());
    int width = 0;
    for (const QString& title : m_titles)
        width = std::max(width, metrics.horizontalAdvance(title) + 20);
    return { width * int(std::max<qsizetype>(1, m_titles.size())) + 4, 24 };
}

void SegmentedControl::setCurrentIndex(int index)
{
    if (index < 0 || index >= count() || index == m_current)
        return;
    m_current = index;
    update();
}

QRect SegmentedControl::segmentRect(int index) const
{
    if (m_titles.isEmpty())
        return {};
    const double inner = width() - 4;
    const double w = inner / double(m_titles.size());
    const int left = 2 + int(std::lround(index * w));
    const int right = 2 + int(std::lround((index + 1) * w));
    return QRect(left, 2, right - left, height() - 4);
}

void SegmentedControl::choose(int index)
{
    if (index < 0 || index >= count())
        return;
    const bool changed = index != m_current;
    m_current = index;
    update();
    if (changed)
        Q_EMIT activated(index);
}

void SegmentedControl::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const bool dark = isDark(pal);
    const QColor window = pal.color(QPalette::Window);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = 6;
    p.setPen(Qt::NoPen);
    p.setBrush(over(pal.color(QPalette::WindowText), dark ? 0.1 : 0.07, window));
    p.drawRoundedRect(frame, radius, radius);

    // Thin separators between unchosen neighbours.
    p.setBrush(over(pal.color(QPalette::WindowText), 0.16, window));
    for (int i = 1; i < count(); ++i) {
        if (i == m_current || i - 1 == m_current)
            continue;
        const QRect r = segmentRect(i);
        p.drawRect(QRectF(r.left() - 0.5, r.top() + 4, 1, r.height() - 8));
    }

    if (m_current >= 0 && m_current < count()) {
        const QRectF chosen = QRectF(segmentRect(m_current));
        p.setBrush(QColor(0, 0, 0, dark ? 70 : 28));
        p.drawRoundedRect(chosen.translated(0, 0.5), radius - 1.5, radius - 1.5);
        p.setBrush(dark ? QColor(98, 98, 102) : QColor(255, 255, 255));
        p.drawRoundedRect(chosen, radius - 1.5, radius - 1.5);
    }

    p.setFont(font());
    for (int i = 0; i < count(); ++i) {
        QColor text = pal.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText);
        p.setPen(text);
        p.drawText(segmentRect(i), Qt::AlignCenter, m_titles[i]);
    }
    if (hasFocus())
        drawFocusRing(p, frame, radius, pal);
}

void SegmentedControl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    for (int i = 0; i < count(); ++i) {
        if (segmentRect(i).adjusted(-2, -2, 2, 2).contains(event->position().toPoint())) {
            choose(i);
            return;
        }
    }
}

void SegmentedControl::keyPressEvent(QKeyEvent* event)
{
    const bool rtl = layoutDirection() == Qt::RightToLeft;
    switch (event->key()) {
    case Qt::Key_Left:
        choose(m_current + (rtl ? 1 : -1));
        return;
    case Qt::Key_Right:
        choose(m_current + (rtl ? -1 : 1));
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

SymbolView::SymbolView(const QString& symbol, double fontSize, Tint tint, QWidget* parent)
    : QWidget(parent)
    , m_symbol(symbol)
    , m_fontSize(fontSize)
    , m_tint(tint)
{
    setFixedSize(sizeHint());
}

QSize SymbolView::sizeHint() const
{
    const int side = int(std::ceil(symbols::side(m_fontSize)));
    return { side, side };
}

void SymbolView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QColor tint = m_tint == Tint::accent ? accent(pal)
        : m_tint == Tint::positive             ? positive(pal)
        : m_tint == Tint::secondary            ? secondary(pal)
                                               : tertiary(pal);
    symbols::draw(p, m_symbol, QRectF(rect()), m_fontSize, tint);
}

} // namespace nimbra
