#include "ui/surface/notch_display_controller.h"

#include "core/rect_math.h"
#include "platform/screen_space.h"
#include "ui/surface/hover_probe_window.h"
#include "ui/surface/notch_panel.h"
#include "ui/surface/notch_surface_view.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "support/test_support.h"

using namespace nimbra;
using Kind = Presentation::Surface::Kind;

namespace {

// The offscreen platform's screen, with a 24-point bar: a 120 x 24 notch.
QRectF screenFrame()
{
    return screen_space::toModel(QRectF(QGuiApplication::primaryScreen()->geometry()));
}

NotchGeometry synthesized()
{
    const QRectF frame = screenFrame();
    return NotchGeometry(DisplayMetrics { frame, frame.adjusted(0, 0, 0, -24), 0, {}, {} });
}

NotchGeometry hardware()
{
    const QRectF frame = screenFrame();
    const double top = maxY(frame) - 32;
    return NotchGeometry(DisplayMetrics { frame, frame.adjusted(0, 0, 0, -32), 32, QRectF(0, top, midX(frame) - 90, 32),
        QRectF(midX(frame) + 90, top, midX(frame) - 90, 32) });
}

const ModuleID glance(QStringLiteral("glance"));

struct Fixture {
    explicit Fixture(const NotchGeometry& geometry = synthesized())
        : controller(
            DisplayKey(QStringLiteral("display-1")), geometry, content(), HoverIntent::Configuration::standard(),
            LayoutMetrics::defaults(), [this] { return now; }, [this] { return pointer; })
    {
        controller.onVisibilityChange = [this](bool showing) { visibility.push_back(showing); };
        controller.onExpandedChange = [this](bool expanded) { expansions.push_back(expanded); };
        controller.onDismiss = [this] { ++dismissals; };
    }

    NotchSurfaceModel::Content content()
    {
        return [this](const Presentation::Surface& surface, const SurfaceContext& context) -> QWidget* {
            ++builds;
            activityBuilds += surface.is(Kind::activity);
            lastContext = context;
            if (surface.is(Kind::dormant))
                return nullptr;
            if (makeContent)
                return makeContent();
            auto* label = new QLabel(surface.traceDescription());
            label->setStyleSheet(QStringLiteral("color: white; background: transparent"));
            label->setAlignment(Qt::AlignCenter);
            return label;
        };
    }

    QPointF notchCentre() const
    {
        const QRectF a = controller.geometry().anchorRect();
        return { midX(a), midY(a) };
    }

    void sample(bool inside) { controller.probe()->onSample()(pointer, inside); }
    void advance(double seconds)
    {
        now += seconds;
        controller.tick();
    }
    // Lets the view's springs reach their targets on the fake clock.
    void settle()
    {
        now += 2;
        controller.view()->finishAnimations();
    }

    // The pointer rests on the notch until the hover engages.
    void engage()
    {
        pointer = notchCentre();
        sample(true);
        advance(0.3);
    }

    // Builds every surface's content in place of the label naming it, when set.
    std::function<QWidget*()> makeContent;
    double now = 1000;
    QPointF pointer { -500, -500 };
    int builds = 0;
    int activityBuilds = 0;
    int dismissals = 0;
    SurfaceContext lastContext;
    std::vector<bool> visibility;
    std::vector<bool> expansions;
    NotchDisplayController controller;
};

Activity volume(double duration = 1)
{
    return Activity { ModuleID(QStringLiteral("systemLevel")), 1, 40, duration, ActivityCategory::volume };
}

QImage panelImage(Fixture& f, const QString& name)
{
    f.settle();
    const QImage image = f.controller.panel()->grab().toImage();
    nimbra::test::saveArtefact(image, name);
    return image;
}

bool dark(const QImage& image, int x, int y)
{
    return qAlpha(image.pixel(x, y)) > 240 && qGray(image.pixel(x, y)) < 20;
}
bool clear(const QImage& image, int x, int y)
{
    return qAlpha(image.pixel(x, y)) == 0;
}

} // namespace

