#pragma once

#include <QObject>

class QWidget;

namespace nimbra {

// The mouse wheel scrolls a settings page; it never changes a setting by passing over it. A
// control that turns the wheel into a value (a slider, a pop-up menu, a spin box) takes it only
// while it has the keyboard focus, from a click or Tab; otherwise the wheel goes on to the page,
// which scrolls. The wheel itself never gives such a control the focus.
class WheelGuard final : public QObject {
    Q_OBJECT
public:
    // Guards every such control in `root`, those it gets later included. The guard lives as
    // long as `root`.
    static void guard(QWidget* root);

    // Whether `widget` changes a value when the wheel turns over it.
    static bool turnsWheelIntoValue(const QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit WheelGuard(QObject* parent);
    void watch(QWidget* widget);
};

} // namespace nimbra
