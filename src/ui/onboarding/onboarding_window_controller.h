#pragma once

#include "ui/onboarding/onboarding_view.h"

#include <QObject>
#include <QPointer>
#include <functional>

class QWidget;

namespace nimbra {

// Owns the first-run window: builds it on the first show(), hosts the onboarding steps in it
// and reports the end of onboarding through `onFinish` each time the user closes the window (a
// finishing button, the title bar's close button, the window manager). The application quitting
// (SIGTERM, a logout, Quit in the menu) closes it too, but that is no answer of the user's and
// reports nothing. A closed window is hidden, not destroyed: a later show() presents it again
// at the step it showed.
class OnboardingWindowController final : public QObject {
    Q_OBJECT
public:
    static constexpr int width = OnboardingView::width;

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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Window;
    void closed();

    std::function<bool()> m_isAccessibilityGranted;
    std::function<void()> m_onRequestAccessibility;
    std::function<void()> m_onFinish;
    OnboardingView::Context m_context;
    bool m_dark = false;
    // The application has been asked to quit, and closes every window.
    bool m_quitting = false;
    QPointer<QWidget> m_window;
    QPointer<OnboardingView> m_view;
};

} // namespace nimbra
