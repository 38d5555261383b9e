#pragma once

#include <QPointF>
#include <QString>
#include <optional>

namespace nimbra {

// Decides from pointer samples whether a pointer resting on the notch means "open": it must stay
// inside for a dwell time, a fast pointer is only passing through, and a brief exit is forgiven.
// A plain value with no clock: every sample carries its time.
class HoverIntent {
public:
    enum class Phase { away, arming, engaged };

    struct Configuration {
        // Seconds inside before engaging.
        double dwell = 0;
        // Seconds an arming or engaged phase survives the pointer being outside.
        double releaseGrace = 0;
        // Points per second above which arming starts over.
        double velocityCeiling = 0;

        static Configuration relaxed() { return { 0.15, 0.1, 1400 }; }
        static Configuration standard() { return { 0.25, 0.1, 900 }; }
        static Configuration deliberate() { return { 0.4, 0.1, 500 }; }

        bool operator==(const Configuration&) const = default;
    };

    struct Sample {
        // Global screen coordinates.
        QPointF location;
        // Seconds of uptime.
        double time = 0;
        // Whether the location lies in the notch's tracking area.
        bool isInside = false;
        // Whether hovering must be ignored right now; the caller decides why.
        bool isSuppressed = false;

        bool operator==(const Sample&) const = default;
    };

    explicit HoverIntent(Configuration configuration)
        : m_configuration(configuration)
    {
    }

    // Advances by one sample and returns the new phase.
    Phase update(const Sample& sample);
    // Drops a pending or engaged hover at once; the last sample is kept for the next speed.
    void cancel();

    Phase phase() const { return m_phase; }
    const Configuration& configuration() const { return m_configuration; }
    // Applies from the next sample.
    void setConfiguration(const Configuration& configuration) { m_configuration = configuration; }

    bool operator==(const HoverIntent&) const = default;

private:
    Phase m_phase = Phase::away;
    Configuration m_configuration;
    std::optional<Sample> m_previous;
    std::optional<double> m_armedAt;
    std::optional<double> m_leftAt;
};

// "away", "arming" or "engaged", for logging.
QString rawValue(HoverIntent::Phase phase);

} // namespace nimbra
