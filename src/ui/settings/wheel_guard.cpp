#include "ui/settings/wheel_guard.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QChildEvent>
#include <QComboBox>
#include <QScrollBar>
#include <QWidget>

namespace nimbra {

WheelGuard::WheelGuard(QObject* parent)
    : QObject(parent)
{
}

void WheelGuard::guard(QWidget* root)
{
    auto* guard = new WheelGuard(root);
    guard->watch(root);
}

bool WheelGuard::turnsWheelIntoValue(const QWidget* widget)
{
    if (qobject_cast<const QScrollBar*>(widget))
        return false;
    return qobject_cast<const QAbstractSlider*>(widget) || qobject_cast<const QComboBox*>(widget)
        || qobject_cast<const QAbstractSpinBox*>(widget);
}

void WheelGuard::watch(QWidget* widget)
{
    // Every widget is watched: its children polished later are guarded as they come.
    widget->installEventFilter(this);
    if (turnsWheelIntoValue(widget) && (widget->focusPolicy() & Qt::WheelFocus) == Qt::WheelFocus)
        widget->setFocusPolicy(Qt::StrongFocus);
    for (QWidget* child : widget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        watch(child);
}

bool WheelGuard::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Wheel: {
        auto* widget = static_cast<QWidget*>(watched);
        if (turnsWheelIntoValue(widget) && !widget->hasFocus()) {
            // Not taken: the application hands the wheel on to the parents, up to the page.
            event->ignore();
            return true;
        }
        break;
    }
    case QEvent::ChildPolished:
        if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child()))
            watch(child);
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace nimbra
