#include "platform/x11/x11_pointer_watch.h"

#include "platform/screen_space.h"
#include "platform/x11/x11_input_bridge.h"
#include "support/private_servers.h"
#include "support/test_support.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>
#include <xcb/xinput.h>

using namespace nimbra;
using nimbra::test::NestedX;
using nimbra::test::waitUntil;

namespace {

struct NestedPointer : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(nested.isRunning()) << "Xephyr did not start";
        ASSERT_TRUE(bridge.isConnected());
    }
    NestedX nested;
    X11InputBridge bridge { nested.display() };
    X11PointerWatch watch { bridge };

    // Whether the bridge's client has raw motion selected on the root window, as the server says.
    bool rawMotionSelected()
    {
        xcb_connection_t* c = bridge.connection();
        auto* reply
            = xcb_input_xi_get_selected_events_reply(c, xcb_input_xi_get_selected_events(c, bridge.root()), nullptr);
        if (!reply)
            return false;
        bool motion = false;
        for (auto masks = xcb_input_xi_get_selected_events_masks_iterator(reply); masks.rem;
             xcb_input_event_mask_next(&masks)) {
            if (masks.data->mask_len > 0)
                motion = motion || (*xcb_input_event_mask_mask(masks.data) & XCB_INPUT_XI_EVENT_MASK_RAW_MOTION);
        }
        std::free(reply);
        return motion;
    }
};

} // namespace

TEST_F(NestedPointer, MovesArriveAsRawEventsWithThePointersPlace)
{
    int moves = 0;
    ASSERT_TRUE(watch.watchMoves([&] { ++moves; }));
    ASSERT_TRUE(nested.movePointer(QPoint(120, 340)));
    ASSERT_TRUE(waitUntil([&] { return moves > 0; }));
    EXPECT_GT(watch.rawEvents(), 0);
    // The place in model coordinates: y up from the primary screen's bottom.
    EXPECT_TRUE(waitUntil([&] { return watch.location() == screen_space::toModel(QPointF(120, 340)); }))
        << watch.location().x() << "," << watch.location().y();

    // Many moves make few reports, and the last one finds the last place.
    const int before = moves;
    for (int x = 0; x < 20; ++x)
        nested.movePointer(QPoint(200 + x * 10, 300));
    ASSERT_TRUE(waitUntil([&] { return moves > before; }));
    EXPECT_TRUE(waitUntil([&] { return watch.location() == screen_space::toModel(QPointF(390, 300)); }));
    EXPECT_LE(watch.reports(), watch.rawEvents() + 20);
}

TEST_F(NestedPointer, AMovingPointerIsPolledWithoutRawMotionUntilItRests)
{
    std::vector<QPointF> reported;
    std::vector<bool> polled;
    ASSERT_TRUE(watch.watchMoves([&] {
        reported.push_back(watch.location());
        polled.push_back(watch.isPolling());
        if (reported.size() == 1) {
            // Moved on while the first report is handled: only a poll can find it.
            nested.movePointer(QPoint(160, 130));
            waitUntil([&] { return bridge.pointerPosition() == QPoint(160, 130); });
        }
    }));
    ASSERT_TRUE(nested.movePointer(QPoint(100, 100)));
    ASSERT_TRUE(waitUntil([&] { return reported.size() >= 2; }));
    EXPECT_FALSE(polled[0]) << "the first move after a rest comes from its raw events";
    EXPECT_TRUE(polled[1]);
    EXPECT_EQ(reported[1], screen_space::toModel(QPointF(160, 130)));
    // Raw motion is selected exactly while the place is not polled.
    EXPECT_EQ(rawMotionSelected(), !watch.isPolling());

    // A poll that finds the pointer still ends the polling; raw motion tells of the next move.
    ASSERT_TRUE(waitUntil([&] { return !watch.isPolling(); }));
    EXPECT_TRUE(rawMotionSelected());
    const std::size_t atRest = reported.size();
    const int raw = watch.rawEvents();
    ASSERT_TRUE(nested.movePointer(QPoint(300, 200)));
    ASSERT_TRUE(waitUntil([&] { return reported.size() > atRest; }));
    EXPECT_GT(watch.rawEvents(), raw);
    EXPECT_FALSE(polled[atRest]);

    // Not watched any more: nothing is polled, and no raw motion is asked for.
    watch.stopMoves();
    EXPECT_FALSE(watch.isPolling());
    EXPECT_FALSE(rawMotionSelected());
}

TEST_F(NestedPointer, LeftAndRightClicksAreToldApartAndStoppedMovesStayQuiet)
{
    std::vector<bool> clicks;
    int moves = 0;
    ASSERT_TRUE(watch.watchMoves([&] { ++moves; }));
    ASSERT_TRUE(watch.watchClicks([&](bool right) { clicks.push_back(right); }));
    ASSERT_TRUE(nested.movePointer(QPoint(50, 50)));
    ASSERT_TRUE(waitUntil([&] { return moves > 0; }));
    ASSERT_TRUE(nested.click(1));
    ASSERT_TRUE(nested.click(3));
    ASSERT_TRUE(nested.click(2)); // the middle button is no click for the eyes
    ASSERT_TRUE(waitUntil([&] { return clicks.size() >= 2; }));
    EXPECT_EQ(clicks, (std::vector<bool> { false, true }));

    // With moves no longer watched, a move reports nothing; the click after it proves the
    // move's events have been read.
    watch.stopMoves();
    const int movesBefore = moves;
    ASSERT_TRUE(nested.movePointer(QPoint(300, 300)));
    ASSERT_TRUE(nested.click(1));
    ASSERT_TRUE(waitUntil([&] { return clicks.size() == 3; }));
    EXPECT_EQ(moves, movesBefore);

    // Watching again after nothing was watched selects the raw events anew.
    watch.stopClicks();
    int later = 0;
    ASSERT_TRUE(watch.watchMoves([&] { ++later; }));
    int step = 0;
    ASSERT_TRUE(waitUntil([&] {
        nested.movePointer(QPoint(20 + step++ % 2, 20));
        return later > 0;
    }));
}
