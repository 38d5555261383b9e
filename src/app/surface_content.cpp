#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "core/clamped.h"
#include "core/diagnostics.h"
#include "core/nimbra_settings.h"
#include "core/uptime.h"
#include "modules/clipboard/clipboard_monitor.h"
#include "modules/clipboard/clipboard_view.h"
#include "modules/level/system_level_monitor.h"
#include "modules/level/system_level_view.h"
#include "modules/now_playing/now_playing_monitor.h"
#include "modules/now_playing/now_playing_views.h"
#include "modules/power/charge_activity_view.h"
#include "modules/power/device_battery_monitor.h"
#include "modules/power/power_monitor.h"
#include "modules/shelf/shelf_view.h"
#include "modules/shell/expanded_shell.h"
#include "modules/shell/settings_surface.h"
#include "modules/shell/status_surface.h"
#include "modules/timers/timer_resident_view.h"
#include "modules/timers/timer_surface_view.h"
#include "platform/process_memory.h"
#include "ui/surface/level_readout.h"
#include "ui/surface/notch_display_controller.h"
#include "ui/surface/notch_surface_view.h"
#include "ui/surface/surface_metrics.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QPointer>
#include <QWidget>

namespace nimbra {

QList<NotchSurfaceTab> AppDelegate::liveTabs() const
{
    // Music while a track exists, the clipboard and the shelf while switched on.
    QList<NotchSurfaceTab> tabs;
    if (m_settings.nowPlayingEnabled() && m_nowPlaying->track())
        tabs << NotchSurfaceTab::music;
    if (m_settings.clipboardEnabled())
        tabs << NotchSurfaceTab::clipboard;
    if (m_settings.shelfEnabled())
        tabs << NotchSurfaceTab::shelf;
    tabs << NotchSurfaceTab::timer << NotchSurfaceTab::status << NotchSurfaceTab::settings;
    return tabs;
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
        if (surface.module() == TimerResident::moduleID)
            return timerResidentView(metrics);
        if (surface.module() == NowPlayingMonitor::moduleID && m_nowPlaying->track())
            return new NowPlayingActivityView(*m_nowPlaying->track(), m_artwork, metrics, std::nullopt);
        break;
    case Presentation::Surface::Kind::activity:
        if (const auto& activity = surface.shownActivity())
            return activityView(*activity, metrics);
        break;
    }
    return new QWidget;
}

void AppDelegate::prepareReadouts()
{
    if (!m_coordinator || m_coordinator->controllers().empty())
        return;
    const double started = uptime();
    const std::optional<ResidentMemory> before = Diagnostics::isEnabled() ? residentMemory() : std::nullopt;
    // The caches these warm are the process's own, so one display's view serves them all.
    NotchDisplayController& notch = *m_coordinator->controllers().begin()->second;
    const Presentation::Surface readout
        = Presentation::Surface::activity(Activity { SystemLevelMonitor::moduleID, 0, 0, 0, ActivityCategory::volume });
    const SurfaceMetrics metrics = notch.model()->context(readout).metrics();
    using Kind = SystemLevel::Kind;
    const SystemLevel volume = m_levels->read(Kind::volume).value_or(SystemLevel(Kind::volume, 0.5, false, true, {}));
    notch.view()->rehearse(readout, new SystemLevelView(volume, metrics));
    // Every symbol and glyph a level readout draws: the speaker's steps, muted, and brightness.
    for (const SystemLevel& sample : { SystemLevel(Kind::volume, 0.2, false, true, volume.output),
             SystemLevel(Kind::volume, 0.5, false, true, volume.output),
             SystemLevel(Kind::volume, 0.9, false, true, volume.output),
             SystemLevel(Kind::volume, 0.5, true, true, volume.output),
             SystemLevel(Kind::brightness, 0.5, false, true, {}) })
        notch.view()->rehearse(readout, new LevelReadout(sample, metrics));
    // What the rehearsal used only briefly (decoded icons, scratch images) goes back.
    releaseFreedMemory();
    Diagnostics::log(Diagnostics::Category::surface, [&] {
        const ResidentMemory after = residentMemory().value_or(ResidentMemory {});
        const ResidentMemory start = before.value_or(after);
        return QStringLiteral("prepared readouts in %1 ms, %2 kB of its own and %3 kB of shared files")
            .arg((uptime() - started) * 1000, 0, 'f', 1)
            .arg(after.privateKilobytes - start.privateKilobytes)
            .arg(after.fileKilobytes - start.fileKilobytes);
    });
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
    if (activity.module == TimerResident::moduleID) {
        // What ended in the tick that made the readout; once trimmed, the last announcement.
        if (const ActivityPayload* payload = m_router.payload(activity.token)) {
            if (const auto* ended = std::get_if<TimerPayload>(payload))
                return new TimerFinishedView(ended->finishes, metrics, activity.token, clocks.awake);
        }
        if (m_timers.finish)
            return new TimerFinishedView(*m_timers.finish, metrics, activity.token);
    }
    if (activity.module == NowPlayingMonitor::moduleID) {
        // The track as announced; once trimmed from the cache, the current one with the last glyph.
        std::optional<NowPlayingTrack> track = m_nowPlaying->track();
        std::optional<NowPlayingActivityView::Transport> transport = m_router.transportFlash();
        if (const ActivityPayload* payload = m_router.payload(activity.token)) {
            if (const auto* music = std::get_if<MusicPayload>(payload)) {
                // The announced track, with the latest texts the player gave for it since.
                const bool sameTrack = track && track->trackIdentity() == music->track.trackIdentity();
                if (!sameTrack)
                    track = music->track;
                transport = music->transport;
            }
        }
        if (track)
            return new NowPlayingActivityView(*track, m_artwork, metrics, transport, activity.token);
    }
    return new QWidget;
}

