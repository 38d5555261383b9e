#include "ui/settings/settings_pages.h"

#include "ui/settings/about_page.h"
#include "ui/settings/clipboard_shelf_timer_pages.h"
#include "ui/settings/eyes_page.h"
#include "ui/settings/general_pages.h"
#include "ui/settings/notch_page.h"
#include "ui/settings/priority_music_pages.h"
#include "ui/settings/sound_battery_pages.h"

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
        return &soundPage;
    case SettingsSection::battery:
        return &batteryPage;
    case SettingsSection::clipboard:
        return &clipboardPage;
    case SettingsSection::shelf:
        return &shelfPage;
    case SettingsSection::timers:
        return &timersPage;
    case SettingsSection::about:
        return &aboutPage;
    case SettingsSection::eyes:
        return &eyesPage;
    }
    return nullptr;
}

} // namespace nimbra
