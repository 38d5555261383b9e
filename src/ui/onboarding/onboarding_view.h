#pragma once

#include "ui/onboarding/onboarding_stage.h"

#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace nimbra {

// The content of the first-run window: six feature steps, each with its animated scene, and a
// last step about taking the keys (volume and brightness in place of the desktop's overlay,
// and pasting for you). A footer carries Back, the page dots and the forward buttons. It keeps
// two pieces of state, the step shown and whether key takeover is available, and reports
// through the closures it is given.
class OnboardingView final : public QWidget {
    Q_OBJECT
public:
    static constexpr int width = 580;
    static constexpr int stepCount = 7;
    static constexpr int permissionStep = stepCount - 1;
    // Changing steps cross-fades the scenes over this long.
    static constexpr double moveDuration = 0.22;

    // What the texts depend on beyond the closures.
    struct Context {
        // The clipboard's hot key as the desktop writes it ("Shift+Super+V").
        QString hotKey;
        // Under Wayland the keys cannot be had at all: the permission step says that an X11
        // session is needed instead of offering to check again.
        bool needsX11Session = false;
        // The readouts already take the desktop's place (the setting is on): the last step
        // need not say where to turn that on.
        bool replacesDesktopReadouts = false;
    };

    struct Step {
        QString title;
        QString body; // empty on the permission step
        std::optional<OnboardingStage::Scene> scene;
    };

    OnboardingView(std::function<bool()> isAccessibilityGranted, std::function<void()> onRequestAccessibility,
        std::function<void()> onFinish, Context context, QWidget* parent = nullptr);

    // The seven steps, computed from `granted` each time.
    QList<Step> steps() const;
    int step() const { return m_step; }
    bool granted() const { return m_granted; }
    // The one way the step changes; the index is clamped to the steps there are.
    void move(int index);
    // Asks again whether the keys can be taken.
    void refreshGranted();

    // For looking at: the stage, the title, and the footer's buttons by name ("Back", "Skip",
    // "Continue", and the finishing one).
    OnboardingStage* stage() const { return m_stage; }
    QString title() const;
    QPushButton* button(const QString& text) const;
    // The button Return presses.
    QPushButton* defaultButton() const;
    // The height that holds the tallest step (with either answer on the last), so that the
    // window fits its content and keeps one size from step to step.
    int fittedHeight() const { return m_fittedHeight; }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void build();
    void showStep();
    int measureTallestStep();
    QWidget* permissionBody();
    QWidget* reasonRow(const QString& symbol, const QString& title, const QString& detail);

    std::function<bool()> m_isAccessibilityGranted;
    std::function<void()> m_onRequestAccessibility;
    std::function<void()> m_onFinish;
    Context m_context;
    bool m_granted = false;
    int m_step = 0;
    int m_fittedHeight = 0;

    OnboardingStage* m_stage = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_body = nullptr;
    QVBoxLayout* m_column = nullptr;
    QVBoxLayout* m_textColumn = nullptr;
    QWidget* m_permission = nullptr;
    std::optional<bool> m_permissionBuiltFor;
    QWidget* m_dots = nullptr;
    QPushButton* m_back = nullptr;
    QPushButton* m_skip = nullptr;
    QPushButton* m_continue = nullptr;
    QPushButton* m_finish = nullptr;
};

} // namespace nimbra
