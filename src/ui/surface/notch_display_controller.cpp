#include "ui/surface/notch_display_controller.h"

#include "core/diagnostics.h"
#include "core/rect_math.h"
#include "core/uptime.h"
#include "platform/screen_space.h"
#include "ui/surface/hover_probe_window.h"
#include "ui/surface/notch_panel.h"
#include "ui/surface/notch_surface_view.h"

#include <QApplication>
#include <QCursor>
#include <QPointer>
#include <cmath>

namespace nimbra {

namespace {

using Kind = Presentation::Surface::Kind;

QRectF grown(const QRectF& r, double by) { return QRectF(r.x() - by, r.y() - by, r.width() + 2 * by, r.height() + 2 * by); }

// Containment in model space, edges included the way the outline's own edges are.
bool contains(const QRectF& r, QPointF p) { return p.x() >= minX(r) && p.x() <= maxX(r) && p.y() >= minY(r) && p.y() <= maxY(r); }

Presentation::Configuration presentationConfiguration() { return Presentation::Configuration(0.12, 4, 8.0); }

} // namespace

NotchDisplayController::NotchDisplayController(const DisplayKey& key, const NotchGeometry& geometry,
    NotchSurfaceModel::Content content, const HoverIntent::Configuration& hoverConfiguration, const LayoutMetrics& layout,
    Clock clock, Pointer pointer)
    : key_(key)
    , geometry_(geometry)
    , layout_(layout)
    , clockSource_(std::move(clock))
    , pointerSource_(std::move(pointer))
    , intent_(hoverConfiguration)
    , presentation_(presentationConfiguration())
{
    model_ = new NotchSurfaceModel(geometry_, std::move(content), this);
    model_->setLayout(layout_);

    probe_ = std::make_unique<HoverProbeWindow>(geometry_, probeSlop);
    probe_->setObjectName(QStringLiteral("nimbra-probe-") + key_.rawValue);
    panel_ = std::make_unique<NotchPanel>(panelFrame());
    panel_->setObjectName(QStringLiteral("nimbra-panel-") + key_.rawValue);

    hosting_ = new PassthroughHostingView;
    view_ = new NotchSurfaceView(model_);
    if (clockSource_)
        view_->clock = clockSource_;
    hosting_->setRootView(view_);
    panel_->setContentView(hosting_);
    panel_->setIgnoresMouseEvents(true);

    QPointer<NotchDisplayController> self(this);
    hosting_->interactiveRegion = [self]() -> std::optional<QRectF> {
        if (!self || !self->model_->isExpanded())
            return std::nullopt;
        const QSizeF visible = self->model_->outerSize();
        const QSizeF panelSize = self->panelFrame().size();
        return QRectF((panelSize.width() - visible.width()) / 2, panelSize.height() - visible.height(),
            visible.width(), visible.height());
    };
    view_->onOutlineChange = [self] {
        if (self)
            self->followOutline();
    };

    panel_->orderFront();
    panel_->orderAbove(probe_.get());

    probe_->probeView()->pointer = [self] { return self ? self->pointer() : QPointF(); };
    probe_->onSample() = [self](QPointF location, bool inside) {
        if (self)
            self->handleSample(location, inside);
    };
    probe_->setActive(!(geometry_.kind() == NotchGeometry::Kind::synthesized && model_->isHidden()));

    clock_.setTimerType(Qt::PreciseTimer);
    clock_.setInterval(int(std::lround(clockInterval * 1000)));
    connect(&clock_, &QTimer::timeout, this, [this] { tick(); });

    resyncPointer();
}

NotchDisplayController::~NotchDisplayController()
{
    clock_.stop();
    // The view's callbacks point back here; the windows go first.
    view_->onOutlineChange = nullptr;
    panel_.reset();
    probe_.reset();
}

double NotchDisplayController::now() const { return clockSource_ ? clockSource_() : uptime(); }

QPointF NotchDisplayController::pointer() const
{
    return pointerSource_ ? pointerSource_() : screen_space::toModel(QPointF(QCursor::pos()));
}

QRectF NotchDisplayController::panelFrame() const
{
    const QSizeF size = layout_.panelSize(geometry_.anchorRect().width());
    return geometry_.expandedFrame(size.width(), size.height());
}

QRectF NotchDisplayController::visibleRect() const
{
    const QSizeF visible = model_->outerSize();
    const QRectF frame = panelFrame();
    return QRectF(midX(frame) - visible.width() / 2, maxY(frame) - visible.height(), visible.width(), visible.height());
}

bool NotchDisplayController::isShowingSurface() const { return !presentation_.surface().is(Kind::dormant); }
bool NotchDisplayController::isExpandedSurface() const { return model_->isExpanded(); }

std::function<bool(const QList<QUrl>&)>& NotchDisplayController::onDropFiles() { return probe_->onDropFiles(); }
std::function<void(bool)>& NotchDisplayController::onDragHover() { return probe_->onDragHover(); }

void NotchDisplayController::setReceivingDrag(bool receiving)
{
    if (receiving == isReceivingDrag_)
        return;
    isReceivingDrag_ = receiving;
    panel_->setIgnoresMouseEvents(!model_->isExpanded() ? true : isReceivingDrag_);
}

void NotchDisplayController::present(const Activity& activity)
{
    presentation_.present(activity, now());
    syncSurface();
}

void NotchDisplayController::setResident(const std::optional<ModuleID>& module)
{
    presentation_.setResident(module, now());
    syncSurface();
}

void NotchDisplayController::setFocus(const std::optional<ModuleID>& module) { presentation_.setFocus(module); }

void NotchDisplayController::open(const ModuleID& module, bool takingKey)
{
    const double t = now();
    presentation_.open(module);
    openedProgrammatically_ = true;
    pointerHasVisited_ = false;
    lastInteraction_ = t;
    syncSurface();
    if (takingKey)
        setWantsKeyboard(true);
    scheduleClock();
}

void NotchDisplayController::collapse()
{
    presentation_.dismiss(now());
    intent_.cancel();
    openedProgrammatically_ = false;
    pointerHasVisited_ = false;
    if (panel_->allowsKey()) {
        panel_->setAllowsKey(false);
        panel_->resignKey();
    }
    syncSurface();
    if (onDismiss)
        onDismiss();
}

void NotchDisplayController::refreshContent() { model_->incrementContentRevision(); }

void NotchDisplayController::setTheme(const NotchTheme& theme)
{
    if (!(theme == model_->theme()))
        model_->setTheme(theme);
}

void NotchDisplayController::setHoverConfiguration(const HoverIntent::Configuration& configuration)
{
    intent_.setConfiguration(configuration);
}

void NotchDisplayController::setLayout(const LayoutMetrics& layout)
{
    if (layout == layout_)
        return;
    layout_ = layout;
    model_->setLayout(layout);
    panel_->setFrame(panelFrame(), true);
    panel_->refreshInputShape();
}

void NotchDisplayController::update(const NotchGeometry& geometry)
{
    if (geometry == geometry_)
        return;
    geometry_ = geometry;
    model_->setGeometry(geometry);
    probe_->update(geometry_, probeSlop);
    panel_->setFrame(panelFrame(), true);
    panel_->refreshInputShape();
    resyncPointer();
}

void NotchDisplayController::setEnabled(bool enabled)
{
    isEnabled_ = enabled;
    if (!enabled) {
        intent_.cancel();
        presentation_.setHover(HoverIntent::Phase::away, now());
        syncSurface();
        probe_->orderOut();
        panel_->orderOut();
    } else {
        probe_->orderFront();
        panel_->orderFront();
        resyncPointer();
    }
}

void NotchDisplayController::setWantsKeyboard(bool wants)
{
    if (wants == panel_->allowsKey())
        return;
    panel_->setAllowsKey(wants);
    if (wants && model_->isExpanded()) {
        panel_->makeKeyAndOrderFront();
        if (Diagnostics::isEnabled()) {
            QPointer<NotchDisplayController> self(this);
            QTimer::singleShot(0, this, [self] {
                if (!self)
                    return;
                Diagnostics::log(Diagnostics::Category::clipboard, [&] {
                    return QStringLiteral("panel key=%1 active=%2")
                        .arg(self->panel_->isKeyWindow() ? u"true" : u"false")
                        .arg(QApplication::activeWindow() ? u"true" : u"false");
                });
            });
        }
    } else if (!wants) {
        panel_->resignKey();
    }
}

void NotchDisplayController::noteInteraction() { lastInteraction_ = now(); }

void NotchDisplayController::handBackToHover()
{
    openedProgrammatically_ = false;
    pointerHasVisited_ = false;
    resyncPointer();
    scheduleClock();
}

void NotchDisplayController::tearDown()
{
    clock_.stop();
    probe_->orderOut();
    panel_->orderOut();
}

bool NotchDisplayController::geometryRejects(QPointF p) const
{
    const QRectF target = model_->isHidden() ? grown(geometry_.anchorRect(), 2) : grown(visibleRect(), 6);
    return !contains(target, p);
}

void NotchDisplayController::handleSample(QPointF location, bool inside)
{
    if (!isEnabled_)
        return;
    const double t = now();
    const bool isInside = inside && !geometryRejects(location);
    const HoverIntent::Phase phase = intent_.update({ location, t, isInside, isSuppressed ? isSuppressed() : false });
    apply(phase, t);
}

void NotchDisplayController::resyncPointer()
{
    const QPointF p = pointer();
    if (!contains(geometry_.trackingRect(4), p))
        return;
    const HoverIntent::Phase phase
        = intent_.update({ p, now(), !geometryRejects(p), isSuppressed ? isSuppressed() : false });
    apply(phase, now());
}

void NotchDisplayController::apply(HoverIntent::Phase phase, double t)
{
    if (phase != lastLoggedPhase_) {
        lastLoggedPhase_ = phase;
        Diagnostics::log(Diagnostics::Category::hover, [&] { return key_.rawValue + u' ' + rawValue(phase); });
    }
    presentation_.setHover(phase, t);
    syncSurface();
    if (phase != HoverIntent::Phase::away)
        scheduleClock();
}

void NotchDisplayController::scheduleClock()
{
    if (!clock_.isActive())
        clock_.start();
}

void NotchDisplayController::tick()
{
    const double t = now();
    presentation_.tick(t);

    if (openedProgrammatically_ && model_->isExpanded()) {
        const QPointF p = pointer();
        if (!geometryRejects(p)) {
            pointerHasVisited_ = true;
            lastInteraction_ = t;
        } else if (pointerHasVisited_) {
            collapse();
            return;
        } else if (autoCloseAfter > 0 && t - lastInteraction_ > autoCloseAfter) {
            collapse();
            return;
        }
    }

    if (intent_.phase() != HoverIntent::Phase::away) {
        const QPointF p = pointer();
        const HoverIntent::Phase phase
            = intent_.update({ p, t, !geometryRejects(p), isSuppressed ? isSuppressed() : false });
        apply(phase, t);
    }

    syncSurface();

    if (!presentation_.needsClock() && intent_.phase() == HoverIntent::Phase::away && !openedProgrammatically_)
        clock_.stop();
}

void NotchDisplayController::syncSurface()
{
    const bool wasDormant = model_->isHidden();
    const Kind previous = model_->surface().kind();
    const Presentation::Surface& surface = presentation_.surface();
    if (!(surface == model_->surface())) {
        Diagnostics::log(Diagnostics::Category::surface, [&] {
            return key_.rawValue + u' ' + model_->surface().traceDescription() + QStringLiteral(" -> ")
                + surface.traceDescription();
        });
    }
    model_->setSurface(surface);

    const bool expanded = model_->isExpanded();
    panel_->setIgnoresMouseEvents(expanded ? isReceivingDrag_ : true);

    if (expanded && previous != Kind::expanded) {
        panel_->orderAbove(probe_.get());
        if (Diagnostics::isEnabled()) {
            if (const auto region = hosting_->interactiveRegion ? hosting_->interactiveRegion() : std::nullopt) {
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

    if (model_->isHidden())
        probe_->setFrame(geometry_.trackingRect(probeSlop), false);
    else
        probe_->track(grown(visibleRect(), probeSlop));

    if (!expanded)
        openedProgrammatically_ = false;

    const bool isShowing = !surface.is(Kind::dormant);
    if (isShowing == wasDormant && onVisibilityChange)
        onVisibilityChange(isShowing);

    if ((expanded && previous != Kind::expanded) || (!expanded && previous == Kind::expanded)) {
        if (onExpandedChange)
            onExpandedChange(expanded);
    }

    probe_->setActive(!(geometry_.kind() == NotchGeometry::Kind::synthesized && model_->isHidden()));
    panel_->refreshInputShape();

    if (presentation_.needsClock())
        scheduleClock();
}

void NotchDisplayController::followOutline()
{
    // Without a compositor the windows exist only where the outline is drawn.
    if (NotchPanel::translucencyAvailable())
        return;
    const bool visible = view_->currentOpacity() > 0.01;
    const QRegion outline = visible ? QRegion(view_->outlinePath().toFillPolygon().toPolygon()) : QRegion();
    panel_->setOpaqueClip(outline);
    // The probe's own frame, in the panel's pixel coordinates, shares the same clip.
    const QRectF probeQt = screen_space::toQt(probe_->frame());
    const QRectF panelQt = screen_space::toQt(panel_->frame());
    probe_->setOpaqueClip(outline.translated(int(std::round(panelQt.x() - probeQt.x())), int(std::round(panelQt.y() - probeQt.y()))));
}

} // namespace nimbra
