#include "app/app_delegate.h"

#include "core/diagnostics.h"
#include "core/nimbra_settings.h"
#include "platform/x11/x11_input_bridge.h"
#include "ui/onboarding/onboarding_window_controller.h"

#include <QPointer>

namespace nimbra {

namespace {
constexpr int kOnboardingDelayMs = 400;
} // namespace

// The first start walks through the features; closing the window in any way counts as seen.
void AppDelegate::showOnboardingIfNeeded()
{
    if (m_settings.hasSeenOnboarding()) {
        Diagnostics::log(Diagnostics::Category::display, "onboarding already seen");
        return;
    }
    const AccessibilityTrust& trust = m_input->trust();
    OnboardingView::Context context;
    context.hotKey = m_settings.clipboardHotKey().displayString();
    context.needsX11Session = !trust.isTrusted() && (trust.isXWayland || isWaylandSession());
    context.replacesDesktopReadouts = m_settings.hudReplacement();
    QPointer<AppDelegate> self(this);
    m_onboarding
        = std::make_unique<OnboardingWindowController>([self] { return self && self->isAccessibilityGranted(); },
            [self] {
                if (self)
                    self->requestAccessibility();
            },
            [self] {
                if (self)
                    self->finishOnboarding();
            },
            context);
    m_onboarding->setDark(currentTheme().isDark);
    m_onboardingDelay.start(kOnboardingDelayMs);
}

void AppDelegate::presentOnboarding()
{
    if (m_onboarding && !m_terminated) {
        m_onboarding->show();
        Diagnostics::log(Diagnostics::Category::display, "onboarding shown");
    }
}

void AppDelegate::finishOnboarding()
{
    m_settings.setHasSeenOnboarding(true);
    Diagnostics::log(Diagnostics::Category::display, "onboarding finished");
    // Released once the close that reported it has run its course.
    if (m_onboarding)
        m_onboarding.release()->deleteLater();
}

} // namespace nimbra
