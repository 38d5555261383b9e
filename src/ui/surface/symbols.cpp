#include "ui/surface/symbols.h"

#include "platform/icon_theme.h"
#include "ui/surface/notch_theme.h"

#include <QHash>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPixmapCache>
#include <cmath>
#include <vector>

namespace nimbra::symbols {

namespace {

// Variants of one drawing (speaker waves, battery levels, ...) are instances of a template
// over its parameters, each a plain Glyph.
using Glyph = void (*)(QPainter&, const QRectF&, double stroke);

struct Entry {
    std::vector<const char*> icons; // tried in order
    Glyph glyph = nullptr; // painted when no icon is installed
};

void ellipsisGlyph(QPainter& p, const QRectF& r, double)
{
    const double d = r.width() * 0.2;
    for (int i = -1; i <= 1; ++i)
        p.drawEllipse(QPointF(r.center().x() + i * r.width() * 0.32, r.center().y()), d / 2, d / 2);
}

void dotGlyph(QPainter& p, const QRectF& r, double)
{
    p.drawEllipse(r.center(), r.width() * 0.22, r.width() * 0.22);
}

void noteGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const double w = r.width();
    const QPointF head(r.left() + w * 0.36, r.bottom() - w * 0.22);
    p.save();
    p.translate(head);
    p.rotate(-20);
    p.drawEllipse(QPointF(0, 0), w * 0.2, w * 0.14);
    p.restore();
    QPainterPath flag;
    const double stemX = head.x() + w * 0.17;
    flag.addRect(QRectF(stemX - stroke / 2, r.top() + w * 0.1, stroke, head.y() - r.top() - w * 0.1));
    flag.moveTo(stemX, r.top() + w * 0.1);
    flag.cubicTo(
        stemX + w * 0.1, r.top() + w * 0.3, stemX + w * 0.35, r.top() + w * 0.25, stemX + w * 0.3, r.top() + w * 0.5);
    flag.cubicTo(stemX + w * 0.28, r.top() + w * 0.35, stemX + w * 0.1, r.top() + w * 0.32, stemX, r.top() + w * 0.3);
    flag.closeSubpath();
    p.drawPath(flag);
}

void boltGlyph(QPainter& p, const QRectF& r, double)
{
    const double w = r.width(), x = r.left(), y = r.top();
    const QPointF pts[]
        = { { x + w * 0.58, y + w * 0.04 }, { x + w * 0.2, y + w * 0.56 }, { x + w * 0.47, y + w * 0.56 },
              { x + w * 0.4, y + w * 0.96 }, { x + w * 0.8, y + w * 0.42 }, { x + w * 0.53, y + w * 0.42 } };
    p.drawPolygon(pts, 6);
}

void plugGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const double w = r.width(), x = r.left(), y = r.top();
    // Two prongs, the plug's body, and the cord leaving downwards.
    p.drawRoundedRect(QRectF(x + w * 0.3, y + w * 0.02, w * 0.1, w * 0.26), w * 0.04, w * 0.04);
    p.drawRoundedRect(QRectF(x + w * 0.6, y + w * 0.02, w * 0.1, w * 0.26), w * 0.04, w * 0.04);
    QPainterPath body;
    body.moveTo(x + w * 0.16, y + w * 0.26);
    body.lineTo(x + w * 0.84, y + w * 0.26);
    body.lineTo(x + w * 0.84, y + w * 0.46);
    body.cubicTo(x + w * 0.84, y + w * 0.62, x + w * 0.7, y + w * 0.72, x + w * 0.5, y + w * 0.72);
    body.cubicTo(x + w * 0.3, y + w * 0.72, x + w * 0.16, y + w * 0.62, x + w * 0.16, y + w * 0.46);
    body.closeSubpath();
    p.drawPath(body);
    p.drawRect(QRectF(x + w * 0.5 - stroke * 0.7, y + w * 0.7, stroke * 1.4, w * 0.28));
}

void strokeStyle(QPainter& p, double stroke)
{
    QPen pen(p.brush().color(), stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
}

// An open tray: its rim, with the dip of its front edge.
QPainterPath trayOutline(const QRectF& r)
{
    const double w = r.width(), x = r.left(), y = r.top();
    QPainterPath tray;
    tray.moveTo(x + w * 0.08, y + w * 0.55);
    tray.lineTo(x + w * 0.08, y + w * 0.85);
    tray.lineTo(x + w * 0.92, y + w * 0.85);
    tray.lineTo(x + w * 0.92, y + w * 0.55);
    tray.lineTo(x + w * 0.66, y + w * 0.55);
    tray.lineTo(x + w * 0.6, y + w * 0.66);
    tray.lineTo(x + w * 0.4, y + w * 0.66);
    tray.lineTo(x + w * 0.34, y + w * 0.55);
    tray.closeSubpath();
    return tray;
}

void trayGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const QColor c = p.brush().color();
    strokeStyle(p, stroke);
    const double w = r.width(), x = r.left(), y = r.top();
    p.setBrush(c);
    p.drawPath(trayOutline(r));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(x + w * 0.24, y + w * 0.38), QPointF(x + w * 0.76, y + w * 0.38));
    p.drawLine(QPointF(x + w * 0.3, y + w * 0.2), QPointF(x + w * 0.7, y + w * 0.2));
}

// The tray drawn as an outline; the filled one carries an arrow dropping into it.
template <bool Filled> void trayDropGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const QColor c = p.brush().color();
    const double w = r.width(), x = r.left(), y = r.top();
    if (!Filled) {
        strokeStyle(p, stroke);
        p.drawPath(trayOutline(r));
        // The tray's back edge.
        p.drawLine(QPointF(x + w * 0.08, y + w * 0.55), QPointF(x + w * 0.2, y + w * 0.22));
        p.drawLine(QPointF(x + w * 0.92, y + w * 0.55), QPointF(x + w * 0.8, y + w * 0.22));
        p.drawLine(QPointF(x + w * 0.2, y + w * 0.22), QPointF(x + w * 0.8, y + w * 0.22));
        return;
    }
    p.setBrush(c);
    p.drawPath(trayOutline(r));
    strokeStyle(p, stroke * 1.2);
    p.drawLine(QPointF(x + w * 0.5, y + w * 0.06), QPointF(x + w * 0.5, y + w * 0.46));
    const QPointF head[]
        = { { x + w * 0.34, y + w * 0.32 }, { x + w * 0.5, y + w * 0.48 }, { x + w * 0.66, y + w * 0.32 } };
    p.drawPolyline(head, 3);
}

