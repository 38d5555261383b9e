#pragma once

#include <QPointF>
#include <QRectF>

// The one place where model coordinates meet Qt's.
// Model: origin at the primary screen's bottom-left corner, y grows upward.
// Qt:    origin at the virtual desktop's top-left, y grows downward.
namespace nimbra::screen_space {

// `primary` is the primary screen's geometry in Qt coordinates.
QPointF toModel(QPointF qtPoint, const QRectF& primary);
QPointF toQt(QPointF modelPoint, const QRectF& primary);
QRectF toModel(const QRectF& qtRect, const QRectF& primary);
QRectF toQt(const QRectF& modelRect, const QRectF& primary);

// The same, against the running application's primary screen.
QPointF toModel(QPointF qtPoint);
QPointF toQt(QPointF modelPoint);
QRectF toModel(const QRectF& qtRect);
QRectF toQt(const QRectF& modelRect);

} // namespace nimbra::screen_space
