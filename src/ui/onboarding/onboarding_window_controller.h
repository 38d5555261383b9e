#pragma once

#include "ui/onboarding/onboarding_view.h"

#include <QObject>
#include <QPointer>
#include <functional>

class QWidget;

namespace nimbra {

// Owns the first-run window: builds it on the first show(), hosts the onboarding steps in it
// and reports the end of onboarding through `onFinish` each time the window closes, whatever
// closed it (a finishing button, the title bar's close button, the window manager). A closed
// window is hidden, not destroyed: a later show() presents it again at the step it showed.
class OnboardingWindowController final : public QObject {
    Q_OBJECT
public:
    static constexpr int width = OnboardingView::width;
    static constexpr int height = OnboardingView::height;

    OnboardingWindowController(std::function<bool()> isAccessibilityGranted,
        std::function<void()> onRequestAccessibility, std::function<void()> onFinish,
        OnboardingView::Context context = {}, QObject* parent = nullptr);
    ~OnboardingWindowController() override;

    // Builds the window if there is none yet, then presents it: shown, raised and activated.
    void show();
    // The window's light or dark look.
    void setDark(bool dark);

    QWidget* window() const { return m_window; }
    OnboardingView* view() const { return m_view; }

private:
    class Window;
    void closed();

    std::function<bool()> m_isAccessibilityGranted;
    std::function<void()> m_onRequestAccessibility;
    std::function<void()> m_onFinish;
    OnboardingView::Context m_context;
    bool m_dark = false;
    QPointer<QWidget> m_window;
    QPointer<OnboardingView> m_view;
};

} // namespace nimbra
