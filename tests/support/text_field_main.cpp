// A stand-in for the application a paste goes to: one window with a text field that has the
// keyboard. Prints "ready" once shown, then the field's text on a line of its own whenever it
// changes. Usage: text_field [WINDOW-CLASS]   (the class defaults to "text_field")
#include <QApplication>
#include <QLineEdit>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc > 1)
        QApplication::setApplicationName(QString::fromLocal8Bit(argv[1]));
    QLineEdit field;
    field.setWindowTitle(QStringLiteral("Paste target"));
    field.resize(400, 40);
    QObject::connect(&field, &QLineEdit::textChanged, [](const QString& text) {
        std::printf("text: %s\n", text.toUtf8().constData());
        std::fflush(stdout);
    });
    field.show();
    field.activateWindow();
    field.setFocus();
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