bool AppDelegate::adoptContent(QWidget* current, QWidget* fresh)
{
    // The open surface stays while only its content moved on: the clipboard tab keeps its
    // search field with the keyboard and cursor, a running timer's tab its buttons, the music
    // tab a drag of its scrubber, the shelf its scroll position and the pointer's hover.
    if (auto* shell = qobject_cast<ExpandedShell*>(current))
        return shell->adopt(qobject_cast<ExpandedShell*>(fresh), &AppDelegate::adoptContent);
    if (auto* list = qobject_cast<ClipboardView*>(current)) {
        const auto* next = qobject_cast<ClipboardView*>(fresh);
        if (!next)
            return false;
        list->adopt(*next);
        return true;
    }
    if (auto* tab = qobject_cast<NowPlayingExpandedView*>(current)) {
        const auto* next = qobject_cast<NowPlayingExpandedView*>(fresh);
        if (!next || !(next->metrics() == tab->metrics()))
            return false;
        tab->adopt(*next);
        return true;
    }
    // A music readout of the same identity takes the new state in place, keeping its landing.
    if (auto* music = qobject_cast<NowPlayingActivityView*>(current)) {
        const auto* next = qobject_cast<NowPlayingActivityView*>(fresh);
        if (!next || next->identity() != music->identity() || !(next->metrics() == music->metrics()))
            return false;
        music->adopt(*next);
        return true;
    }
    if (auto* shelf = qobject_cast<ShelfView*>(current)) {
        const auto* next = qobject_cast<ShelfView*>(fresh);
        return next && shelf->adopt(*next);
    }
    if (auto* timers = qobject_cast<TimerSurfaceView*>(current)) {
        const auto* next = qobject_cast<TimerSurfaceView*>(fresh);
        return next && timers->adopt(*next);
    }
    if (auto* resident = qobject_cast<TimerResidentView*>(current)) {
        const auto* next = qobject_cast<TimerResidentView*>(fresh);
        return next && resident->adopt(*next);
    }
    if (auto* announcement = qobject_cast<TimerFinishedView*>(current)) {
        const auto* next = qobject_cast<TimerFinishedView*>(fresh);
        return next && announcement->adopt(*next);
    }
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
    if (shown == NotchSurfaceTab::clipboard)
        return clipboardView(metrics);
    if (shown == NotchSurfaceTab::shelf)
        return shelfView(metrics);
    if (shown == NotchSurfaceTab::timer)
        return timerSurface(metrics);
    if (shown == NotchSurfaceTab::music)
        return musicTab(metrics);
    if (shown == NotchSurfaceTab::settings) {
        QPointer<AppDelegate> self(this);
        return new SettingsSurface(
            metrics,
            [self] {
                if (self)
                    self->showSettings();
            },
            [] { QCoreApplication::quit(); });
    }
    m_clockTick.start(msecsToNextMinute(QTime::currentTime()));
    return new StatusSurface(m_power->snapshot(), QDateTime::currentDateTime(),
        m_levels->read(SystemLevel::Kind::volume), m_accessories->batteries(), metrics);
}

