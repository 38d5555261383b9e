#include "settings_fixture.h"

#include <QScrollArea>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

// The whole page as the scroll area holds it, top to bottom, at the window's width.
QImage wholePage(SettingsFixture& f)
{
    QWidget* sheet = f.view->currentScrollArea()->widget();
    sheet->resize(sheet->width(), std::max(sheet->height(), sheet->sizeHint().height()));
    QImage image(sheet->size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    sheet->render(&image);
    return image;
}

// The share of pixels far from the window's own lightness: text, marks and previews, but no
// control drawn in the other appearance's colours.
double contrastingShare(const QImage& image, bool dark)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int l = qGray(image.pixel(x, y));
            count += dark ? l > 200 : l < 50;
        }
    }
    return double(count) / (image.width() * image.height());
}

} // namespace

TEST(FeaturePagesRender, EachPageWholeInBothAppearances)
{
    const SettingsSection sections[] = { SettingsSection::system, SettingsSection::battery, SettingsSection::clipboard,
        SettingsSection::shelf, SettingsSection::timers, SettingsSection::about };
    for (const bool dark : { false, true }) {
        for (const SettingsSection section : sections) {
            SettingsFixture f;
            f.settings.setAppearance(dark ? Appearance::dark : Appearance::light);
            f.make(dark);
            f.open(section);
            const QImage page = wholePage(f);
            saveArtefact(page, QString("page-%1-%2").arg(rawValue(section), dark ? "dark" : "light"));
            // The sheet is the window's colour, with some text on it, and no control drawn in
            // the colours of the other appearance.
            const QColor window = settings_style::palette(dark).color(QPalette::Window);
            EXPECT_EQ(page.pixelColor(4, 4).rgb(), window.rgb()) << rawValue(section).toStdString();
            const double share = contrastingShare(page, dark);
            EXPECT_GT(share, 0.004) << rawValue(section).toStdString();
            EXPECT_LT(share, 0.12) << rawValue(section).toStdString();
        }
    }
}
