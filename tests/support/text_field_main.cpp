// A stand-in for the application a paste goes to: one window with a text field. Prints "ready"
// once its window has the keyboard, then the field's text on a line of its own whenever it
// changes, and "key: " with every key typed while Ctrl is held ("key: Ctrl+Shift+V").
// Usage: text_field [WINDOW-CLASS]   (the class defaults to "text_field")
//
// The window asks the window manager for the keyboard itself, and only once it is mapped; so
// "ready" waits until that has happened, and the window takes the keyboard no more afterwards.
#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QWindow>
#include <cstdio>

namespace {

void print(const QString& line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

class ControlKeys final : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->modifiers() & Qt::ControlModifier)
                print(QStringLiteral("key: ") + QKeySequence(key->keyCombination()).toString());
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc > 1)
        QApplication::setApplicationName(QString::fromLocal8Bit(argv[1]));
    QLineEdit field;
    ControlKeys keys;
    field.installEventFilter(&keys);
    field.setWindowTitle(QStringLiteral("Paste target"));
    field.resize(400, 40);
    QObject::connect(&field, &QLineEdit::textChanged, [](const QString& text) { print(QStringLiteral("text: ") + text); });
    bool ready = false;
    QObject::connect(&app, &QGuiApplication::focusWindowChanged, [&](QWindow* window) {
        if (ready || !window || window != field.windowHandle())
            return;
        ready = true;
        print(QStringLiteral("ready"));
    });
    field.show();
    field.activateWindow();
    field.setFocus();
    return app.exec();
}
