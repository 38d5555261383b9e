#pragma once

#include "core/activity.h"
#include "core/hover_intent.h"
#include "core/notch_geometry.h"
#include "core/presentation.h"
#include "ui/surface/notch_display_controller.h"
#include "ui/surface/notch_theme.h"

#include <QList>
#include <QObject>
#include <QPointF>
#include <QUrl>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class QScreen;
class QWidget;
class QWindow;

namespace nimbra {

class X11InputBridge;
namespace x11 {
class ScreenChanges;
}

// Keeps one notch controller per connected display, keyed by its DisplayKey, and is the
// shell's only way to reach the notch surfaces: every request is fanned out to all
// controllers, and their visibility and expanded states come back folded into one flag each.
// Screen additions, removals and geometry changes, and the X server's own word of a new screen
// layout, are coalesced into one rebuild per turn of the event loop.
class DisplayCoordinator : public QObject {
    Q_OBJECT
public:
    using Content = NotchSurfaceModel::Content;

    // `input`, when given, outlives the coordinator's notches (stop() ends them).
    explicit DisplayCoordinator(Content content, X11InputBridge* input = nullptr, QObject* parent = nullptr);
    ~DisplayCoordinator() override;

    void start();
    void stop();

    void present(const Activity& activity);
    void setResident(const std::optional<ModuleID>& module);
    void setFocus(const std::optional<ModuleID>& module);
    void setHoverConfiguration(const HoverIntent::Configuration& configuration);
    void setTheme(const NotchTheme& theme);
    void setLayout(const LayoutMetrics& layout);
    void setWantsKeyboard(bool wants);
    // Whether `window` is the panel of a notch that has given the keyboard back itself (another
    // tab was chosen, or its surface closed): Nimbra losing the focus from there is that notch's
    // own doing, not the user going to another application.
    bool gaveKeyboardBack(const QWindow* window) const;
    void setReceivingDrag(bool receiving);
    void noteInteraction();
    void handBackToHover();
    void collapse();
    void refreshContent();
    // Enables the built-in display's controller only, or every controller. Never rebuilds.
    void setBuiltInOnly(bool builtInOnly);
    // Opens the expanded surface on one enabled display: the one under the pointer, else the
    // built-in one, else the first. Nothing opens when no display is enabled.
    void open(const ModuleID& module, bool takingKey);

    void setAutoCloseAfter(double seconds);
    double autoCloseAfter() const { return m_autoCloseAfter; }
    void setOnDropFiles(std::function<bool(const QList<QUrl>&)> callback);
    void setOnDragHover(std::function<void(bool)> callback);

    std::function<void(bool)> onVisibilityChange;
    std::function<void(bool)> onExpandedChange;
    // Handed to the surface view of every notch created from now on (NotchSurfaceView::adoptContent).
    std::function<bool(QWidget* current, QWidget* fresh)> adoptContent;

    // "notch 180×32pt, pill 120×24pt": one text per display, sorted.
    QString summary() const;

    const std::map<QString, std::unique_ptr<NotchDisplayController>>& controllers() const { return m_controllers; }
    std::optional<DisplayKey> builtInKey() const { return m_builtInKey; }
    bool isAnythingVisible() const { return m_isAnythingVisible; }
    bool isAnythingExpanded() const { return m_isAnythingExpanded; }
    // Rebuilds run so far (each coalesces all the screen changes of one event-loop turn).
    int rebuildCount() const { return m_rebuildCount; }

private:
    void scheduleRebuild();
    void watchScreen(QScreen* screen);
    void rebuild();
    void applySelection();
    void syncVisibility();
    void syncExpanded();

    Content m_content;
    X11InputBridge* m_input = nullptr;
    std::unique_ptr<x11::ScreenChanges> m_screenChanges;
    std::map<QString, std::unique_ptr<NotchDisplayController>> m_controllers;
    std::optional<ModuleID> m_pendingFocus;
    HoverIntent::Configuration m_hoverConfiguration = HoverIntent::Configuration::standard();
    LayoutMetrics m_layout = LayoutMetrics::defaults();
    NotchTheme m_theme = NotchTheme::dark();
    bool m_builtInOnly = true;
    std::optional<DisplayKey> m_builtInKey;
    bool m_isAnythingVisible = false;
    bool m_isAnythingExpanded = false;
    std::function<bool(const QList<QUrl>&)> m_onDropFiles;
    std::function<void(bool)> m_onDragHover;
    double m_autoCloseAfter = 0;
    bool m_started = false;
    bool m_rebuildQueued = false;
    int m_rebuildCount = 0;
};

} // namespace nimbra