TEST(NotchDisplayController, WindowsSitOverTheNotchAndAnIdleDisplayHasNoTimer)
{
    Fixture f;
    auto& c = f.controller;
    EXPECT_TRUE(c.panel()->isVisible());
    EXPECT_TRUE(c.probe()->isVisible());
    EXPECT_EQ(c.probe()->frame(), c.geometry().trackingRect(4));
    // 360 + 36 wide beats 120 + 48 + 12; 40 of room around; hanging from the top, centred.
    const QRectF frame = screenFrame();
    EXPECT_EQ(c.panel()->frame(), QRectF(midX(frame) - 218, maxY(frame) - 164, 436, 164));
    EXPECT_EQ(c.panel()->geometry(), QRect(int(midX(frame)) - 218, 0, 436, 164));
    EXPECT_FALSE(c.isClockRunning());
    EXPECT_FALSE(c.view()->isAnimating());
    // Dormant on a synthesized notch: the panel lets every click through, and the probe takes
    // the pointer only in the screen's top row, as wide as the notch (4 points of slop beside it).
    EXPECT_TRUE(c.panel()->ignoresMouseEvents());
    EXPECT_TRUE(c.panel()->currentInputShape().isEmpty());
    EXPECT_EQ(c.probe()->currentInputShape(), QRegion(4, 0, 120, 1));
}

TEST(NotchDisplayController, ActivityRunsTheClockUntilItEnds)
{
    Fixture f;
    auto& c = f.controller;
    c.present(volume(1));
    EXPECT_TRUE(c.model()->surface().is(Kind::activity));
    EXPECT_EQ(f.visibility, std::vector<bool>({ true }));
    EXPECT_TRUE(c.isClockRunning());
    // The probe follows the visible outline, grown by 4 points, and takes the pointer all over it.
    EXPECT_EQ(c.probe()->frame().size(), QSizeF(120 + 48 + 12 + 8, 78 + 8));
    EXPECT_EQ(c.probe()->currentInputShape(), QRegion(0, 0, 120 + 48 + 12 + 8, 78 + 8));
    EXPECT_EQ(f.lastContext.size, QSizeF(168, 78));

    f.advance(0.5);
    EXPECT_TRUE(c.isClockRunning());
    f.advance(0.51);
    EXPECT_TRUE(c.model()->isHidden());
    EXPECT_EQ(f.visibility, std::vector<bool>({ true, false }));
    EXPECT_TRUE(f.expansions.empty());
    EXPECT_FALSE(c.isClockRunning());
    EXPECT_EQ(c.probe()->currentInputShape(), QRegion(4, 0, 120, 1));
    EXPECT_EQ(c.probe()->frame(), c.geometry().trackingRect(4));
    // The view fades out on its own frame timer, then stops too.
    f.now += 1;
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return !c.view()->isAnimating(); }, 2000));
}

TEST(NotchDisplayController, RestingPointerOpensAndLeavingCloses)
{
    Fixture f;
    auto& c = f.controller;
    c.setResident(glance);
    EXPECT_TRUE(c.model()->surface().is(Kind::resident));
    EXPECT_FALSE(c.isClockRunning()) << "a resident readout needs no clock";

    f.pointer = f.notchCentre();
    f.sample(true);
    EXPECT_EQ(c.intent().phase(), HoverIntent::Phase::arming);
    EXPECT_TRUE(c.isClockRunning());
    // The pointer rests: the clock's own samples complete the dwell.
    f.advance(0.1);
    EXPECT_FALSE(c.isExpandedSurface());
    f.advance(0.2);
    EXPECT_TRUE(c.isExpandedSurface());
    EXPECT_EQ(f.expansions, std::vector<bool>({ true }));
    EXPECT_FALSE(c.panel()->ignoresMouseEvents());
    // Only the visible body takes clicks: 396 x 124 centred at the top of the 436 x 164 panel.
    EXPECT_EQ(c.panel()->currentInputShape(), QRegion(20, 0, 396, 124));

    // A file drag over the open surface goes through the panel to the probe.
    c.setReceivingDrag(true);
    EXPECT_TRUE(c.panel()->currentInputShape().isEmpty());
    c.setReceivingDrag(false);

    f.pointer = QPointF(10, 10);
    f.advance(0.05);
    EXPECT_TRUE(c.isExpandedSurface()) << "the release grace keeps it open";
    f.advance(0.1);
    EXPECT_TRUE(c.model()->surface().is(Kind::resident));
    EXPECT_EQ(f.expansions, std::vector<bool>({ true, false }));
    EXPECT_FALSE(c.isClockRunning());
    EXPECT_TRUE(c.panel()->currentInputShape().isEmpty());
}

