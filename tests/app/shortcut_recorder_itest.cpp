#include "app/app_delegate.h"
#include "app/display_coordinator.h"
#include "core/nimbra_settings.h"
#include "core/settings_storage.h"
#include "modules/clipboard/global_hot_key.h"
#include "platform/x11/x11_input_bridge.h"
#include "support/test_support.h"
#include "support/x_pointer.h"
#include "ui/settings/settings_view.h"
#include "ui/settings/settings_window_controller.h"
#include "ui/settings/shortcut_recorder.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

using namespace nimbra;
using nimbra::test::syncWithServer;
using nimbra::test::waitUntil;

namespace {

constexpr std::uint32_t altL = 0xffe9, shiftL = 0xffe1, controlL = 0xffe3, keyC = 0x63, keyV = 0x76, keyX = 0x78;
const KeyCombo altShiftC { 8, KeyCombo::option | KeyCombo::shift };

// The whole application on an X server, with the notch on its screen.
struct RecorderOnX : ::testing::Test {
    RecorderOnX()
    {
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        settings.setShowOnAllDisplays(true);
        // Not a first start: no onboarding window takes the focus.
        settings.setHasSeenOnboarding(true);
        delegate.applicationDidFinishLaunching();
    }
    ~RecorderOnX() override
    {
        if (original.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", original);
    }

    // Opens the settings window on the clipboard page and returns its recorder, once the window
    // is on screen (a keyboard grab needs a viewable window).
    ShortcutRecorder* openRecorder()
    {
        delegate.showSettings();
        QWidget* window = delegate.settingsWindow()->window();
        if (!window || !QTest::qWaitForWindowExposed(window))
            return nullptr;
        SettingsView* view = delegate.settingsWindow()->view();
        view->select(SettingsSection::clipboard);
        QApplication::processEvents();
        return view->findChild<ShortcutRecorder*>();
    }

    // Presses the keys in order through XTest and releases them in reverse.
    bool tap(std::initializer_list<std::uint32_t> keysyms)
    {
        X11InputBridge& input = delegate.input();
        std::vector<std::uint8_t> codes;
        for (const std::uint32_t keysym : keysyms) {
            const std::vector<std::uint8_t> found = input.keycodes(keysym);
            if (found.empty())
                return false;
            codes.push_back(found.front());
        }
        for (const std::uint8_t code : codes)
            input.injectKey(code, true);
        for (auto it = codes.rbegin(); it != codes.rend(); ++it)
            input.injectKey(*it, false);
        return true;
    }

    QByteArray original = qgetenv("XDG_CONFIG_HOME");
    QTemporaryDir config;
    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    AppDelegate delegate { &settings };
};

// Whether the X server still has `window`, asked on a connection of its own.
bool windowExists(xcb_window_t window)
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    auto* attributes
        = xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr);
    const bool exists = attributes != nullptr;
    free(attributes);
    xcb_disconnect(connection);
    return exists;
}

// Another X client with a window of its own, which takes the keyboard when it can.
struct OtherClient {
    explicit OtherClient()
        : connection(xcb_connect(nullptr, nullptr))
    {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        window = xcb_generate_id(connection);
        // Out of the window manager's care: the keys come through the grab, and the window
        // manager moves no focus around as this window comes and goes (a focus it handed on late
        // would take the keys from the surface the case opens next).
        const std::uint32_t values[] = { 1, XCB_EVENT_MASK_KEY_PRESS };
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 40, 40, 0,
            XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
        xcb_map_window(connection, window);
        xcb_flush(connection);
    }
    ~OtherClient() { xcb_disconnect(connection); }

    // An active grab of the whole keyboard: refused (AlreadyGrabbed) while another client has it.
    bool grabKeyboard()
    {
        xcb_grab_keyboard_reply_t* reply = xcb_grab_keyboard_reply(connection,
            xcb_grab_keyboard(connection, 0, window, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
            nullptr);
        const bool granted = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
        free(reply);
        return granted;
    }

    // Whether a key press of `keycode` reaches this client's window.
    bool receivedKey(std::uint8_t keycode)
    {
        bool received = false;
        waitUntil(
            [&] {
                while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
                    if ((event->response_type & 0x7f) == XCB_KEY_PRESS
                        && reinterpret_cast<xcb_key_press_event_t*>(event)->detail == keycode)
                        received = true;
                    free(event);
                }
                return received;
            },
            5000);
        return received;
    }

    xcb_connection_t* connection;
    xcb_window_t window = 0;
};

} // namespace

// The cases grab the keyboard or type on it: each has an X server (and harness) of its own.
NIMBRA_OWN_HARNESS(RecorderOnX);

