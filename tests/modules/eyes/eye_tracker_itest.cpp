#include "modules/eyes/eye_tracker.h"

#include "platform/screen_space.h"
#include "platform/x11/x11_input_bridge.h"
#include "platform/x11/x11_pointer_watch.h"
#include "support/private_servers.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace nimbra;
using nimbra::test::NestedX;
using nimbra::test::waitUntil;

TEST(EyeTrackerOnX11, RealPointerMovesAndClicksTurnAndCloseTheEyes)
{
    NestedX nested;
    ASSERT_TRUE(nested.isRunning());
    X11InputBridge bridge(nested.display());
    X11PointerWatch watch(bridge);
    EyeTracker tracker(&watch);
    EyeStyle style;
    style.blinks = false;
    style.clickBlink = ClickBlink::matchingSide;
    tracker.apply(style);
    // The eyes in the middle of the nested screen's top edge.
    tracker.eyeCentres = { screen_space::toModel(QPointF(390, 10)), screen_space::toModel(QPointF(410, 10)) };
    tracker.travel = 4;
    int frames = 0;
    tracker.onChange = [&] { ++frames; };
    tracker.start();

    ASSERT_TRUE(nested.movePointer(QPoint(790, 10)));
    ASSERT_TRUE(waitUntil([&] { return tracker.leftPupil().x() > 3.5 && tracker.rightPupil().x() > 3.5; }));
    ASSERT_TRUE(nested.movePointer(QPoint(5, 10)));
    ASSERT_TRUE(waitUntil([&] { return tracker.leftPupil().x() < -3.5; }));
    // Straight below: the pupils look down (y up in the model).
    ASSERT_TRUE(nested.movePointer(QPoint(400, 590)));
    ASSERT_TRUE(waitUntil([&] { return tracker.leftPupil().y() < -3.5; }));

    // A right click winks the right eye only.
    ASSERT_TRUE(nested.click(3));
    ASSERT_TRUE(waitUntil([&] { return tracker.lidRight() > 0.2; }));
    EXPECT_LT(tracker.lidLeft(), 0.01);
    // Then the eyes settle and the clock slows down to wait for clicks.
    ASSERT_TRUE(waitUntil([&] { return tracker.clockMode() == EyeTracker::ClockMode::blinkDoze; }));
    EXPECT_LT(tracker.lidRight(), 0.01);
    EXPECT_GT(frames, 10);
}