TEST(NotchDisplayController, DormantHardwareNotchCountsOnlyTwoPointsAround)
{
    Fixture f(hardware());
    auto& c = f.controller;
    c.setFocus(glance);
    const QRectF a = c.geometry().anchorRect();
    f.pointer = QPointF(minX(a) - 3, midY(a));
    f.sample(true);
    EXPECT_EQ(c.intent().phase(), HoverIntent::Phase::away);
    EXPECT_FALSE(c.isClockRunning());
    f.pointer = QPointF(minX(a) - 1.5, midY(a));
    f.sample(true);
    EXPECT_EQ(c.intent().phase(), HoverIntent::Phase::arming);
    f.advance(0.3);
    EXPECT_TRUE(c.model()->surface().is(Kind::expanded));
}

TEST(NotchDisplayController, HardwareNotchProbeAlwaysTakesThePointer)
{
    Fixture f(hardware());
    ASSERT_EQ(f.controller.geometry().kind(), NotchGeometry::Kind::hardware);
    EXPECT_EQ(f.controller.geometry().anchorRect().width(), 180);
    // The whole tracking rectangle: 180 wide plus 4 on either side, 32 high plus 4 below.
    EXPECT_EQ(f.controller.probe()->currentInputShape(), QRegion(0, 0, 188, 36));
}

TEST(NotchDisplayController, DormantDrawnNotchIsReachedOnlyAlongTheTopEdge)
{
    Fixture f;
    auto& c = f.controller;
    c.setFocus(glance);
    const QRectF a = c.geometry().anchorRect();
    EXPECT_EQ(c.topEdgeStrip(), QRectF(minX(a), maxY(a) - 1, a.width(), 1));

    // Over the notch but below the top row: the pointer belongs to what lies beneath.
    for (const QPointF p : { f.notchCentre(), QPointF(midX(a), maxY(a) - 1), QPointF(minX(a) - 1, maxY(a)),
             QPointF(maxX(a) + 1, maxY(a)) }) {
        f.pointer = p;
        f.sample(true);
        EXPECT_EQ(c.intent().phase(), HoverIntent::Phase::away) << p.x() << "," << p.y();
    }
    EXPECT_FALSE(c.isClockRunning());

    // Pushed against the top edge, anywhere along the notch: the usual dwell, then open.
    f.pointer = QPointF(maxX(a), maxY(a));
    f.sample(true);
    EXPECT_EQ(c.intent().phase(), HoverIntent::Phase::arming);
    f.advance(0.1);
    EXPECT_FALSE(c.isExpandedSurface());
    f.advance(0.2);
    EXPECT_TRUE(c.isExpandedSurface());
    // Open, the whole surface holds it: the pointer may come down into it.
    EXPECT_FALSE(c.probe()->inputLimit());
    f.pointer = QPointF(midX(a), maxY(a) - 100);
    f.advance(0.5);
    EXPECT_TRUE(c.isExpandedSurface());
    f.pointer = QPointF(midX(a), maxY(a) - 200);
    f.advance(0.05);
    f.advance(0.1);
    EXPECT_TRUE(c.model()->isHidden());
    EXPECT_EQ(c.probe()->currentInputShape(), QRegion(4, 0, 120, 1));
}

TEST(NotchDisplayController, SweepAlongTheTopEdgeFasterThanTheCeilingDoesNotOpen)
{
    Fixture f;
    auto& c = f.controller;
    c.setFocus(glance);
    const QRectF a = c.geometry().anchorRect();
    // 10 points every 8 ms is 1250 pt/s, above the standard 900: to and fro for twice the dwell.
    double x = minX(a), step = 10;
    for (int i = 0; i < 64; ++i) {
        if (x + step > maxX(a) || x + step < minX(a))
            step = -step;
        x += step;
        f.pointer = QPointF(x, maxY(a));
        f.now += 0.008;
        f.sample(true);
        ASSERT_EQ(c.intent().phase(), HoverIntent::Phase::arming) << i;
    }
    f.pointer = QPointF(maxX(a) + 10, maxY(a));
    f.advance(0.008);
    f.advance(0.2);
    EXPECT_EQ(c.intent().phase(), HoverIntent::Phase::away);
    EXPECT_TRUE(f.expansions.empty());
    // The same path at a walking pace opens.
    for (double x = minX(a); x <= midX(a); x += 2) {
        f.pointer = QPointF(x, maxY(a));
        f.now += 0.008;
        f.sample(true);
    }
    f.advance(0.3);
    EXPECT_EQ(f.expansions, std::vector<bool>({ true }));
}

