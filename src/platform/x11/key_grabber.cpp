#include "platform/x11/key_grabber.h"

#include "core/diagnostics.h"
#include "platform/x11/x11_input_bridge.h"

#include <xcb/xcb.h>

#include <algorithm>

namespace nimbra {

namespace {

using KeyGrab = X11InputBridge::KeyGrab;

void logLevel(const QString& message)
{
    Diagnostics::log(Diagnostics::Category::level, [&] { return message; });
}

// The four combinations a key is taken with: alone, Shift, Alt, Alt+Shift (the fine step).
std::set<KeyGrab> combinations(std::uint8_t keycode, std::uint16_t altMask)
{
    std::set<KeyGrab> grabs;
    for (std::uint16_t modifiers :
        { std::uint16_t(0), std::uint16_t(XCB_MOD_MASK_SHIFT), altMask, std::uint16_t(altMask | XCB_MOD_MASK_SHIFT) })
        grabs.insert({ keycode, modifiers });
    return grabs;
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

QString keyName(MediaKey key)
{
    switch (key) {
    case MediaKey::raiseVolume:
        return QStringLiteral("Volume Up");
    case MediaKey::lowerVolume:
        return QStringLiteral("Volume Down");
    case MediaKey::mute:
        return QStringLiteral("Mute");
    case MediaKey::brightnessUp:
        return QStringLiteral("Brightness Up");
    case MediaKey::brightnessDown:
        return QStringLiteral("Brightness Down");
    case MediaKey::keyboardBrightnessUp:
        return QStringLiteral("Keyboard Light Up");
    case MediaKey::keyboardBrightnessDown:
        return QStringLiteral("Keyboard Light Down");
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

KeyGrabber::KeyGrabber(X11InputBridge& input, QObject* parent)
    : QObject(parent)
    , m_input(input)
{
    connect(&m_input, &X11InputBridge::keyPressed, this, &KeyGrabber::pressed);
    connect(&m_input, &X11InputBridge::keyboardMappingChanged, this, &KeyGrabber::regrab);
}

KeyGrabber::~KeyGrabber()
{
    ungrab();
}

std::set<MediaKey> KeyGrabber::grab(const std::set<MediaKey>& keys)
{
    m_wanted = keys;
    const std::uint16_t alt = m_input.altMask();
    // Where each wanted key sits now; a code two keys share goes to the first.
    std::map<std::uint8_t, MediaKey> wantedCodes;
    std::set<MediaKey> mapped;
    for (MediaKey key : m_wanted) {
        for (std::uint8_t code : m_input.keycodes(keysym(key))) {
            wantedCodes.emplace(code, key);
            mapped.insert(key);
        }
    }
    // Let go of what moved or is no longer wanted; what stays put is kept as it is.
    for (auto it = m_held.begin(); it != m_held.end();) {
        const auto wanted = wantedCodes.find(it->first);
        if (wanted != wantedCodes.end() && wanted->second == it->second.key && it->second.altMask == alt) {
            ++it;
            continue;
        }
        m_input.ungrabKeys(combinations(it->first, it->second.altMask));
        it = m_held.erase(it);
    }
    std::set<KeyGrab> requests;
    for (const auto& [code, key] : wantedCodes) {
        if (!m_held.count(code))
            requests.merge(combinations(code, alt));
    }
    const std::set<KeyGrab> refused = m_input.grabKeys(requests);
    // A key code is ours in all four combinations or not at all.
    for (const auto& [code, key] : wantedCodes) {
        if (m_held.count(code))
            continue;
        const std::set<KeyGrab> all = combinations(code, alt);
        const bool whole = std::none_of(all.begin(), all.end(), [&](const KeyGrab& g) { return refused.count(g); });
        if (whole)
            m_held[code] = { key, alt };
        else
            m_input.ungrabKeys(all);
    }

    const std::set<MediaKey> taken = grabbedKeys();
    std::set<MediaKey> refusedNow;
    for (MediaKey key : mapped) {
        if (!taken.count(key))
            refusedNow.insert(key);
    }
    for (MediaKey key : refusedNow) {
        if (!m_refused.count(key))
            logLevel(keysymName(key) + QStringLiteral(" is held by another program; it stays with that program"));
    }
    m_refused = refusedNow;
    return taken;
}

std::set<MediaKey> KeyGrabber::heldElsewhere(X11InputBridge& input, const std::set<MediaKey>& keys)
{
    std::map<KeyGrab, MediaKey> trial;
    std::set<KeyGrab> grabs;
    for (MediaKey key : keys) {
        for (std::uint8_t code : input.keycodes(keysym(key))) {
            for (const KeyGrab& grab : combinations(code, input.altMask())) {
                if (trial.emplace(grab, key).second)
                    grabs.insert(grab);
            }
        }
    }
    std::set<MediaKey> held;
    for (const KeyGrab& grab : input.heldElsewhere(grabs))
        held.insert(trial.at(grab));
    return held;
}

void KeyGrabber::ungrab()
{
    m_wanted.clear();
    m_refused.clear();
    for (const auto& [code, held] : m_held)
        m_input.ungrabKeys(combinations(code, held.altMask));
    m_held.clear();
}

std::set<MediaKey> KeyGrabber::grabbedKeys() const
{
    std::set<MediaKey> keys;
    for (const auto& [code, held] : m_held)
        keys.insert(held.key);
    return keys;
}

void KeyGrabber::regrab()
{
    if (m_wanted.empty())
        return;
    const std::set<MediaKey> before = grabbedKeys();
    grab(m_wanted);
    if (grabbedKeys() != before && onGrabsChanged)
        onGrabsChanged();
}

void KeyGrabber::pressed(std::uint8_t keycode, std::uint16_t state)
{
    const auto found = m_held.find(keycode);
    if (found == m_held.end())
        return;
    const bool fine = (state & XCB_MOD_MASK_SHIFT) && (state & found->second.altMask);
    if (onPress)
        onPress(found->second.key, fine);
}

} // namespace nimbra
