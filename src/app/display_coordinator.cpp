#include "app/display_coordinator.h"

#include "app/display_selection.h"
#include "core/diagnostics.h"
#include "platform/x11/screens.h"
#include "ui/surface/notch_surface_view.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <set>

namespace nimbra {

namespace {
QString sizeText(const QRectF& rect, const QString& times)
{
    return QString::number(int(rect.width())) + times + QString::number(int(rect.height())) + "pt";
}
} // namespace

DisplayCoordinator::DisplayCoordinator(Content content, QObject* parent)
    : QObject(parent), content_(std::move(content))
{
}

DisplayCoordinator::~DisplayCoordinator()
{
    stop();
}

void DisplayCoordinator::start()
{
    if (started_)
        return;
    started_ = true;
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
    for (QScreen* screen : QGuiApplication::screens())
        watchScreen(screen);
}

void DisplayCoordinator::watchScreen(QScreen* screen)
{
    connect(screen, &QScreen::geometryChanged, this, &DisplayCoordinator::scheduleRebuild, Qt::UniqueConnection);
    connect(screen, &QScreen::availableGeometryChanged, this, &DisplayCoordinator::scheduleRebuild,
            Qt::UniqueConnection);
}

void DisplayCoordinator::stop()
{
    if (started_) {
        started_ = false;
        if (auto* app = QCoreApplication::instance())
            disconnect(app, nullptr, this, nullptr);
        for (QScreen* screen : QGuiApplication::screens())
            disconnect(screen, nullptr, this, nullptr);
    }
    for (auto& [key, controller] : controllers_)
        controller->tearDown();
    controllers_.clear();
}

void DisplayCoordinator::scheduleRebuild()
{
    if (!started_ || rebuildQueued_)
        return;
    rebuildQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            rebuildQueued_ = false;
            if (started_)
                rebuild();
        },
        Qt::QueuedConnection);
}

void DisplayCoordinator::rebuild()
{
    ++rebuildCount_;
    QScreen* builtIn = nimbraBuiltIn();
    builtInKey_ = builtIn ? nimbraKey(builtIn) : std::nullopt;

    std::set<QString> seen;
    for (QScreen* screen : QGuiApplication::screens()) {
        const std::optional<DisplayKey> key = nimbraKey(screen);
        if (!key)
            continue;
        seen.insert(key->rawValue);
        const NotchGeometry geometry = nimbraGeometry(screen);
        if (const auto found = controllers_.find(key->rawValue); found != controllers_.end()) {
            found->second->update(geometry);
            continue;
        }
        Diagnostics::log(Diagnostics::Category::display, [&] {
            const QString kind = geometry.kind() == NotchGeometry::Kind::hardware ? "hardware" : "synthesized";
            return "+ " + key->rawValue + " " + kind + " " + sizeText(geometry.anchorRect(), "x");
        });
        auto controller = std::make_unique<NotchDisplayController>(*key, geometry, content_, hoverConfiguration_, layout_);
        controller->view()->adoptContent = adoptContent;
        controller->setFocus(pendingFocus_);
        controller->setTheme(theme_);
        controller->onVisibilityChange = [this](bool) { syncVisibility(); };
        controller->onExpandedChange = [this](bool) { syncExpanded(); };
        controller->autoCloseAfter = autoCloseAfter_;
        controller->onDismiss = onDismiss_;
        controller->onDropFiles() = onDropFiles_;
        controller->onDragHover() = onDragHover_;
        controllers_.emplace(key->rawValue, std::move(controller));
    }

    for (auto it = controllers_.begin(); it != controllers_.end();) {
        if (seen.count(it->first)) {
            ++it;
            continue;
        }
        Diagnostics::log(Diagnostics::Category::display, [&] { return "- " + it->first; });
        it->second->tearDown();
        it = controllers_.erase(it);
    }

    applySelection();
    syncVisibility();
}

void DisplayCoordinator::applySelection()
{
    for (auto& [key, controller] : controllers_)
        controller->setEnabled(isDisplaySelected(DisplayKey { key }, builtInOnly_, builtInKey_));
}

void DisplayCoordinator::setBuiltInOnly(bool builtInOnly)
{
    builtInOnly_ = builtInOnly;
    applySelection();
}