TEST(NotchDisplayController, SurfaceOpenedByCommandClosesByItself)
{
    Fixture f;
    auto& c = f.controller;
    c.autoCloseAfter = 10;
    c.open(glance, false);
    EXPECT_TRUE(c.isExpandedSurface());
    EXPECT_TRUE(c.isClockRunning());
    f.advance(10);
    EXPECT_TRUE(c.isExpandedSurface()) << "closes only after strictly more than the delay";
    c.noteInteraction();
    f.advance(9);
    EXPECT_TRUE(c.isExpandedSurface());
    f.advance(1.01);
    EXPECT_TRUE(c.model()->isHidden());
    EXPECT_EQ(f.dismissals, 1);
    // The closing tick ends early; the next one finds nothing to do and stops the clock.
    f.advance(0.01);
    EXPECT_FALSE(c.isClockRunning());

    // Without a delay it waits for the pointer to visit and leave, with no release grace.
    c.autoCloseAfter = 0;
    c.open(glance, false);
    f.advance(60);
    EXPECT_TRUE(c.isExpandedSurface());
    const QRectF visible = c.visibleRect();
    f.pointer = QPointF(midX(visible), maxY(visible) - 10);
    f.advance(0.01);
    EXPECT_TRUE(c.isExpandedSurface());
    f.pointer = QPointF(maxX(visible) + 7, midY(visible));
    f.advance(0.01);
    EXPECT_TRUE(c.model()->isHidden());
    EXPECT_EQ(f.dismissals, 2);
}

TEST(NotchDisplayController, PointerApproachingASurfaceOpenedByCommandDoesNotCloseIt)
{
    Fixture f;
    auto& c = f.controller;
    c.setResident(glance);
    const ModuleID clipboard(QStringLiteral("clipboard"));
    c.open(clipboard, false);
    const QRectF visible = c.visibleRect();

    // Into the probe's margin, then across the surface: arming, and even engaging, leave it open
    // on the module it was opened with.
    f.pointer = QPointF(maxX(visible) + 3, midY(visible));
    f.sample(true);
    EXPECT_EQ(c.intent().phase(), HoverIntent::Phase::arming);
    EXPECT_EQ(c.model()->surface(), Presentation::Surface::expanded(clipboard));
    f.pointer = QPointF(midX(visible), midY(visible));
    f.sample(true);
    f.advance(0.3);
    EXPECT_EQ(c.intent().phase(), HoverIntent::Phase::engaged);
    EXPECT_EQ(c.model()->surface(), Presentation::Surface::expanded(clipboard));
    EXPECT_EQ(f.expansions, std::vector<bool>({ true }));

    // Leaving after the visit closes it at once, through collapse().
    f.pointer = QPointF(maxX(visible) + 20, midY(visible));
    f.advance(0.01);
    EXPECT_EQ(c.model()->surface(), Presentation::Surface::resident(glance));
    EXPECT_EQ(f.dismissals, 1);
    EXPECT_EQ(c.intent().phase(), HoverIntent::Phase::away);

    // A pointer that passes by without ever reaching the surface leaves it open.
    c.open(clipboard, false);
    f.pointer = QPointF(maxX(visible) + 3, midY(visible));
    f.sample(true);
    f.pointer = QPointF(maxX(visible) + 40, midY(visible));
    f.sample(false);
    f.advance(0.5);
    EXPECT_EQ(c.model()->surface(), Presentation::Surface::expanded(clipboard));
    EXPECT_EQ(c.intent().phase(), HoverIntent::Phase::away);
    EXPECT_TRUE(c.isClockRunning()) << "its clock runs while it is open";
}

TEST(NotchDisplayController, SurfaceOpenedByCommandClosesByTheRealClock)
{
    // Tests that tick by hand cannot see a clock that stopped: this one waits for the real one.
    NotchDisplayController c(DisplayKey(QStringLiteral("display-1")), synthesized(), {},
        HoverIntent::Configuration::standard(), LayoutMetrics::defaults(), {}, [] { return QPointF(-500, -500); });
    int dismissals = 0;
    c.onDismiss = [&] { ++dismissals; };
    c.autoCloseAfter = 0.2;
    c.open(glance, false);
    EXPECT_TRUE(c.isClockRunning());
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return dismissals == 1; }, 5000));
    EXPECT_TRUE(c.model()->isHidden());
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return !c.isClockRunning(); }, 2000));
}

