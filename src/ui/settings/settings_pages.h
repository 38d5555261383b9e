#pragma once

#include "ui/settings/settings_section.h"

class QVBoxLayout;

namespace nimbra {

class SettingsView;

// Fills a page: adds its blocks, top to bottom, to the page's column (the frame sets the
// spacing and puts the title above).
using SettingsPageBuilder = void (*)(SettingsView& view, QVBoxLayout& column);

// The builder of each section's page, from the page family files. A section without one shows
// its title only.
SettingsPageBuilder settingsPageBuilder(SettingsSection section);

} // namespace nimbra
