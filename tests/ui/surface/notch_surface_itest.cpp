// The notch windows on a real X server (the harness's Xvfb with openbox, with and without
// xcompmgr).
#include "core/rect_math.h"
#include "platform/screen_space.h"
#include "platform/x11/screens.h"
#include "platform/x11/window_shape.h"
#include "platform/x11/x11_edge_strip.h"
#include "platform/x11/x11_input_bridge.h"
#include "ui/surface/hover_probe_window.h"
#include "ui/surface/notch_display_controller.h"
#include "ui/surface/notch_panel.h"
#include "ui/surface/notch_surface_view.h"

#include <QCursor>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryFile>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>
#include <gtest/gtest.h>
#include <memory>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include "support/file_drag.h"
#include "support/test_support.h"
#include "support/x_pointer.h"

using namespace nimbra;
using nimbra::test::movePointer;
using nimbra::test::pressButton;
using nimbra::test::syncWithServer;
using Kind = Presentation::Surface::Kind;

namespace {

xcb_connection_t* connection()
{
    return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

void click(QPoint qt)
{
    movePointer(qt);
    pressButton(true);
    pressButton(false);
}

bool overrideRedirect(QWidget* window)
{
    auto* reply = xcb_get_window_attributes_reply(
        connection(), xcb_get_window_attributes(connection(), xcb_window_t(window->winId())), nullptr);
    const bool result = reply && reply->override_redirect;
    free(reply);
    return result;
}

QWidget* content(const Presentation::Surface& surface, const SurfaceContext&)
{
    if (surface.is(Kind::dormant))
        return nullptr;
    auto* label = new QLabel(surface.traceDescription());
    label->setStyleSheet(QStringLiteral("color: white; background: transparent; font-size: 13px"));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

// `pointer` reads the real pointer too, and lets a test count the controller's readings.
std::unique_ptr<NotchDisplayController> controllerForPrimary(NotchDisplayController::Pointer pointer = {},
    NotchDisplayController::Clock clock = {}, X11InputBridge* input = nullptr)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    const auto key = nimbraKey(screen);
    if (!key)
        return nullptr;
    auto c = std::make_unique<NotchDisplayController>(*key, nimbraGeometry(screen), content,
        HoverIntent::Configuration::standard(), LayoutMetrics::defaults(), std::move(clock), std::move(pointer), true,
        input);
    c->setFocus(ModuleID(QStringLiteral("glance")));
    return c;
}

QPoint notchCentreQt(const NotchDisplayController& c)
{
    return screen_space::toQt(c.geometry().anchorRect()).center().toPoint();
}

// The notch's column of pixels at the screen's top row.
QPoint topEdgeQt(const NotchDisplayController& c, int dx = 0)
{
    return QPoint(notchCentreQt(c).x() + dx, QGuiApplication::primaryScreen()->geometry().top());
}

bool exposed(const NotchDisplayController& c)
{
    return c.panel()->windowHandle()->isExposed() && c.probe()->windowHandle()->isExposed();
}

QImage screenTop(const QString& name)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect g = screen->geometry();
    const QImage image = screen->grabWindow(0, g.center().x() - 300, 0, 600, 200).toImage();
    nimbra::test::saveArtefact(image, name);
    return image;
}

bool dark(const QImage& image, QPoint p)
{
    return qGray(image.pixel(p)) < 30;
}

// Whether the edge strip's X window is on screen (asked on Qt's connection, not the strip's).
bool stripOnScreen(const NotchDisplayController& c)
{
    const xcb_window_t strip = c.edgeStrip() ? c.edgeStrip()->window() : XCB_NONE;
    if (!strip)
        return false;
    auto* reply
        = xcb_get_window_attributes_reply(connection(), xcb_get_window_attributes(connection(), strip), nullptr);
    const bool viewable = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    free(reply);
    return viewable;
}

// A plain window under the notch (a desktop's top panel) that records the presses reaching it.
class Beneath : public QWidget {
public:
    Beneath()
        : QWidget(nullptr, Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint)
    {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setStyleSheet(QStringLiteral("background: #4080c0"));
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        setGeometry(screen.center().x() - 300, 0, 600, 200);
        show();
    }
    bool pressedAt(QPoint global) const { return presses.contains(global); }
    QList<QPoint> presses;

protected:
    void mousePressEvent(QMouseEvent* event) override { presses << event->globalPosition().toPoint(); }
};

// A file dragged from another program to the notch, with what the shell does with it: open the
// shelf while the drag hovers, and record what is dropped.
struct ShelfDrag {
    explicit ShelfDrag(NotchDisplayController& c)
        : c(c)
    {
        c.onDragHover() = [this](bool hovering) {
            hovers.push_back(hovering);
            this->c.setReceivingDrag(hovering);
            if (hovering)
                this->c.open(shelf, false);
            else
                this->c.handBackToHover();
        };
        c.onDropFiles() = [this](const QList<QUrl>& files) {
            dropped = files;
            return true;
        };
    }
    // Makes the file to drag.
    bool start() { return file.open(); }
    // Starts the source, presses on the file, pulls it out, and carries it to the top edge above
    // the notch; true once the notch heard of it.
    bool carryToTheTopEdge()
    {
        source = nimbra::test::dragFrom(file.fileName());
        if (!source)
            return false;
        movePointer(topEdgeQt(c, -40));
        movePointer(topEdgeQt(c));
        return nimbra::test::waitUntil([&] { return !hovers.empty(); }, 5000);
    }
    // Down into the open shelf, and let go; true once the source saw its file taken.
    bool dropIntoTheShelf()
    {
        movePointer(notchCentreQt(c) + QPoint(0, 50));
        movePointer(notchCentreQt(c) + QPoint(0, 60));
        pressButton(false);
        return source->said("dropped copy");
    }
    QList<QUrl> fileDropped() const { return { QUrl::fromLocalFile(file.fileName()) }; }

