#include "modules/shell/expanded_shell.h"
#include "modules/shell/status_surface.h"

#include "modules/surface_stage.h"

#include <QAbstractButton>
#include <QEnterEvent>
#include <QTest>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

const QList<NotchSurfaceTab> kAllTabs(kNotchSurfaceTabs.begin(), kNotchSurfaceTabs.end());

SurfaceMetrics expandedMetrics(QSizeF size, double notchWidth = 185, double notchHeight = 32)
{
    return SurfaceMetrics(size, notchHeight, notchWidth);
}

QWidget* statusContent(const SurfaceMetrics& metrics = SurfaceMetrics(QSizeF(360, 124), 32, 185))
{
    const PowerSnapshot snapshot { 76, PowerSnapshot::Source::battery, false, false, std::nullopt, 200, false,
        std::nullopt };
    const SystemLevel volume(SystemLevel::Kind::volume, 0.5, false, true, std::nullopt);
    return new StatusSurface(snapshot, QDateTime(QDate(2026, 12, 7), QTime(9, 41)), volume, DeviceBatteries(), metrics);
}

} // namespace

TEST(NotchSurfaceTab, RawValuesRoundTripAndTabsSplitByKind)
{
    EXPECT_EQ(fromRawValue<NotchSurfaceTab>(u"status"), NotchSurfaceTab::status);
    EXPECT_EQ(fromRawValue<NotchSurfaceTab>(u"Status"), std::nullopt);
    EXPECT_EQ(fromRawValue<NotchSurfaceTab>(u""), std::nullopt);
    for (NotchSurfaceTab tab : allCases<NotchSurfaceTab>())
        EXPECT_EQ(fromRawValue<NotchSurfaceTab>(rawValue(tab)), tab);

    // Split by kind, not by position.
    const QList<NotchSurfaceTab> mixed { NotchSurfaceTab::settings, NotchSurfaceTab::music, NotchSurfaceTab::status,
        NotchSurfaceTab::shelf };
    EXPECT_EQ(ExpandedShell::leadingTabs(mixed), (QList { NotchSurfaceTab::music, NotchSurfaceTab::shelf }));
    EXPECT_EQ(ExpandedShell::trailingTabs(mixed), (QList { NotchSurfaceTab::settings, NotchSurfaceTab::status }));
}

TEST(NotchNavRow, FormFollowsPitchAndButtonsTakeTheirSize)
{
    const QList<NotchSurfaceTab> leading { NotchSurfaceTab::music, NotchSurfaceTab::clipboard };
    NotchNavRow exact(leading, NotchNavRow::Side::leading, NotchSurfaceTab::music, 90, 17, nullptr);
    EXPECT_EQ(exact.form(), NotchNavRow::Form::full);
    EXPECT_EQ(exact.buttons().size(), 2);
    NotchNavRow below(leading, NotchNavRow::Side::leading, NotchSurfaceTab::music, 90, 16.99, nullptr);
    EXPECT_EQ(below.form(), NotchNavRow::Form::collapsed);
    NotchNavRow none({}, NotchNavRow::Side::trailing, NotchSurfaceTab::music, 90, 0, nullptr);
    EXPECT_EQ(none.form(), NotchNavRow::Form::empty);
    EXPECT_TRUE(none.buttons().isEmpty());
    EXPECT_EQ(none.overflowButton(), nullptr);

    struct Case {
        double pitch;
        QSize frame;
        double symbol;
    };
    for (const Case& c : { Case { 40, { 37, 26 }, 18 }, Case { 20, { 17, 14 }, 9.2 }, Case { 17, { 14, 14 }, 8 } }) {
        NotchNavRow row(leading, NotchNavRow::Side::leading, NotchSurfaceTab::music, 100, c.pitch, nullptr);
        row.resize(100, 32);
        ASSERT_EQ(row.form(), NotchNavRow::Form::full) << c.pitch;
        EXPECT_EQ(row.buttons()[0]->size(), c.frame) << c.pitch;
        EXPECT_NEAR(NotchNavRow::symbolSize(c.pitch), c.symbol, 1e-9) << c.pitch;
        // Buttons hug the outer edge: the leading row starts at its left edge.
        EXPECT_NEAR(row.buttons()[0]->geometry().center().x(), c.pitch / 2, 1.0) << c.pitch;
    }
}

TEST(NotchNavRow, CollapsedRowStepsThroughItsOwnSide)
{
    const QList<NotchSurfaceTab> leading { NotchSurfaceTab::music, NotchSurfaceTab::clipboard, NotchSurfaceTab::shelf };
    QList<NotchSurfaceTab> picked;
    auto record = [&](NotchSurfaceTab tab) { picked.append(tab); };

    // The selection is on the other side: only the overflow button, and it picks this side's first tab.
    NotchNavRow other(leading, NotchNavRow::Side::leading, NotchSurfaceTab::status, 40, 12, record);
    other.resize(40, 32);
    EXPECT_TRUE(other.buttons().isEmpty());
    ASSERT_NE(other.overflowButton(), nullptr);
    EXPECT_EQ(other.overflowButton()->toolTip(), "More surfaces");
    EXPECT_EQ(other.overflowButton()->size(), QSize(17, 14));
    other.overflowButton()->click();
    EXPECT_EQ(picked, QList { NotchSurfaceTab::music });

    // The selection is here: its button (drawn as at pitch 20) does nothing; the overflow wraps.
    picked.clear();
    NotchNavRow last(leading, NotchNavRow::Side::leading, NotchSurfaceTab::shelf, 40, 12, record);
    last.resize(40, 32);
    ASSERT_EQ(last.buttons().size(), 1);
    EXPECT_EQ(last.buttons()[0]->size(), QSize(17, 14));
    last.buttons()[0]->click();
    EXPECT_TRUE(picked.isEmpty());
    last.overflowButton()->click();
    EXPECT_EQ(picked, QList { NotchSurfaceTab::music });
}

