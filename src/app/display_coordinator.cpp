#include "app/display_coordinator.h"

#include "app/display_selection.h"
#include "core/diagnostics.h"
#include "platform/x11/screen_changes.h"
#include "platform/x11/screens.h"
#include "ui/surface/notch_panel.h"
#include "ui/surface/notch_surface_view.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <set>

namespace nimbra {

namespace {
QString sizeText(const QRectF& rect, const QString& times)
{
    return QString::number(int(rect.width())) + times + QString::number(int(rect.height())) + "px";
}
} // namespace

DisplayCoordinator::DisplayCoordinator(Content content, X11InputBridge* input, QObject* parent)
    : QObject(parent)
    , m_content(std::move(content))
    , m_input(input)
{
}

DisplayCoordinator::~DisplayCoordinator()
{
    stop();
}

void DisplayCoordinator::start()
{
    if (m_started)
        return;
    m_started = true;
    rebuild();
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app)
        return;
    connect(app, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
        watchScreen(screen);
        scheduleRebuild();
    });
    connect(app, &QGuiApplication::screenRemoved, this, &DisplayCoordinator::scheduleRebuild);
    // Model geometry is measured from the primary screen, so a new primary moves every notch.
    connect(app, &QGuiApplication::primaryScreenChanged, this, &DisplayCoordinator::scheduleRebuild);
    // When the last monitor goes, Qt keeps its screen as a stand-in and says nothing.
    m_screenChanges = std::make_unique<x11::ScreenChanges>([this] { scheduleRebuild(); });
    for (QScreen* screen : QGuiApplication::screens())
        watchScreen(screen);
}

void DisplayCoordinator::watchScreen(QScreen* screen)
{
    connect(screen, &QScreen::geometryChanged, this, &DisplayCoordinator::scheduleRebuild, Qt::UniqueConnection);
    connect(
        screen, &QScreen::availableGeometryChanged, this, &DisplayCoordinator::scheduleRebuild, Qt::UniqueConnection);
}

void DisplayCoordinator::stop()
{
    if (m_started) {
        m_started = false;
        m_screenChanges.reset();
        if (auto* app = QCoreApplication::instance())
            disconnect(app, nullptr, this, nullptr);
        for (QScreen* screen : QGuiApplication::screens())
            disconnect(screen, nullptr, this, nullptr);
    }
    for (auto& [key, controller] : m_controllers)
        controller->tearDown();
    m_controllers.clear();
}

void DisplayCoordinator::scheduleRebuild()
{
    if (!m_started || m_rebuildQueued)
        return;
    m_rebuildQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_rebuildQueued = false;
            if (m_started)
                rebuild();
        },
        Qt::QueuedConnection);
}

void DisplayCoordinator::rebuild()
{
    ++m_rebuildCount;
    // A desktop without a laptop panel shows the notch on its primary display.
    QScreen* builtIn = nimbraMainDisplay();
    m_builtInKey = builtIn ? nimbraKey(builtIn) : std::nullopt;

    std::set<QString> seen;
    for (QScreen* screen : QGuiApplication::screens()) {
        const std::optional<DisplayKey> key = nimbraKey(screen);
        if (!key)
            continue;
        seen.insert(key->rawValue);
        const NotchGeometry geometry = nimbraGeometry(screen);
        if (const auto found = m_controllers.find(key->rawValue); found != m_controllers.end()) {
            found->second->update(geometry);
            continue;
        }
        Diagnostics::log(Diagnostics::Category::display, [&] {
            const QString kind = geometry.kind() == NotchGeometry::Kind::hardware ? "hardware" : "synthesized";
            return "+ " + key->rawValue + " " + kind + " " + sizeText(geometry.anchorRect(), "x");
        });
        auto controller = std::make_unique<NotchDisplayController>(*key, geometry, m_content, m_hoverConfiguration,
            m_layout, NotchDisplayController::Clock {}, NotchDisplayController::Pointer {},
            isDisplaySelected(*key, m_builtInOnly, m_builtInKey), m_input);
        controller->view()->adoptContent = adoptContent;
        controller->setFocus(m_pendingFocus);
        controller->setTheme(m_theme);
        controller->onVisibilityChange = [this](bool) { syncVisibility(); };
        controller->onExpandedChange = [this](bool) { syncExpanded(); };
        controller->autoCloseAfter = m_autoCloseAfter;
        controller->onDropFiles() = m_onDropFiles;
        controller->onDragHover() = m_onDragHover;
        m_controllers.emplace(key->rawValue, std::move(controller));
    }

    for (auto it = m_controllers.begin(); it != m_controllers.end();) {
        if (seen.count(it->first)) {
            ++it;
            continue;
        }
        Diagnostics::log(Diagnostics::Category::display, [&] { return "- " + it->first; });
        it->second->tearDown();
        it = m_controllers.erase(it);
    }

    applySelection();
    syncVisibility();
    // A surface open on a display that went away closed with it.
    syncExpanded();
}

void DisplayCoordinator::applySelection()
{
    for (auto& [key, controller] : m_controllers)
        controller->setEnabled(isDisplaySelected(DisplayKey { key }, m_builtInOnly, m_builtInKey));
}