    NotchDisplayController& c;
    const ModuleID shelf { QStringLiteral("shelf") };
    std::vector<bool> hovers;
    QList<QUrl> dropped;
    QTemporaryFile file;
    std::unique_ptr<nimbra::test::Peer> source;
};

} // namespace

// These move the real pointer, take the keyboard and read the screen: each case has an X server
// (and window manager and compositor) of its own, where no test running beside it puts windows.
NIMBRA_OWN_HARNESS(NotchSurfaceOnX);
using NotchSurfaceOnX = testing::Test;

TEST_F(NotchSurfaceOnX, WindowsBypassTheWindowManagerAtTheTopCentre)
{
    auto c = controllerForPrimary();
    ASSERT_TRUE(c);
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return c->panel()->windowHandle()->isExposed(); }));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect panel = c->panel()->frameGeometry();
    EXPECT_EQ(panel.y(), 0);
    EXPECT_EQ(panel.x() + panel.width() / 2, screen.x() + screen.width() / 2);
    EXPECT_EQ(panel.size(), QSize(436, 164));
    EXPECT_TRUE(overrideRedirect(c->panel()));
    EXPECT_TRUE(overrideRedirect(c->probe()));
    EXPECT_TRUE(x11::hasCompositor()) << "the harness runs xcompmgr";
}

TEST_F(NotchSurfaceOnX, ClicksOnADormantNotchReachTheWindowBeneath)
{
    Beneath beneath;
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return beneath.windowHandle()->isExposed(); }));
    auto c = controllerForPrimary();
    ASSERT_TRUE(c);
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return exposed(*c); }));
    syncWithServer();

    // Everything below the screen's top row belongs to what lies beneath, even over the notch.
    const QPoint centre = notchCentreQt(*c);
    const QPoint belowTheEdge = topEdgeQt(*c) + QPoint(0, 1);
    click(centre);
    click(belowTheEdge);
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return beneath.pressedAt(belowTheEdge); }, 3000))
        << "the notch swallowed the click";
    EXPECT_TRUE(beneath.pressedAt(centre));
    // The pointer's visits came before those presses: none of them started a hover.
    EXPECT_EQ(c->intent().phase(), HoverIntent::Phase::away);

    // The expanded surface takes clicks inside its body; beside it they still go through.
    c->open(ModuleID(QStringLiteral("glance")), false);
    syncWithServer();
    const QPoint inside = centre + QPoint(0, 40);
    const QPoint beside(QGuiApplication::primaryScreen()->geometry().center().x() - 280, 150);
    click(inside);
    click(beside);
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return beneath.pressedAt(beside); }, 3000));
    EXPECT_FALSE(beneath.pressedAt(inside));
}

