#include "settings_fixture.h"

#include <QScrollArea>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

// Every page in both appearances as a person sees it: on the window's colour, every text
// readable (switched-off groups included: the eyes are off by default), and nothing cut off at
// the page's right edge.
TEST(SettingsPagesRender, EveryPageInBothThemes)
{
    for (const bool dark : { false, true }) {
        for (const SettingsSection section : kSettingsSections) {
            const std::string where = rawValue(section).toStdString() + (dark ? " dark" : " light");
            SettingsFixture f;
            f.settings.setAppearance(dark ? Appearance::dark : Appearance::light);
            f.make(dark);
            f.open(section);
            saveArtefact(f.render(), QString("settings-%1-%2").arg(rawValue(section), dark ? "dark" : "light"));
            const QImage page = f.renderPage();
            saveArtefact(page, QString("page-%1-%2").arg(rawValue(section), dark ? "dark" : "light"));

            const QColor window = settings_style::palette(dark).color(QPalette::Window);
            EXPECT_EQ(page.pixelColor(4, 4).rgb(), window.rgb()) << where;
            const auto texts = f.textContrasts(page);
            EXPECT_GE(texts.size(), 3u) << where;
            for (const auto& [text, contrast] : texts)
                EXPECT_GE(contrast, 3.0) << where << ": \"" << text.toStdString() << "\"";

            QWidget* sheet = f.view->currentScrollArea()->widget();
            for (QWidget* w : sheet->findChildren<QWidget*>()) {
                if (w->isVisibleTo(sheet)) {
                    EXPECT_LE(w->mapTo(sheet, QPoint(w->width(), 0)).x(), sheet->width())
                        << where << ": " << w->metaObject()->className() << " '"
                        << w->accessibleName().toStdString() << "'";
                }
            }
        }
    }
}
