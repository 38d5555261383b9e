#pragma once

#include "core/system_level.h"
#include "ui/surface/spring.h"
#include "ui/surface/surface_metrics.h"

#include <QWidget>

namespace nimbra {

class LevelReadout;

// The readout shown in the notch for a volume, brightness or keyboard-backlight change: the
// level readout, centred, padded by the surface's side padding, fading in as it drops 4 pt
// into place when first shown.
class SystemLevelView : public QWidget {
    Q_OBJECT
public:
    SystemLevelView(const SystemLevel& level, const SurfaceMetrics& metrics, QWidget* parent = nullptr);

    const SystemLevel& level() const;
    const SurfaceMetrics& metrics() const { return m_metrics; }
    // A newer reading for the same readout: the bar moves, nothing lands again.
    void setLevel(const SystemLevel& level);

    bool isLanded() const { return m_landing.hasBegun(); }
    // True while the landing still moves (its frame timer runs only then).
    bool isAnimating() const { return m_landing.isMoving(); }
    LevelReadout* readout() const { return m_readout; }

protected:
    void showEvent(QShowEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    void layoutReadout();

    SurfaceMetrics m_metrics;
    LevelReadout* m_readout;
    Landing m_landing;
};

} // namespace nimbra
