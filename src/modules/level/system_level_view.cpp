#include "modules/level/system_level_view.h"

#include "core/clamped.h"
#include "core/uptime.h"
#include "ui/surface/level_readout.h"

#include <cmath>

namespace nimbra {

namespace {
const Spring kLandingSpring { 0.26, 0.8 };
constexpr double kDrop = 4; // points the readout falls into place
} // namespace

SystemLevelView::SystemLevelView(const SystemLevel& level, const SurfaceMetrics& metrics, QWidget* parent)
    : QWidget(parent)
    , m_metrics(metrics)
    , m_readout(new LevelReadout(level, metrics, this))
    , m_landing(kLandingSpring)
{
    setAttribute(Qt::WA_TranslucentBackground);
    m_readout->setOpacity(0);
    m_landing.onFrame = [this] { layoutReadout(); };
}

const SystemLevel& SystemLevelView::level() const
{
    return m_readout->level();
}

void SystemLevelView::setLevel(const SystemLevel& level)
{
    m_readout->setLevel(level);
    layoutReadout();
}

void SystemLevelView::showEvent(QShowEvent*)
{
    if (m_landing.hasBegun())
        return;
    m_landing.begin();
    layoutReadout();
}

void SystemLevelView::resizeEvent(QResizeEvent*)
{
    layoutReadout();
}

void SystemLevelView::layoutReadout()
{
    const double progress = m_landing.value();
    const double padding = m_metrics.sidePadding();
    const double height = std::ceil(LevelReadout::contentHeight(m_readout->level(), m_metrics));
    const double w = std::max(0.0, width() - 2 * padding);
    // Centred between two spacers; 4 pt higher before landing.
    const double y = (this->height() - height) / 2 - kDrop * (1 - progress);
    m_readout->setGeometry(int(std::round(padding)), int(std::round(y)), int(std::round(w)), int(height));
    m_readout->setOpacity(clamped(progress, 0.0, 1.0));
}

} // namespace nimbra