TEST_F(NotchSurfaceOnX, PointerPushedAgainstTheTopEdgeOpensADormantNotch)
{
    movePointer(QPoint(50, 600));
    X11InputBridge input;
    auto c = controllerForPrimary({}, {}, &input);
    ASSERT_TRUE(c);
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return exposed(*c); }));
    syncWithServer();
    ASSERT_TRUE(c->model()->isHidden());

    movePointer(topEdgeQt(*c));
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return c->isExpandedSurface(); }, 3000));
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return !c->view()->isAnimating(); }, 2000));
    EXPECT_TRUE(nimbra::test::waitUntil(
        [&] { return dark(screenTop(QStringLiteral("x11_surface_opened_from_the_top_edge")), QPoint(300, 110)); }));

    // Down into the open surface it stays; away from it, it closes and the edge rule is back.
    movePointer(notchCentreQt(*c) + QPoint(0, 60));
    syncWithServer();
    EXPECT_TRUE(c->isExpandedSurface());
    movePointer(QPoint(50, 600));
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return c->model()->isHidden(); }, 3000));
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return !c->isClockRunning(); }, 2000));
    EXPECT_EQ(c->probe()->currentInputShape().boundingRect().height(), 1);
    // With a compositor the probe takes the edge itself: no stand-in window was ever made.
    ASSERT_TRUE(c->edgeStrip());
    EXPECT_EQ(c->edgeStrip()->window(), 0u);
}

TEST_F(NotchSurfaceOnX, FastSweepAlongTheTopEdgeDoesNotOpen)
{
    // The controller's readings of the pointer: one per sample of the probe and per clock tick.
    int readings = 0;
    // A clock that moves 4 ms each time it is read, whatever the real clock does: a process
    // starved on a loaded machine would see a slow sweep on the real one. It is read about once
    // per reading of the pointer, so 30 pixels a step (two readings) is far above the 900 points
    // a second of the standard ceiling, and the sweep lasts about twice the dwell.
    double seconds = 0;
    auto c = controllerForPrimary(
        [&] {
            ++readings;
            return screen_space::toModel(QPointF(QCursor::pos()));
        },
        [&] { return seconds += 0.004; });
    ASSERT_TRUE(c);
    std::vector<bool> expansions;
    c->onExpandedChange = [&](bool expanded) { expansions.push_back(expanded); };
    movePointer(QPoint(50, 600));
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return exposed(*c); }));
    syncWithServer();

    // To and fro along the strip.
    const int half = int(c->geometry().anchorRect().width() / 2) - 5;
    int x = -half, step = 30;
    bool armed = false;
    for (int i = 0; i < 60; ++i) {
        if (x + step > half || x + step < -half)
            step = -step;
        x += step;
        const int before = readings;
        movePointer(topEdgeQt(*c, x));
        ASSERT_TRUE(nimbra::test::waitUntil([&] { return readings >= before + 2; }));
        armed = armed || c->intent().phase() == HoverIntent::Phase::arming;
    }
    EXPECT_TRUE(armed) << "the sweep never reached the strip";
    movePointer(QPoint(50, 600));
    // Leaving ends the hover after the release grace; nothing opened before that.
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return !c->isClockRunning(); }));
    EXPECT_EQ(c->intent().phase(), HoverIntent::Phase::away);
    EXPECT_TRUE(expansions.empty());
}

TEST_F(NotchSurfaceOnX, FileDragReachingTheTopEdgeOpensTheDropPath)
{
    movePointer(QPoint(50, 600));
    auto c = controllerForPrimary();
    ASSERT_TRUE(c);
    ShelfDrag drag(*c);
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return exposed(*c); }));
    ASSERT_TRUE(drag.start());

    ASSERT_TRUE(drag.carryToTheTopEdge());
    EXPECT_EQ(drag.hovers.front(), true);
    EXPECT_TRUE(c->model()->surface() == Presentation::Surface::expanded(drag.shelf));

    ASSERT_TRUE(drag.dropIntoTheShelf());
    EXPECT_EQ(drag.dropped, drag.fileDropped());
    EXPECT_EQ(drag.hovers, std::vector<bool>({ true, false }));
}

