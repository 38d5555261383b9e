#include "ui/settings/settings_pages.h"

#include "ui/settings/general_pages.h"
#include "ui/settings/notch_page.h"
#include "ui/settings/priority_music_pages.h"

namespace nimbra {

// One line per page: a new page family adds its file and names its builders here.
SettingsPageBuilder settingsPageBuilder(SettingsSection section)
{
    switch (section) {
    case SettingsSection::general:
        return &generalPage;
    case SettingsSection::hover:
        return &hoverPage;
    case SettingsSection::notch:
        return &notchPage;
    case SettingsSection::music:
        return &musicPage;
    case SettingsSection::priority:
        return &priorityPage;
    case SettingsSection::system:
    case SettingsSection::battery:
    case SettingsSection::clipboard:
    case SettingsSection::shelf:
    case SettingsSection::timers:
    case SettingsSection::eyes:
    case SettingsSection::about:
        return nullptr;
    }
    return nullptr;
}

} // namespace nimbra
