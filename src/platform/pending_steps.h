#pragma once

#include <QtGlobal>
#include <optional>
#include <vector>

namespace nimbra {

// Raw levels asked for by writes to a stepped level (a backlight) still on their way, oldest
// first: a change to any of them is our own write landing.
class PendingSteps {
public:
    void add(qint64 raw) { m_raws.push_back(raw); }
    // The write that asked for `raw` has been answered.
    void settled(qint64 raw);
    bool isOurs(qint64 raw) const;
    // The level the newest write asked for; none when no write is on its way.
    std::optional<qint64> last() const;

    // The raw step to ask for to reach `value` (0...1; NaN counts as 0) on a scale of
    // 0...`maximum`. A non-zero `direction` moves at least one step that way from `from` when
    // `value` would round back onto it (a scale with few steps would otherwise never move on a
    // small key step).
    static qint64 stepFor(double value, qint64 maximum, int direction, std::optional<qint64> from);

private:
    std::vector<qint64> m_raws;
};

} // namespace nimbra