QWidget* AppDelegate::clipboardView(const SurfaceMetrics& metrics)
{
    QPointer<AppDelegate> self(this);
    const auto withDelegate = [self](auto action) {
        return [self, action](const QUuid& id) {
            if (self)
                action(*self, id);
        };
    };
    ClipboardView::Actions actions;
    actions.onQueryChange = [self](const QString& query) {
        if (self)
            self->setClipboardQuery(query);
    };
    actions.onPaste = withDelegate([](AppDelegate& delegate, const QUuid& id) { delegate.paste(id); });
    actions.onCopy = withDelegate([](AppDelegate& delegate, const QUuid& id) {
        if (delegate.m_clipboard->copyToPasteboard(id))
            Diagnostics::log(Diagnostics::Category::clipboard, "copied to the clipboard");
    });
    // The monitor reports each change through onChange, which normalises and redraws.
    actions.onDelete = withDelegate([](AppDelegate& delegate, const QUuid& id) {
        delegate.m_clipboard->remove(id);
        delegate.normaliseSelection();
    });
    actions.onTogglePin
        = withDelegate([](AppDelegate& delegate, const QUuid& id) { delegate.m_clipboard->togglePin(id); });
    actions.onClear = [self] {
        if (!self)
            return;
        self->m_clipboard->clear();
        self->normaliseSelection();
    };
    ClipboardMonitor* monitor = m_clipboard.get();
    return new ClipboardView(m_clipboard->store().filtered(m_clipboardQuery), metrics, m_clipboardQuery,
        m_clipboardSelection, std::move(actions),
        [self, monitor](const QUuid& id) { return self ? monitor->thumbnail(id) : QImage(); });
}

QWidget* AppDelegate::musicTab(const SurfaceMetrics& metrics)
{
    // Live only while there is a track.
    const NowPlayingTrack& track = *m_nowPlaying->track();
    QPointer<AppDelegate> self(this);
    auto* view = new NowPlayingExpandedView(
        track, m_artwork, metrics,
        [self] {
            if (self)
                self->m_nowPlaying->playPause();
        },
        [self] {
            if (self)
                self->m_nowPlaying->next();
        },
        [self] {
            if (self)
                self->m_nowPlaying->previous();
        },
        [self](double fraction) {
            if (!self)
                return;
            const std::optional<NowPlayingTrack>& current = self->m_nowPlaying->track();
            if (current && current->duration > 0)
                self->m_nowPlaying->seek(clamped(fraction, 0.0, 1.0) * current->duration);
        });
    view->setSeekable(track.duration > 0 && m_nowPlaying->canSeek());
    return view;
}

void AppDelegate::resetClipboardTab()
{
    // A selection kept from the last visit may be far down the list, or one that only a search
    // showed: Return would paste a row nobody sees.
    m_clipboardQuery.clear();
    m_clipboardSelection.reset();
    normaliseSelection();
}

int AppDelegate::msecsToNextMinute(const QTime& now)
{
    // A little past the turn, so that the rebuilt clock reads the new minute.
    constexpr int margin = 20;
    return 60'000 - (now.msecsSinceStartOfDay() % 60'000) + margin;
}

void AppDelegate::clockTicked()
{
    refreshStatusTab();
}

void AppDelegate::refreshStatusTab()
{
    const bool statusShown = !liveTabs().contains(m_tab) || m_tab == NotchSurfaceTab::status;
    if (m_coordinator && m_coordinator->isAnythingExpanded() && statusShown)
        m_coordinator->refreshContent();
}

void AppDelegate::selectTab(NotchSurfaceTab tab)
{
    Diagnostics::log(Diagnostics::Category::surface, [&] { return "nav -> " + rawValue(tab); });
    const bool opensClipboard = tab == NotchSurfaceTab::clipboard && m_tab != tab;
    m_tab = tab;
    if (opensClipboard)
        resetClipboardTab();
    else if (tab == NotchSurfaceTab::clipboard)
        normaliseSelection();
    if (!m_coordinator)
        return;
    m_coordinator->setWantsKeyboard(tab == NotchSurfaceTab::clipboard);
    m_coordinator->refreshContent();
}

} // namespace nimbra
