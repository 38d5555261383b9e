#include "core/activity.h"

namespace nimbra {

QString rawValue(ActivityCategory category)
{
    switch (category) {
    case ActivityCategory::volume:
        return QStringLiteral("volume");
    case ActivityCategory::brightness:
        return QStringLiteral("brightness");
    case ActivityCategory::battery:
        return QStringLiteral("battery");
    case ActivityCategory::music:
        return QStringLiteral("music");
    }
    return {};
}

template <> std::optional<ActivityCategory> fromRawValue<ActivityCategory>(QStringView raw)
{
    for (auto category : kActivityCategories) {
        if (rawValue(category) == raw)
            return category;
    }
    return std::nullopt;
}

QString title(ActivityCategory category)
{
    switch (category) {
    case ActivityCategory::volume:
        return QStringLiteral("Volume");
    case ActivityCategory::brightness:
        return QStringLiteral("Brightness");
    case ActivityCategory::battery:
        return QStringLiteral("Battery and charging");
    case ActivityCategory::music:
        return QStringLiteral("Music");
    }
    return {};
}

QString symbol(ActivityCategory category)
{
    switch (category) {
    case ActivityCategory::volume:
        return QStringLiteral("speaker.wave.2.fill");
    case ActivityCategory::brightness:
        return QStringLiteral("sun.max.fill");
    case ActivityCategory::battery:
        return QStringLiteral("battery.75percent");
    case ActivityCategory::music:
        return QStringLiteral("music.note");
    }
    return {};
}

QString detail(ActivityCategory category)
{
    switch (category) {
    case ActivityCategory::volume:
        return QStringLiteral("You pressed a key and you're looking for the answer.");
    case ActivityCategory::brightness:
        return QStringLiteral("Also changes on its own when you unplug.");
    case ActivityCategory::battery:
        return QStringLiteral("Charger in or out, and low-battery warnings.");
    case ActivityCategory::music:
        return QStringLiteral("New tracks, play and pause.");
    }
    return {};
}

} // namespace nimbra