void DisplayCoordinator::setBuiltInOnly(bool builtInOnly)
{
    m_builtInOnly = builtInOnly;
    applySelection();
    syncVisibility();
}

void DisplayCoordinator::open(const ModuleID& module, bool takingKey)
{
    std::vector<DisplayKey> enabled;
    for (const auto& [key, controller] : m_controllers) {
        if (controller->isEnabled())
            enabled.push_back(DisplayKey { key });
    }
    std::optional<DisplayKey> underPointer;
    if (QScreen* screen = QGuiApplication::screenAt(QCursor::pos()))
        underPointer = nimbraKey(screen);
    const std::optional<DisplayKey> target = openTarget(enabled, underPointer, m_builtInKey);
    if (!target)
        return;
    m_controllers.at(target->rawValue)->open(module, takingKey);
}

void DisplayCoordinator::present(const Activity& activity)
{
    for (auto& [key, controller] : m_controllers)
        controller->present(activity);
}

void DisplayCoordinator::setResident(const std::optional<ModuleID>& module)
{
    for (auto& [key, controller] : m_controllers)
        controller->setResident(module);
}

void DisplayCoordinator::setFocus(const std::optional<ModuleID>& module)
{
    m_pendingFocus = module;
    for (auto& [key, controller] : m_controllers)
        controller->setFocus(module);
}

void DisplayCoordinator::setHoverConfiguration(const HoverIntent::Configuration& configuration)
{
    m_hoverConfiguration = configuration;
    for (auto& [key, controller] : m_controllers)
        controller->setHoverConfiguration(configuration);
}

void DisplayCoordinator::setTheme(const NotchTheme& theme)
{
    m_theme = theme;
    for (auto& [key, controller] : m_controllers)
        controller->setTheme(theme);
}

void DisplayCoordinator::setLayout(const LayoutMetrics& layout)
{
    m_layout = layout;
    for (auto& [key, controller] : m_controllers)
        controller->setLayout(layout);
}

void DisplayCoordinator::setWantsKeyboard(bool wants)
{
    for (auto& [key, controller] : m_controllers)
        controller->setWantsKeyboard(wants);
}

bool DisplayCoordinator::gaveKeyboardBack(const QWindow* window) const
{
    if (!window)
        return false;
    for (const auto& [key, controller] : m_controllers) {
        if (controller->panel()->windowHandle() == window)
            return !controller->panel()->allowsKey();
    }
    return false;
}

void DisplayCoordinator::setReceivingDrag(bool receiving)
{
    for (auto& [key, controller] : m_controllers)
        controller->setReceivingDrag(receiving);
}

void DisplayCoordinator::noteInteraction()
{
    for (auto& [key, controller] : m_controllers)
        controller->noteInteraction();
}

void DisplayCoordinator::handBackToHover()
{
    for (auto& [key, controller] : m_controllers)
        controller->handBackToHover();
}

void DisplayCoordinator::collapse()
{
    for (auto& [key, controller] : m_controllers)
        controller->collapse();
}

void DisplayCoordinator::refreshContent()
{
    for (auto& [key, controller] : m_controllers)
        controller->refreshContent();
}

void DisplayCoordinator::setAutoCloseAfter(double seconds)
{
    m_autoCloseAfter = seconds;
    for (auto& [key, controller] : m_controllers)
        controller->autoCloseAfter = seconds;
}

void DisplayCoordinator::setOnDropFiles(std::function<bool(const QList<QUrl>&)> callback)
{
    m_onDropFiles = std::move(callback);
    for (auto& [key, controller] : m_controllers)
        controller->onDropFiles() = m_onDropFiles;
}

void DisplayCoordinator::setOnDragHover(std::function<void(bool)> callback)
{
    m_onDragHover = std::move(callback);
    for (auto& [key, controller] : m_controllers)
        controller->onDragHover() = m_onDragHover;
}

QString DisplayCoordinator::summary() const
{
    QStringList parts;
    for (const auto& [key, controller] : m_controllers) {
        const NotchGeometry& geometry = controller->geometry();
        const QString kind = geometry.kind() == NotchGeometry::Kind::synthesized ? "pill" : "notch";
        parts << kind + " " + sizeText(geometry.anchorRect(), QString(QChar(0x00D7)));
    }
    parts.sort();
    return parts.join(", ");
}

void DisplayCoordinator::syncVisibility()
{
    // A disabled display shows nothing, whatever its presentation holds.
    const bool any = std::any_of(m_controllers.begin(), m_controllers.end(),
        [](const auto& entry) { return entry.second->isEnabled() && entry.second->isShowingSurface(); });
    if (any == m_isAnythingVisible)
        return;
    m_isAnythingVisible = any;
    if (onVisibilityChange)
        onVisibilityChange(any);
}

void DisplayCoordinator::syncExpanded()
{
    const bool any = std::any_of(m_controllers.begin(), m_controllers.end(),
        [](const auto& entry) { return entry.second->isExpandedSurface(); });
    if (any == m_isAnythingExpanded)
        return;
    m_isAnythingExpanded = any;
    if (onExpandedChange)
        onExpandedChange(any);
}

} // namespace nimbra
