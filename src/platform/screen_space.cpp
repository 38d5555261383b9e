#include "platform/screen_space.h"

#include <QGuiApplication>
#include <QScreen>

namespace nimbra::screen_space {

namespace {
// The horizontal line (in Qt y) that is y = 0 in the model: the primary screen's bottom edge.
double pivot(const QRectF& primary) { return primary.y() + primary.height(); }

QRectF primaryGeometry()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? QRectF(screen->geometry()) : QRectF();
}
} // namespace

QPointF toModel(QPointF p, const QRectF& primary)
{
    return {p.x() - primary.x(), pivot(primary) - p.y()};
}

QPointF toQt(QPointF p, const QRectF& primary)
{
    return {p.x() + primary.x(), pivot(primary) - p.y()};
}

QRectF toModel(const QRectF& r, const QRectF& primary)
{
    return {r.x() - primary.x(), pivot(primary) - (r.y() + r.height()), r.width(), r.height()};
}

QRectF toQt(const QRectF& r, const QRectF& primary)
{
    return {r.x() + primary.x(), pivot(primary) - (r.y() + r.height()), r.width(), r.height()};
}

QPointF toModel(QPointF p) { return toModel(p, primaryGeometry()); }
QPointF toQt(QPointF p) { return toQt(p, primaryGeometry()); }
QRectF toModel(const QRectF& r) { return toModel(r, primaryGeometry()); }
QRectF toQt(const QRectF& r) { return toQt(r, primaryGeometry()); }

} // namespace nimbra::screen_space
