#include "app/app_delegate.h"

#include "ui/surface/surface_metrics.h"

#include <QWidget>

namespace nimbra {

QWidget* AppDelegate::view(const Presentation::Surface& surface, const SurfaceContext& context)
{
    // Readouts and the expanded shell join here with their views.
    return new QWidget;
}

} // namespace nimbra