void checkCircleOutlineGlyph(QPainter& p, const QRectF& r, double stroke)
{
    strokeStyle(p, stroke);
    const double w = r.width(), x = r.left(), y = r.top();
    p.drawEllipse(r.adjusted(stroke / 2, stroke / 2, -stroke / 2, -stroke / 2));
    const QPointF pts[]
        = { { x + w * 0.3, y + w * 0.52 }, { x + w * 0.45, y + w * 0.66 }, { x + w * 0.7, y + w * 0.38 } };
    p.drawPolyline(pts, 3);
}

void stopwatchGlyph(QPainter& p, const QRectF& r, double stroke)
{
    strokeStyle(p, stroke);
    const double w = r.width();
    const QPointF c(r.center().x(), r.top() + w * 0.57);
    const double radius = w * 0.36;
    p.drawEllipse(c, radius, radius);
    p.drawLine(QPointF(c.x(), c.y() - radius), QPointF(c.x(), r.top() + w * 0.08));
    p.drawLine(QPointF(c.x() - w * 0.12, r.top() + w * 0.06), QPointF(c.x() + w * 0.12, r.top() + w * 0.06));
    p.drawLine(c, QPointF(c.x() + radius * 0.45, c.y() - radius * 0.55));
}

void slidersGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const QColor c = p.brush().color();
    strokeStyle(p, stroke);
    const double w = r.width(), x = r.left(), y = r.top();
    const double knobs[] = { 0.66, 0.3, 0.55 };
    for (int i = 0; i < 3; ++i) {
        const double ly = y + w * (0.2 + 0.3 * i);
        p.drawLine(QPointF(x + w * 0.08, ly), QPointF(x + w * 0.92, ly));
        p.save();
        p.setBrush(c);
        p.drawEllipse(QPointF(x + w * knobs[i], ly), w * 0.1, w * 0.1);
        p.restore();
    }
}

void gaugeGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const QColor c = p.brush().color();
    strokeStyle(p, stroke);
    const double w = r.width();
    const QPointF centre(r.center().x(), r.top() + w * 0.66);
    const double radius = w * 0.44;
    p.drawArc(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), 0, 180 * 16);
    p.drawLine(QPointF(centre.x() - radius, centre.y()), QPointF(centre.x() - radius, centre.y() + w * 0.12));
    p.drawLine(QPointF(centre.x() + radius, centre.y()), QPointF(centre.x() + radius, centre.y() + w * 0.12));
    // Dots along the dial, needle at a third of the way.
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    for (double a : { 150.0, 110.0, 70.0, 30.0 }) {
        const double rad = a * M_PI / 180;
        p.drawEllipse(QPointF(centre.x() + std::cos(rad) * radius * 0.68, centre.y() - std::sin(rad) * radius * 0.68),
            stroke * 0.55, stroke * 0.55);
    }
    p.drawEllipse(centre, stroke * 1.1, stroke * 1.1);
    p.restore();
    const double needle = 120 * M_PI / 180;
    p.drawLine(
        centre, QPointF(centre.x() + std::cos(needle) * radius * 0.8, centre.y() - std::sin(needle) * radius * 0.8));
}

// Speaker body with `waves` arcs (or a cross when muted).
void speaker(QPainter& p, const QRectF& r, double stroke, int waves, bool slash)
{
    const QColor c = p.brush().color();
    const double w = r.width(), x = r.left(), y = r.top();
    const QPointF body[]
        = { { x + w * 0.04, y + w * 0.36 }, { x + w * 0.22, y + w * 0.36 }, { x + w * 0.46, y + w * 0.14 },
              { x + w * 0.46, y + w * 0.86 }, { x + w * 0.22, y + w * 0.64 }, { x + w * 0.04, y + w * 0.64 } };
    p.drawPolygon(body, 6);
    strokeStyle(p, stroke);
    p.setPen(QPen(c, stroke, Qt::SolidLine, Qt::RoundCap));
    if (slash) {
        p.drawLine(QPointF(x + w * 0.62, y + w * 0.36), QPointF(x + w * 0.9, y + w * 0.64));
        p.drawLine(QPointF(x + w * 0.9, y + w * 0.36), QPointF(x + w * 0.62, y + w * 0.64));
        return;
    }
    for (int i = 0; i < waves; ++i) {
        const double rad = w * (0.16 + 0.15 * i);
        p.drawArc(QRectF(x + w * 0.46 - rad, y + w * 0.5 - rad, 2 * rad, 2 * rad), -45 * 16, 90 * 16);
    }
}
template <int Waves, bool Slash> void speakerGlyph(QPainter& p, const QRectF& r, double s)
{
    speaker(p, r, s, Waves, Slash);
}

// A horizontal battery filled to `level` (0...1), with a bolt when charging.
void battery(QPainter& p, const QRectF& r, double stroke, double level, bool bolt)
{
    const QColor c = p.brush().color();
    const double w = r.width(), x = r.left(), y = r.top();
    const QRectF shell(x + w * 0.02, y + w * 0.28, w * 0.84, w * 0.44);
    p.save();
    p.setPen(QPen(c, stroke));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(shell, w * 0.1, w * 0.1);
    p.restore();
    p.drawRoundedRect(QRectF(x + w * 0.89, y + w * 0.42, w * 0.08, w * 0.16), w * 0.03, w * 0.03);
    const QRectF inside = shell.adjusted(stroke * 1.5, stroke * 1.5, -stroke * 1.5, -stroke * 1.5);
    if (level > 0)
        p.drawRoundedRect(
            QRectF(inside.left(), inside.top(), inside.width() * level, inside.height()), w * 0.04, w * 0.04);
    if (bolt) {
        p.save();
        p.setCompositionMode(QPainter::CompositionMode_Clear);
        const QPointF pts[]
            = { { x + w * 0.5, y + w * 0.3 }, { x + w * 0.32, y + w * 0.53 }, { x + w * 0.45, y + w * 0.53 },
                  { x + w * 0.4, y + w * 0.7 }, { x + w * 0.58, y + w * 0.47 }, { x + w * 0.45, y + w * 0.47 } };
        p.drawPolygon(pts, 6);
        p.restore();
    }
}
template <int Percent, bool Bolt> void batteryGlyph(QPainter& p, const QRectF& r, double s)
{
    battery(p, r, s, Percent / 100.0, Bolt);
}

