#include "modules/shell/glance.h"
#include "modules/shell/status_surface.h"

#include "modules/surface_stage.h"

#include <QLocale>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

const NotchTheme dark = NotchTheme::dark();
const NotchTheme light { false, ClockFont::lockScreen };
const QDateTime kMonday(QDate(2026, 12, 7), QTime(9, 41, 37));

PowerSnapshot onBattery(int percent, std::optional<int> minutesToEmpty = std::nullopt)
{
    return { percent, PowerSnapshot::Source::battery, false, false, std::nullopt, minutesToEmpty, false, std::nullopt };
}

PowerSnapshot onWall(int percent, bool charging, std::optional<int> minutesToFull = std::nullopt)
{
    return { percent, PowerSnapshot::Source::wallPower, charging, false, minutesToFull, std::nullopt, false,
        std::nullopt };
}

SystemLevel volume(double value, bool muted, bool available = true, std::optional<AudioOutput> output = std::nullopt)
{
    return SystemLevel(SystemLevel::Kind::volume, value, muted, available, output);
}

// Surface metrics for a body `w` × `h` with a 32 pt notch; the status tab gets the band below it.
SurfaceMetrics metrics(double w, double h, double notch = 32)
{
    return SurfaceMetrics(QSizeF(w, h), notch, 185);
}

QImage renderStatus(const NotchTheme& theme, const SurfaceMetrics& m, const std::optional<PowerSnapshot>& snapshot,
    const std::optional<SystemLevel>& level, const DeviceBatteries& accessories = {})
{
    Stage stage(theme, QSizeF(m.size().width(), m.contentHeight()));
    stage.make<StatusSurface>(snapshot, kMonday, level, accessories, m);
    return stage.render();
}

// A low mouse, a charging headset and a keyboard that is fine.
DeviceBatteries someAccessories()
{
    return DeviceBatteries({ DeviceBattery("MX Keys", DeviceBattery::Kind::keyboard, 80, false),
        DeviceBattery("Fancy BT mouse", DeviceBattery::Kind::mouse, 5, false),
        DeviceBattery("WH-1000XM4", DeviceBattery::Kind::headphones, 40, true) });
}

// Pixels of the separator's colour in a thin band near the top, where no text reaches.
int separatorPixels(const QImage& image, const NotchTheme& theme, double width)
{
    return countNear(image, QRectF(0, 6, width, 3), over(theme.well(0.16), theme.surface()), 3);
}

} // namespace

TEST(StatusSurface, BatterySymbolThresholds)
{
    struct Case {
        int percent;
        const char* symbol;
    };
    for (const Case& c : { Case { 0, "battery.0percent" }, Case { 9, "battery.0percent" },
             Case { 10, "battery.25percent" }, Case { 34, "battery.25percent" }, Case { 35, "battery.50percent" },
             Case { 59, "battery.50percent" }, Case { 60, "battery.75percent" }, Case { 84, "battery.75percent" },
             Case { 85, "battery.100percent" }, Case { 100, "battery.100percent" } })
        EXPECT_EQ(StatusSurface::batterySymbol(onBattery(c.percent)), c.symbol) << c.percent;
    // Charging wins over wall power.
    EXPECT_EQ(StatusSurface::batterySymbol(onWall(50, true)), "battery.100percent.bolt");
    EXPECT_EQ(StatusSurface::batterySymbol(onWall(50, false)), "powerplug.fill");
}

TEST(StatusSurface, ReadoutTextsAndTints)
{
    auto rows = StatusSurface::readouts(onBattery(20, 125), volume(0.5, false), dark);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].value, "20%");
    EXPECT_EQ(rows[0].detail, "2h 5m left");
    EXPECT_EQ(rows[0].tint, dark.bad());
    EXPECT_EQ(rows[1].value, "50%");
    EXPECT_EQ(rows[1].detail, "Volume");
    EXPECT_EQ(rows[1].symbol, "speaker.wave.2.fill");

    EXPECT_EQ(StatusSurface::readouts(onBattery(21), std::nullopt, dark)[0].tint, dark.primaryText());
    EXPECT_EQ(StatusSurface::readouts(onBattery(21), std::nullopt, dark)[0].detail, "On Battery");
    const auto wall = StatusSurface::readouts(onWall(15, false), std::nullopt, light)[0];
    EXPECT_EQ(wall.tint, light.good());
    EXPECT_EQ(wall.symbol, "powerplug.fill");
    EXPECT_EQ(wall.detail, "On Power");

    const auto muted = StatusSurface::readouts(std::nullopt, volume(0.7, true), dark);
    ASSERT_EQ(muted.size(), 1);
    EXPECT_EQ(muted[0].value, "0%");
    EXPECT_EQ(muted[0].detail, "Muted");
    const auto named = StatusSurface::readouts(
        std::nullopt, volume(0.7, true, true, AudioOutput("Desk Speakers", AudioOutput::Kind::external)), dark);
    EXPECT_EQ(named[0].detail, "Desk Speakers");

    EXPECT_TRUE(StatusSurface::readouts(std::nullopt, volume(0.5, false, false), dark).isEmpty());
    EXPECT_TRUE(StatusSurface::readouts(std::nullopt, std::nullopt, dark).isEmpty());
}

