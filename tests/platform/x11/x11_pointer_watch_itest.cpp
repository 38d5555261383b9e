#include "platform/x11/x11_pointer_watch.h"

#include "platform/screen_space.h"
#include "platform/x11/x11_input_bridge.h"
#include "support/private_servers.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <vector>

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

    // Many raw events make few reports: one per turn of the event loop.
    const int before = moves;
    for (int x = 0; x < 20; ++x)
        nested.movePointer(QPoint(200 + x * 10, 300));
    ASSERT_TRUE(waitUntil([&] { return moves > before; }));
    EXPECT_EQ(watch.location(), screen_space::toModel(QPointF(390, 300)));
    EXPECT_LE(watch.reports(), watch.rawEvents());
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