TEST(NotchDisplayController, CollapseCancelsTheHoverAndClosesOnlyAnOpenSurface)
{
    Fixture f;
    auto& c = f.controller;
    c.setResident(glance);
    f.engage();
    ASSERT_TRUE(c.isExpandedSurface());
    c.collapse();
    EXPECT_EQ(c.intent().phase(), HoverIntent::Phase::away);
    EXPECT_EQ(c.model()->surface(), Presentation::Surface::resident(glance));
    EXPECT_EQ(f.dismissals, 1);
    // The pointer has not moved: the clock does not take the old hover up again.
    f.advance(0.01);
    f.advance(0.3);
    EXPECT_EQ(c.model()->surface(), Presentation::Surface::resident(glance));

    // A readout on show is not an open surface: a collapse (Escape, another display's close)
    // leaves it, and still reports the dismissal.
    c.present(volume(5));
    c.collapse();
    EXPECT_TRUE(c.model()->surface().is(Kind::activity));
    EXPECT_EQ(f.dismissals, 2);
}

TEST(NotchDisplayController, HoverOpensTheFocusBeforeTheResident)
{
    Fixture f;
    auto& c = f.controller;
    const ModuleID clipboard(QStringLiteral("clipboard"));
    c.setFocus(clipboard);
    c.setResident(ModuleID(QStringLiteral("nowPlaying")));
    f.engage();
    EXPECT_EQ(c.model()->surface(), Presentation::Surface::expanded(clipboard));
}

TEST(NotchDisplayController, DisablingADisplayEndsItsHover)
{
    Fixture f;
    auto& c = f.controller;
    c.setResident(glance);
    f.engage();
    ASSERT_TRUE(c.isExpandedSurface());
    c.setEnabled(false);
    EXPECT_EQ(c.intent().phase(), HoverIntent::Phase::away);
    EXPECT_EQ(c.model()->surface(), Presentation::Surface::resident(glance));
    EXPECT_EQ(f.expansions, std::vector<bool>({ true, false }));
}

TEST(NotchDisplayController, OpenSurfaceForgivesSixPointsAroundIt)
{
    Fixture f;
    auto& c = f.controller;
    c.setResident(glance);
    f.engage();
    const QRectF visible = c.visibleRect();
    // Just beside it, right or below, long past the release grace: still on it.
    for (const QPointF p :
        { QPointF(maxX(visible) + 5.5, midY(visible)), QPointF(midX(visible), minY(visible) - 5.5) }) {
        f.pointer = p;
        f.sample(true);
        f.advance(0.05);
        f.advance(0.2);
        EXPECT_TRUE(c.isExpandedSurface()) << p.x() << "," << p.y();
    }
    f.pointer = QPointF(maxX(visible) + 6.5, midY(visible));
    f.advance(0.05);
    EXPECT_TRUE(c.isExpandedSurface()) << "the release grace";
    f.advance(0.1);
    EXPECT_EQ(c.model()->surface(), Presentation::Surface::resident(glance));
}

TEST(NotchDisplayController, ResyncSamplesOnlyAPointerInTheTrackingRectangle)
{
    Fixture f;
    auto& c = f.controller;
    c.open(glance, false);
    // Low on the open surface, below the notch's tracking rectangle (where a file was dropped).
    const QRectF visible = c.visibleRect();
    f.pointer = QPointF(midX(visible), minY(visible) + 10);
    ASSERT_FALSE(c.geometry().trackingRect(4).contains(f.pointer));
    c.handBackToHover();
    EXPECT_EQ(c.intent().phase(), HoverIntent::Phase::away);
    EXPECT_EQ(c.model()->surface(), Presentation::Surface::expanded(glance));
}

TEST(NotchDisplayController, ActivityDueWhileThePointerHoldsTheSurfaceOpenIsTakenUnseen)
{
    Fixture f;
    auto& c = f.controller;
    c.setResident(glance);
    f.engage();
    ASSERT_TRUE(c.isExpandedSurface());
    QSignalSpy surfaces(c.model(), &NotchSurfaceModel::surfaceChanged);
    c.present(volume(1));
    EXPECT_EQ(c.presentation().queued().size(), 1u);
    f.advance(0.2);
    EXPECT_TRUE(c.presentation().queued().empty());
    EXPECT_EQ(surfaces.count(), 0) << "the model never saw the readout";
    EXPECT_EQ(f.activityBuilds, 0);
    f.pointer = QPointF(-500, -500);
    f.advance(0.05);
    f.advance(0.1);
    EXPECT_EQ(c.model()->surface(), Presentation::Surface::resident(glance));
    EXPECT_EQ(f.activityBuilds, 0);

    // Open by command with the pointer away, a due readout does take the surface's place.
    c.open(glance, false);
    c.present(volume(1));
    f.advance(0.2);
    EXPECT_TRUE(c.model()->surface().is(Kind::activity));
    EXPECT_EQ(f.activityBuilds, 1);
}

