#pragma once

#include "core/activity.h"
#include "core/hover_intent.h"

#include <QString>
#include <optional>
#include <vector>

namespace nimbra {

// What one display's notch shows, and in which order short readouts follow one another.
// A plain value: it reads no clock; every time-dependent step takes `now` (seconds of uptime).
class Presentation {
public:
    class Surface {
    public:
        enum class Kind { activity, resident, expanded, dormant };

        static Surface activity(Activity activity);
        static Surface resident(ModuleID module);
        static Surface expanded(ModuleID module);
        static Surface dormant() { return Surface(Kind::dormant); }

        Kind kind() const { return m_kind; }
        bool is(Kind kind) const { return m_kind == kind; }
        // The readout on show; set only for an activity surface.
        const std::optional<Activity>& shownActivity() const { return m_activity; }
        // The module of a resident or expanded surface.
        const std::optional<ModuleID>& module() const { return m_module; }

        // The text surface changes are logged with, e.g. "activity(systemLevel, p40)".
        QString traceDescription() const;

        bool operator==(const Surface&) const = default;

    private:
        explicit Surface(Kind kind)
            : m_kind(kind)
        {
        }

        Kind m_kind;
        std::optional<Activity> m_activity;
        std::optional<ModuleID> m_module;
    };

    struct Configuration {
        // Seconds of pause after an activity ends before the next may begin.
        double activityGap = 0;
        // The most waiting activities kept; never negative.
        int maxQueued = 0;
        // Seconds after which a waiting activity is dropped; 0 or less (or NaN) turns ageing off.
        double maxQueueAge = 0;

        Configuration() = default;
        // A negative maxQueued keeps nothing, and a NaN gap counts as no gap.
        Configuration(double activityGap, int maxQueued, double maxQueueAge);

        bool operator==(const Configuration&) const = default;
    };

    explicit Presentation(Configuration configuration);

    void present(const Activity& activity, double now);
    // The clock step; called on every tick of the owner's clock whatever the surface.
    void tick(double now);
    bool needsClock() const;
    void setResident(const std::optional<ModuleID>& module, double now);
    void setFocus(const std::optional<ModuleID>& module);
    void open(const ModuleID& module);
    void dismiss(double now);
    void setHover(HoverIntent::Phase phase, double now);

    const Surface& surface() const { return m_surface; }
    const Configuration& configuration() const { return m_configuration; }
    const std::optional<ModuleID>& resident() const { return m_resident; }
    const std::optional<ModuleID>& focus() const { return m_focus; }
    // The waiting activities in the order they would be shown, for tracing.
    std::vector<Activity> queued() const;

    bool operator==(const Presentation&) const = default;

private:
    struct Waiting {
        Activity activity;
        double queuedAt = 0;
        bool operator==(const Waiting&) const = default;
    };

    void enqueue(const Activity& activity, double now);
    void begin(const Activity& activity, double now);
    void settle(double now);
    void expire(double now);
    void removeWaiting(const QString& kindKey);
    void sortQueue();

    Surface m_surface = Surface::dormant();
    Configuration m_configuration;
    std::optional<ModuleID> m_resident;
    std::optional<ModuleID> m_focus;
    // Highest priority first, then lowest (oldest) token first.
    std::vector<Waiting> m_queue;
    std::optional<double> m_activityEndsAt;
    double m_nextActivityAllowedAt = 0;
};

} // namespace nimbra
