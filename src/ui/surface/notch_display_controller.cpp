#include "ui/surface/notch_display_controller.h"

#include "core/diagnostics.h"
#include "core/rect_math.h"
#include "core/uptime.h"
#include "platform/screen_space.h"
#include "platform/x11/x11_edge_strip.h"
#include "platform/x11/x11_input_bridge.h"
#include "ui/surface/hover_probe_window.h"
#include "ui/surface/notch_panel.h"
#include "ui/surface/notch_surface_view.h"

#include <QApplication>
#include <QCursor>
#include <QPointer>
#include <QTransform>
#include <cmath>

namespace nimbra {

namespace {

using Kind = Presentation::Surface::Kind;

QRectF grown(const QRectF& r, double by)
{
    return QRectF(r.x() - by, r.y() - by, r.width() + 2 * by, r.height() + 2 * by);
}

// Containment in model space, edges included the way the outline's own edges are.
bool contains(const QRectF& r, QPointF p)
{
    return p.x() >= minX(r) && p.x() <= maxX(r) && p.y() >= minY(r) && p.y() <= maxY(r);
}

Presentation::Configuration presentationConfiguration()
{
    return Presentation::Configuration(0.12, 4, 8.0);
}

} // namespace

NotchDisplayController::NotchDisplayController(const DisplayKey& key, const NotchGeometry& geometry,
    NotchSurfaceModel::Content content, const HoverIntent::Configuration& hoverConfiguration,
    const LayoutMetrics& layout, Clock clock, Pointer pointer, bool enabled, X11InputBridge* input)
    : m_key(key)
    , m_geometry(geometry)
    , m_layout(layout)
    , m_clockSource(std::move(clock))
    , m_pointerSource(std::move(pointer))
    , m_intent(hoverConfiguration)
    , m_presentation(presentationConfiguration())
{
    m_model = new NotchSurfaceModel(m_geometry, std::move(content), this);
    m_model->setLayout(m_layout);

    // A display that shows no notch never puts its windows on screen, not even for a moment.
    m_isEnabled = enabled;
    m_probe = std::make_unique<HoverProbeWindow>(m_geometry, probeSlop, enabled);
    m_probe->setObjectName(QStringLiteral("nimbra-probe-") + m_key.rawValue);
    m_panel = std::make_unique<NotchPanel>(panelFrame());
    m_panel->setObjectName(QStringLiteral("nimbra-panel-") + m_key.rawValue);

    m_hosting = new PassthroughHostingView;
    m_view = new NotchSurfaceView(m_model);
    if (m_clockSource)
        m_view->clock = m_clockSource;
    m_hosting->setRootView(m_view);
    m_panel->setContentView(m_hosting);
    m_panel->setIgnoresMouseEvents(true);

    QPointer<NotchDisplayController> self(this);
    m_hosting->interactiveRegion = [self]() -> std::optional<QRectF> {
        if (!self || !self->m_model->isExpanded())
            return std::nullopt;
        const QSizeF visible = self->m_model->outerSize();
        const QSizeF panelSize = self->panelFrame().size();
        return QRectF((panelSize.width() - visible.width()) / 2, panelSize.height() - visible.height(), visible.width(),
            visible.height());
    };
    m_view->onOutlineChange = [self] {
        if (self)
            self->followOutline();
    };
    m_panel->onFramePresented = [self] {
        if (self)
            self->m_view->framePresented();
    };

    if (enabled) {
        m_panel->orderFront();
        m_panel->orderAbove(m_probe.get());
    }

    m_probe->probeView()->pointer = [self] { return self ? self->pointer() : QPointF(); };
    // A file drag may reach the open surface before the probe beneath it: the panel hands it
    // to the probe's drop protocol, so both windows make one hover.
    m_hosting->setDropTarget(m_probe->probeView()->dropTarget());
    m_probe->onSample() = [self](QPointF location, bool inside) {
        if (self)
            self->handleSample(location, inside);
    };
    if (input && input->isConnected())
        makeEdgeStrip(*input);
    updateProbeReach();

    m_clock.onFrame = [this] { tick(); };

    resyncPointer();
}

NotchDisplayController::~NotchDisplayController()
{
    m_clock.stop();
    // The view's callbacks point back here; the windows go first.
    m_view->onOutlineChange = nullptr;
    m_panel->onFramePresented = nullptr;
    m_edgeStrip.reset();
    m_panel.reset();
    m_probe.reset();
}

double NotchDisplayController::now() const
{
    return m_clockSource ? m_clockSource() : uptime();
}

QPointF NotchDisplayController::pointer() const
{
    return m_pointerSource ? m_pointerSource() : screen_space::toModel(QPointF(QCursor::pos()));
}

QRectF NotchDisplayController::panelFrame() const
{
    const QSizeF size = m_layout.panelSize(m_geometry.anchorRect().width());
    return m_geometry.expandedFrame(size.width(), size.height());
}

QRectF NotchDisplayController::visibleRect() const
{
    const QSizeF visible = m_model->outerSize();
    const QRectF frame = panelFrame();
    return QRectF(midX(frame) - visible.width() / 2, maxY(frame) - visible.height(), visible.width(), visible.height());
}

bool NotchDisplayController::isShowingSurface() const
{
    return !m_presentation.surface().is(Kind::dormant);
}
bool NotchDisplayController::isExpandedSurface() const
{
    return m_model->isExpanded();
}

std::function<bool(const QList<QUrl>&)>& NotchDisplayController::onDropFiles()
{
    return m_probe->onDropFiles();
}
std::function<void(bool)>& NotchDisplayController::onDragHover()
{
    return m_probe->onDragHover();
}

void NotchDisplayController::setReceivingDrag(bool receiving)
{
    if (receiving == m_isReceivingDrag)
        return;
    m_isReceivingDrag = receiving;
    m_panel->setIgnoresMouseEvents(!m_model->isExpanded() ? true : m_isReceivingDrag);
}

void NotchDisplayController::present(const Activity& activity)
{
    m_presentation.present(activity, now());
    syncSurface();
}

void NotchDisplayController::setResident(const std::optional<ModuleID>& module)
{
    m_presentation.setResident(module, now());
    syncSurface();
}

void NotchDisplayController::setFocus(const std::optional<ModuleID>& module)
{
    m_presentation.setFocus(module);
}

void NotchDisplayController::open(const ModuleID& module, bool takingKey)
{
    const double t = now();
    m_presentation.open(module);
    m_openedProgrammatically = true;
    m_pointerHasVisited = false;
    m_lastInteraction = t;
    syncSurface();
    if (takingKey)
        setWantsKeyboard(true);
    scheduleClock();
}

void NotchDisplayController::collapse()
{
    m_presentation.dismiss(now());
    m_intent.cancel();
    m_openedProgrammatically = false;
    m_pointerHasVisited = false;
    if (m_panel->allowsKey()) {
        m_panel->setAllowsKey(false);
        m_panel->resignKey();
    }
    syncSurface();
    if (onDismiss)
        onDismiss();
}

void NotchDisplayController::refreshContent()
{
    m_model->incrementContentRevision();
}

void NotchDisplayController::setTheme(const NotchTheme& theme)
{
    if (!(theme == m_model->theme()))
        m_model->setTheme(theme);
}

void NotchDisplayController::setHoverConfiguration(const HoverIntent::Configuration& configuration)
{
    m_intent.setConfiguration(configuration);
}

void NotchDisplayController::setLayout(const LayoutMetrics& layout)
{
    if (layout == m_layout)
        return;
    m_layout = layout;
    m_model->setLayout(layout);
    m_panel->setFrame(panelFrame(), true);
    m_panel->refreshInputShape();
}

void NotchDisplayController::update(const NotchGeometry& geometry)
{
    if (geometry == m_geometry)
        return;
    m_geometry = geometry;
    m_model->setGeometry(geometry);
    m_probe->update(m_geometry, probeSlop);
    m_panel->setFrame(panelFrame(), true);
    m_panel->refreshInputShape();
    updateEdgeStrip(true);
    resyncPointer();
}

void NotchDisplayController::setEnabled(bool enabled)
{
    m_isEnabled = enabled;
    if (!enabled) {
        m_intent.cancel();
        m_presentation.setHover(HoverIntent::Phase::away, now());
        syncSurface();
        m_probe->orderOut();
        m_panel->orderOut();
        updateEdgeStrip(false);
    } else {
        m_probe->orderFront();
        m_panel->orderFront();
        updateEdgeStrip(false);
        resyncPointer();
    }
}

void NotchDisplayController::setWantsKeyboard(bool wants)
{
    if (wants == m_panel->allowsKey())
        return;
    m_panel->setAllowsKey(wants);
    if (wants && m_model->isExpanded()) {
        m_panel->makeKeyAndOrderFront();
        if (Diagnostics::isEnabled()) {
            QPointer<NotchDisplayController> self(this);
            QTimer::singleShot(0, this, [self] {
                if (!self)
                    return;
                Diagnostics::log(Diagnostics::Category::clipboard, [&] {
                    return QStringLiteral("panel key=%1 active=%2")
                        .arg(self->m_panel->isKeyWindow() ? u"true" : u"false")
                        .arg(QApplication::activeWindow() ? u"true" : u"false");
                });
            });
        }
    } else if (!wants) {
        m_panel->resignKey();
    }
}

void NotchDisplayController::noteInteraction()
{
    m_lastInteraction = now();
}

void NotchDisplayController::handBackToHover()
{
    m_openedProgrammatically = false;
    m_pointerHasVisited = false;
    resyncPointer();
    scheduleClock();
}

void NotchDisplayController::tearDown()
{
    m_clock.stop();
    m_probe->orderOut();
    m_panel->orderOut();
    if (m_edgeStrip)
        m_edgeStrip->hide();
    m_atTheEdge = false;
}

bool NotchDisplayController::reachesOnlyFromTheEdge() const
{
    return m_geometry.kind() == NotchGeometry::Kind::synthesized && m_model->isHidden();
}

QRectF NotchDisplayController::topEdgeStrip() const
{
    // One device pixel of the screen's top row, as wide as the notch.
    const QRectF anchor = m_geometry.anchorRect();
    const double height = 1 / std::max(1.0, m_probe->devicePixelRatioF());
    return QRectF(minX(anchor), maxY(anchor) - height, anchor.width(), height);
}

void NotchDisplayController::updateProbeReach()
{
    // A drawn notch at rest covers whatever the desktop shows there (a panel, a clock), so it
    // lets every click through and is reached by pushing the pointer against the screen's top
    // edge, the way desktops make their edges active; the strip takes file drags too.
    m_probe->setActive(true);
    m_probe->setInputLimit(reachesOnlyFromTheEdge() ? std::optional<QRectF>(topEdgeStrip()) : std::nullopt);
    updateEdgeStrip(false);
}

void NotchDisplayController::makeEdgeStrip(X11InputBridge& input)
{
    m_edgeStrip = std::make_unique<X11EdgeStrip>(input);
    QPointer<NotchDisplayController> self(this);
    // The same samples and drop protocol as the probe's own: the strip only stands in for it.
    m_edgeStrip->onPointer = [self](bool inside) {
        if (self)
            self->handleSample(self->pointer(), inside);
    };
    const FileDropTarget drop = m_probe->probeView()->dropTarget();
    m_edgeStrip->onDragEnter = [drop](const QList<QUrl>& urls, bool fromThisProcess) {
        drop.entered(FileDragEvents::localFiles(urls, fromThisProcess));
    };
    m_edgeStrip->onDragMove = [drop] { drop.moved({}); };
    m_edgeStrip->onDragLeave = [drop] { drop.exited(); };
}

void NotchDisplayController::updateEdgeStrip(bool replace)
{
    if (!m_edgeStrip)
        return;
    const bool atTheEdge = m_isEnabled && reachesOnlyFromTheEdge();
    if (atTheEdge == m_atTheEdge && !replace)
        return;
    m_atTheEdge = atTheEdge;
    // With a compositor the probe takes the strip itself, drawing nothing there.
    if (atTheEdge && !NotchPanel::translucencyAvailable())
        m_edgeStrip->show(screen_space::toQt(topEdgeStrip()));
    else
        m_edgeStrip->hide();
}

bool NotchDisplayController::geometryRejects(QPointF p) const
{
    if (reachesOnlyFromTheEdge()) {
        const QRectF strip = topEdgeStrip();
        return !(p.x() >= minX(strip) && p.x() <= maxX(strip) && p.y() <= maxY(strip) && p.y() > minY(strip));
    }
    const QRectF target = m_model->isHidden() ? grown(m_geometry.anchorRect(), 2) : grown(visibleRect(), 6);
    return !contains(target, p);
}

void NotchDisplayController::handleSample(QPointF location, bool inside)
{
    if (!m_isEnabled)
        return;
    const double t = now();
    const bool isInside = inside && !geometryRejects(location);
    const HoverIntent::Phase phase = m_intent.update({ location, t, isInside, isSuppressed ? isSuppressed() : false });
    apply(phase, t);
}

void NotchDisplayController::resyncPointer()
{
    const QPointF p = pointer();
    if (!contains(m_geometry.trackingRect(4), p))
        return;
    const HoverIntent::Phase phase
        = m_intent.update({ p, now(), !geometryRejects(p), isSuppressed ? isSuppressed() : false });
    apply(phase, now());
}

void NotchDisplayController::apply(HoverIntent::Phase phase, double t)
{
    if (phase != m_lastLoggedPhase) {
        m_lastLoggedPhase = phase;
        Diagnostics::log(Diagnostics::Category::hover, [&] { return m_key.rawValue + u' ' + rawValue(phase); });
    }
    // A surface opened by command is the user's to visit: approaching it, passing over it or
    // leaving it before any visit does not close it. It closes by leaving after a visit, by its
    // auto-close delay or by a command (tick() and collapse()).
    const bool heldByCommand = m_openedProgrammatically && m_presentation.surface().is(Kind::expanded);
    if (!heldByCommand || phase == HoverIntent::Phase::engaged)
        m_presentation.setHover(phase, t);
    syncSurface();
    if (phase != HoverIntent::Phase::away)
        scheduleClock();
}

void NotchDisplayController::scheduleClock()
{
    m_clock.start();
}

void NotchDisplayController::tick()
{
    const double t = now();
    m_presentation.tick(t);

    if (m_openedProgrammatically && m_model->isExpanded()) {
        const QPointF p = pointer();
        if (!geometryRejects(p)) {
            m_pointerHasVisited = true;
            m_lastInteraction = t;
        } else if (m_pointerHasVisited) {
            collapse();
            return;
        } else if (autoCloseAfter > 0 && t - m_lastInteraction > autoCloseAfter) {
            collapse();
            return;
        }
    }

    if (m_intent.phase() != HoverIntent::Phase::away) {
        const QPointF p = pointer();
        const HoverIntent::Phase phase
            = m_intent.update({ p, t, !geometryRejects(p), isSuppressed ? isSuppressed() : false });
        apply(phase, t);
    }

    syncSurface();

    if (!m_presentation.needsClock() && m_intent.phase() == HoverIntent::Phase::away && !m_openedProgrammatically)
        m_clock.stop();
}

void NotchDisplayController::syncSurface()
{
    const bool wasDormant = m_model->isHidden();
    const Kind previous = m_model->surface().kind();
    const Presentation::Surface& surface = m_presentation.surface();
    if (!(surface == m_model->surface())) {
        Diagnostics::log(Diagnostics::Category::surface, [&] {
            return m_key.rawValue + u' ' + m_model->surface().traceDescription() + QStringLiteral(" -> ")
                + surface.traceDescription();
        });
    }
    m_model->setSurface(surface);

    const bool expanded = m_model->isExpanded();
    m_panel->setIgnoresMouseEvents(expanded ? m_isReceivingDrag : true);

    if (expanded && previous != Kind::expanded) {
        m_panel->orderAbove(m_probe.get());
        if (Diagnostics::isEnabled()) {
            if (const auto region = m_hosting->interactiveRegion ? m_hosting->interactiveRegion() : std::nullopt) {
                const QSizeF panelSize = panelFrame().size();
                Diagnostics::log(Diagnostics::Category::surface, [&] {
                    return QStringLiteral("clickable region %1,%2 %3x%4 in panel %5x%6")
                        .arg(int(std::trunc(region->x())))
                        .arg(int(std::trunc(region->y())))
                        .arg(int(std::trunc(region->width())))
                        .arg(int(std::trunc(region->height())))
                        .arg(int(std::trunc(panelSize.width())))
                        .arg(int(std::trunc(panelSize.height())));
                });
            }
        }
    }

    if (m_model->isHidden())
        m_probe->setFrame(m_geometry.trackingRect(probeSlop), false);
    else
        m_probe->track(grown(visibleRect(), probeSlop));

    if (!expanded)
        m_openedProgrammatically = false;

    const bool isShowing = !surface.is(Kind::dormant);
    if (isShowing == wasDormant && onVisibilityChange)
        onVisibilityChange(isShowing);

    if ((expanded && previous != Kind::expanded) || (!expanded && previous == Kind::expanded)) {
        if (onExpandedChange)
            onExpandedChange(expanded);
    }

    updateProbeReach();
    m_panel->refreshInputShape();

    if (m_presentation.needsClock())
        scheduleClock();
}

void NotchDisplayController::followOutline()
{
    // Without a compositor the windows exist only where the outline is drawn.
    if (NotchPanel::translucencyAvailable())
        return;
    // Traced in device pixels: on a scaled screen a clip in points would cut the curves in steps
    // of two or more pixels.
    const bool visible = m_view->currentOpacity() > 0.01;
    const double ratio = m_panel->devicePixelRatioF();
    const QRegion outline = visible
        ? QRegion(QTransform::fromScale(ratio, ratio).map(m_view->outlinePath()).toFillPolygon().toPolygon())
        : QRegion();
    m_panel->setOpaqueClip(outline);
    // The probe's own frame, in the panel's pixel coordinates, shares the same clip.
    const QRectF probeQt = screen_space::toQt(m_probe->frame());
    const QRectF panelQt = screen_space::toQt(m_panel->frame());
    m_probe->setOpaqueClip(outline.translated(
        int(std::round((panelQt.x() - probeQt.x()) * ratio)), int(std::round((panelQt.y() - probeQt.y()) * ratio))));
}

} // namespace nimbra