void sun(QPainter& p, const QRectF& r, double stroke, double rays)
{
    const QColor c = p.brush().color();
    p.drawEllipse(r.center(), r.width() * 0.2, r.width() * 0.2);
    p.setPen(QPen(c, stroke, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 8; ++i) {
        const double a = i * M_PI / 4;
        const QPointF d(std::cos(a), std::sin(a));
        p.drawLine(r.center() + d * r.width() * 0.32, r.center() + d * r.width() * (0.32 + rays));
    }
}
template <int RaysPercent> void sunGlyph(QPainter& p, const QRectF& r, double s)
{
    sun(p, r, s, RaysPercent / 100.0);
}

void triangleGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const double w = r.width(), x = r.left(), y = r.top();
    const QPointF pts[]
        = { { x + w * 0.5, y + w * 0.06 }, { x + w * 0.98, y + w * 0.9 }, { x + w * 0.02, y + w * 0.9 } };
    p.drawPolygon(pts, 3);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.drawRoundedRect(QRectF(x + w * 0.45, y + w * 0.34, w * 0.1, w * 0.3), w * 0.04, w * 0.04);
    p.drawEllipse(QPointF(x + w * 0.5, y + w * 0.76), w * 0.06, w * 0.06);
}

void checkCircleGlyph(QPainter& p, const QRectF& r, double stroke)
{
    p.drawEllipse(r);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(QPen(Qt::black, stroke * 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const double w = r.width(), x = r.left(), y = r.top();
    const QPointF pts[]
        = { { x + w * 0.28, y + w * 0.52 }, { x + w * 0.44, y + w * 0.68 }, { x + w * 0.72, y + w * 0.36 } };
    p.drawPolyline(pts, 3);
}

void minusCircleGlyph(QPainter& p, const QRectF& r, double stroke)
{
    p.drawEllipse(r);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    const double w = r.width();
    p.drawRoundedRect(
        QRectF(r.left() + w * 0.26, r.center().y() - stroke * 0.7, w * 0.48, stroke * 1.4), stroke * 0.5, stroke * 0.5);
}

// A shield with a padlock cut out of it.
void lockShieldGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const double w = r.width(), x = r.left(), y = r.top();
    QPainterPath shield;
    shield.moveTo(x + w * 0.5, y + w * 0.02);
    shield.cubicTo(x + w * 0.64, y + w * 0.12, x + w * 0.8, y + w * 0.16, x + w * 0.92, y + w * 0.16);
    shield.cubicTo(x + w * 0.92, y + w * 0.6, x + w * 0.78, y + w * 0.84, x + w * 0.5, y + w * 0.98);
    shield.cubicTo(x + w * 0.22, y + w * 0.84, x + w * 0.08, y + w * 0.6, x + w * 0.08, y + w * 0.16);
    shield.cubicTo(x + w * 0.2, y + w * 0.16, x + w * 0.36, y + w * 0.12, x + w * 0.5, y + w * 0.02);
    p.drawPath(shield);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.drawRoundedRect(QRectF(x + w * 0.33, y + w * 0.44, w * 0.34, w * 0.26), w * 0.04, w * 0.04);
    p.setPen(QPen(Qt::black, stroke, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(x + w * 0.38, y + w * 0.27, w * 0.24, w * 0.3), 0, 180 * 16);
    p.drawLine(QPointF(x + w * 0.38, y + w * 0.42), QPointF(x + w * 0.38, y + w * 0.46));
    p.drawLine(QPointF(x + w * 0.62, y + w * 0.42), QPointF(x + w * 0.62, y + w * 0.46));
}

// A page with a folded corner and an arrow rising out of it.
void arrowUpDocGlyph(QPainter& p, const QRectF& r, double stroke)
{
    strokeStyle(p, stroke);
    const double w = r.width(), x = r.left(), y = r.top();
    QPainterPath page;
    page.moveTo(x + w * 0.6, y + w * 0.04);
    page.lineTo(x + w * 0.2, y + w * 0.04);
    page.lineTo(x + w * 0.2, y + w * 0.96);
    page.lineTo(x + w * 0.8, y + w * 0.96);
    page.lineTo(x + w * 0.8, y + w * 0.24);
    page.closeSubpath();
    p.drawPath(page);
    p.drawLine(QPointF(x + w * 0.5, y + w * 0.8), QPointF(x + w * 0.5, y + w * 0.38));
    p.drawPolyline(QPolygonF({ QPointF(x + w * 0.35, y + w * 0.52), QPointF(x + w * 0.5, y + w * 0.37),
        QPointF(x + w * 0.65, y + w * 0.52) }));
}

void playGlyph(QPainter& p, const QRectF& r, double)
{
    const double w = r.width(), x = r.left(), y = r.top();
    const QPointF pts[]
        = { { x + w * 0.2, y + w * 0.08 }, { x + w * 0.9, y + w * 0.5 }, { x + w * 0.2, y + w * 0.92 } };
    p.drawPolygon(pts, 3);
}

void pauseGlyph(QPainter& p, const QRectF& r, double)
{
    const double w = r.width(), x = r.left(), y = r.top();
    p.drawRoundedRect(QRectF(x + w * 0.18, y + w * 0.1, w * 0.22, w * 0.8), w * 0.05, w * 0.05);
    p.drawRoundedRect(QRectF(x + w * 0.6, y + w * 0.1, w * 0.22, w * 0.8), w * 0.05, w * 0.05);
}

void skip(QPainter& p, const QRectF& r, bool forward)
{
    const double w = r.width(), x = r.left(), y = r.top();
    for (double offset : { 0.0, 0.42 }) {
        const double left = x + w * (0.06 + offset);
        const QPointF fwd[] = { { left, y + w * 0.2 }, { left + w * 0.44, y + w * 0.5 }, { left, y + w * 0.8 } };
        const QPointF back[]
            = { { left + w * 0.44, y + w * 0.2 }, { left, y + w * 0.5 }, { left + w * 0.44, y + w * 0.8 } };
        p.drawPolygon(forward ? fwd : back, 3);
    }
}
template <bool Forward> void skipGlyph(QPainter& p, const QRectF& r, double)
{
    skip(p, r, Forward);
}

void gearGlyph(QPainter& p, const QRectF& r, double)
{
    const QPointF c = r.center();
    const double w = r.width();
    for (int i = 0; i < 8; ++i) {
        p.save();
        p.translate(c);
        p.rotate(i * 45);
        p.drawRoundedRect(QRectF(-w * 0.09, -w * 0.5, w * 0.18, w * 0.3), w * 0.04, w * 0.04);
        p.restore();
    }
    p.drawEllipse(c, w * 0.36, w * 0.36);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.drawEllipse(c, w * 0.14, w * 0.14);
}

void powerGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const QColor c = p.brush().color();
    p.setPen(QPen(c, stroke * 1.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const double w = r.width();
    p.drawArc(r.adjusted(w * 0.1, w * 0.12, -w * 0.1, -w * 0.08), 120 * 16, 300 * 16);
    p.drawLine(QPointF(r.center().x(), r.top() + w * 0.04), QPointF(r.center().x(), r.center().y()));
}

void clipboardGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const QColor c = p.brush().color();
    const double w = r.width(), x = r.left(), y = r.top();
    p.save();
    p.setPen(QPen(c, stroke));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(x + w * 0.16, y + w * 0.12, w * 0.68, w * 0.84), w * 0.08, w * 0.08);
    p.restore();
    p.drawRoundedRect(QRectF(x + w * 0.34, y + w * 0.04, w * 0.32, w * 0.16), w * 0.05, w * 0.05);
}

void headphonesGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const QColor c = p.brush().color();
    const double w = r.width(), x = r.left(), y = r.top();
    // The band over the head, ending where the cups sit.
    p.save();
    p.setPen(QPen(c, stroke * 1.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath band;
    band.moveTo(x + w * 0.12, y + w * 0.62);
    band.lineTo(x + w * 0.12, y + w * 0.5);
    band.arcTo(QRectF(x + w * 0.12, y + w * 0.1, w * 0.76, w * 0.8), 180, -180);
    band.lineTo(x + w * 0.88, y + w * 0.62);
    p.drawPath(band);
    p.restore();
    p.drawRoundedRect(QRectF(x + w * 0.04, y + w * 0.54, w * 0.24, w * 0.4), w * 0.08, w * 0.08);
    p.drawRoundedRect(QRectF(x + w * 0.72, y + w * 0.54, w * 0.24, w * 0.4), w * 0.08, w * 0.08);
}

void airpodsGlyph(QPainter& p, const QRectF& r, double)
{
    const double w = r.width(), x = r.left(), y = r.top();
    // Two buds facing each other: a round head and a stem hanging from its outer side.
    for (const bool left : { true, false }) {
        const double head = left ? x + w * 0.27 : x + w * 0.73;
        const double stem = left ? head - w * 0.13 : head + w * 0.05;
        p.drawEllipse(QPointF(head, y + w * 0.27), w * 0.17, w * 0.2);
        p.drawRoundedRect(QRectF(stem, y + w * 0.3, w * 0.08, w * 0.64), w * 0.04, w * 0.04);
    }
}

void displayGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const QColor c = p.brush().color();
    const double w = r.width(), x = r.left(), y = r.top();
    p.save();
    p.setPen(QPen(c, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(x + w * 0.04, y + w * 0.1, w * 0.92, w * 0.6), w * 0.07, w * 0.07);
    p.restore();
    // Neck and foot.
    p.drawRect(QRectF(x + w * 0.44, y + w * 0.7, w * 0.12, w * 0.14));
    p.drawRoundedRect(QRectF(x + w * 0.26, y + w * 0.82, w * 0.48, w * 0.08), w * 0.04, w * 0.04);
}

// A keyboard seen from above: three rows of keys and a space bar, in an outline or cut out of a
// filled body.
void keyboard(QPainter& p, const QRectF& r, double stroke, bool filled)
{
    const QColor c = p.brush().color();
    const double w = r.width(), x = r.left(), y = r.top();
    const QRectF body(x + w * 0.02, y + w * 0.2, w * 0.96, w * 0.6);
    p.save();
    if (filled) {
        p.drawRoundedRect(body, w * 0.08, w * 0.08);
        p.setCompositionMode(QPainter::CompositionMode_Clear);
    } else {
        p.setPen(QPen(c, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(body, w * 0.08, w * 0.08);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
    }
    const double key = w * 0.1, gap = w * 0.04;
    const double left = body.left() + (body.width() - (6 * key + 5 * gap)) / 2;
    for (int row = 0; row < 2; ++row) {
        for (int i = 0; i < 6; ++i)
            p.drawRect(QRectF(left + i * (key + gap), body.top() + w * 0.1 + row * (key + gap), key, key));
    }
    p.drawRect(QRectF(left + key + gap, body.top() + w * 0.1 + 2 * (key + gap), 4 * key + 3 * gap, key));
    p.restore();
}
template <bool Filled> void keyboardGlyph(QPainter& p, const QRectF& r, double s)
{
    keyboard(p, r, s, Filled);
}

// A mouse seen from above: a rounded body with the parting line of its buttons.
void mouseGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const QColor c = p.brush().color();
    const double w = r.width();
    p.setPen(QPen(c, stroke * 1.1));
    p.setBrush(Qt::NoBrush);
    const QRectF body(r.left() + w * 0.26, r.top() + w * 0.06, w * 0.48, w * 0.88);
    p.drawRoundedRect(body, w * 0.24, w * 0.24);
    p.drawLine(QPointF(body.center().x(), body.top() + w * 0.12), QPointF(body.center().x(), body.top() + w * 0.34));
}

// A touch surface with a fingertip resting on it.
void touchpadGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const QColor c = p.brush().color();
    const double w = r.width();
    p.save();
    p.setPen(QPen(c, stroke * 1.1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(r.left() + w * 0.06, r.top() + w * 0.18, w * 0.88, w * 0.64), w * 0.1, w * 0.1);
    p.restore();
    p.drawEllipse(QPointF(r.left() + w * 0.62, r.top() + w * 0.56), w * 0.1, w * 0.1);
}

// A dot sending waves to both sides: any other wireless accessory.
void radiowavesGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const QColor c = p.brush().color();
    const double w = r.width();
    const QPointF centre = r.center();
    p.drawEllipse(centre, w * 0.1, w * 0.1);
    p.setPen(QPen(c, stroke * 1.1, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    for (const double radius : { w * 0.26, w * 0.42 }) {
        const QRectF arc(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
        p.drawArc(arc, 140 * 16, 80 * 16);
        p.drawArc(arc, -40 * 16, 80 * 16);
    }
}

// Clipboard list glyphs: outlines at the symbol's stroke, filled where the name says so.
void outlined(QPainter& p, double stroke)
{
    p.setPen(QPen(p.brush().color(), stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
}

void magnifierGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const double w = r.width(), x = r.left(), y = r.top();
    outlined(p, stroke * 1.2);
    p.drawEllipse(QPointF(x + w * 0.42, y + w * 0.42), w * 0.28, w * 0.28);
    p.drawLine(QPointF(x + w * 0.63, y + w * 0.63), QPointF(x + w * 0.92, y + w * 0.92));
}

void trashGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const double w = r.width(), x = r.left(), y = r.top();
    outlined(p, stroke);
    p.drawLine(QPointF(x + w * 0.12, y + w * 0.22), QPointF(x + w * 0.88, y + w * 0.22));
    p.drawLine(QPointF(x + w * 0.38, y + w * 0.08), QPointF(x + w * 0.62, y + w * 0.08));
    QPainterPath can;
    can.moveTo(x + w * 0.2, y + w * 0.22);
    can.lineTo(x + w * 0.26, y + w * 0.94);
    can.lineTo(x + w * 0.74, y + w * 0.94);
    can.lineTo(x + w * 0.8, y + w * 0.22);
    p.drawPath(can);
    p.drawLine(QPointF(x + w * 0.42, y + w * 0.38), QPointF(x + w * 0.42, y + w * 0.8));
    p.drawLine(QPointF(x + w * 0.58, y + w * 0.38), QPointF(x + w * 0.58, y + w * 0.8));
}

void photoGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const QColor c = p.brush().color();
    const double w = r.width(), x = r.left(), y = r.top();
    p.save();
    outlined(p, stroke);
    p.drawRoundedRect(QRectF(x + w * 0.06, y + w * 0.16, w * 0.88, w * 0.68), w * 0.1, w * 0.1);
    p.restore();
    p.drawEllipse(QPointF(x + w * 0.32, y + w * 0.38), w * 0.08, w * 0.08);
    const QPointF hills[] = { { x + w * 0.14, y + w * 0.76 }, { x + w * 0.4, y + w * 0.5 },
        { x + w * 0.56, y + w * 0.64 }, { x + w * 0.68, y + w * 0.54 }, { x + w * 0.86, y + w * 0.76 } };
    p.setBrush(c);
    p.drawPolygon(hills, 5);
}

QPainterPath pageOutline(const QRectF& page, double fold)
{
    QPainterPath path;
    path.moveTo(page.topLeft());
    path.lineTo(page.right() - fold, page.top());
    path.lineTo(page.right(), page.top() + fold);
    path.lineTo(page.bottomRight());
    path.lineTo(page.bottomLeft());
    path.closeSubpath();
    return path;
}

void documentGlyph(QPainter& p, const QRectF& r, double)
{
    const double w = r.width();
    p.drawPath(pageOutline(QRectF(r.left() + w * 0.18, r.top() + w * 0.04, w * 0.64, w * 0.92), w * 0.22));
}

void copyGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const double w = r.width(), x = r.left(), y = r.top();
    outlined(p, stroke);
    p.drawRoundedRect(QRectF(x + w * 0.08, y + w * 0.08, w * 0.56, w * 0.64), w * 0.08, w * 0.08);
    p.drawRoundedRect(QRectF(x + w * 0.36, y + w * 0.3, w * 0.56, w * 0.64), w * 0.08, w * 0.08);
}

void linkGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const double w = r.width(), x = r.left(), y = r.top();
    outlined(p, stroke * 1.1);
    p.save();
    p.translate(x + w / 2, y + w / 2);
    p.rotate(-45);
    p.drawRoundedRect(QRectF(-w * 0.46, -w * 0.14, w * 0.5, w * 0.28), w * 0.14, w * 0.14);
    p.drawRoundedRect(QRectF(-w * 0.04, -w * 0.14, w * 0.5, w * 0.28), w * 0.14, w * 0.14);
    p.restore();
}

void linesGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const double w = r.width(), x = r.left(), y = r.top();
    outlined(p, stroke);
    const double lengths[] = { 0.84, 0.6, 0.84, 0.5 };
    for (int i = 0; i < 4; ++i) {
        const double ly = y + w * (0.18 + 0.21 * i);
        p.drawLine(QPointF(x + w * 0.08, ly), QPointF(x + w * (0.08 + lengths[i]), ly));
    }
}

void pinShape(QPainter& p, const QRectF& r, double stroke)
{
    const double w = r.width(), x = r.left(), y = r.top();
    // The head, its collar, and the needle leaving downwards.
    p.drawRoundedRect(QRectF(x + w * 0.32, y + w * 0.04, w * 0.36, w * 0.36), w * 0.06, w * 0.06);
    const QPointF collar[] = { { x + w * 0.22, y + w * 0.56 }, { x + w * 0.34, y + w * 0.36 },
        { x + w * 0.66, y + w * 0.36 }, { x + w * 0.78, y + w * 0.56 } };
    p.drawPolygon(collar, 4);
    p.drawRect(QRectF(x + w * 0.5 - stroke / 2, y + w * 0.56, stroke, w * 0.4));
}

void pinGlyph(QPainter& p, const QRectF& r, double stroke)
{
    pinShape(p, r, stroke);
}

void pinSlashGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const double w = r.width(), x = r.left(), y = r.top();
    pinShape(p, r, stroke);
    // The slash is cut out of the pin, then drawn.
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(QPen(Qt::black, stroke * 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(x + w * 0.06, y + w * 0.06), QPointF(x + w * 0.94, y + w * 0.94));
    p.restore();
    outlined(p, stroke);
    p.drawLine(QPointF(x + w * 0.06, y + w * 0.06), QPointF(x + w * 0.94, y + w * 0.94));
}

void xmarkGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const double w = r.width(), x = r.left(), y = r.top();
    outlined(p, stroke * 1.3);
    p.drawLine(QPointF(x + w * 0.2, y + w * 0.2), QPointF(x + w * 0.8, y + w * 0.8));
    p.drawLine(QPointF(x + w * 0.8, y + w * 0.2), QPointF(x + w * 0.2, y + w * 0.8));
}

