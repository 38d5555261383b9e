// Another application that takes file drops, in a process of its own so that drags reach it
// over XDND as any application's would:
//   drop_target X Y
// It shows a 160 x 120 window at X,Y (Qt coordinates) and prints "ready" once it is on screen,
// "enter" with the offered formats when a drag arrives, "move N" for each position after the
// first (N counts them), "leave", and "drop ACTION URL..." when something is dropped on it.
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QWidget>
#include <cstdio>

namespace {

void say(const QString& line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

class Target : public QWidget {
public:
    Target()
        : QWidget(nullptr, Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint)
    {
        setAcceptDrops(true);
        setStyleSheet(QStringLiteral("background: #4080c0"));
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QWidget::paintEvent(event);
        if (!m_shown) {
            m_shown = true;
            say(QStringLiteral("ready"));
        }
    }
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        m_moves = 0;
        say(QStringLiteral("enter ") + event->mimeData()->formats().join(u' '));
        event->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* event) override
    {
        event->acceptProposedAction();
        say(QStringLiteral("move %1").arg(++m_moves));
    }
    void dragLeaveEvent(QDragLeaveEvent*) override { say(QStringLiteral("leave")); }
    void dropEvent(QDropEvent* event) override
    {
        event->acceptProposedAction();
        QStringList urls;
        for (const QUrl& url : event->mimeData()->urls())
            urls << QString::fromUtf8(url.toEncoded());
        const QString action = event->dropAction() == Qt::CopyAction ? QStringLiteral("copy")
            : event->dropAction() == Qt::MoveAction                  ? QStringLiteral("move")
                                                                     : QStringLiteral("other");
        say(QStringLiteral("drop ") + action + u' ' + urls.join(u' '));
    }

private:
    int m_moves = 0;
    bool m_shown = false;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: drop_target X Y\n");
        return 2;
    }
    Target target;
    target.setGeometry(args[1].toInt(), args[2].toInt(), 160, 120);
    target.show();
    return app.exec();
}
