// A file manager in miniature, in a process of its own, so that its drags reach the notch over
// XDND as any other application's would:
//   drag_source FILE X Y
// It shows a 120 x 80 window at X,Y (Qt coordinates) and prints "ready" once it is on screen.
// A pressed pointer that moves starts a drag of FILE's URL ("dragging"); when the drag ends it
// prints "dropped copy" or "dropped nothing" and quits. Meanwhile it prints "accepted copy" or
// "refused" whenever the window under the pointer changes its answer to the drag.
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QWidget>
#include <cstdio>

namespace {

void say(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

class Source : public QWidget {
public:
    explicit Source(QUrl file)
        : QWidget(nullptr, Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint)
        , m_file(std::move(file))
    {
        setStyleSheet(QStringLiteral("background: #c08040"));
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QWidget::paintEvent(event);
        if (!m_shown) {
            m_shown = true;
            say("ready");
        }
    }

    void mousePressEvent(QMouseEvent* event) override { m_pressedAt = event->position().toPoint(); }

    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (!(event->buttons() & Qt::LeftButton) || m_dragging)
            return;
        if ((event->position().toPoint() - m_pressedAt).manhattanLength() < QApplication::startDragDistance())
            return;
        m_dragging = true;
        auto* drag = new QDrag(this);
        auto* data = new QMimeData;
        data->setUrls({ m_file });
        drag->setMimeData(data);
        QObject::connect(drag, &QDrag::actionChanged,
            [](Qt::DropAction action) { say(action == Qt::CopyAction ? "accepted copy" : "refused"); });
        say("dragging");
        const Qt::DropAction action = drag->exec(Qt::CopyAction);
        say(action == Qt::CopyAction ? "dropped copy" : "dropped nothing");
        QApplication::quit();
    }

private:
    QUrl m_file;
    QPoint m_pressedAt;
    bool m_dragging = false;
    bool m_shown = false;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: drag_source FILE X Y\n");
        return 2;
    }
    Source source(QUrl::fromLocalFile(args[1]));
    source.setGeometry(args[2].toInt(), args[3].toInt(), 120, 80);
    source.show();
    return app.exec();
}
