#include "ui/settings/window_presenter.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace nimbra::window_presenter {

void centre(QWidget* window, const QSize& size)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!window || !screen)
        return;
    QRect frame(QPoint(), size);
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

void present(QWidget* window)
{
    if (!window)
        return;
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    QPointer<QWidget> shown(window);
    QTimer::singleShot(0, window, [shown] {
        if (!shown)
            return;
        shown->raise();
        shown->activateWindow();
    });
}

} // namespace nimbra::window_presenter