TEST_F(NotchSurfaceOnX, SurfaceOpenedByCommandWaitsForTheVisitAndClosesWhenThePointerLeaves)
{
    movePointer(QPoint(50, 600));
    auto c = controllerForPrimary();
    ASSERT_TRUE(c);
    int dismissals = 0;
    c->onDismiss = [&] { ++dismissals; };
    c->setResident(ModuleID(QStringLiteral("glance")));
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return exposed(*c); }));
    const ModuleID clipboard(QStringLiteral("clipboard"));
    c->open(clipboard, false);
    syncWithServer();
    const QRect visible = screen_space::toQt(c->visibleRect()).toRect();

    // Into the probe's margin beside the surface: the hover starts, the surface stays.
    movePointer(QPoint(visible.right() + 3, visible.center().y()));
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return c->intent().phase() != HoverIntent::Phase::away; }, 3000));
    EXPECT_EQ(c->model()->surface(), Presentation::Surface::expanded(clipboard));

    // Over it and resting: still the surface it was opened as.
    movePointer(visible.center());
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return c->intent().phase() == HoverIntent::Phase::engaged; }, 3000));
    EXPECT_EQ(c->model()->surface(), Presentation::Surface::expanded(clipboard));
    EXPECT_EQ(dismissals, 0);

    // Away after the visit: closed, as by a command.
    movePointer(QPoint(50, 600));
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return dismissals == 1; }, 3000));
    EXPECT_EQ(c->model()->surface(), Presentation::Surface::resident(ModuleID(QStringLiteral("glance"))));
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return !c->isClockRunning(); }, 2000));
}

TEST_F(NotchSurfaceOnX, RestingPointerOpensTheSurfaceAndLeavingClosesIt)
{
    auto c = controllerForPrimary();
    ASSERT_TRUE(c);
    movePointer(QPoint(50, 600));
    c->setResident(ModuleID(QStringLiteral("glance")));
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return exposed(*c); }));
    syncWithServer();
    EXPECT_FALSE(c->isClockRunning());

    // A readout on show takes the pointer all over itself, not only at the edge.
    movePointer(notchCentreQt(*c));
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return c->isExpandedSurface(); }, 3000));
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return !c->view()->isAnimating(); }, 2000));
    EXPECT_TRUE(nimbra::test::waitUntil(
        [&] { return dark(screenTop(QStringLiteral("x11_surface_expanded")), QPoint(300, 110)); }));

    movePointer(QPoint(50, 600));
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return c->model()->surface().is(Kind::resident); }, 3000));
    // Nothing moves and nothing shows an activity: the clock stops by itself.
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return !c->isClockRunning() && !c->view()->isAnimating(); }, 2000));
}

TEST_F(NotchSurfaceOnX, FourStatesOnScreen)
{
    auto c = controllerForPrimary();
    ASSERT_TRUE(c);
    movePointer(QPoint(50, 600));
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return exposed(*c); }));
    // The compositor shows a state a little after the view painted it: poll the screen.
    const auto shows = [&](const QString& name, QPoint p, bool darkThere) {
        return nimbra::test::waitUntil([&] { return dark(screenTop(name), p) == darkThere; }, 3000);
    };
    EXPECT_TRUE(shows(QStringLiteral("x11_surface_dormant"), QPoint(300, 5), false));

    c->present(Activity { ModuleID(QStringLiteral("systemLevel")), 1, 40, 30, ActivityCategory::volume });
    EXPECT_TRUE(shows(QStringLiteral("x11_surface_activity"), QPoint(300, 70), true));
    EXPECT_TRUE(shows(QStringLiteral("x11_surface_activity"), QPoint(300, 90), false));

    c->setResident(ModuleID(QStringLiteral("nowPlaying")));
    c->open(ModuleID(QStringLiteral("glance")), false);
    EXPECT_TRUE(shows(QStringLiteral("x11_surface_expanded_by_command"), QPoint(300, 115), true));

    c->collapse();
    EXPECT_TRUE(shows(QStringLiteral("x11_surface_resident"), QPoint(300, 115), false));
    EXPECT_TRUE(shows(QStringLiteral("x11_surface_resident"), QPoint(300, 70), true));
}

