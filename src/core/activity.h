#pragma once

#include <QHashFunctions>
#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace nimbra {

template <typename E> std::optional<E> fromRawValue(QStringView raw);
template <typename E> std::span<const E> allCases();

// Which feature a surface belongs to. Each feature declares its own static `moduleID`.
struct ModuleID {
    QString rawValue;

    ModuleID() = default;
    explicit ModuleID(QString raw)
        : rawValue(std::move(raw))
    {
    }

    const QString& description() const { return rawValue; }
    bool operator==(const ModuleID&) const = default;
};

inline size_t qHash(const ModuleID& module, size_t seed = 0)
{
    return qHash(module.rawValue, seed);
}

// The four kinds of readout whose ranking the user sets; the order is allCases.
enum class ActivityCategory { volume, brightness, battery, music };

inline constexpr std::array<ActivityCategory, 4> kActivityCategories
    = { ActivityCategory::volume, ActivityCategory::brightness, ActivityCategory::battery, ActivityCategory::music };

template <> inline std::span<const ActivityCategory> allCases<ActivityCategory>()
{
    return kActivityCategories;
}

// The ranking before the user changes it; the settings store keeps a reordered copy.
inline std::vector<ActivityCategory> activityCategoryDefaultOrder()
{
    return { kActivityCategories.begin(), kActivityCategories.end() };
}

QString rawValue(ActivityCategory category);
template <> std::optional<ActivityCategory> fromRawValue<ActivityCategory>(QStringView raw);
// Same as rawValue(); categories are identified by it.
inline QString id(ActivityCategory category)
{
    return rawValue(category);
}
QString title(ActivityCategory category);
// Name of the symbol drawn beside the category.
QString symbol(ActivityCategory category);
QString detail(ActivityCategory category);

// One request to show a short readout.
struct Activity {
    ModuleID module;
    // Rises by one with every activity made: a larger token is a newer activity.
    std::uint64_t token = 0;
    // Larger is more important.
    int priority = 0;
    // Seconds the readout stays up.
    double duration = 0;
    std::optional<ActivityCategory> category;

    // Which activities count as the same readout: the category's raw value, else the module's.
    // Compared as text, so a module named like a category shares its key.
    QString kindKey() const { return category ? rawValue(*category) : module.rawValue; }

    bool operator==(const Activity&) const = default;
};

} // namespace nimbra

template <> struct std::hash<nimbra::ModuleID> {
    size_t operator()(const nimbra::ModuleID& module) const noexcept { return qHash(module.rawValue); }
};
