#include "app/app_delegate.h"

#include "core/diagnostics.h"
#include "core/nimbra_settings.h"
#include "modules/level/system_level_monitor.h"
#include "platform/x11/x11_input_bridge.h"

namespace nimbra {

// Key takeover needs a real X server with XTEST and XKB. X has no permission to grant: what
// stands between Nimbra and the media keys is the session (under Wayland the compositor sees
// them first) or another program that holds them. So a request asks the server again and
// takes the keys if the takeover is on; and whenever Nimbra becomes active it tries again, so
// keys another program let go of are taken as soon as Nimbra is next in front.

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
}

void AppDelegate::accessibilityMayHaveChanged()
{
    // Once, half a second after the last of a burst of activations.
    m_accessibilityRecheck.start();
}

void AppDelegate::recheckAccessibility()
{
    if (m_terminated || !m_settings.hudReplacement() || m_levels->isIntercepting())
        return;
    if (!m_input->refreshTrust().isTrusted())
        return;
    if (m_levels->startIntercepting())
        Diagnostics::log(Diagnostics::Category::level, "accessibility arrived; took over the media keys");
}

} // namespace nimbra
