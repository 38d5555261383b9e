#include "platform/x11/key_grabber.h"

#include "core/diagnostics.h"

#include <QSocketNotifier>
#include <QTimer>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <map>
#include <vector>

namespace nimbra {

namespace {

constexpr std::uint32_t kNumLock = 0xff7f;
constexpr std::uint32_t kAltL = 0xffe9;
constexpr std::uint32_t kAltR = 0xffea;
constexpr std::uint32_t kMetaL = 0xffe7;
constexpr std::uint32_t kMetaR = 0xffe8;
constexpr std::uint8_t kBadAccess = 10;

void logLevel(const QString& message)
{
    Diagnostics::log(Diagnostics::Category::level, [&] { return message; });
}

} // namespace

QString keysymName(MediaKey key)
{
    switch (key) {
    case MediaKey::raiseVolume:
        return QStringLiteral("XF86AudioRaiseVolume");
    case MediaKey::lowerVolume:
        return QStringLiteral("XF86AudioLowerVolume");
    case MediaKey::mute:
        return QStringLiteral("XF86AudioMute");
    case MediaKey::brightnessUp:
        return QStringLiteral("XF86MonBrightnessUp");
    case MediaKey::brightnessDown:
        return QStringLiteral("XF86MonBrightnessDown");
    case MediaKey::keyboardBrightnessUp:
        return QStringLiteral("XF86KbdBrightnessUp");
    case MediaKey::keyboardBrightnessDown:
        return QStringLiteral("XF86KbdBrightnessDown");
    }
    return {};
}

std::uint32_t keysym(MediaKey key)
{
    switch (key) {
    case MediaKey::raiseVolume:
        return 0x1008FF13;
    case MediaKey::lowerVolume:
        return 0x1008FF11;
    case MediaKey::mute:
        return 0x1008FF12;
    case MediaKey::brightnessUp:
        return 0x1008FF02;
    case MediaKey::brightnessDown:
        return 0x1008FF03;
    case MediaKey::keyboardBrightnessUp:
        return 0x1008FF05;
    case MediaKey::keyboardBrightnessDown:
        return 0x1008FF06;
    }
    return 0;
}

struct KeyGrabber::Private {
    KeyGrabber* q = nullptr;
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = XCB_NONE;
    xcb_key_symbols_t* symbols = nullptr;
    std::unique_ptr<QSocketNotifier> notifier;
    std::uint16_t numLockMask = XCB_MOD_MASK_2;
    std::uint16_t altMask = XCB_MOD_MASK_1;

    struct Grab {
        xcb_keycode_t keycode;
        std::uint16_t modifiers;
    };
    std::vector<Grab> grabs;
    std::map<xcb_keycode_t, MediaKey> keyOfCode;
    std::set<MediaKey> wanted;
    std::optional<MediaKey> refused;

    bool connected() const { return connection && !xcb_connection_has_error(connection); }

