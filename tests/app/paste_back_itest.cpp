#include "app/app_delegate.h"

#include "core/nimbra_settings.h"
#include "core/settings_storage.h"
#include "modules/clipboard/clipboard_monitor.h"
#include "platform/x11/active_window.h"
#include "platform/x11/x11_input_bridge.h"

#include "support/https_feed.h"
#include "support/private_servers.h"
#include "support/test_support.h"

#include <QClipboard>
#include <QGuiApplication>
#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>

using namespace nimbra;
using nimbra::test::PrivateX;
using nimbra::test::ScopedEnvironment;
using nimbra::test::waitUntil;
using nimbra::test::XClient;

namespace {

// Nimbra's input on a server of the test's own, with a window manager unless the case plays
// one itself, and an application in front there (Nimbra's own windows stay on the harness's
// display).
struct PasteBack : ::testing::Test {
    explicit PasteBack(const QStringList& serverArguments = {}, bool withWindowManager = true)
        : x(serverArguments)
    {
        if (withWindowManager)
            windowManager = std::make_unique<XClient>(x, "openbox", QStringList { "--sm-disable" });
        settings.setHasSeenOnboarding(true);
        settings.setChecksForUpdates(false);
    }
    ~PasteBack() override
    {
        delegate.reset();
        if (notch)
            xcb_disconnect(notch);
    }

    // Launches with `application` in front, then a window of Nimbra's own takes the keyboard
    // there, as the notch does when the clipboard opens.
    void launchInFrontOf(const QString& application)
    {
        ASSERT_TRUE(x.isRunning());
        ASSERT_TRUE(!windowManager || waitUntil([&] { return x.hasWindowManager(); }));
        notch = xcb_connect(x.display().constData(), nullptr);
        delegate = std::make_unique<AppDelegate>(&settings);
        // However slow the machine, the window manager gets there.
        delegate->pasteHandBackLimit = std::chrono::seconds(15);
        delegate->applicationDidFinishLaunching();
        target = std::make_unique<XClient>(x, NIMBRA_TEXT_FIELD, QStringList { application });
        ASSERT_TRUE(target->printed("ready"));
        if (!windowManager)
            nameActive(focusedWindow());
        ASSERT_TRUE(waitUntil([&] { return frontmostIs(application); }));
        ASSERT_NO_FATAL_FAILURE(openNotch());
        EXPECT_TRUE(frontmostIs(application)) << "Nimbra's own window is never a paste target";
    }

    xcb_window_t focusedWindow()
    {
        auto* reply = xcb_get_input_focus_reply(notch, xcb_get_input_focus(notch), nullptr);
        const xcb_window_t focus = reply ? reply->focus : xcb_window_t(XCB_NONE);
        free(reply);
        return focus;
    }

    // What a window manager does when a window becomes active.
    void nameActive(xcb_window_t window)
    {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(notch)).data->root;
        xcb_change_property(notch, XCB_PROP_MODE_REPLACE, root, delegate->input().atom("_NET_ACTIVE_WINDOW"),
            XCB_ATOM_WINDOW, 32, 1, &window);
        xcb_flush(notch);
    }

