#include "platform/x11/screens.h"
#include "platform/x11/window_shape.h"

#include "support/nimbra_process.h"
#include "support/private_servers.h"
#include "support/test_support.h"

#include <QGuiApplication>
#include <QScreen>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

using namespace nimbra;

TEST(ScreenLookupOnX, FindsTheRandrOutput)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    const auto id = nimbraDisplayID(screen);
    ASSERT_TRUE(id.has_value());
    // Xvfb's output carries no EDID: the key falls back to the id.
    EXPECT_EQ(nimbraKey(screen)->rawValue, QStringLiteral("display-%1").arg(*id));
    EXPECT_EQ(nimbraBuiltIn(), nullptr) << "a virtual screen is no laptop panel";
    EXPECT_EQ(nimbraMainDisplay(), screen) << "its one output stands in for the panel";
    const NotchGeometry geometry = nimbraGeometry(screen);
    EXPECT_EQ(geometry.kind(), NotchGeometry::Kind::synthesized);
    EXPECT_EQ(geometry.anchorRect().width(), 120);
    EXPECT_TRUE(x11::hasCompositor()) << "the harness runs xcompmgr";
}

TEST(ScreenLookupOnX, WithoutRandrOneNotchServesTheWholeScreenAndNimbraSaysSo)
{
    nimbra::test::PrivateX bare({ "-extension", "RANDR" });
    ASSERT_TRUE(bare.isRunning());
    // Default settings: only the machine's own panel shows a notch.
    nimbra::test::NimbraProcess nimbra;
    ASSERT_TRUE(nimbra.start({ "DISPLAY=" + bare.display() }));
    ASSERT_TRUE(nimbra.waitForLog("display + display-1 synthesized ", 10000)) << nimbra.log().toStdString();

    // Its windows are on the screen, the panel hanging from the top centre.
    xcb_connection_t* c = xcb_connect(bare.display().constData(), nullptr);
    ASSERT_FALSE(xcb_connection_has_error(c));
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const auto panelShown = [&] {
        auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, screen->root), nullptr);
        bool found = false;
        for (int i = 0; tree && i < xcb_query_tree_children_length(tree); ++i) {
            const xcb_window_t w = xcb_query_tree_children(tree)[i];
            auto* attributes = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
            auto* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr);
            found = found
                || (attributes && geometry && attributes->map_state == XCB_MAP_STATE_VIEWABLE && geometry->y == 0
                    && geometry->width == 436 && geometry->height == 164
                    && geometry->x + geometry->width / 2 == screen->width_in_pixels / 2);
            free(attributes);
            free(geometry);
        }
        free(tree);
        return found;
    };
    EXPECT_TRUE(nimbra::test::waitUntil(panelShown, 10000));
    xcb_disconnect(c);

    EXPECT_EQ(nimbra.log().count("the X server has no RandR extension; one notch serves the whole screen\n"), 1)
        << nimbra.log().toStdString();
    EXPECT_EQ(nimbra.log().count("display + "), 1);
    EXPECT_TRUE(nimbra.terminate()) << nimbra.log().toStdString();
}