// Timers.
void timerGlyph(QPainter& p, const QRectF& r, double stroke)
{
    strokeStyle(p, stroke);
    const QPointF c = r.center();
    const double radius = r.width() * 0.42;
    // A dial open at the top, with its hand pointing up and right.
    p.drawArc(QRectF(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius), 100 * 16, 340 * 16);
    p.drawLine(QPointF(c.x(), c.y() - radius), QPointF(c.x(), c.y() - radius * 0.62));
    p.drawLine(c, QPointF(c.x() + radius * 0.42, c.y() - radius * 0.42));
}

void targetGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const QColor colour = p.brush().color();
    strokeStyle(p, stroke);
    const QPointF c = r.center();
    const double w = r.width();
    p.drawEllipse(c, w * 0.44, w * 0.44);
    p.drawEllipse(c, w * 0.26, w * 0.26);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(c, w * 0.09, w * 0.09);
}

void bellGlyph(QPainter& p, const QRectF& r, double)
{
    const double w = r.width(), x = r.left(), y = r.top();
    QPainterPath bell;
    bell.moveTo(x + w * 0.5, y + w * 0.1);
    bell.cubicTo(x + w * 0.26, y + w * 0.1, x + w * 0.22, y + w * 0.32, x + w * 0.22, y + w * 0.46);
    bell.lineTo(x + w * 0.22, y + w * 0.62);
    bell.lineTo(x + w * 0.1, y + w * 0.76);
    bell.lineTo(x + w * 0.9, y + w * 0.76);
    bell.lineTo(x + w * 0.78, y + w * 0.62);
    bell.lineTo(x + w * 0.78, y + w * 0.46);
    bell.cubicTo(x + w * 0.78, y + w * 0.32, x + w * 0.74, y + w * 0.1, x + w * 0.5, y + w * 0.1);
    bell.closeSubpath();
    p.drawPath(bell);
    p.drawEllipse(QPointF(x + w * 0.5, y + w * 0.06), w * 0.06, w * 0.06);
    p.drawEllipse(QPointF(x + w * 0.5, y + w * 0.84), w * 0.1, w * 0.08);
}

void flagGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const double w = r.width(), x = r.left(), y = r.top();
    p.drawRoundedRect(QRectF(x + w * 0.16, y + w * 0.06, stroke * 1.2, w * 0.9), stroke * 0.6, stroke * 0.6);
    QPainterPath cloth;
    cloth.moveTo(x + w * 0.2, y + w * 0.1);
    cloth.cubicTo(x + w * 0.45, y + w * 0.02, x + w * 0.6, y + w * 0.18, x + w * 0.86, y + w * 0.1);
    cloth.lineTo(x + w * 0.86, y + w * 0.56);
    cloth.cubicTo(x + w * 0.6, y + w * 0.64, x + w * 0.45, y + w * 0.48, x + w * 0.2, y + w * 0.56);
    cloth.closeSubpath();
    p.drawPath(cloth);
}

void minusGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const double w = r.width();
    p.drawRoundedRect(QRectF(r.left() + w * 0.14, r.center().y() - stroke * 0.65, w * 0.72, stroke * 1.3),
        stroke * 0.65, stroke * 0.65);
}

void forwardEndGlyph(QPainter& p, const QRectF& r, double)
{
    const double w = r.width(), x = r.left(), y = r.top();
    const QPointF arrow[]
        = { { x + w * 0.12, y + w * 0.16 }, { x + w * 0.7, y + w * 0.5 }, { x + w * 0.12, y + w * 0.84 } };
    p.drawPolygon(arrow, 3);
    p.drawRoundedRect(QRectF(x + w * 0.74, y + w * 0.16, w * 0.14, w * 0.68), w * 0.04, w * 0.04);
}

void counterclockwiseGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const QColor colour = p.brush().color();
    strokeStyle(p, stroke);
    const QPointF c = r.center();
    const double radius = r.width() * 0.36;
    // Most of a circle, its open end at the upper left carrying the arrow head.
    p.drawArc(QRectF(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius), 120 * 16, -300 * 16);
    const double a = 120 * M_PI / 180;
    const QPointF end(c.x() + std::cos(a) * radius, c.y() - std::sin(a) * radius);
    const double head = r.width() * 0.2;
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    const QPointF tip[] = { { end.x() - head * 0.75, end.y() - head * 0.05 },
        { end.x() + head * 0.45, end.y() - head * 0.7 }, { end.x() + head * 0.35, end.y() + head * 0.6 } };
    p.drawPolygon(tip, 3);
}

// Settings window: the sidebar, the priority rows and notes.
void cursorRaysGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const double w = r.width(), x = r.left(), y = r.top();
    const QPointF arrow[] = { { x + w * 0.34, y + w * 0.3 }, { x + w * 0.34, y + w * 0.96 },
        { x + w * 0.5, y + w * 0.8 }, { x + w * 0.62, y + w * 0.98 }, { x + w * 0.72, y + w * 0.92 },
        { x + w * 0.6, y + w * 0.74 }, { x + w * 0.84, y + w * 0.72 } };
    p.drawPolygon(arrow, 7);
    strokeStyle(p, stroke);
    p.drawLine(QPointF(x + w * 0.3, y + w * 0.04), QPointF(x + w * 0.3, y + w * 0.16));
    p.drawLine(QPointF(x + w * 0.04, y + w * 0.3), QPointF(x + w * 0.16, y + w * 0.3));
    p.drawLine(QPointF(x + w * 0.1, y + w * 0.1), QPointF(x + w * 0.18, y + w * 0.18));
}

void eyeGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const QColor c = p.brush().color();
    const double w = r.width(), x = r.left(), cy = r.center().y();
    QPainterPath lid;
    lid.moveTo(x + w * 0.04, cy);
    lid.quadTo(x + w * 0.5, cy - w * 0.5, x + w * 0.96, cy);
    lid.quadTo(x + w * 0.5, cy + w * 0.5, x + w * 0.04, cy);
    strokeStyle(p, stroke);
    p.drawPath(lid);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QPointF(x + w * 0.5, cy), w * 0.15, w * 0.15);
}

void numberedListGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const double w = r.width(), x = r.left(), y = r.top();
    for (int i = 0; i < 3; ++i) {
        const double ly = y + w * (0.2 + 0.3 * i);
        p.drawEllipse(QPointF(x + w * 0.12, ly), w * 0.07, w * 0.07);
        p.drawRoundedRect(QRectF(x + w * 0.3, ly - stroke / 2, w * 0.66, stroke), stroke / 2, stroke / 2);
    }
}

void infoCircleGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const QColor c = p.brush().color();
    const double w = r.width();
    strokeStyle(p, stroke);
    p.drawEllipse(r.center(), w * 0.44, w * 0.44);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QPointF(r.center().x(), r.top() + w * 0.3), w * 0.065, w * 0.065);
    p.drawRoundedRect(
        QRectF(r.center().x() - stroke * 0.6, r.top() + w * 0.43, stroke * 1.2, w * 0.34), stroke * 0.5, stroke * 0.5);
}

void threeLinesGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const double w = r.width(), x = r.left(), y = r.top();
    for (const double f : { 0.25, 0.5, 0.75 })
        p.drawRoundedRect(QRectF(x + w * 0.08, y + w * f - stroke / 2, w * 0.84, stroke), stroke / 2, stroke / 2);
}

// Three arcs over a dot.
void wifiGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const QColor c = p.brush().color();
    const QPointF base(r.center().x(), r.bottom() - r.height() * 0.16);
    p.save();
    p.setPen(QPen(c, stroke * 1.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= 3; ++i) {
        const double radius = r.width() * 0.16 * i;
        p.drawArc(QRectF(base.x() - radius, base.y() - radius, 2 * radius, 2 * radius), 45 * 16, 90 * 16);
    }
    p.restore();
    p.drawEllipse(base, stroke * 0.9, stroke * 0.9);
}

// Two toggle switches, one on and one off.
void switchesGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const QColor c = p.brush().color();
    const double h = r.height() * 0.3, w = r.width() * 0.9, x = r.left() + r.width() * 0.05;
    const double ys[] = { r.top() + r.height() * 0.14, r.bottom() - r.height() * 0.14 - h };
    p.save();
    for (int i = 0; i < 2; ++i) {
        const QRectF track(x, ys[i], w, h);
        p.setPen(QPen(c, stroke));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(track.adjusted(stroke / 2, stroke / 2, -stroke / 2, -stroke / 2), h / 2, h / 2);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        const double knob = h * 0.36;
        p.drawEllipse(QPointF(i == 0 ? track.right() - h / 2 : track.left() + h / 2, track.center().y()), knob, knob);
    }
    p.restore();
}