TEST(NotchDisplayController, OpenPanelLetsAFileDragThroughToTheProbe)
{
    Fixture f;
    auto& c = f.controller;
    // The drag arrives first (over the top edge), then the surface opens for it.
    c.setReceivingDrag(true);
    c.open(glance, false);
    EXPECT_TRUE(c.panel()->ignoresMouseEvents());
    EXPECT_TRUE(c.panel()->currentInputShape().isEmpty());
    c.setReceivingDrag(false);
    EXPECT_EQ(c.panel()->currentInputShape(), QRegion(20, 0, 396, 124));
}

TEST(NotchDisplayController, DisabledDisplayKeepsPresentingButIgnoresThePointer)
{
    Fixture f;
    auto& c = f.controller;
    c.setResident(glance);
    c.setEnabled(false);
    EXPECT_FALSE(c.panel()->isVisible());
    EXPECT_FALSE(c.probe()->isVisible());
    f.pointer = f.notchCentre();
    f.sample(true);
    EXPECT_EQ(c.intent().phase(), HoverIntent::Phase::away);
    c.present(volume());
    EXPECT_TRUE(c.model()->surface().is(Kind::activity));

    c.setEnabled(true);
    EXPECT_TRUE(c.panel()->isVisible());
    // Re-enabling resamples the pointer resting on the notch.
    EXPECT_EQ(c.intent().phase(), HoverIntent::Phase::arming);
}

TEST(NotchDisplayController, UnchangedGeometryAndLayoutDoNothing)
{
    Fixture f;
    auto& c = f.controller;
    f.pointer = f.notchCentre();
    c.setFocus(glance);
    c.update(c.geometry());
    c.setLayout(LayoutMetrics::defaults());
    EXPECT_EQ(c.intent().phase(), HoverIntent::Phase::away) << "no pointer resync";

    LayoutMetrics wide;
    wide.expandedWidth = 600;
    c.setLayout(wide);
    EXPECT_EQ(c.panel()->frame().width(), 600 + 36 + 40);
    const int before = f.builds;
    c.refreshContent();
    EXPECT_EQ(f.builds, before + 1);
}

TEST(NotchDisplayController, PaintsEachSurfaceState)
{
    Fixture f;
    auto& c = f.controller;
    // Panel 436 x 164; its centre column is x = 218.
    const QImage dormant = panelImage(f, "surface_dormant");
    EXPECT_TRUE(clear(dormant, 218, 5));

    c.present(volume(100));
    const QImage activity = panelImage(f, "surface_activity");
    // 168 + 12 wide, 78 high, hanging from the top.
    EXPECT_TRUE(dark(activity, 218, 5));
    EXPECT_TRUE(dark(activity, 218 - 80, 40));
    EXPECT_TRUE(clear(activity, 218 - 95, 40));
    EXPECT_TRUE(clear(activity, 218, 82));

    c.setResident(glance);
    c.open(glance, false);
    const QImage expanded = panelImage(f, "surface_expanded");
    EXPECT_TRUE(dark(expanded, 218, 120));
    EXPECT_TRUE(dark(expanded, 218 - 175, 60));
    EXPECT_TRUE(clear(expanded, 218 - 190, 60));
    EXPECT_TRUE(clear(expanded, 218, 130));

    c.collapse();
    const QImage resident = panelImage(f, "surface_resident");
    EXPECT_TRUE(c.model()->surface().is(Kind::resident));
    EXPECT_TRUE(dark(resident, 218, 70));
    EXPECT_TRUE(clear(resident, 218, 82));

    NotchTheme light = c.model()->theme();
    light.isDark = false;
    c.setTheme(light);
    const QImage lightImage = panelImage(f, "surface_resident_light");
    EXPECT_GT(qGray(lightImage.pixel(218, 70)), 230);
}