    void openNotch()
    {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(notch)).data;
        notchWindow = xcb_generate_id(notch);
        const std::uint32_t events = XCB_EVENT_MASK_KEY_PRESS;
        xcb_create_window(notch, XCB_COPY_FROM_PARENT, notchWindow, screen->root, 0, 0, 300, 80, 0,
            XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, &events);
        const std::uint32_t pid = std::uint32_t(::getpid());
        const xcb_atom_t pidAtom = delegate->input().atom("_NET_WM_PID");
        xcb_change_property(notch, XCB_PROP_MODE_REPLACE, notchWindow, pidAtom, XCB_ATOM_CARDINAL, 32, 1, &pid);
        xcb_map_window(notch, notchWindow);
        xcb_flush(notch);
        ASSERT_TRUE(waitUntil([&] {
            // Without a window manager the window takes the keyboard itself, once it is viewable.
            if (!windowManager) {
                xcb_set_input_focus(notch, XCB_INPUT_FOCUS_PARENT, notchWindow, XCB_CURRENT_TIME);
                xcb_flush(notch);
            }
            return delegate->frontmost().holdsKeyboard(notchWindow);
        }));
    }

    bool frontmostIs(const QString& windowClass) const
    {
        const auto& front = delegate->frontmost().pasteTarget();
        return front && front->windowClass == windowClass;
    }

    // Keys that reached Nimbra's own window; a round trip first, so that every key the server
    // took before now has arrived.
    int strayKeys()
    {
        free(xcb_get_input_focus_reply(notch, xcb_get_input_focus(notch), nullptr));
        int keys = 0;
        while (xcb_generic_event_t* event = xcb_poll_for_event(notch)) {
            keys += (event->response_type & 0x7f) == XCB_KEY_PRESS;
            free(event);
        }
        return keys;
    }

    QUuid copied(const QString& text)
    {
        const ClipboardItem item { QUuid::createUuid(), ClipboardItem::Payload::text(text), std::nullopt,
            QDateTime::currentDateTime(), false };
        delegate->clipboard().store().insert(item);
        return item.id;
    }

    PrivateX x;
    std::unique_ptr<XClient> windowManager;
    ScopedEnvironment display { "DISPLAY", x.display() };
    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    std::unique_ptr<AppDelegate> delegate;
    std::unique_ptr<XClient> target;
    xcb_connection_t* notch = nullptr;
    xcb_window_t notchWindow = 0;
};

struct PasteBackWithoutXTest : PasteBack {
    PasteBackWithoutXTest()
        : PasteBack({ "-extension", "XTEST" })
    {
    }
};

// The case plays a window manager that names the active window but never acts on a request
// to activate another one.
struct PasteBackWithAStubbornWindowManager : PasteBack {
    PasteBackWithAStubbornWindowManager()
        : PasteBack({}, false)
    {
    }
};

} // namespace

// The cases own the clipboard of the display Nimbra's windows are on.
NIMBRA_OWN_HARNESS(PasteBack);
NIMBRA_OWN_HARNESS(PasteBackWithAStubbornWindowManager);
NIMBRA_OWN_HARNESS(PasteBackWithoutXTest);

TEST_F(PasteBack, TheApplicationGetsTheKeyboardBackBeforeCtrlV)
{
    ASSERT_NO_FATAL_FAILURE(launchInFrontOf("editor"));
    delegate->paste(copied("pasted words"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "pasted words");
    // Typed into the editor, not into Nimbra's window that had the keyboard.
    EXPECT_TRUE(target->printed("key: Ctrl+V\n"));
    EXPECT_EQ(strayKeys(), 0);
}

TEST_F(PasteBack, ATerminalGetsCtrlShiftV)
{
    // Ctrl+V would be a control character there; the class is matched in any case.
    ASSERT_NO_FATAL_FAILURE(launchInFrontOf("XTerm"));
    delegate->paste(copied("ls -l"));
    EXPECT_TRUE(target->printed("key: Ctrl+Shift+V\n"));
    EXPECT_EQ(strayKeys(), 0);
}

TEST_F(PasteBackWithAStubbornWindowManager, AnApplicationThatNeverGetsTheKeyboardBackGetsNoKeysNorDoesAnyOther)
{
    ASSERT_NO_FATAL_FAILURE(launchInFrontOf("editor"));
    delegate->pasteHandBackLimit = std::chrono::milliseconds(500);
    delegate->paste(copied("kept on the clipboard"));
    EXPECT_TRUE(delegate->frontmost().isHandingBack());
    ASSERT_TRUE(waitUntil([&] { return !delegate->frontmost().isHandingBack(); }));
    EXPECT_EQ(strayKeys(), 0) << "no paste keys went to the window that kept the keyboard";
    EXPECT_TRUE(delegate->frontmost().holdsKeyboard(notchWindow));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "kept on the clipboard");
}

TEST_F(PasteBackWithoutXTest, TheEntryIsCopiedAndTheKeyboardStaysWhereItIs)
{
    ASSERT_NO_FATAL_FAILURE(launchInFrontOf("editor"));
    EXPECT_FALSE(delegate->isAccessibilityGranted());
    delegate->paste(copied("copied only"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "copied only");
    // Nothing is handed back: without synthetic keys there is nothing to paste with.
    EXPECT_FALSE(delegate->frontmost().isHandingBack());
    EXPECT_TRUE(delegate->frontmost().holdsKeyboard(notchWindow));
}
