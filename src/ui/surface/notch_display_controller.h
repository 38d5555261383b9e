#pragma once

#include "core/activity.h"
#include "core/hover_intent.h"
#include "core/notch_geometry.h"
#include "core/presentation.h"
#include "ui/surface/notch_surface_model.h"
#include "ui/surface/notch_theme.h"
#include "ui/surface/spring.h"

#include <QList>
#include <QObject>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

namespace nimbra {

class HoverProbeWindow;
class NotchPanel;
class X11EdgeStrip;
class X11InputBridge;
class NotchSurfaceView;
class PassthroughHostingView;

// Drives the notch of one display: its two windows, the surface model, one presentation and one
// hover intent. It is the one place where the clock, the pointer and the window frames meet the
// pure rules, and it runs a 120 Hz clock only while an activity shows or waits, while the
// pointer arms or engages the notch, or while a surface opened by command is open.
class NotchDisplayController : public QObject {
    Q_OBJECT
public:
    // Seconds of uptime, and the global pointer in model coordinates; both replaceable in tests.
    using Clock = std::function<double()>;
    using Pointer = std::function<QPointF()>;

    static constexpr double probeSlop = 4;

    // `input`: the X input bridge, through which a dormant drawn notch is reached from the top
    // edge where no compositor runs; without one it is reached through its probe only.
    NotchDisplayController(const DisplayKey& key, const NotchGeometry& geometry, NotchSurfaceModel::Content content,
        const HoverIntent::Configuration& hoverConfiguration, const LayoutMetrics& layout, Clock clock = {},
        Pointer pointer = {}, bool enabled = true, X11InputBridge* input = nullptr);
    ~NotchDisplayController() override;

    const DisplayKey& key() const { return m_key; }
    const NotchGeometry& geometry() const { return m_geometry; }
    const LayoutMetrics& layout() const { return m_layout; }
    const Presentation& presentation() const { return m_presentation; }
    const HoverIntent& intent() const { return m_intent; }
    HoverProbeWindow* probe() const { return m_probe.get(); }
    NotchPanel* panel() const { return m_panel.get(); }
    NotchSurfaceModel* model() const { return m_model; }
    PassthroughHostingView* hosting() const { return m_hosting; }
    // The invisible strip that stands in for the probe at the top edge; null without an input bridge.
    X11EdgeStrip* edgeStrip() const { return m_edgeStrip.get(); }
    NotchSurfaceView* view() const { return m_view; }

    void present(const Activity& activity);
    void setResident(const std::optional<ModuleID>& module);
    void setFocus(const std::optional<ModuleID>& module);
    void open(const ModuleID& module, bool takingKey);
    void collapse();
    void refreshContent();
    void setTheme(const NotchTheme& theme);
    void setHoverConfiguration(const HoverIntent::Configuration& configuration);
    void setLayout(const LayoutMetrics& layout);
    void update(const NotchGeometry& geometry);
    void setEnabled(bool enabled);
    bool isEnabled() const { return m_isEnabled; }
    void setWantsKeyboard(bool wants);
    void noteInteraction();
    void handBackToHover();
    void tearDown();

    bool isShowingSurface() const;
    bool isExpandedSurface() const;
    bool isReceivingDrag() const { return m_isReceivingDrag; }
    void setReceivingDrag(bool receiving);
    bool isClockRunning() const { return m_clock.isActive(); }

    std::function<bool(const QList<QUrl>&)>& onDropFiles();
    std::function<void(bool)>& onDragHover();

    // Asked at every pointer sample; its answer becomes the sample's suppressed flag.
    std::function<bool()> isSuppressed = [] { return false; };
    // Auto-close delay of a surface opened by command; 0 or less disables it.
    double autoCloseAfter = 0;
    std::function<void()> onDismiss;
    std::function<void(bool)> onVisibilityChange;
    std::function<void(bool)> onExpandedChange;

    // The panel's frame by the size rule, and the part of it the outline covers (model coordinates).
    QRectF panelFrame() const;
    QRectF visibleRect() const;
    // Where a dormant drawn notch is reached: the screen's top row of device pixels, as wide as
    // the notch. Nowhere else does its probe take the pointer. Without a compositor, where the
    // probe exists only inside the drawn outline (none at rest), an invisible window takes it.
    QRectF topEdgeStrip() const;

    // One step of the clock; the clock calls it while it runs.
    void tick();

private:
    double now() const;
    QPointF pointer() const;
    void handleSample(QPointF location, bool inside);
    void apply(HoverIntent::Phase phase, double now);
    void syncSurface();
    void scheduleClock();
    void resyncPointer();
    bool geometryRejects(QPointF point) const;
    // A dormant drawn notch takes the pointer only in a strip along the screen's top edge.
    bool reachesOnlyFromTheEdge() const;
    void updateProbeReach();
    void makeEdgeStrip(X11InputBridge& input);
    // Shows the edge strip exactly while a dormant drawn notch has no compositor to draw a
    // click-through probe; `replace` re-fits it to the geometry.
    void updateEdgeStrip(bool replace);
    void followOutline();

    DisplayKey m_key;
    NotchGeometry m_geometry;
    LayoutMetrics m_layout;
    Clock m_clockSource;
    Pointer m_pointerSource;
    std::unique_ptr<HoverProbeWindow> m_probe;
    std::unique_ptr<NotchPanel> m_panel;
    std::unique_ptr<X11EdgeStrip> m_edgeStrip;
    // Whether the notch was dormant at the edge when the strip was last updated.
    bool m_atTheEdge = false;
    NotchSurfaceModel* m_model;
    PassthroughHostingView* m_hosting;
    NotchSurfaceView* m_view;
    HoverIntent m_intent;
    Presentation m_presentation;
    FrameTimer m_clock;
    HoverIntent::Phase m_lastLoggedPhase = HoverIntent::Phase::away;
    bool m_isEnabled = true;
    bool m_openedProgrammatically = false;
    bool m_pointerHasVisited = false;
    double m_lastInteraction = 0;
    bool m_isReceivingDrag = false;
};

} // namespace nimbra
