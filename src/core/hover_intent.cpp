#include "core/hover_intent.h"

#include <cmath>

namespace nimbra {

HoverIntent::Phase HoverIntent::update(const Sample& sample)
{
    const double now = sample.time;

    if (sample.isSuppressed) {
        m_phase = Phase::away;
        m_armedAt.reset();
        m_leftAt.reset();
        m_previous = sample;
        return m_phase;
    }

    if (!sample.isInside) {
        if (m_phase != Phase::away) {
            if (!m_leftAt)
                m_leftAt = now;
            if (now - *m_leftAt < m_configuration.releaseGrace) {
                m_previous = sample;
                return m_phase;
            }
            m_phase = Phase::away;
        }
        m_armedAt.reset();
        m_leftAt.reset();
        m_previous = sample;
        return m_phase;
    }

    m_leftAt.reset();
    if (m_phase == Phase::engaged) {
        m_previous = sample;
        return m_phase;
    }

    // Two samples at the same time count as standing still, not as infinite speed.
    double speed = 0;
    if (m_previous) {
        const double dt = now - m_previous->time;
        if (dt > 0) {
            const QPointF delta = sample.location - m_previous->location;
            speed = std::hypot(delta.x(), delta.y()) / dt;
        }
    }

    if (speed > m_configuration.velocityCeiling) {
        m_armedAt = now;
        m_phase = Phase::arming;
        m_previous = sample;
        return m_phase;
    }

    if (!m_armedAt)
        m_armedAt = now;
    m_phase = now - *m_armedAt >= m_configuration.dwell ? Phase::engaged : Phase::arming;
    m_previous = sample;
    return m_phase;
}

void HoverIntent::cancel()
{
    m_phase = Phase::away;
    m_armedAt.reset();
    m_leftAt.reset();
}

QString rawValue(HoverIntent::Phase phase)
{
    switch (phase) {
    case HoverIntent::Phase::away:
        return QStringLiteral("away");
    case HoverIntent::Phase::arming:
        return QStringLiteral("arming");
    case HoverIntent::Phase::engaged:
        return QStringLiteral("engaged");
    }
    return {};
}

} // namespace nimbra