void DisplayCoordinator::open(const ModuleID& module, bool takingKey)
{
    std::vector<DisplayKey> enabled;
    for (const auto& [key, controller] : controllers_) {
        if (controller->isEnabled())
            enabled.push_back(DisplayKey { key });
    }
    std::optional<DisplayKey> underPointer;
    if (QScreen* screen = QGuiApplication::screenAt(QCursor::pos()))
        underPointer = nimbraKey(screen);
    const std::optional<DisplayKey> target = openTarget(enabled, underPointer, builtInKey_);
    if (!target)
        return;
    controllers_.at(target->rawValue)->open(module, takingKey);
}

void DisplayCoordinator::present(const Activity& activity)
{
    for (auto& [key, controller] : controllers_)
        controller->present(activity);
}

void DisplayCoordinator::setResident(const std::optional<ModuleID>& module)
{
    for (auto& [key, controller] : controllers_)
        controller->setResident(module);
}

void DisplayCoordinator::setFocus(const std::optional<ModuleID>& module)
{
    pendingFocus_ = module;
    for (auto& [key, controller] : controllers_)
        controller->setFocus(module);
}

void DisplayCoordinator::setHoverConfiguration(const HoverIntent::Configuration& configuration)
{
    hoverConfiguration_ = configuration;
    for (auto& [key, controller] : controllers_)
        controller->setHoverConfiguration(configuration);
}

void DisplayCoordinator::setTheme(const NotchTheme& theme)
{
    theme_ = theme;
    for (auto& [key, controller] : controllers_)
        controller->setTheme(theme);
}

void DisplayCoordinator::setLayout(const LayoutMetrics& layout)
{
    layout_ = layout;
    for (auto& [key, controller] : controllers_)
        controller->setLayout(layout);
}

void DisplayCoordinator::setWantsKeyboard(bool wants)
{
    for (auto& [key, controller] : controllers_)
        controller->setWantsKeyboard(wants);
}

void DisplayCoordinator::setReceivingDrag(bool receiving)
{
    for (auto& [key, controller] : controllers_)
        controller->setReceivingDrag(receiving);
}

void DisplayCoordinator::noteInteraction()
{
    for (auto& [key, controller] : controllers_)
        controller->noteInteraction();
}

void DisplayCoordinator::handBackToHover()
{
    for (auto& [key, controller] : controllers_)
        controller->handBackToHover();
}

void DisplayCoordinator::collapse()
{
    for (auto& [key, controller] : controllers_)
        controller->collapse();
}

void DisplayCoordinator::refreshContent()
{
    for (auto& [key, controller] : controllers_)
        controller->refreshContent();
}

void DisplayCoordinator::setAutoCloseAfter(double seconds)
{
    autoCloseAfter_ = seconds;
    for (auto& [key, controller] : controllers_)
        controller->autoCloseAfter = seconds;
}

void DisplayCoordinator::setOnDismiss(std::function<void()> callback)
{
    onDismiss_ = std::move(callback);
    for (auto& [key, controller] : controllers_)
        controller->onDismiss = onDismiss_;
}

void DisplayCoordinator::setOnDropFiles(std::function<bool(const QList<QUrl>&)> callback)
{
    onDropFiles_ = std::move(callback);
    for (auto& [key, controller] : controllers_)
        controller->onDropFiles() = onDropFiles_;
}

void DisplayCoordinator::setOnDragHover(std::function<void(bool)> callback)
{
    onDragHover_ = std::move(callback);
    for (auto& [key, controller] : controllers_)
        controller->onDragHover() = onDragHover_;
}

QString DisplayCoordinator::summary() const
{
    QStringList parts;
    for (const auto& [key, controller] : controllers_) {
        const NotchGeometry& geometry = controller->geometry();
        const QString kind = geometry.kind() == NotchGeometry::Kind::synthesized ? "pill" : "notch";
        parts << kind + " " + sizeText(geometry.anchorRect(), QString(QChar(0x00D7)));
    }
    parts.sort();
    return parts.join(", ");
}

void DisplayCoordinator::syncVisibility()
{
    const bool any = std::any_of(controllers_.begin(), controllers_.end(),
                                 [](const auto& entry) { return entry.second->isShowingSurface(); });
    if (any == isAnythingVisible_)
        return;
    isAnythingVisible_ = any;
    if (onVisibilityChange)
        onVisibilityChange(any);
}

void DisplayCoordinator::syncExpanded()
{
    const bool any = std::any_of(controllers_.begin(), controllers_.end(),
                                 [](const auto& entry) { return entry.second->isExpandedSurface(); });
    if (any == isAnythingExpanded_)
        return;
    isAnythingExpanded_ = any;
    if (onExpandedChange)
        onExpandedChange(any);
}

} // namespace nimbra