TEST(ExpandedShell, ClicksReportTheTabAndNeverChangeTheSelectionThemselves)
{
    Stage stage(NotchTheme::dark(), { 360, 124 });
    QList<NotchSurfaceTab> picked;
    auto* shell = stage.make<ExpandedShell>(
        expandedMetrics({ 360, 124 }), NotchSurfaceTab::status, kAllTabs,
        [&](NotchSurfaceTab tab) { picked.append(tab); }, statusContent());
    EXPECT_EQ(shell->leadingRow()->form(), NotchNavRow::Form::full);
    EXPECT_NEAR(shell->leadingRow()->pitch(), 18.375, 1e-9);
    EXPECT_NEAR(shell->trailingRow()->pitch(), 34, 1e-9);
    EXPECT_EQ(shell->leadingRow()->geometry(), QRect(0, 0, 88, 32));
    EXPECT_EQ(shell->trailingRow()->geometry().right(), 359);
    EXPECT_EQ(shell->content()->geometry(), QRect(0, 32, 360, 92));

    QTest::mouseClick(shell->leadingRow()->buttons()[1], Qt::LeftButton);
    QTest::mouseClick(shell->trailingRow()->buttons()[1], Qt::LeftButton);
    EXPECT_EQ(picked, (QList { NotchSurfaceTab::clipboard, NotchSurfaceTab::settings }));
    EXPECT_EQ(shell->selection(), NotchSurfaceTab::status);
    EXPECT_EQ(shell->trailingRow()->buttons()[0]->toolTip(), "Status");
}

TEST(ExpandedShell, SelectedAndHoveredButtonsShowTheirWells)
{
    for (const NotchTheme& theme : { NotchTheme::dark(), NotchTheme { false, ClockFont::lockScreen } }) {
        Stage stage(theme, { 360, 124 });
        auto* shell = stage.make<ExpandedShell>(
            expandedMetrics({ 360, 124 }), NotchSurfaceTab::status, kAllTabs, nullptr, statusContent());
        QAbstractButton* selected = shell->trailingRow()->buttons()[0];
        QAbstractButton* hovered = shell->leadingRow()->buttons()[0];
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
        QCoreApplication::sendEvent(hovered, &enter);
        const QImage image = stage.render();
        const QString name = theme.isDark ? "dark" : "light";
        saveArtefact(image, "expanded-shell-status-" + name);

        // Sample the wells just inside each button's rounded corner, away from the symbol.
        const QPoint s = selected->mapTo(&stage.host, QPoint(4, selected->height() / 2));
        EXPECT_TRUE(near(pixelAt(image, s.x(), s.y()), over(theme.well(0.16), theme.surface()), 4))
            << name.toStdString();
        const QPoint h = hovered->mapTo(&stage.host, QPoint(1, hovered->height() / 2));
        EXPECT_TRUE(near(pixelAt(image, h.x(), h.y()), over(theme.well(0.08), theme.surface()), 4))
            << name.toStdString();
        // An idle button has no well at all.
        QAbstractButton* idle = shell->leadingRow()->buttons()[2];
        const QPoint i = idle->mapTo(&stage.host, QPoint(2, idle->height() / 2));
        EXPECT_TRUE(near(pixelAt(image, i.x(), i.y()), theme.surface(), 2)) << name.toStdString();
        // The selected symbol is drawn in the primary text colour.
        EXPECT_GT(countNear(stage.render(), QRectF(selected->mapTo(&stage.host, QPoint(0, 0)), selected->size()),
                      theme.primaryText(), 30),
            8);
    }
}

TEST(ExpandedShell, NarrowAndLargeSurfacesKeepEveryTabReachable)
{
    // A small notch strip collapses the leading row; a large surface shows full rows.
    Stage small(NotchTheme::dark(), { 280, 96 });
    auto* narrow = small.make<ExpandedShell>(expandedMetrics({ 280, 96 }, 200, 28), NotchSurfaceTab::status, kAllTabs,
        nullptr, statusContent(expandedMetrics({ 280, 96 }, 200, 28)));
    EXPECT_EQ(narrow->leadingRow()->form(), NotchNavRow::Form::collapsed);
    EXPECT_NE(narrow->leadingRow()->overflowButton(), nullptr);
    saveArtefact(small.render(), "expanded-shell-narrow");

    Stage large(NotchTheme::dark(), { 900, 300 });
    auto* wide = large.make<ExpandedShell>(expandedMetrics({ 900, 300 }, 200, 38), NotchSurfaceTab::music, kAllTabs,
        nullptr, statusContent(expandedMetrics({ 900, 300 }, 200, 38)));
    EXPECT_EQ(wide->leadingRow()->form(), NotchNavRow::Form::full);
    EXPECT_EQ(wide->leadingRow()->buttons().size(), 4);
    // The pitch is capped at 34 reference points (scale about 2.18 here); the height at 26.
    EXPECT_EQ(wide->leadingRow()->buttons()[0]->size(), QSize(71, 26));
    saveArtefact(large.render(), "expanded-shell-large");
}