TEST_F(RecorderOnX, RecordsAltShiftCTypedOnTheServerAndTheNewHotKeyOpensTheClipboard)
{
    ASSERT_TRUE(delegate.input().isConnected());
    ShortcutRecorder* recorder = openRecorder();
    ASSERT_NE(recorder, nullptr);

    QTest::mouseClick(recorder, Qt::LeftButton);
    ASSERT_TRUE(recorder->isRecording());
    // The recorder holds the whole keyboard: no other client can take it now.
    {
        OtherClient other;
        EXPECT_FALSE(other.grabKeyboard());
    }
    ASSERT_TRUE(tap({ altL, shiftL, keyC }));
    ASSERT_TRUE(waitUntil([&] { return settings.clipboardHotKey() == altShiftC; }))
        << settings.clipboardHotKey().displayString().toStdString();
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(recorder->text(), "Alt+Shift+C");

    // The shell re-binds the hot key; the combination now opens the clipboard from anywhere.
    ASSERT_TRUE(waitUntil([&] { return delegate.clipboardHotKey().boundCombo() == altShiftC; }));
    delegate.settingsWindow()->window()->close();
    ASSERT_FALSE(delegate.coordinator()->isAnythingExpanded());
    ASSERT_TRUE(tap({ altL, shiftL, keyC }));
    ASSERT_TRUE(waitUntil([&] { return delegate.coordinator()->isAnythingExpanded(); }));
    EXPECT_EQ(delegate.tab(), NotchSurfaceTab::clipboard);
}

TEST_F(RecorderOnX, ClosingTheWindowWhileRecordingLetsTheKeyboardGo)
{
    // A hot key no other program on the server takes.
    const KeyCombo ours { 9, KeyCombo::control | KeyCombo::option | KeyCombo::shift };
    settings.setClipboardHotKey(ours);
    ASSERT_TRUE(waitUntil([&] { return delegate.clipboardHotKey().boundCombo() == ours; }));
    ShortcutRecorder* recorder = openRecorder();
    ASSERT_NE(recorder, nullptr);
    QTest::mouseClick(recorder, Qt::LeftButton);
    ASSERT_TRUE(recorder->isRecording());
    delegate.settingsWindow()->window()->close();
    QApplication::processEvents();
    EXPECT_FALSE(recorder->isRecording());

    xcb_window_t otherWindow = 0;
    {
        // Another client can take the keyboard, and the next key reaches its window.
        OtherClient other;
        otherWindow = other.window;
        ASSERT_TRUE(waitUntil([&] { return other.grabKeyboard(); }));
        const std::vector<std::uint8_t> x = delegate.input().keycodes(keyX);
        ASSERT_FALSE(x.empty());
        ASSERT_TRUE(tap({ altL, keyX }));
        EXPECT_TRUE(other.receivedKey(x.front()));
    }
    // Its grab ends when the server has seen it leave, which its window does with it; keys sent
    // on another connection before that would still go to the grab.
    ASSERT_TRUE(waitUntil([&] { return !windowExists(otherWindow); }));

    // Nimbra's own windows get their keys again too: in the clipboard, opened by its hot key,
    // what is typed lands in the search field instead of becoming a new hot key.
    ASSERT_TRUE(tap({ controlL, altL, shiftL, keyV }));
    ASSERT_TRUE(waitUntil([&] { return delegate.coordinator()->isAnythingExpanded(); }));
    ASSERT_TRUE(waitUntil([&] {
        tap({ keyX });
        return delegate.clipboardQuery().contains(QLatin1Char('x'));
    }));
    EXPECT_EQ(settings.clipboardHotKey(), ours);
}

TEST_F(RecorderOnX, ACombinationAnotherProgramHoldsIsRefusedAndTheHotKeyKeepsWorking)
{
    ShortcutRecorder* recorder = openRecorder();
    ASSERT_NE(recorder, nullptr);
    ASSERT_TRUE(waitUntil([&] { return delegate.clipboardHotKey().boundCombo() == KeyCombo::defaultClipboard; }));
    // Another program holds Alt+Shift+C, as desktops hold their own shortcuts.
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    const std::vector<std::uint8_t> c = delegate.input().keycodes(keyC);
    ASSERT_FALSE(c.empty());
    xcb_generic_error_t* error = xcb_request_check(other,
        xcb_grab_key_checked(other, 1, root, std::uint16_t(delegate.input().altMask() | XCB_MOD_MASK_SHIFT), c.front(),
            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    ASSERT_EQ(error, nullptr);

    // The recorder holds the whole keyboard, so the combination reaches it: it is refused.
    QTest::mouseClick(recorder, Qt::LeftButton);
    ASSERT_TRUE(recorder->isRecording());
    ASSERT_TRUE(tap({ altL, shiftL, keyC }));
    ASSERT_TRUE(waitUntil([&] { return recorder->text() == ShortcutRecorder::heldElsewhereHint(); }));
    EXPECT_TRUE(recorder->isRecording());
    EXPECT_EQ(settings.clipboardHotKey(), KeyCombo::defaultClipboard);
    EXPECT_EQ(delegate.clipboardHotKey().boundCombo(), KeyCombo::defaultClipboard);
    xcb_disconnect(other);

    // The old hot key still opens the clipboard.
    QTest::keyClick(recorder, Qt::Key_Escape);
    delegate.settingsWindow()->window()->close();
    ASSERT_FALSE(recorder->isRecording());
    // The recorder let the keyboard go on Qt's connection and the keys go out on Nimbra's own:
    // they are typed once the server has seen the release, or the grab would still take them.
    syncWithServer();
    ASSERT_TRUE(tap({ 0xffeb, shiftL, keyV }));
    EXPECT_TRUE(waitUntil([&] { return delegate.coordinator()->isAnythingExpanded(); }));
}
