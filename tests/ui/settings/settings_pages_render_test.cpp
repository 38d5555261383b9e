#include "settings_fixture.h"

#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

TEST(SettingsPagesRender, EveryPageInBothThemes)
{
    for (const bool dark : { false, true }) {
        for (const SettingsSection section : kSettingsSections) {
            SettingsFixture f;
            f.settings.setAppearance(dark ? Appearance::dark : Appearance::light);
            f.make(dark);
            f.open(section);
            const QImage image = f.render();
            saveArtefact(image, QString("settings-%1-%2").arg(rawValue(section), dark ? "dark" : "light"));
        }
    }
}
