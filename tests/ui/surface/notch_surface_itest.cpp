// The notch windows on a real X server (the harness's Xvfb with openbox and xcompmgr).
#include "core/rect_math.h"
#include "platform/screen_space.h"
#include "platform/x11/screens.h"
#include "platform/x11/window_shape.h"
#include "ui/surface/hover_probe_window.h"
#include "ui/surface/notch_display_controller.h"
#include "ui/surface/notch_panel.h"
#include "ui/surface/notch_surface_view.h"

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

#include "support/test_support.h"

using namespace nimbra;
using Kind = Presentation::Surface::Kind;

namespace {

xcb_connection_t* connection()
{
    return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

xcb_window_t root()
{
    return xcb_setup_roots_iterator(xcb_get_setup(connection())).data->root;
}

// Moves the real pointer, as a person would, through the XTEST extension.
void movePointer(QPoint qt)
{
    xcb_test_fake_input(
        connection(), XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root(), int16_t(qt.x()), int16_t(qt.y()), 0);
    xcb_flush(connection());
}

void click(QPoint qt)
{
    movePointer(qt);
    xcb_test_fake_input(connection(), XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_test_fake_input(connection(), XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_flush(connection());
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

std::unique_ptr<NotchDisplayController> controllerForPrimary()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    const auto key = nimbraKey(screen);
    if (!key)
        return nullptr;
    return std::make_unique<NotchDisplayController>(
        *key, nimbraGeometry(screen), content, HoverIntent::Configuration::standard(), LayoutMetrics::defaults());
}

QPoint notchCentreQt(const NotchDisplayController& c)
{
    return screen_space::toQt(c.geometry().anchorRect()).center().toPoint();
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

// A plain window under the notch that records presses reaching it.
class Beneath : public QWidget {
public:
    Beneath()
        : QWidget(nullptr, Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint)
    {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setStyleSheet(QStringLiteral("background: #4080c0"));
    }
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

// ctest runs test cases as parallel processes on the one X server; these move the real pointer
// and read the screen, so they take turns through a lock file of the harness's folder.
class NotchSurfaceOnX : public testing::Test {
private:
    nimbra::test::HarnessLock m_lock { QStringLiteral("x-pointer.lock") };
};

} // namespace

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
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    beneath.setGeometry(screen.center().x() - 300, 0, 600, 200);
    beneath.show();
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return beneath.windowHandle()->isExposed(); }));

    auto c = controllerForPrimary();
    ASSERT_TRUE(c);
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return c->panel()->windowHandle()->isExposed(); }));
    nimbra::test::waitUntil([] { return false; }, 200);
    click(notchCentreQt(*c));
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return beneath.presses == 1; }, 3000)) << "the notch swallowed the click";

    // The expanded surface takes clicks inside its body; beside it they still go through.
    c->open(ModuleID(QStringLiteral("glance")), false);
    nimbra::test::waitUntil([] { return false; }, 300);
    click(notchCentreQt(*c) + QPoint(0, 40));
    nimbra::test::waitUntil([] { return false; }, 300);
    EXPECT_EQ(beneath.presses, 1);
    click(QPoint(screen.center().x() - 280, 150));
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return beneath.presses == 2; }, 3000));
}

TEST_F(NotchSurfaceOnX, RestingPointerOpensTheSurfaceAndLeavingClosesIt)
{
    auto c = controllerForPrimary();
    ASSERT_TRUE(c);
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return c->panel()->windowHandle()->isExposed(); }));
    movePointer(QPoint(50, 600));
    c->setResident(ModuleID(QStringLiteral("glance")));
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return c->probe()->windowHandle()->isExposed(); }));
    nimbra::test::waitUntil([] { return false; }, 300);
    EXPECT_FALSE(c->isClockRunning());

    movePointer(notchCentreQt(*c));
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return c->isExpandedSurface(); }, 3000));
    nimbra::test::waitUntil([&] { return !c->view()->isAnimating(); }, 2000);
    const QImage expanded = screenTop(QStringLiteral("x11_surface_expanded"));
    EXPECT_TRUE(dark(expanded, QPoint(300, 110)));

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
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return c->panel()->windowHandle()->isExposed(); }));
    const auto settle = [&] {
        nimbra::test::waitUntil([&] { return !c->view()->isAnimating(); }, 2000);
        nimbra::test::waitUntil([] { return false; }, 150);
    };
    settle();
    const QImage dormant = screenTop(QStringLiteral("x11_surface_dormant"));
    EXPECT_FALSE(dark(dormant, QPoint(300, 5)));

    c->present(Activity { ModuleID(QStringLiteral("systemLevel")), 1, 40, 30, ActivityCategory::volume });
    settle();
    const QImage activity = screenTop(QStringLiteral("x11_surface_activity"));
    EXPECT_TRUE(dark(activity, QPoint(300, 70)));
    EXPECT_FALSE(dark(activity, QPoint(300, 90)));

    c->setResident(ModuleID(QStringLiteral("nowPlaying")));
    c->open(ModuleID(QStringLiteral("glance")), false);
    settle();
    const QImage expanded = screenTop(QStringLiteral("x11_surface_expanded_by_command"));
    EXPECT_TRUE(dark(expanded, QPoint(300, 115)));

    c->collapse();
    settle();
    const QImage resident = screenTop(QStringLiteral("x11_surface_resident"));
    EXPECT_TRUE(dark(resident, QPoint(300, 70)));
    EXPECT_FALSE(dark(resident, QPoint(300, 115)));
}

TEST_F(NotchSurfaceOnX, PanelTakesTheKeyboardOnlyWhenAsked)
{
    auto c = controllerForPrimary();
    ASSERT_TRUE(c);
    movePointer(QPoint(50, 600));
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return c->panel()->windowHandle()->isExposed(); }));
    // Wanting the keyboard while collapsed only makes the panel able to take it later.
    c->setWantsKeyboard(true);
    EXPECT_TRUE(c->panel()->allowsKey());
    nimbra::test::waitUntil([] { return false; }, 200);
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
