#pragma once

#include "core/activity.h"
#include "core/now_playing.h"
#include "core/power_snapshot.h"
#include "core/system_level.h"
#include "core/timers.h"
#include "modules/now_playing/now_playing_views.h"
#include "modules/power/charge_activity_view.h"

#include <cstdint>
#include <map>
#include <optional>
#include <variant>
#include <vector>

namespace nimbra {

class NimbraSettings;

// What a power readout shows: the kind of event and the reading it was shown for.
struct ChargePayload {
    ChargeActivityView::Kind kind;
    PowerSnapshot snapshot;
};

// A music readout: the track as it was announced and the transport glyph it flashes.
struct MusicPayload {
    NowPlayingTrack track;
    std::optional<NowPlayingActivityView::Transport> transport;
};

// A finished-timer readout: what ended in one tick, shown in turn.
struct TimerPayload {
    QList<TimerFinish> finishes;
};

// What one activity shows, kept under its token until its readout is drawn.
using ActivityPayload = std::variant<SystemLevel, ChargePayload, MusicPayload, TimerPayload>;

// The shell's bookkeeping between an event and the activity it becomes: the token counter,
// the payload cache and the level state the readouts fall back to. The application delegate
// owns one and hands the activities it returns to the display coordinator.
class ActivityRouter {
public:
    // The cache is trimmed when it reaches `trimAt` entries, keeping the `keptAfterTrim` newest.
    static constexpr std::size_t trimAt = 13;
    static constexpr std::size_t keptAfterTrim = 8;
    static constexpr double levelDuration = 1.3;
    // An observed brightness change counts as the user's when a brightness key was pressed
    // less than this long before it.
    static constexpr double deliberateBrightnessWindow = 1.5;
    static constexpr double chargeDuration = 2.2;
    static constexpr double previewDuration = 2.6;
    static constexpr double lowBatteryDuration = 3.0;

    explicit ActivityRouter(const NimbraSettings& settings)
        : m_settings(settings)
    {
    }

    // The next activity token: 1 for the first activity of the run, one more for each after.
    std::uint64_t nextToken() { return ++m_activityToken; }
    std::uint64_t lastToken() const { return m_activityToken; }

    void record(const ActivityPayload& payload, std::uint64_t token);
    const ActivityPayload* payload(std::uint64_t token) const;
    std::vector<std::uint64_t> cachedTokens() const;

    // A reading from the media keys: a brightness key press opens the window in which an
    // observed brightness change counts as deliberate. Returns the activity to show, if any.
    std::optional<Activity> levelKeyChanged(const SystemLevel& level, double now);
    // A reading made by anyone, announced unless it is a brightness change that no key press
    // explains while the key-press setting is on.
    std::optional<Activity> levelObserved(const SystemLevel& level, double now);
    bool announcesObserved(const SystemLevel& level, double now) const;
    // Does nothing while HUD replacement is off; otherwise keeps the reading and, when
    // `announce`, takes a token, caches the reading and returns its activity.
    std::optional<Activity> handleLevel(const SystemLevel& level, bool announce);

    // A power reading and its event: the charger and low-battery readouts, when the settings
    // want them. Returns the activity to show, if any.
    std::optional<Activity> handlePower(
        const PowerSnapshot& snapshot, const std::optional<PowerSnapshot::Event>& event);
    // The status menu's battery preview: the charge kind follows the reading (charging,
    // holding on wall power, or on battery). No payload is kept, so the readout shows that
    // kind with the newest reading.
    Activity previewBattery(const PowerSnapshot& snapshot);

    const std::optional<SystemLevel>& currentLevel() const { return m_currentLevel; }
    // The kind of the last power readout, for a readout whose payload was trimmed.
    const ChargeActivityView::Kind& chargeKind() const { return m_chargeKind; }

    // A player change worth a readout (a start, a pause, a track change of a track with a
    // title, while music readouts are on): sets the transport glyph, takes a token, caches the
    // track and returns its activity.
    std::optional<Activity> musicActivity(const NowPlayingTrack& track, NowPlayingTrack::Change change);
    static constexpr double startOrPauseDuration = 1.5;
    // A paused track keeps the notch this long after it was last seen playing.
    static constexpr double pausedHold = 1.5;
    // Whether music holds the notch (resident readout and focus) with `track` shown at `now`:
    // while it plays, and for `pausedHold` after it was last seen playing.
    bool musicHoldsNotch(const std::optional<NowPlayingTrack>& track, double now);
    static constexpr double trackChangeDuration = 2.4;
    // The glyph of the latest music readout, for a readout whose payload is gone.
    std::optional<NowPlayingActivityView::Transport> transportFlash() const { return m_transportFlash; }
    double lastDeliberateBrightnessAt() const { return m_lastDeliberateBrightnessAt; }

private:
    const NimbraSettings& m_settings;
    std::map<std::uint64_t, ActivityPayload> m_payloads;
    std::uint64_t m_activityToken = 0;
    // Far in the past, so no key press counts as recent until one happens.
    double m_lastDeliberateBrightnessAt = -1000.0;
    std::optional<SystemLevel> m_currentLevel;
    ChargeActivityView::Kind m_chargeKind = ChargeActivityView::Kind::connected();
    std::optional<NowPlayingActivityView::Transport> m_transportFlash;
    double m_residentHoldUntil = 0;
};

} // namespace nimbra
