#pragma once

#include <QRectF>

// Model geometry is y-up (origin at the primary screen's bottom-left). QRectF's top()/bottom()
// assume y-down, so model code reads edges through these instead.
namespace nimbra {

inline double minX(const QRectF& r) { return r.x(); }
inline double maxX(const QRectF& r) { return r.x() + r.width(); }
inline double midX(const QRectF& r) { return r.x() + r.width() / 2.0; }
inline double minY(const QRectF& r) { return r.y(); }
inline double maxY(const QRectF& r) { return r.y() + r.height(); }
inline double midY(const QRectF& r) { return r.y() + r.height() / 2.0; }

} // namespace nimbra
