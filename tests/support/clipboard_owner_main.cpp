// A stand-in for another application that copies: owns the clipboard with the given formats
// until it is stopped. Usage: clipboard_owner FORMAT=VALUE...   Prints "owning" once it does.
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    auto* data = new QMimeData;
    for (const QString& argument : app.arguments().mid(1)) {
        const qsizetype eq = argument.indexOf('=');
        if (eq > 0)
            data->setData(argument.left(eq), argument.mid(eq + 1).toUtf8());
    }
    QApplication::clipboard()->setMimeData(data);
    std::printf("owning\n");
    std::fflush(stdout);
    return app.exec();
}