TEST_F(NotchSurfaceOnX, ProbeWindowMovesOnlyWhenItsFrameChanges)
{
    movePointer(QPoint(50, 600));
    auto c = controllerForPrimary();
    ASSERT_TRUE(c);
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return exposed(*c); }));
    syncWithServer();

    // A watcher of its own on the probe's X window, as the window manager would be.
    xcb_connection_t* watcher = xcb_connect(nullptr, nullptr);
    ASSERT_FALSE(xcb_connection_has_error(watcher));
    const xcb_window_t probe = xcb_window_t(c->probe()->winId());
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
    free(xcb_request_check(watcher, xcb_change_window_attributes_checked(watcher, probe, XCB_CW_EVENT_MASK, &mask)));

    // A readout for half a second: sixty ticks of the clock, each syncing the windows.
    c->present(Activity { ModuleID(QStringLiteral("systemLevel")), 1, 40, 0.5, ActivityCategory::volume });
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return c->model()->isHidden() && !c->isClockRunning(); }, 5000));

    // A property change made after all that arrives after every configure event it caused.
    const char name[] = "NIMBRA_TEST_MARK";
    auto* atom = xcb_intern_atom_reply(watcher, xcb_intern_atom(watcher, 0, sizeof name - 1, name), nullptr);
    ASSERT_NE(atom, nullptr);
    const uint32_t value = 1;
    xcb_change_property(watcher, XCB_PROP_MODE_REPLACE, probe, atom->atom, XCB_ATOM_CARDINAL, 32, 1, &value);
    xcb_flush(watcher);
    int configures = 0;
    bool marked = false;
    EXPECT_TRUE(nimbra::test::waitUntil([&] {
        while (xcb_generic_event_t* event = xcb_poll_for_event(watcher)) {
            const uint8_t type = event->response_type & 0x7f;
            if (type == XCB_CONFIGURE_NOTIFY && reinterpret_cast<xcb_configure_notify_event_t*>(event)->window == probe)
                ++configures;
            if (type == XCB_PROPERTY_NOTIFY
                && reinterpret_cast<xcb_property_notify_event_t*>(event)->atom == atom->atom)
                marked = true;
            free(event);
        }
        return marked;
    }));
    free(atom);
    xcb_disconnect(watcher);
    // Out to the readout's frame, and back to the notch's.
    EXPECT_EQ(configures, 2);
}

TEST_F(NotchSurfaceOnX, PanelTakesTheKeyboardOnlyWhenAsked)
{
    auto c = controllerForPrimary();
    ASSERT_TRUE(c);
    movePointer(QPoint(50, 600));
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return exposed(*c); }));
    // Wanting the keyboard while collapsed only makes the panel able to take it later.
    c->setWantsKeyboard(true);
    EXPECT_TRUE(c->panel()->allowsKey());
    syncWithServer();
    EXPECT_FALSE(c->panel()->isKeyWindow());
    c->setWantsKeyboard(false);

    c->open(ModuleID(QStringLiteral("clipboard")), true);
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return c->panel()->isKeyWindow(); }, 3000));
    c->collapse();
    EXPECT_FALSE(c->panel()->allowsKey());
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return !c->panel()->isKeyWindow(); }, 3000));
    EXPECT_FALSE(c->probe()->isKeyWindow());
    // The X server no longer sends keys to the panel either.
    auto* focus = xcb_get_input_focus_reply(connection(), xcb_get_input_focus(connection()), nullptr);
    ASSERT_NE(focus, nullptr);
    EXPECT_NE(focus->focus, xcb_window_t(c->panel()->winId()));
    free(focus);
}

TEST_F(NotchSurfaceOnX, PanelTakesTheKeyboardFromAClientThatTookTheFocusSinceNimbraLastHeardFromTheServer)
{
    auto c = controllerForPrimary();
    ASSERT_TRUE(c);
    movePointer(QPoint(50, 600));
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return exposed(*c); }));
    syncWithServer();

    // Another application's window takes the focus on a connection of its own, as a window
    // manager does for a click this process never sees; the time of that change is newer than
    // any event this process handled.
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    ASSERT_FALSE(xcb_connection_has_error(other));
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(other)).data;
    const xcb_window_t window = xcb_generate_id(other);
    const uint32_t overrideRedirect = 1;
    xcb_create_window(other, XCB_COPY_FROM_PARENT, window, screen->root, 0, 700, 40, 40, 0,
        XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_OVERRIDE_REDIRECT, &overrideRedirect);
    xcb_map_window(other, window);
    free(xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr));
    xcb_set_input_focus(other, XCB_INPUT_FOCUS_PARENT, window, XCB_CURRENT_TIME);
    auto* before = xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr);
    ASSERT_NE(before, nullptr);
    EXPECT_EQ(before->focus, window);
    free(before);

    // Opened by a hot key (which reaches another connection), the panel still gets the keys.
    c->open(ModuleID(QStringLiteral("clipboard")), true);
    const xcb_window_t panel = xcb_window_t(c->panel()->winId());
    EXPECT_TRUE(nimbra::test::waitUntil([&] {
        auto* focus = xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr);
        const bool held = focus && focus->focus == panel;
        free(focus);
        return held;
    }));
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return c->panel()->isKeyWindow(); }));
    c->collapse();
    xcb_disconnect(other);
}