// The pointer's arrow, filled, with a dark edge so it shows on light and dark alike.
void arrowGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const double w = r.width(), x = r.left() + w * 0.22, y = r.top() + w * 0.04;
    QPainterPath arrow;
    arrow.moveTo(x, y);
    arrow.lineTo(x, y + w * 0.78);
    arrow.lineTo(x + w * 0.19, y + w * 0.6);
    arrow.lineTo(x + w * 0.32, y + w * 0.9);
    arrow.lineTo(x + w * 0.44, y + w * 0.85);
    arrow.lineTo(x + w * 0.31, y + w * 0.56);
    arrow.lineTo(x + w * 0.56, y + w * 0.56);
    arrow.closeSubpath();
    p.save();
    p.setPen(QPen(QColor(0, 0, 0, 150), stroke * 0.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(arrow);
    p.restore();
}

// A screen outline with its top third filled: Nimbra's mark in the tray.
void topThirdGlyph(QPainter& p, const QRectF& r, double stroke)
{
    const QColor c = p.brush().color();
    const QRectF body(r.left() + stroke / 2, r.top() + r.height() * 0.14 + stroke / 2, r.width() - stroke,
        r.height() * 0.72 - stroke);
    const double radius = r.width() * 0.12;
    p.save();
    p.setPen(QPen(c, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(body, radius, radius);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    const double inset = stroke * 1.6;
    const QRectF top(body.left() + inset, body.top() + inset, body.width() - 2 * inset, body.height() / 3 - inset);
    p.drawRoundedRect(top, radius * 0.5, radius * 0.5);
    p.restore();
}

// Onboarding: the app menu of its scenes' top panel.
void appGridGlyph(QPainter& p, const QRectF& r, double)
{
    const double cell = r.width() / 3;
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column)
            p.drawEllipse(
                QPointF(r.left() + cell * (column + 0.5), r.top() + cell * (row + 0.5)), cell * 0.3, cell * 0.3);
    }
}

const QHash<QString, Entry>& table()
{
    static const QHash<QString, Entry> entries = {
        // Tabs and navigation.
        { "music.note", { { "emblem-music-symbolic", "audio-x-generic-symbolic" }, noteGlyph } },
        { "doc.on.clipboard", { { "edit-paste-symbolic" }, clipboardGlyph } },
        { "tray.full", { {}, trayGlyph } },
        // Shelf.
        { "tray", { {}, trayDropGlyph<false> } },
        { "tray.and.arrow.down.fill", { {}, trayDropGlyph<true> } },
        { "checkmark.circle", { {}, checkCircleOutlineGlyph } },
        { "trash.fill", { { "user-trash-symbolic" }, trashGlyph } },
        { "stopwatch", { {}, stopwatchGlyph } },
        { "gauge.with.dots.needle.33percent", { {}, gaugeGlyph } },
        { "gearshape.fill", { { "emblem-system-symbolic", "preferences-system-symbolic" }, gearGlyph } },
        { "ellipsis", { {}, ellipsisGlyph } },
        { "rectangle.topthird.inset.filled", { {}, topThirdGlyph } },
        { "cursorarrow", { {}, arrowGlyph } },
        // The mock menu bar of the eyes preview (with the clipboard's magnifying glass).
        { "wifi", { { "network-wireless-signal-excellent-symbolic" }, wifiGlyph } },
        { "switch.2", { {}, switchesGlyph } },
        // Clipboard list.
        { "magnifyingglass", { { "edit-find-symbolic" }, magnifierGlyph } },
        { "trash", { { "user-trash-symbolic" }, trashGlyph } },
        { "photo", { { "image-x-generic-symbolic" }, photoGlyph } },
        { "doc.fill", { { "text-x-generic-symbolic" }, documentGlyph } },
        { "doc.on.doc", { { "edit-copy-symbolic" }, copyGlyph } },
        { "link", { {}, linkGlyph } },
        { "text.alignleft", { { "format-justify-left-symbolic" }, linesGlyph } },
        { "pin", { { "view-pin-symbolic" }, pinGlyph } },
        { "pin.fill", { { "view-pin-symbolic" }, pinGlyph } },
        { "pin.slash", { {}, pinSlashGlyph } },
        { "xmark", { { "window-close-symbolic" }, xmarkGlyph } },
        // Settings surface.
        { "slider.horizontal.3", { {}, slidersGlyph } },
        { "power", { { "system-shutdown-symbolic" }, powerGlyph } },
        // Power.
        { "battery.100percent.bolt",
            { { "battery-level-100-charging-symbolic", "battery-full-charging-symbolic" }, batteryGlyph<100, true> } },
        { "powerplug.fill", { {}, plugGlyph } },
        { "battery.0percent", { { "battery-level-0-symbolic", "battery-empty-symbolic" }, batteryGlyph<0, false> } },
        { "battery.25percent", { { "battery-level-20-symbolic", "battery-low-symbolic" }, batteryGlyph<25, false> } },
        { "battery.50percent", { { "battery-level-50-symbolic", "battery-good-symbolic" }, batteryGlyph<50, false> } },
        { "battery.75percent", { { "battery-level-70-symbolic", "battery-good-symbolic" }, batteryGlyph<75, false> } },
        { "battery.100percent",
            { { "battery-level-100-symbolic", "battery-full-symbolic" }, batteryGlyph<100, false> } },
        { "bolt.fill", { {}, boltGlyph } },
        { "exclamationmark.triangle.fill", { { "dialog-warning-symbolic" }, triangleGlyph } },
        { "checkmark.circle.fill", { { "emblem-ok-symbolic", "emblem-default-symbolic" }, checkCircleGlyph } },
        { "minus.circle.fill", { {}, minusCircleGlyph } },
        { "lock.shield", { {}, lockShieldGlyph } },
        { "arrow.up.doc", { {}, arrowUpDocGlyph } },
        // Levels and outputs.
        { "speaker.slash.fill", { { "audio-volume-muted-symbolic" }, speakerGlyph<0, true> } },
        { "speaker.wave.1.fill", { { "audio-volume-low-symbolic" }, speakerGlyph<1, false> } },
        { "speaker.wave.2.fill", { { "audio-volume-medium-symbolic" }, speakerGlyph<2, false> } },
        { "speaker.wave.3.fill", { { "audio-volume-high-symbolic" }, speakerGlyph<3, false> } },
        { "headphones", { { "audio-headphones-symbolic" }, headphonesGlyph } },
        { "airpods", { { "audio-headset-symbolic", "audio-headphones-symbolic" }, airpodsGlyph } },
        { "hifispeaker.fill", { { "audio-speakers-symbolic" }, speakerGlyph<2, false> } },
        { "display", { { "video-display-symbolic" }, displayGlyph } },
        { "airplayaudio", { { "audio-speakers-symbolic" }, speakerGlyph<2, false> } },
        { "sun.min.fill", { { "weather-clear-symbolic" }, sunGlyph<6> } },
        { "sun.max.fill", { { "display-brightness-symbolic" }, sunGlyph<16> } },
        { "keyboard", { { "input-keyboard-symbolic" }, keyboardGlyph<false> } },
        { "keyboard.fill", { { "keyboard-brightness-symbolic", "input-keyboard-symbolic" }, keyboardGlyph<true> } },
        // Accessories.
        { "magicmouse", { { "input-mouse-symbolic" }, mouseGlyph } },
        { "rectangle.and.hand.point.up.left", { { "input-touchpad-symbolic" }, touchpadGlyph } },
        { "dot.radiowaves.left.and.right", { { "bluetooth-symbolic" }, radiowavesGlyph } },
        // Transport.
        { "play.fill", { { "media-playback-start-symbolic" }, playGlyph } },
        { "pause.fill", { { "media-playback-pause-symbolic" }, pauseGlyph } },
        { "forward.fill", { { "media-skip-forward-symbolic" }, skipGlyph<true> } },
        { "backward.fill", { { "media-skip-backward-symbolic" }, skipGlyph<false> } },
        // Timers.
        { "timer", { {}, timerGlyph } },
        { "target", { {}, targetGlyph } },
        { "bell.fill", { {}, bellGlyph } },
        { "flag.fill", { {}, flagGlyph } },
        { "minus", { { "list-remove-symbolic" }, minusGlyph } },
        { "forward.end.fill", { { "media-skip-forward-symbolic" }, forwardEndGlyph } },
        { "arrow.counterclockwise", { {}, counterclockwiseGlyph } },
        // Settings window.
        { "gearshape", { {}, gearGlyph } },
        { "cursorarrow.rays", { {}, cursorRaysGlyph } },
        { "speaker.wave.2", { { "audio-volume-medium-symbolic" }, speakerGlyph<2, false> } },
        { "eye", { { "view-reveal-symbolic" }, eyeGlyph } },
        { "list.number", { { "view-list-ordered-symbolic" }, numberedListGlyph } },
        { "info.circle", { {}, infoCircleGlyph } },
        { "line.3.horizontal", { { "open-menu-symbolic" }, threeLinesGlyph } },
        // Onboarding.
        { "square.grid.3x3", { { "view-app-grid-symbolic" }, appGridGlyph } },
    };
    return entries;
}

double strokeFor(double side, QFont::Weight weight)
{
    // A regular symbol strokes at about a tenth of its size; heavier weights a little more.
    return side * (0.085 + 0.03 * std::clamp((int(weight) - 400) / 300.0, -1.0, 1.0));
}

QPixmap tintedIcon(const QString& icon, int px, const QColor& tint, double dpr)
{
    const QString key = QStringLiteral("nimbra-symbol:%1:%2:%3:%4").arg(icon).arg(px).arg(tint.rgba()).arg(dpr);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached))
        return cached;
    const int device = std::max(1, int(std::lround(px * dpr)));
    QImage image = QIcon::fromTheme(icon)
                       .pixmap(QSize(device, device))
                       .toImage()
                       .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    if (image.size() != QSize(device, device))
        image = image.scaled(device, device, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    {
        // Symbolic icons are one-colour shapes: keep their coverage, take the tint.
        QPainter p(&image);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(image.rect(), tint);
    }
    QPixmap pixmap = QPixmap::fromImage(std::move(image));
    pixmap.setDevicePixelRatio(dpr);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

} // namespace

