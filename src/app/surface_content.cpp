#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "core/diagnostics.h"
#include "modules/level/system_level_monitor.h"
#include "modules/level/system_level_view.h"
#include "modules/power/charge_activity_view.h"
#include "modules/power/device_battery_monitor.h"
#include "modules/power/power_monitor.h"
#include "modules/shell/expanded_shell.h"
#include "modules/shell/settings_surface.h"
#include "modules/shell/status_surface.h"
#include "ui/surface/surface_metrics.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QPointer>
#include <QWidget>

namespace nimbra {

QList<NotchSurfaceTab> AppDelegate::liveTabs() const
{
    // Music (while a track exists), clipboard and shelf (while switched on) and timer come
    // first, in this order, with their features.
    return { NotchSurfaceTab::status, NotchSurfaceTab::settings };
}

QWidget* AppDelegate::view(const Presentation::Surface& surface, const SurfaceContext& context)
{
    const SurfaceMetrics metrics = context.metrics();
    switch (surface.kind()) {
    case Presentation::Surface::Kind::dormant:
        break;
    case Presentation::Surface::Kind::expanded: {
        const QList<NotchSurfaceTab> tabs = liveTabs();
        // A selection that is not live right now is kept, and shown as status meanwhile.
        const NotchSurfaceTab selection = tabs.contains(m_tab) ? m_tab : NotchSurfaceTab::status;
        QPointer<AppDelegate> self(this);
        return new ExpandedShell(
            metrics, selection, tabs,
            [self](NotchSurfaceTab tab) {
                if (self)
                    self->selectTab(tab);
            },
            expandedSurface(context));
    }
    case Presentation::Surface::Kind::resident:
        // The running-timer and now-playing readouts join here with their features.
        break;
    case Presentation::Surface::Kind::activity:
        if (const auto& activity = surface.shownActivity())
            return activityView(*activity, metrics);
        break;
    }
    return new QWidget;
}

QWidget* AppDelegate::activityView(const Activity& activity, const SurfaceMetrics& metrics)
{
    if (activity.module == SystemLevelMonitor::moduleID) {
        // The reading the activity was made for; once trimmed from the cache, the latest one.
        std::optional<SystemLevel> level = m_router.currentLevel();
        if (const ActivityPayload* payload = m_router.payload(activity.token)) {
            if (const auto* reading = std::get_if<SystemLevel>(payload))
                level = *reading;
        }
        if (level)
            return new SystemLevelView(*level, metrics);
    }
    if (activity.module == PowerMonitor::moduleID) {
        // The event and reading the readout was made for; once trimmed, the last kind with the
        // current reading.
        if (const ActivityPayload* payload = m_router.payload(activity.token)) {
            if (const auto* charge = std::get_if<ChargePayload>(payload))
                return new ChargeActivityView(charge->kind, charge->snapshot, metrics);
        }
        if (const std::optional<PowerSnapshot>& snapshot = m_power->snapshot())
            return new ChargeActivityView(m_router.chargeKind(), *snapshot, metrics);
    }
    // Player and finished-timer readouts join here with their sources.
    return new QWidget;
}

bool AppDelegate::adoptContent(QWidget* current, QWidget* fresh)
{
    auto* shown = qobject_cast<SystemLevelView*>(current);
    const auto* next = qobject_cast<SystemLevelView*>(fresh);
    if (!shown || !next || shown->level().kind != next->level().kind || !(shown->metrics() == next->metrics()))
        return false;
    shown->setLevel(next->level());
    return true;
}

QWidget* AppDelegate::expandedSurface(const SurfaceContext& context)
{
    const SurfaceMetrics metrics = context.metrics();
    const NotchSurfaceTab shown = liveTabs().contains(m_tab) ? m_tab : NotchSurfaceTab::status;
    if (shown == NotchSurfaceTab::settings) {
        return new SettingsSurface(
            metrics,
            [] {
                // Shows the settings window once it exists.
            },
            [] { QCoreApplication::quit(); });
    }
    m_clockTick.start(msecsToNextMinute(QTime::currentTime()));
    return new StatusSurface(m_power->snapshot(), QDateTime::currentDateTime(),
        m_levels->read(SystemLevel::Kind::volume), m_accessories->batteries(), metrics);
}

int AppDelegate::msecsToNextMinute(const QTime& now)
{
    // A little past the turn, so that the rebuilt clock reads the new minute.
    constexpr int margin = 20;
    return 60'000 - (now.msecsSinceStartOfDay() % 60'000) + margin;
}

void AppDelegate::clockTicked()
{
    const bool statusShown = !liveTabs().contains(m_tab) || m_tab == NotchSurfaceTab::status;
    if (m_coordinator && m_coordinator->isAnythingExpanded() && statusShown)
        m_coordinator->refreshContent();
}

void AppDelegate::selectTab(NotchSurfaceTab tab)
{
    Diagnostics::log(Diagnostics::Category::surface, [&] { return "nav -> " + rawValue(tab); });
    m_tab = tab;
    // The clipboard's selection is normalised here with the clipboard.
    if (!m_coordinator)
        return;
    m_coordinator->setWantsKeyboard(tab == NotchSurfaceTab::clipboard);
    m_coordinator->refreshContent();
}

} // namespace nimbra