TEST_F(NotchSurfaceOnX, EveryScreenGetsItsOwnWindows)
{
    // Qt's offscreen platform takes a screen layout from a file; the demo program builds one
    // controller per screen there and lists its windows.
    QTemporaryFile config;
    ASSERT_TRUE(config.open());
    config.write(R"({ "screens": [
        { "name": "left", "x": 0, "y": 0, "width": 1512, "height": 982, "logicalDpi": 96 },
        { "name": "right", "x": 1512, "y": 0, "width": 1920, "height": 1080, "logicalDpi": 96 } ] })");
    config.close();
    QProcess demo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + config.fileName());
    demo.setProcessEnvironment(env);
    demo.start(QStringLiteral(NIMBRA_BINARY_DIR "/tests/ui/notch_demo"),
        { QStringLiteral("--list"), QStringLiteral("--state"), QStringLiteral("dormant") });
    ASSERT_TRUE(demo.waitForFinished(20000));
    const QStringList lines = QString::fromUtf8(demo.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << demo.readAllStandardError().toStdString();
    // 436 x 164 panels, each centred at the top of its own screen, over a notch of 7 % of the
    // screen's width (at least 120) and 24 high, which the dormant probe covers with 4 of slop.
    EXPECT_EQ(lines[0].toStdString(), "display-1 panel 538,0 436x164 probe 692,0 128x28");
    EXPECT_EQ(lines[1].toStdString(), "display-2 panel 2254,0 436x164 probe 2401,0 142x28");
}

// A desktop without a compositor (i3, plain openbox): there a window's translucent pixels show
// black, so the notch's windows exist only where its outline is drawn, which at rest is nowhere.
// Each case has an X server of its own, with openbox and no compositor.
NIMBRA_OWN_HARNESS_WITHOUT_COMPOSITOR(NotchWithoutCompositor);
using NotchWithoutCompositor = testing::Test;

TEST_F(NotchWithoutCompositor, AtRestTheTopEdgeShowsWhatLiesBeneathYetTakesThePointer)
{
    ASSERT_FALSE(x11::hasCompositor());
    movePointer(QPoint(50, 600));
    Beneath beneath;
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return beneath.windowHandle()->isExposed(); }));
    syncWithServer();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const auto topRows = [&] {
        return QGuiApplication::primaryScreen()->grabWindow(0, screen.center().x() - 100, 0, 200, 4).toImage();
    };
    const QImage without = topRows();

    X11InputBridge input;
    auto c = controllerForPrimary({}, {}, &input);
    ASSERT_TRUE(c);
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return stripOnScreen(*c); }));
    syncWithServer();
    // One row of device pixels along the top edge, as wide as the notch.
    const QRect notch = screen_space::toQt(c->geometry().anchorRect()).toRect();
    EXPECT_EQ(c->edgeStrip()->devicePixels(), QRect(notch.x(), 0, notch.width(), 1));

    // The top rows over the notch look as they did without it: nothing dark, not one pixel.
    const QImage with = topRows();
    nimbra::test::saveArtefact(with, QStringLiteral("x11_without_compositor_dormant_top_rows"));
    EXPECT_EQ(with.convertToFormat(QImage::Format_RGB32), without.convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(QColor(with.pixel(100, 0)), QColor(0x40, 0x80, 0xc0));

    // Yet the top row takes the pointer, and only the top row: below it a click goes through.
    const QPoint belowTheEdge = topEdgeQt(*c) + QPoint(0, 1);
    click(belowTheEdge);
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return beneath.pressedAt(belowTheEdge); }, 3000));
    EXPECT_EQ(c->intent().phase(), HoverIntent::Phase::away);
    movePointer(topEdgeQt(*c));
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return c->intent().phase() != HoverIntent::Phase::away; }, 3000));
}

