#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "core/diagnostics.h"
#include "core/nimbra_settings.h"
#include "core/uptime.h"
#include "modules/now_playing/now_playing_monitor.h"
#include "modules/shell/glance.h"

#include <QPointer>

namespace nimbra {

namespace {

QString caseName(NowPlayingTrack::Change change)
{
    switch (change) {
    case NowPlayingTrack::Change::startedPlaying:
        return QStringLiteral("startedPlaying");
    case NowPlayingTrack::Change::changedTrack:
        return QStringLiteral("changedTrack");
    case NowPlayingTrack::Change::paused:
        return QStringLiteral("paused");
    case NowPlayingTrack::Change::stopped:
        return QStringLiteral("stopped");
    case NowPlayingTrack::Change::seeked:
        return QStringLiteral("seeked");
    }
    return {};
}

} // namespace

void AppDelegate::applyNowPlayingSettings()
{
    // Switched off, the monitor stops all of its work; on again, it starts afresh (once launch
    // has installed its callback).
    if (!m_settings.nowPlayingEnabled())
        m_nowPlaying->stop();
    else if (m_nowPlaying->onChange)
        m_nowPlaying->start();
    handleNowPlaying(m_nowPlaying->track(), std::nullopt);
}

void AppDelegate::handleNowPlaying(
    const std::optional<NowPlayingTrack>& track, std::optional<NowPlayingTrack::Change> change)
{
    if (!m_coordinator || m_terminated)
        return;
    if (!m_settings.nowPlayingEnabled()) {
        // Switched off: music holds nothing any more, and nothing is announced.
        if (m_musicHoldsNotch) {
            m_musicHoldsNotch = false;
            updateResident();
            m_coordinator->setFocus(m_settings.glanceEnabled() ? std::optional(Glance::moduleID) : std::nullopt);
            m_coordinator->refreshContent();
        }
        return;
    }
    if (change) {
        Diagnostics::log(Diagnostics::Category::media,
            [&] { return caseName(*change) + QLatin1Char(' ') + (track ? track->title : QStringLiteral("\u2014")); });
    }

    m_musicHoldsNotch = m_router.musicHoldsNotch(track, uptime());
    if (track && track->isPlaying()
        && (change == NowPlayingTrack::Change::startedPlaying || change == NowPlayingTrack::Change::changedTrack))
        m_tab = NotchSurfaceTab::music;
    updateResident();
    if (m_musicHoldsNotch)
        m_coordinator->setFocus(NowPlayingMonitor::moduleID);
    else
        m_coordinator->setFocus(m_settings.glanceEnabled() ? std::optional(Glance::moduleID) : std::nullopt);
    m_coordinator->refreshContent();

    // The cover follows the track, and its address: players often name the cover a moment
    // after the title. An answer for a track no longer shown is dropped.
    if (!track) {
        m_artworkTrackID.reset();
        m_artworkAddress.clear();
        m_artwork = QImage();
    } else if (track->trackIdentity() != m_artworkTrackID || m_nowPlaying->artworkAddress() != m_artworkAddress) {
        if (track->trackIdentity() != m_artworkTrackID)
            m_artwork = QImage();
        m_artworkTrackID = track->trackIdentity();
        m_artworkAddress = m_nowPlaying->artworkAddress();
        QPointer<AppDelegate> self(this);
        m_nowPlaying->artwork([self](const QString& identity, const QImage& image) {
            if (!self || self->m_artworkTrackID != identity || !self->m_coordinator)
                return;
            self->m_artwork = image;
            self->m_coordinator->refreshContent();
        });
    }

    if (change && track) {
        if (const auto activity = m_router.musicActivity(*track, *change))
            m_coordinator->present(*activity);
    }
}

} // namespace nimbra
