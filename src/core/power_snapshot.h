#pragma once

#include <QSet>
#include <QString>

#include <optional>
#include <set>

namespace nimbra {

// One reading of the internal battery and its power source.
struct PowerSnapshot {
    enum class Source { battery, wallPower };

    // What changed between two successive readings. `low` values compare by level.
    struct Event {
        enum class Kind { low, pluggedIn, unplugged, charged };
        Kind kind = Kind::pluggedIn;
        int level = 0; // the low-battery level crossed; only meaningful for `low`

        static Event low(int level) { return { Kind::low, level }; }
        static Event pluggedIn() { return { Kind::pluggedIn, 0 }; }
        static Event unplugged() { return { Kind::unplugged, 0 }; }
        static Event charged() { return { Kind::charged, 0 }; }

        friend bool operator==(const Event& a, const Event& b)
        {
            return a.kind == b.kind && (a.kind != Kind::low || a.level == b.level);
        }
    };

    int percentage = 0;
    Source source = Source::battery;
    bool isCharging = false;
    bool isCharged = false;
    std::optional<int> minutesToFull;
    std::optional<int> minutesToEmpty;
    bool isLowPowerMode = false;
    std::optional<int> adapterWatts;

    // The power source's minute counts: below 1 and 65535 mean "unknown".
    static std::optional<int> minutesFromIOKit(int value);

    bool isOnWallPower() const { return source == Source::wallPower; }
    bool isLow() const { return source == Source::battery && percentage < 21; }

    QString statusText() const;
    std::optional<QString> estimateText() const;

    // Called on the newer reading; `previous` is the reading before it.
    std::optional<Event> event(const std::optional<PowerSnapshot>& previous, const QSet<int>& lowLevels) const;
    std::optional<Event> event(const std::optional<PowerSnapshot>& previous, const std::set<int>& lowLevels) const;

    bool operator==(const PowerSnapshot&) const = default;
};

} // namespace nimbra
