#include "platform/pending_steps.h"

#include <algorithm>
#include <cmath>

namespace nimbra {

void PendingSteps::settled(qint64 raw)
{
    const auto it = std::find(m_raws.begin(), m_raws.end(), raw);
    if (it != m_raws.end())
        m_raws.erase(it);
}

bool PendingSteps::isOurs(qint64 raw) const
{
    return std::find(m_raws.begin(), m_raws.end(), raw) != m_raws.end();
}

std::optional<qint64> PendingSteps::last() const
{
    if (m_raws.empty())
        return std::nullopt;
    return m_raws.back();
}

qint64 PendingSteps::stepFor(double value, qint64 maximum, int direction, std::optional<qint64> from)
{
    const double level = std::isnan(value) ? 0.0 : std::clamp(value, 0.0, 1.0);
    const qint64 raw = std::llround(level * double(maximum));
    if (direction != 0 && from && raw == *from)
        return std::clamp<qint64>(*from + (direction > 0 ? 1 : -1), 0, maximum);
    return raw;
}

} // namespace nimbra