    void readModifierMasks()
    {
        numLockMask = XCB_MOD_MASK_2;
        altMask = XCB_MOD_MASK_1;
        auto* reply = xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr);
        if (!reply)
            return;
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply);
        const int perModifier = reply->keycodes_per_modifier;
        bool foundAlt = false;
        for (int modifier = 0; modifier < 8; ++modifier) {
            for (int i = 0; i < perModifier; ++i) {
                const xcb_keycode_t code = codes[modifier * perModifier + i];
                if (code == 0)
                    continue;
                const xcb_keysym_t sym = xcb_key_symbols_get_keysym(symbols, code, 0);
                if (sym == kNumLock)
                    numLockMask = std::uint16_t(1u << modifier);
                if (!foundAlt && (sym == kAltL || sym == kAltR || sym == kMetaL || sym == kMetaR)) {
                    altMask = std::uint16_t(1u << modifier);
                    foundAlt = true;
                }
            }
        }
        free(reply);
    }

    std::vector<std::uint16_t> modifierVariants() const
    {
        std::vector<std::uint16_t> variants;
        for (std::uint16_t base : { std::uint16_t(0), std::uint16_t(XCB_MOD_MASK_SHIFT), altMask,
                 std::uint16_t(altMask | XCB_MOD_MASK_SHIFT) }) {
            for (std::uint16_t lock : { std::uint16_t(0), std::uint16_t(XCB_MOD_MASK_LOCK), numLockMask,
                     std::uint16_t(XCB_MOD_MASK_LOCK | numLockMask) })
                variants.push_back(base | lock);
        }
        return variants;
    }

    void release()
    {
        if (!connected())
            return;
        for (const Grab& grab : grabs)
            xcb_ungrab_key(connection, grab.keycode, root, grab.modifiers);
        xcb_flush(connection);
        grabs.clear();
        keyOfCode.clear();
    }

    GrabResult grabWanted()
    {
        release();
        refused.reset();
        if (!connected())
            return GrabResult::noConnection;
        struct Pending {
            xcb_void_cookie_t cookie;
            Grab grab;
            MediaKey key;
        };
        std::vector<Pending> pending;
        const auto variants = modifierVariants();
        for (MediaKey key : wanted) {
            xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym(key));
            if (!codes)
                continue;
            for (xcb_keycode_t* code = codes; *code != XCB_NO_SYMBOL; ++code) {
                if (keyOfCode.count(*code))
                    continue;
                keyOfCode[*code] = key;
                for (std::uint16_t modifiers : variants) {
                    pending.push_back({ xcb_grab_key_checked(connection, 1, root, modifiers, *code, XCB_GRAB_MODE_ASYNC,
                                            XCB_GRAB_MODE_ASYNC),
                        { *code, modifiers }, key });
                }
            }
            free(codes);
        }
        for (const Pending& request : pending) {
            xcb_generic_error_t* error = xcb_request_check(connection, request.cookie);
            if (!error) {
                grabs.push_back(request.grab);
                continue;
            }
            if (error->error_code == kBadAccess && !refused)
                refused = request.key;
            free(error);
        }
        // Replies were read synchronously; events may be waiting in xcb's queue.
        QTimer::singleShot(0, q, [this] { drain(); });
        if (refused) {
            logLevel(keysymName(*refused) + QStringLiteral(" is grabbed by another program; media keys left alone"));
            release();
            return GrabResult::refused;
        }
        return GrabResult::grabbed;
    }

    void drain()
    {
        if (!connected()) {
            if (notifier && notifier->isEnabled()) {
                notifier->setEnabled(false);
                logLevel(QStringLiteral("X connection for media keys lost"));
            }
            return;
        }
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            handle(event);
            free(event);
        }
    }

    void handle(xcb_generic_event_t* event)
    {
        switch (event->response_type & 0x7f) {
        case XCB_KEY_PRESS: {
            auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
            auto found = keyOfCode.find(press->detail);
            if (found == keyOfCode.end())
                return;
            const bool fine = (press->state & XCB_MOD_MASK_SHIFT) && (press->state & altMask);
            if (q->onPress)
                q->onPress(found->second, fine);
            return;
        }
        case XCB_MAPPING_NOTIFY: {
            auto* mapping = reinterpret_cast<xcb_mapping_notify_event_t*>(event);
            xcb_refresh_keyboard_mapping(symbols, mapping);
            if (mapping->request == XCB_MAPPING_POINTER || wanted.empty())
                return;
            // The keys may sit on other codes now: grab them again where they are.
            readModifierMasks();
            if (grabWanted() == GrabResult::refused && q->onGrabLost)
                q->onGrabLost();
            return;
        }
        default:
            return;
        }
    }
};

KeyGrabber::KeyGrabber(const QByteArray& display, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    d->q = this;
    int screenNumber = 0;
    d->connection = xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screenNumber);
    if (xcb_connection_has_error(d->connection)) {
        logLevel(QStringLiteral("no X display for media keys"));
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(d->connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    d->root = screens.data->root;
    d->symbols = xcb_key_symbols_alloc(d->connection);
    d->readModifierMasks();
    d->notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(d->connection), QSocketNotifier::Read);
    connect(d->notifier.get(), &QSocketNotifier::activated, this, [this] { d->drain(); });
}

KeyGrabber::~KeyGrabber()
{
    d->notifier.reset();
    d->release();
    if (d->symbols)
        xcb_key_symbols_free(d->symbols);
    if (d->connection)
        xcb_disconnect(d->connection);
}

bool KeyGrabber::isConnected() const
{
    return d->connected();
}

KeyGrabber::GrabResult KeyGrabber::grab(const std::set<MediaKey>& keys)
{
    d->wanted = keys;
    const GrabResult result = d->grabWanted();
    if (result != GrabResult::grabbed)
        d->wanted.clear();
    return result;
}

void KeyGrabber::ungrab()
{
    d->wanted.clear();
    d->release();
}

std::set<MediaKey> KeyGrabber::grabbedKeys() const
{
    std::set<MediaKey> keys;
    for (const auto& [code, key] : d->keyOfCode)
        keys.insert(key);
    return keys;
}

std::optional<MediaKey> KeyGrabber::refusedKey() const
{
    return d->refused;
}

} // namespace nimbra