TEST(StatusSurface, ClockAndDateFollowTheLocaleAndTheWidth)
{
    const QLocale locale = QLocale::system();
    const QString clock = StatusSurface::clockText(kMonday);
    EXPECT_TRUE(clock.contains("41")) << clock.toStdString();
    EXPECT_FALSE(clock.contains("37")) << "seconds on the clock: " << clock.toStdString();

    const QString narrow = StatusSurface::dateText(kMonday, 399);
    const QString wide = StatusSurface::dateText(kMonday, 400);
    EXPECT_TRUE(narrow.contains(locale.dayName(1, QLocale::ShortFormat))) << narrow.toStdString();
    EXPECT_TRUE(narrow.contains(locale.monthName(12, QLocale::ShortFormat))) << narrow.toStdString();
    EXPECT_FALSE(narrow.contains(locale.dayName(1, QLocale::LongFormat))) << narrow.toStdString();
    EXPECT_TRUE(wide.contains(locale.dayName(1, QLocale::LongFormat))) << wide.toStdString();
    EXPECT_TRUE(wide.contains(locale.monthName(12, QLocale::LongFormat))) << wide.toStdString();
    EXPECT_TRUE(wide.contains("7"));
    EXPECT_FALSE(wide.contains("2026")) << wide.toStdString();
    EXPECT_FALSE(narrow.contains("26")) << narrow.toStdString();

    EXPECT_NEAR(StatusSurface::clockSize(metrics(360, 124)), 38.64, 1e-9);
    EXPECT_EQ(StatusSurface::clockSize(metrics(360, 60)), 22);
    EXPECT_EQ(StatusSurface::clockSize(metrics(1600, 600)), 78);
}

TEST(StatusSurface, DetailsNeedAContentHeightOf66)
{
    const SurfaceMetrics tooShort = metrics(360, 32 + 65);
    const SurfaceMetrics enough = metrics(360, 32 + 66);
    EXPECT_FALSE(StatusSurface::showsDetails(tooShort));
    EXPECT_TRUE(StatusSurface::showsDetails(enough));

    const QImage hidden = renderStatus(dark, tooShort, onBattery(50), volume(0.5, false));
    const QImage shown = renderStatus(dark, enough, onBattery(50), volume(0.5, false));
    saveArtefact(hidden, "status-content-65");
    saveArtefact(shown, "status-content-66");
    EXPECT_EQ(separatorPixels(hidden, dark, 360), 0);
    EXPECT_GT(separatorPixels(shown, dark, 360), 0);
    // The date's grey only appears with the details.
    const QColor dateGrey = over(dark.secondaryText(0.5), dark.surface());
    EXPECT_GT(
        countNear(shown, QRectF(0, 0, 180, 66), dateGrey, 6), countNear(hidden, QRectF(0, 0, 180, 65), dateGrey, 6));

    // Without readouts there is no separator even with room for one.
    EXPECT_EQ(separatorPixels(renderStatus(dark, enough, std::nullopt, std::nullopt), dark, 360), 0);
}

TEST(StatusSurface, RendersAtEveryScaleInTheReadoutTints)
{
    struct Case {
        const char* name;
        SurfaceMetrics m;
        NotchTheme theme;
    };
    for (const Case& c :
        { Case { "reference-dark", metrics(360, 124), dark }, Case { "reference-light", metrics(360, 124), light },
            Case { "smallest", metrics(240, 100), dark }, Case { "largest", metrics(960, 340), dark } }) {
        const QImage low = renderStatus(c.theme, c.m, onBattery(12, 35), volume(0.3, false));
        const QImage wall = renderStatus(c.theme, c.m, onWall(80, false), volume(0.3, true));
        saveArtefact(low, QString("status-%1-low").arg(c.name));
        saveArtefact(wall, QString("status-%1-wall").arg(c.name));
        const double w = c.m.size().width(), h = c.m.contentHeight();
        // The readout column is the right half: the low battery is red there, the wall power green.
        const QRectF column(w / 2, 0, w / 2, h);
        EXPECT_GT(countNear(low, column, c.theme.bad(), 20), 20) << c.name;
        EXPECT_EQ(countNear(low, column, c.theme.good(), 20), 0) << c.name;
        EXPECT_GT(countNear(wall, column, c.theme.good(), 20), 20) << c.name;
        // The clock is drawn in the primary text colour on the left.
        EXPECT_GT(countNear(low, QRectF(0, 0, w / 2, h), c.theme.primaryText(), 20), 30) << c.name;
    }
}