TEST_F(NotchWithoutCompositor, RestingOnTheTopEdgeOpensTheSurfaceAndLeavingBringsTheEdgeBack)
{
    ASSERT_FALSE(x11::hasCompositor());
    movePointer(QPoint(50, 600));
    X11InputBridge input;
    auto c = controllerForPrimary({}, {}, &input);
    ASSERT_TRUE(c);
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return stripOnScreen(*c); }));

    movePointer(topEdgeQt(*c, 30));
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return c->isExpandedSurface(); }, 3000));
    // The notch's own windows take over: the stand-in is gone from the screen.
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return !stripOnScreen(*c); }));
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return !c->view()->isAnimating(); }, 2000));
    EXPECT_TRUE(nimbra::test::waitUntil([&] {
        return dark(screenTop(QStringLiteral("x11_without_compositor_opened_from_the_top_edge")), QPoint(300, 110));
    }));
    // Down into the open surface it stays; away from it, it closes and the edge is back.
    movePointer(notchCentreQt(*c) + QPoint(0, 60));
    syncWithServer();
    EXPECT_TRUE(c->isExpandedSurface());
    movePointer(QPoint(50, 600));
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return c->model()->isHidden(); }, 3000));
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return stripOnScreen(*c); }));
    movePointer(topEdgeQt(*c, -30));
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return c->isExpandedSurface(); }, 3000));
}

TEST_F(NotchWithoutCompositor, FileDragReachingTheTopEdgeOpensTheShelfAndTheDropLands)
{
    ASSERT_FALSE(x11::hasCompositor());
    movePointer(QPoint(50, 600));
    X11InputBridge input;
    auto c = controllerForPrimary({}, {}, &input);
    ASSERT_TRUE(c);
    ShelfDrag drag(*c);
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return stripOnScreen(*c); }));
    ASSERT_TRUE(drag.start());

    nimbra::test::ButtonLetGo letGo;
    ASSERT_TRUE(drag.carryToTheTopEdge());
    EXPECT_EQ(drag.hovers.front(), true);
    EXPECT_TRUE(c->model()->surface() == Presentation::Surface::expanded(drag.shelf));
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return !stripOnScreen(*c); }));
    // Without a compositor the notch's windows exist only where the outline is drawn: the
    // source looks for a target only when the pointer moves, so the shelf is let grow first.
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return !c->view()->isAnimating(); }, 3000));

    // The notch's own window takes the drop.
    ASSERT_TRUE(drag.dropIntoTheShelf()) << drag.source->output.toStdString();
    EXPECT_EQ(drag.dropped, drag.fileDropped());
    EXPECT_EQ(drag.hovers, std::vector<bool>({ true, false }));
}

TEST_F(NotchWithoutCompositor, OnAScaledScreenTheOutlineIsCutInSinglePixels)
{
    ASSERT_FALSE(x11::hasCompositor());
    movePointer(QPoint(50, 600));
    // Beneath the whole surface: at twice the scale it is 872 pixels wide and 248 high.
    Beneath beneath;
    const QRect top(0, 0, QGuiApplication::primaryScreen()->geometry().width(), 300);
    beneath.setGeometry(top);
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return beneath.windowHandle()->isExposed(); }));
    const QColor background(0x40, 0x80, 0xc0);
    const auto grab = [&] {
        const QImage image = QGuiApplication::primaryScreen()->grabWindow(0, 0, 0, top.width(), top.height()).toImage();
        nimbra::test::saveArtefact(image, QStringLiteral("x11_without_compositor_scaled_2x"));
        return image;
    };

    // An open surface at twice the scale, from a program of its own.
    QProcess demo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
    demo.setProcessEnvironment(env);
    demo.start(QStringLiteral(NIMBRA_BINARY_DIR "/tests/ui/notch_demo"),
        { QStringLiteral("--state"), QStringLiteral("expanded") });
    QImage settled;
    const bool opened = nimbra::test::waitUntil(
        [&] {
            const QImage now = grab();
            const bool same = now == settled && QColor(now.pixel(top.width() / 2, 150)) != background;
            settled = now;
            return same;
        },
        10000);
    demo.kill();
    demo.waitForFinished();
    ASSERT_TRUE(opened) << demo.readAllStandardError().toStdString();

    // Down the left flare, side and bottom corner, where the window begins in each row: a clip in
    // points would begin it at even pixels only.
    int odd = 0;
    int rows = 0;
    for (int y = 0; y < settled.height(); ++y) {
        int x = 0;
        while (x < top.width() / 2 && QColor(settled.pixel(x, y)) == background)
            ++x;
        if (x == top.width() / 2)
            break;
        ++rows;
        odd += x % 2;
    }
    EXPECT_EQ(rows, 248);
    EXPECT_GT(odd, 4);
}