TEST(NotchSurfaceView, ExpandingBouncesAndEverythingElseSettles)
{
    Fixture f;
    auto& c = f.controller;
    NotchSurfaceView* view = c.view();
    c.setResident(glance);
    f.settle();
    const double residentWidth = view->outlineRect().width();
    EXPECT_EQ(residentWidth, 180);

    c.open(glance, false);
    EXPECT_TRUE(view->isAnimating());
    double widest = 0;
    const double start = f.now;
    for (f.now = start; f.now < start + 1; f.now += 0.004)
        widest = std::max(widest, view->outlineRect().width());
    EXPECT_GT(widest, 396.5) << "a slight overshoot";
    EXPECT_LT(widest, 420);
    EXPECT_NEAR(view->outlineRect().width(), 396, 0.01);
    EXPECT_EQ(view->currentShape(), NotchShape::expanded);
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return !view->isAnimating(); }, 2000));

    c.collapse();
    double narrowest = 1e9;
    const double back = f.now;
    for (f.now = back; f.now < back + 1; f.now += 0.004)
        narrowest = std::min(narrowest, view->outlineRect().width());
    EXPECT_GE(narrowest, residentWidth - 0.01) << "no undershoot on the way back";
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return !view->isAnimating(); }, 2000));

    // A content rebuild alone moves nothing.
    const int builds = view->contentBuilds();
    c.refreshContent();
    EXPECT_EQ(view->contentBuilds(), builds + 1);
    EXPECT_FALSE(view->isAnimating());

    // Going dormant shrinks to the notch and fades out together.
    c.setResident(std::nullopt);
    EXPECT_TRUE(c.model()->isHidden());
    f.now += 0.05;
    EXPECT_GT(view->currentOpacity(), 0);
    EXPECT_LT(view->currentOpacity(), 1);
    f.now += 2;
    EXPECT_EQ(view->currentOpacity(), 0);
    EXPECT_EQ(view->outlineRect().size(), QSizeF(132, 24));
}

TEST(NotchSurfaceView, FadesAndResizesOnOneCriticallyDampedSpring)
{
    Fixture f;
    auto& c = f.controller;
    NotchSurfaceView* view = c.view();
    // A spring of response 0.2 s and damping 1 keeps (1 + wt) e^(-wt) of its way to go.
    const auto remaining = [](double t) {
        const double wt = 2 * M_PI / 0.2 * t;
        return (1 + wt) * std::exp(-wt);
    };
    c.setResident(glance);
    f.settle();
    c.setResident(std::nullopt);
    const double start = f.now;
    for (const double t : { 0.02, 0.05, 0.1 }) {
        f.now = start + t;
        EXPECT_NEAR(view->currentOpacity(), remaining(t), 0.005) << t;
        EXPECT_NEAR(view->outlineRect().width(), 132 + (180 - 132) * remaining(t), 0.2) << t;
    }
    f.settle();
    c.present(volume(100));
    const double shown = f.now;
    f.now = shown + 0.05;
    EXPECT_NEAR(view->currentOpacity(), 1 - remaining(0.05), 0.005);
}

TEST(NotchSurfaceView, ContentGrowsWithTheOutline)
{
    Fixture f;
    auto& c = f.controller;
    NotchSurfaceView* view = c.view();
    c.setResident(glance);
    f.settle();
    c.open(glance, false);
    ASSERT_TRUE(view->isAnimating());
    // Partway, the content has the body's size as drawn then, between the two surfaces'.
    f.now += 0.04;
    const QRectF body = view->bodyRect();
    EXPECT_GT(body.width(), 180);
    EXPECT_LT(body.width(), 340);
    ASSERT_TRUE(nimbra::test::waitUntil([&] {
        QWidget* content = view->contentWidget();
        return content && content->width() == int(std::round(body.width()))
            && content->height() == int(std::round(body.height()));
    }));
    EXPECT_EQ(view->contentWidget()->x(), int(std::round(body.x())));
    f.settle();
    EXPECT_EQ(view->contentWidget()->size(), QSize(360, 124));
}

namespace {
// Watches a content widget from outside, since a rehearsal deletes it.
struct PaintSpy : QObject {
    int paints = 0;
    QSize size;
    NotchTheme theme;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            auto* widget = static_cast<QWidget*>(watched);
            ++paints;
            size = widget->size();
            theme = notchTheme(widget);
        }
        return false;
    }
};
} // namespace

