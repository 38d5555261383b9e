#include "app/app_delegate.h"

#include "core/diagnostics.h"
#include "core/nimbra_settings.h"
#include "modules/clipboard/global_hot_key.h"
#include "modules/level/system_level_monitor.h"
#include "platform/x11/key_grabber.h"
#include "platform/x11/x11_input_bridge.h"
#include "ui/settings/settings_window_controller.h"

namespace nimbra {

// Key takeover needs a real X server with XTEST and XKB. X has no permission to grant: what
// stands between Nimbra and the media keys is the session (under Wayland the compositor sees
// them first) or another program that holds them. So a request asks the server again and
// takes the keys if the takeover is on; and whenever Nimbra becomes active it tries again, so
// keys another program let go of (the media keys, and the clipboard's hot key) are taken as
// soon as Nimbra is next in front.

bool AppDelegate::isAccessibilityGranted() const
{
    return m_input->trust().isTrusted();
}

void AppDelegate::requestAccessibility()
{
    const bool trusted = m_input->refreshTrust().isTrusted();
    Diagnostics::log(Diagnostics::Category::level,
        [trusted] { return QStringLiteral("accessibility re-checked: trusted = ") + (trusted ? "true" : "false"); });
    if (trusted && m_settings.hudReplacement() && !m_levels->isIntercepting())
        m_levels->startIntercepting();
    if (m_settingsWindow)
        m_settingsWindow->keyboardChanged();
}

void AppDelegate::accessibilityMayHaveChanged()
{
    // Once, half a second after the last of a burst of activations.
    m_accessibilityRecheck.start();
}

void AppDelegate::recheckAccessibility()
{
    if (m_terminated)
        return;
    if (m_settings.clipboardEnabled())
        m_clipboardHotKey->retry();
    if (m_settings.hudReplacement()) {
        if (m_levels->isIntercepting())
            m_levels->retryRefusedKeys();
        else if (m_input->refreshTrust().isTrusted() && m_levels->startIntercepting())
            Diagnostics::log(Diagnostics::Category::level, "accessibility arrived; took over the media keys");
    }
    // The settings window asked when Nimbra came to the front, before these tries.
    if (m_settingsWindow)
        m_settingsWindow->keyboardChanged();
}

KeyboardStatus AppDelegate::keyboardStatus() const
{
    KeyboardStatus status;
    status.hotKeyHeldElsewhere = m_settings.clipboardEnabled() && m_clipboardHotKey->isHeldElsewhere();
    if (!isAccessibilityGranted())
        return status;
    status.mediaKeysTaken = m_levels->isIntercepting() && !m_levels->interceptedKeys().empty();
    for (MediaKey key : m_levels->keysHeldElsewhere())
        status.mediaKeysHeldElsewhere << keyName(key);
    return status;
}

} // namespace nimbra
