#include "modules/now_playing/now_playing_monitor.h"

#include "core/clamped.h"
#include "core/diagnostics.h"
#include "core/uptime.h"

#include <QPointer>
#include <algorithm>
#include <memory>
#include <vector>

namespace nimbra {

NowPlayingMonitor::NowPlayingMonitor(QObject* parent)
    : QObject(parent)
    , m_clock(&uptime)
{
    m_positionTimer.setTimerType(Qt::CoarseTimer);
    connect(&m_positionTimer, &QTimer::timeout, this, [this] {
        m_positionTimer.setInterval(driftCheckIntervalMs);
        correctDrift();
    });
}

NowPlayingMonitor::~NowPlayingMonitor()
{
    stop();
}

void NowPlayingMonitor::start()
{
    if (m_started)
        return;
    m_started = true;
    m_scripting.onNotification
        = [this](Source source, const std::optional<MusicScripting::Payload>& payload) { handle(payload, source); };
    m_scripting.onPlayersChanged = [this] { refresh(); };
    m_scripting.start();
    refresh();
}

void NowPlayingMonitor::stop()
{
    if (!m_started)
        return;
    m_started = false;
    m_scripting.stop();
    m_scripting.onNotification = nullptr;
    m_scripting.onPlayersChanged = nullptr;
    m_positionTimer.stop();
}

// MARK: Player changes

void NowPlayingMonitor::handle(const std::optional<MusicScripting::Payload>& payload, Source source)
{
    if (!payload) {
        refresh();
        return;
    }
    if (payload->state == QLatin1String("Stopped")) {
        // One player stopping says nothing about another player's track: ask them all instead.
        if (m_track && m_track->source != source)
            refresh();
        else
            update(std::nullopt, true);
        return;
    }
    if (payload->title.isEmpty()) {
        refresh();
        return;
    }

    const double now = m_clock();
    NowPlayingTrack provisional;
    provisional.source = source;
    provisional.title = payload->title;
    provisional.rate = payload->state == QLatin1String("Playing") ? 1.0 : 0.0;
    provisional.anchorTime = now;
    if (m_track && m_track->source == source && m_track->title == payload->title) {
        provisional.artist = payload->artist.isEmpty() ? m_track->artist : payload->artist;
        provisional.album = payload->album.isEmpty() ? m_track->album : payload->album;
        provisional.duration = payload->duration > 0 ? payload->duration : m_track->duration;
        provisional.identity = m_track->identity;
        provisional.anchor = payload->position.value_or(m_track->position(now));
    } else {
        provisional.artist = payload->artist;
        provisional.album = payload->album;
        provisional.duration = payload->duration;
        provisional.anchor = payload->position.value_or(0);
    }
    // A player that names its track makes the provisional track the same track as its refined
    // answer, so the track change is announced once.
    if (payload->identity)
        provisional.identity = payload->identity;

    m_refining = provisional.trackIdentity();
    update(provisional, true);
    const QString title = payload->title;
    query(source, [this, title](const std::optional<NowPlayingTrack>& parsed) {
        if (!parsed || parsed->title != title)
            return;
        const bool announce = !m_refining.has_value();
        m_refining.reset();
        update(parsed, announce);
    });
}

// MARK: Queries

void NowPlayingMonitor::query(Source source, Continuation then)
{
    ++m_queryGeneration;
    ask(source, m_queryGeneration, [then = std::move(then)](const std::optional<NowPlayingTrack>& parsed, bool) {
        then(parsed);
    });
}

void NowPlayingMonitor::ask(Source source, int generation, AnswerContinuation then)
{
    m_scripting.query(source, [this, source, generation, then = std::move(then)](const MusicScripting::Reply& reply) {
        std::optional<NowPlayingTrack> parsed;
        const auto* text = std::get_if<QString>(&reply);
        if (text) {
            if (m_authorization != Authorization::authorized)
                setAuthorization(Authorization::authorized);
            parsed = NowPlayingReading::parse(*text, source, m_clock());
        } else {
            note(std::get<MusicScripting::ScriptError>(reply));
        }
        if (generation == m_queryGeneration)
            then(parsed, text != nullptr);
    });
}

void NowPlayingMonitor::refresh()
{
    std::vector<Source> running;
    for (const Source source : allCases<Source>()) {
        if (m_scripting.isRunning(source))
            running.push_back(source);
    }
    if (running.empty()) {
        if (m_track)
            update(std::nullopt, true);
        return;
    }
    // One generation for the whole round, so that every running player's answer counts.
    const int generation = ++m_queryGeneration;
    auto results = std::make_shared<std::vector<std::optional<NowPlayingTrack>>>(running.size());
    auto silent = std::make_shared<std::vector<Source>>();
    auto outstanding = std::make_shared<std::size_t>(running.size());
    for (std::size_t slot = 0; slot < running.size(); ++slot) {
        ask(running[slot], generation,
            [this, results, silent, outstanding, slot, source = running[slot]](
                const std::optional<NowPlayingTrack>& parsed, bool answered) {
                (*results)[slot] = parsed;
                if (!answered)
                    silent->push_back(source);
                if (--*outstanding > 0)
                    return;
                std::optional<NowPlayingTrack> chosen;
                for (const auto& result : *results) {
                    if (result && result->isPlaying()) {
                        chosen = result;
                        break;
                    }
                }
                // The shown track's player did not answer (too slow on a busy machine, or an
                // error): that says nothing about its track, which stays unless another plays.
                if (!chosen && m_track && std::find(silent->begin(), silent->end(), m_track->source) != silent->end()) {
                    Diagnostics::log(Diagnostics::Category::media, "no answer from the shown player; its track stays");
                    return;
                }
                if (!chosen && m_track) {
                    for (const auto& result : *results) {
                        if (result && result->source == m_track->source) {
                            chosen = result;
                            break;
                        }
                    }
                }
                if (!chosen) {
                    for (const auto& result : *results) {
                        if (result) {
                            chosen = result;
                            break;
                        }
                    }
                }
                update(chosen, true);
            });
    }
}

// MARK: Publishing

void NowPlayingMonitor::update(std::optional<NowPlayingTrack> next, bool announceSeek)
{
    const double now = m_clock();
    // The player has not caught up with the user's play or pause yet: keep what the user chose
    // and keep counting from where the track was.
    if (m_intent && now < m_intent->until && next && m_track && m_track->trackIdentity() == next->trackIdentity()
        && next->rate != m_intent->rate) {
        next->rate = m_intent->rate;
        next->anchor = m_track->position(now);
        next->anchorTime = now;
    }
    if (m_intent && m_intent->until <= now)
        m_intent.reset();

    std::optional<Change> change = NowPlayingTrack::change(m_track, next, now);
    if (change == Change::seeked && !announceSeek)
        change.reset();
    if (!change) {
        if ((!m_track && !next) || (m_track && next && *m_track == *next))
            return;
    }
    m_track = std::move(next);
    if (m_artworkFor && (!m_track || m_track->trackIdentity() != *m_artworkFor)) {
        m_artworkFor.reset();
        m_scripting.dropArtwork();
    }
    refreshDriftCorrection();
    publish(change);
}

void NowPlayingMonitor::publish(std::optional<Change> change)
{
    if (onChange)
        onChange(m_track, change);
}

// MARK: Drift correction

void NowPlayingMonitor::setPositionVisible(bool visible)
{
    if (visible == m_isPositionVisible)
        return;
    m_isPositionVisible = visible;
    refreshDriftCorrection();
}

void NowPlayingMonitor::refreshDriftCorrection()
{
    const bool shouldRun = m_started && m_isPositionVisible && m_track && m_track->isPlaying();
    if (shouldRun && !m_positionTimer.isActive()) {
        m_positionTimer.setInterval(firstDriftCheckMs);
        m_positionTimer.start();
    } else if (!shouldRun && m_positionTimer.isActive()) {
        m_positionTimer.stop();
    }
}

void NowPlayingMonitor::correctDrift()
{
    if (!m_track || !m_track->isPlaying() || !m_scripting.isRunning(m_track->source)) {
        refreshDriftCorrection();
        return;
    }
    query(m_track->source, [this](const std::optional<NowPlayingTrack>& parsed) {
        if (!parsed || !m_track)
            return;
        if (parsed->trackIdentity() != m_track->trackIdentity()) {
            update(parsed, true);
            return;
        }
        const double now = m_clock();
        const double expected = parsed->position(now);
        if (m_track->drift(expected, now) <= tolerableDrift)
            return;
        NowPlayingTrack corrected = *m_track;
        corrected.rate = parsed->rate;
        corrected.duration = parsed->duration;
        corrected.anchor = expected;
        corrected.anchorTime = now;
        m_track = corrected;
        publish(std::nullopt);
    });
}

// MARK: Transport

std::optional<NowPlayingMonitor::Source> NowPlayingMonitor::controlTarget() const
{
    if (m_track && m_scripting.isRunning(m_track->source))
        return m_track->source;
    for (const Source source : allCases<Source>()) {
        if (m_scripting.isRunning(source))
            return source;
    }
    return std::nullopt;
}

void NowPlayingMonitor::send(Source target, MusicScripting::Command command, double seconds)
{
    QPointer<NowPlayingMonitor> self(this);
    m_scripting.send(target, command, seconds, [self, target](std::optional<MusicScripting::ScriptError> error) {
        if (!self)
            return;
        if (!error) {
            self->setAuthorization(Authorization::authorized);
            QTimer::singleShot(requeryAfterCommandMs, self, [self] {
                if (self && self->m_started)
                    self->refresh();
            });
            return;
        }
        self->note(*error);
        if (error->kind == MusicScripting::ScriptError::Kind::notAuthorized)
            self->requestAuthorization(target, true);
    });
}

void NowPlayingMonitor::playPause()
{
    const std::optional<Source> target = controlTarget();
    if (!target)
        return;
    if (m_track && m_track->source == *target) {
        const double now = m_clock();
        const double newRate = m_track->isPlaying() ? 0.0 : 1.0;
        m_intent = Intent { newRate, now + intentWindow };
        NowPlayingTrack shown = m_track->anchored(m_track->position(now), now);
        shown.rate = newRate;
        m_track = shown;
        publish(newRate > 0 ? Change::startedPlaying : Change::paused);
        refreshDriftCorrection();
    }
    send(*target, MusicScripting::Command::playPause);
}

void NowPlayingMonitor::next()
{
    const std::optional<Source> target = controlTarget();
    if (!target)
        return;
    m_intent.reset();
    send(*target, MusicScripting::Command::next);
}

void NowPlayingMonitor::previous()
{
    const std::optional<Source> target = controlTarget();
    if (!target)
        return;
    // Well into a track, "previous" starts it again, as players do.
    if (m_track && m_track->source == *target && m_track->position(m_clock()) > restartThreshold && canSeek()) {
        seek(0);
        return;
    }
    send(*target, MusicScripting::Command::previous);
}

bool NowPlayingMonitor::canSeek() const
{
    return m_track && m_scripting.canSeek(m_track->source);
}

void NowPlayingMonitor::seek(double seconds)
{
    if (!m_track || !m_scripting.isRunning(m_track->source) || !canSeek())
        return;
    const double now = m_clock();
    const double target
        = m_track->duration > 0 ? std::min(m_track->duration, std::max(0.0, seconds)) : std::max(0.0, seconds);
    m_track = m_track->anchored(target, now);
    publish(Change::seeked);
    send(m_track->source, MusicScripting::Command::seek, target);
}

void NowPlayingMonitor::seekToFraction(double fraction)
{
    if (!m_track || m_track->duration <= 0)
        return;
    seek(clamped(fraction, 0.0, 1.0) * m_track->duration);
}

// MARK: Artwork and authorization

void NowPlayingMonitor::artwork(std::function<void(const QString&, const QImage&)> then)
{
    if (!m_track)
        return;
    const QString identity = m_track->trackIdentity();
    m_artworkFor = identity;
    m_scripting.artwork(m_track->source, [this, identity, then = std::move(then)](const QImage& image) {
        m_artworkFor.reset();
        then(identity, image);
    });
}

QString NowPlayingMonitor::artworkAddress() const
{
    return m_track ? m_scripting.artworkAddress(m_track->source) : QString();
}

void NowPlayingMonitor::requestAuthorization(Source source, bool)
{
    // Nothing to ask the user on this desktop: a player on the bus may be asked.
    QPointer<NowPlayingMonitor> self(this);
    QTimer::singleShot(0, this, [self, source] {
        if (!self)
            return;
        const Authorization result = self->m_scripting.authorization(source);
        self->setAuthorization(result);
        if (result == Authorization::authorized)
            self->refresh();
    });
}

void NowPlayingMonitor::setAuthorization(Authorization value)
{
    if (m_authorization == value)
        return;
    m_authorization = value;
    Diagnostics::log(Diagnostics::Category::media, [&] { return "automation: " + rawValue(value); });
    if (onAuthorizationChange)
        onAuthorizationChange(value);
}

void NowPlayingMonitor::note(const MusicScripting::ScriptError& error)
{
    switch (error.kind) {
    case MusicScripting::ScriptError::Kind::notAuthorized:
        setAuthorization(Authorization::denied);
        break;
    case MusicScripting::ScriptError::Kind::notRunning:
        setAuthorization(Authorization::playerNotRunning);
        break;
    case MusicScripting::ScriptError::Kind::noTrack:
    case MusicScripting::ScriptError::Kind::failed:
        break;
    }
}

} // namespace nimbra