TEST(NotchSurfaceView, RehearsalPaintsContentOffScreenAndLeavesTheSurfaceAlone)
{
    Fixture f;
    auto& c = f.controller;
    c.present(volume(100));
    f.settle();
    QWidget* shown = c.view()->contentWidget();
    NotchTheme light = c.model()->theme();
    light.isDark = false;
    // The window on screen paints the new theme; repaints are posted to it, so any further one
    // would be waiting once the rehearsal has returned.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(c.panel()));
    int frames = 0;
    c.panel()->onFramePresented = [&] { ++frames; };
    c.setTheme(light);
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return frames > 0; }));
    QCoreApplication::sendPostedEvents(c.panel(), QEvent::UpdateRequest);
    frames = 0;
    const int builds = f.builds;

    PaintSpy spy;
    QPointer<QWidget> content = new QWidget;
    content->installEventFilter(&spy);
    c.view()->rehearse(Presentation::Surface::expanded(glance), content);
    QCoreApplication::sendPostedEvents(c.panel(), QEvent::UpdateRequest);

    EXPECT_TRUE(content.isNull()) << "deleted once it has played";
    // Painted plainly and fading, at the size of an expanded body, in the surface's theme.
    EXPECT_EQ(spy.paints, 2);
    EXPECT_EQ(spy.size, QSize(360, 124));
    EXPECT_EQ(spy.theme, light);
    // The surface on show and its content did not change.
    EXPECT_EQ(c.view()->contentWidget(), shown);
    EXPECT_TRUE(c.model()->surface().is(Kind::activity));
    EXPECT_EQ(f.builds, builds);
    // Nothing of it reaches the screen: the window it sits in painted no frame for it.
    EXPECT_EQ(frames, 0);
}

TEST(NotchDisplayController, ADisplayThatShowsNoNotchNeverMapsItsWindows)
{
    // Made for a display that is not selected: nothing reaches the screen, not even briefly.
    NotchDisplayController c(
        DisplayKey(QStringLiteral("display-2")), synthesized(),
        [](const Presentation::Surface&, const SurfaceContext&) -> QWidget* { return nullptr; },
        HoverIntent::Configuration::standard(), LayoutMetrics::defaults(), [] { return 100.0; },
        [] { return QPointF(); }, false);
    EXPECT_FALSE(c.isEnabled());
    EXPECT_FALSE(c.panel()->isVisible());
    EXPECT_FALSE(c.probe()->isVisible());
    // Not shown and hidden again either: no window of the window system was even made for them.
    EXPECT_EQ(c.panel()->windowHandle(), nullptr);
    EXPECT_EQ(c.probe()->windowHandle(), nullptr);
    // Selected later: both windows show.
    c.setEnabled(true);
    EXPECT_TRUE(c.panel()->isVisible());
    EXPECT_TRUE(c.probe()->isVisible());
}

TEST(NotchSurfaceView, ContentThatGrewAwayFromARestingPointerNoLongerThinksItIsUnderIt)
{
    Fixture f;
    auto& c = f.controller;
    // A button at the trailing end of the content, as the shell's tab buttons beside the notch.
    QPointer<QWidget> trailing;
    f.makeContent = [&] {
        auto* content = new QWidget;
        auto* row = new QHBoxLayout(content);
        row->setContentsMargins(0, 0, 0, 0);
        row->addStretch();
        trailing = new QWidget;
        trailing->setFixedSize(30, 20);
        row->addWidget(trailing, 0, Qt::AlignTop);
        return content;
    };
    c.setResident(glance);
    f.settle();
    QWidget* panel = c.panel();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel));

    // The surface starts to open; the pointer rests where the button is at that moment.
    c.open(glance, false);
    ASSERT_TRUE(trailing);
    ASSERT_TRUE(c.view()->isAnimating());
    trailing->parentWidget()->layout()->activate();
    const QPoint resting = trailing->mapTo(panel, trailing->rect().center());
    // The offscreen pointer enters the first window under it: let that be the panel, as on the
    // server, where the probe lies beneath it.
    c.probe()->windowHandle()->setPosition(-3000, -3000);
    QCursor::setPos(panel->mapToGlobal(resting));
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return trailing && trailing->underMouse(); }));

    // The content grows to the expanded body and carries the button away from the still pointer.
    f.now += 2;
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return !c.view()->isAnimating(); }, 3000));
    ASSERT_TRUE(trailing);
    EXPECT_FALSE(trailing->rect().contains(trailing->mapFrom(panel, resting)));
    EXPECT_FALSE(trailing->underMouse()) << "a hover left behind";
}
