#include "core/presentation.h"

#include <algorithm>
#include <cmath>

namespace nimbra {

Presentation::Surface Presentation::Surface::activity(Activity activity)
{
    Surface surface(Kind::activity);
    surface.m_activity = std::move(activity);
    return surface;
}

Presentation::Surface Presentation::Surface::resident(ModuleID module)
{
    Surface surface(Kind::resident);
    surface.m_module = std::move(module);
    return surface;
}

Presentation::Surface Presentation::Surface::expanded(ModuleID module)
{
    Surface surface(Kind::expanded);
    surface.m_module = std::move(module);
    return surface;
}

QString Presentation::Surface::traceDescription() const
{
    switch (m_kind) {
    case Kind::activity:
        // One pass, so a percent sign in the module name is not taken for a placeholder.
        return QStringLiteral("activity(%1, p%2)")
            .arg(m_activity->module.rawValue, QString::number(m_activity->priority));
    case Kind::resident:
        return QStringLiteral("resident(%1)").arg(m_module->rawValue);
    case Kind::expanded:
        return QStringLiteral("expanded(%1)").arg(m_module->rawValue);
    case Kind::dormant:
        return QStringLiteral("dormant");
    }
    return {};
}

Presentation::Configuration::Configuration(double activityGap, int maxQueued, double maxQueueAge)
    : activityGap(std::isnan(activityGap) ? 0.0 : activityGap)
    , maxQueued(std::max(0, maxQueued))
    , maxQueueAge(maxQueueAge)
{
}

Presentation::Presentation(Configuration configuration)
    : m_configuration(configuration)
{
}

void Presentation::present(const Activity& activity, double now)
{
    if (m_surface.is(Surface::Kind::activity)) {
        const Activity current = *m_surface.shownActivity();
        if (current.kindKey() == activity.kindKey()) {
            begin(activity, now);
        } else if (current.priority < activity.priority) {
            begin(activity, now);
            // The pre-empted readout waits again with its full duration still to come.
            enqueue(current, now);
        } else {
            enqueue(activity, now);
        }
        return;
    }
    const bool idle = m_surface.is(Surface::Kind::resident) || m_surface.is(Surface::Kind::dormant);
    if (idle && m_nextActivityAllowedAt <= now)
        begin(activity, now);
    else
        enqueue(activity, now);
}

void Presentation::tick(double now)
{
    expire(now);
    if (m_surface.is(Surface::Kind::activity)) {
        if (m_activityEndsAt && *m_activityEndsAt <= now) {
            m_nextActivityAllowedAt = now + m_configuration.activityGap;
            m_activityEndsAt.reset();
            settle(now);
        }
        return;
    }
    // Holds while expanded too: a waiting readout takes the place of the open surface.
    if (!m_queue.empty() && m_nextActivityAllowedAt <= now)
        settle(now);
}

bool Presentation::needsClock() const
{
    return m_surface.is(Surface::Kind::activity) || !m_queue.empty();
}

void Presentation::setResident(const std::optional<ModuleID>& module, double now)
{
    m_resident = module;
    if (!m_focus)
        m_focus = module;
    if (m_surface.is(Surface::Kind::resident) || m_surface.is(Surface::Kind::dormant))
        settle(now);
}

void Presentation::setFocus(const std::optional<ModuleID>& module)
{
    m_focus = module ? module : m_resident;
}

void Presentation::open(const ModuleID& module)
{
    m_focus = module;
    m_surface = Surface::expanded(module);
}

void Presentation::dismiss(double now)
{
    if (m_surface.is(Surface::Kind::expanded))
        settle(now);
}

void Presentation::setHover(HoverIntent::Phase phase, double now)
{
    switch (phase) {
    case HoverIntent::Phase::engaged: {
        const auto module = m_focus ? m_focus : m_resident;
        if (module)
            m_surface = Surface::expanded(*module);
        break;
    }
    case HoverIntent::Phase::away:
    case HoverIntent::Phase::arming:
        if (m_surface.is(Surface::Kind::expanded))
            settle(now);
        break;
    }
}

std::vector<Activity> Presentation::queued() const
{
    std::vector<Activity> activities;
    activities.reserve(m_queue.size());
    for (const auto& waiting : m_queue)
        activities.push_back(waiting.activity);
    return activities;
}

void Presentation::enqueue(const Activity& activity, double now)
{
    removeWaiting(activity.kindKey());
    m_queue.push_back(Waiting { activity, now });

    const auto limit = size_t(std::max(0, m_configuration.maxQueued));
    if (m_queue.size() > limit) {
        // Trim keeps the newest of equal priorities, while the queue order below shows the oldest first.
        std::stable_sort(m_queue.begin(), m_queue.end(), [](const Waiting& a, const Waiting& b) {
            if (a.activity.priority != b.activity.priority)
                return a.activity.priority > b.activity.priority;
            return a.activity.token > b.activity.token;
        });
        m_queue.resize(limit);
    }
    sortQueue();
}

void Presentation::begin(const Activity& activity, double now)
{
    removeWaiting(activity.kindKey());
    m_surface = Surface::activity(activity);
    // A NaN duration would never end and keep the clock running forever: it ends on the next tick.
    const double duration = std::isnan(activity.duration) ? 0.0 : activity.duration;
    m_activityEndsAt = now + duration;
}

void Presentation::settle(double now)
{
    expire(now);
    if (!m_queue.empty() && m_nextActivityAllowedAt <= now) {
        const Activity head = m_queue.front().activity;
        m_queue.erase(m_queue.begin());
        begin(head, now);
        return;
    }
    m_surface = m_resident ? Surface::resident(*m_resident) : Surface::dormant();
}

void Presentation::expire(double now)
{
    const double maxAge = m_configuration.maxQueueAge;
    if (!(maxAge > 0))
        return;
    std::erase_if(m_queue, [&](const Waiting& waiting) { return now - waiting.queuedAt > maxAge; });
}

void Presentation::removeWaiting(const QString& kindKey)
{
    std::erase_if(m_queue, [&](const Waiting& waiting) { return waiting.activity.kindKey() == kindKey; });
}

void Presentation::sortQueue()
{
    std::stable_sort(m_queue.begin(), m_queue.end(), [](const Waiting& a, const Waiting& b) {
        if (a.activity.priority != b.activity.priority)
            return a.activity.priority > b.activity.priority;
        return a.activity.token < b.activity.token;
    });
}

} // namespace nimbra