TEST(StatusSurface, AccessoryEntriesShowTheChargeMostUrgentFirst)
{
    const auto entries = StatusSurface::accessoryReadouts(someAccessories(), dark);
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[0], (StatusSurface::Readout { "magicmouse", "5%", "Fancy BT mouse", dark.bad() }));
    EXPECT_EQ(entries[1], (StatusSurface::Readout { "airpods", "40%", "WH-1000XM4", dark.good() }));
    EXPECT_EQ(entries[2], (StatusSurface::Readout { "keyboard", "80%", "MX Keys", dark.secondaryText(0.7) }));
    EXPECT_TRUE(StatusSurface::accessoryReadouts(DeviceBatteries(), dark).isEmpty());
}

TEST(StatusSurface, TheStatusTabListsAccessoriesBelowTheReadoutsInBothThemes)
{
    const SurfaceMetrics reference = metrics(360, 124);
    const double w = reference.size().width(), h = reference.contentHeight();
    const QRectF column(w / 2, 0, w / 2, h);
    for (const NotchTheme& theme : { dark, light }) {
        const QString name = theme.isDark ? "dark" : "light";
        const QImage without = renderStatus(theme, reference, onWall(80, false), volume(0.3, false));
        const QImage with = renderStatus(theme, reference, onWall(80, false), volume(0.3, false), someAccessories());
        saveArtefact(with, "status-reference-accessories-" + name);
        // The low mouse is the only red in the column; the charging headset adds green to the
        // wall-power readout's.
        EXPECT_EQ(countNear(without, column, theme.bad(), 20), 0) << name.toStdString();
        EXPECT_GT(countNear(with, column, theme.bad(), 20), 10) << name.toStdString();
        EXPECT_GT(countNear(with, column, theme.good(), 20), countNear(without, column, theme.good(), 20) + 10)
            << name.toStdString();
        // The strip sits below the readouts, in the column's lower part.
        EXPECT_GT(countNear(with, QRectF(w / 2, h * 0.6, w / 2, h * 0.4), theme.bad(), 20), 10) << name.toStdString();
    }

    // Accessories alone still open the column, separator and all.
    const QImage alone = renderStatus(dark, reference, std::nullopt, std::nullopt, someAccessories());
    saveArtefact(alone, "status-reference-accessories-alone");
    EXPECT_GT(separatorPixels(alone, dark, w), 0);
    EXPECT_GT(countNear(alone, column, dark.bad(), 20), 10);
}

TEST(Glance, IsTheFocusModule)
{
    EXPECT_EQ(Glance::moduleID.rawValue, "glance");
}

// The date line as people of each locale write it: no doubled month marker, no year, no
// stray period where the year word was.
TEST(StatusSurface, TheDateIsRightInEveryLocale)
{
    const QLocale before;
    const QDateTime saturday(QDate(2026, 3, 7), QTime(9, 5));
    struct Case {
        const char* locale;
        QString wide;
        QString narrow;
    };
    const std::vector<Case> cases {
        { "en_US", "Saturday, March 7", "Sat, Mar 7" },
        { "de_DE", "Samstag, 7. März", "Sa., 7. März" },
        { "fr_FR", "samedi 7 mars", "sam. 7 mars" },
        { "zh_CN", "3月7日星期六", "3月7日周六" },
        { "ja_JP", "3月7日土曜日", "3月7日土" },
        { "ko_KR", "3월 7일 토요일", "3월 7일 토" },
        { "ru_RU", "суббота, 7 марта", "сб, 7 мар." },
        { "hu_HU", "március 7., szombat", "márc. 7., Szo" },
        { "es_ES", "sábado, 7 de marzo", "sáb, 7 de mar" },
        { "tr_TR", "7 Mart Cumartesi", "7 Mar Cmt" },
    };
    for (const Case& c : cases) {
        QLocale::setDefault(QLocale(c.locale));
        EXPECT_EQ(StatusSurface::dateText(saturday, 400).toStdString(), c.wide.toStdString()) << c.locale;
        EXPECT_EQ(StatusSurface::dateText(saturday, 399).toStdString(), c.narrow.toStdString()) << c.locale;
    }
    QLocale::setDefault(before);
}