QString iconName(const QString& symbol)
{
    ensureIconTheme();
    const auto it = table().constFind(symbol);
    if (it == table().cend())
        return {};
    // Theme lookups touch the file system; remember them until the theme changes.
    static QHash<QString, QString> resolved;
    static QString resolvedFor;
    const QString themes = QIcon::themeName() + QLatin1Char('|') + QIcon::fallbackThemeName();
    if (themes != resolvedFor) {
        resolved.clear();
        resolvedFor = themes;
    }
    const auto known = resolved.constFind(symbol);
    if (known != resolved.cend())
        return *known;
    QString found;
    for (const char* name : it->icons) {
        const QString icon = QString::fromLatin1(name);
        if (QIcon::hasThemeIcon(icon)) {
            found = icon;
            break;
        }
    }
    resolved.insert(symbol, found);
    return found;
}

bool isKnown(const QString& symbol)
{
    return table().contains(symbol);
}

double side(double fontSize)
{
    return std::round(std::max(fontSize, 1.0) * 1.15);
}

void draw(QPainter& painter, const QString& symbol, const QRectF& box, double fontSize, const QColor& tint,
    QFont::Weight weight)
{
    const double s = side(fontSize);
    const QRectF square(box.center().x() - s / 2, box.center().y() - s / 2, s, s);
    const double dpr = paintPixelRatio(painter);
    const QString icon = iconName(symbol);
    if (!icon.isEmpty()) {
        const QPixmap pixmap = tintedIcon(icon, int(s), tint, dpr);
        if (!pixmap.isNull()) {
            // Whole pixels keep the thin strokes of symbolic icons crisp.
            painter.drawPixmap(QPointF(std::round(square.x()), std::round(square.y())), pixmap);
            return;
        }
    }
    // Painted glyphs are drawn once per size, tint and weight and then reused like icons.
    const QString key = QStringLiteral("nimbra-glyph:%1:%2:%3:%4:%5")
                            .arg(symbol)
                            .arg(int(s))
                            .arg(tint.rgba())
                            .arg(int(weight))
                            .arg(dpr);
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        const int device = std::max(1, int(std::lround(s * dpr)));
        QImage image(device, device, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(Qt::NoPen);
            p.setBrush(tint);
            const auto it = table().constFind(symbol);
            const Glyph glyph = (it != table().cend() && it->glyph) ? it->glyph : dotGlyph;
            glyph(p, QRectF(s * 0.06, s * 0.06, s * 0.88, s * 0.88), strokeFor(s, weight));
        }
        pixmap = QPixmap::fromImage(std::move(image));
        QPixmapCache::insert(key, pixmap);
    }
    painter.drawPixmap(QPointF(std::round(square.x()), std::round(square.y())), pixmap);
}

} // namespace nimbra::symbols
