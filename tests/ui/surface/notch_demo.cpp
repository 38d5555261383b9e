// Drives one notch controller per screen so a surface state can be seen on a display:
//   notch_demo [--state dormant|activity|resident|expanded] [--list] [--quit-after MS]
// --list prints each display's key and window frames (Qt coordinates) and quits.
#include "core/hover_intent.h"
#include "platform/x11/screens.h"
#include "ui/surface/hover_probe_window.h"
#include "ui/surface/notch_display_controller.h"
#include "ui/surface/notch_panel.h"
#include "ui/surface/notch_surface_view.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QPainter>
#include <QScreen>
#include <QTextStream>
#include <QTimer>
#include <memory>
#include <vector>

using namespace nimbra;

namespace {

// A stand-in for the shell's content: the surface's name, in the theme's text colour.
class DemoContent : public QWidget {
public:
    DemoContent(QString text, const SurfaceContext& context)
        : m_text(std::move(text))
        , m_context(context)
    {
        setAttribute(Qt::WA_TranslucentBackground);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const bool dark = notchTheme(this).isDark;
        p.setPen(dark ? Qt::white : QColor::fromRgbF(0.09f, 0.09f, 0.09f));
        QFont font = p.font();
        font.setPixelSize(13);
        p.setFont(font);
        const QRectF below(0, m_context.notchHeight, width(), std::max(0.0, height() - m_context.notchHeight));
        p.drawText(below, Qt::AlignCenter, m_text);
    }

private:
    QString m_text;
    SurfaceContext m_context;
};

QWidget* buildContent(const Presentation::Surface& surface, const SurfaceContext& context)
{
    switch (surface.kind()) {
    case Presentation::Surface::Kind::activity:
        return new DemoContent(QStringLiteral("Volume 60%"), context);
    case Presentation::Surface::Kind::resident:
        return new DemoContent(QStringLiteral("Now playing"), context);
    case Presentation::Surface::Kind::expanded:
        return new DemoContent(QStringLiteral("Expanded: ") + surface.module()->rawValue, context);
    case Presentation::Surface::Kind::dormant:
        break;
    }
    return nullptr;
}

QString rectText(const QRect& r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    QCommandLineOption state(QStringLiteral("state"), QStringLiteral("Surface to show."), QStringLiteral("state"),
        QStringLiteral("resident"));
    QCommandLineOption list(QStringLiteral("list"), QStringLiteral("Print the windows and quit."));
    QCommandLineOption quitAfter(QStringLiteral("quit-after"), QStringLiteral("Quit after MS."), QStringLiteral("ms"));
    parser.addOptions({ state, list, quitAfter });
    parser.addHelpOption();
    parser.process(app);

    std::vector<std::unique_ptr<NotchDisplayController>> controllers;
    for (QScreen* screen : QGuiApplication::screens()) {
        const auto key = nimbraKey(screen);
        if (!key)
            continue;
        auto controller = std::make_unique<NotchDisplayController>(*key, nimbraGeometry(screen), buildContent,
            HoverIntent::Configuration::standard(), LayoutMetrics::defaults());
        const QString wanted = parser.value(state);
        const ModuleID module(QStringLiteral("glance"));
        if (wanted == u"activity")
            controller->present(
                Activity { ModuleID(QStringLiteral("systemLevel")), 1, 40, 3600, ActivityCategory::volume });
        else if (wanted == u"resident")
            controller->setResident(module);
        else if (wanted == u"expanded")
            controller->open(module, false);
        controllers.push_back(std::move(controller));
    }

    if (parser.isSet(list)) {
        QTextStream out(stdout);
        for (const auto& c : controllers)
            out << c->key().rawValue << " panel " << rectText(c->panel()->geometry()) << " probe "
                << rectText(c->probe()->geometry()) << '\n';
        return 0;
    }
    if (parser.isSet(quitAfter))
        QTimer::singleShot(parser.value(quitAfter).toInt(), &app, &QCoreApplication::quit);
    return app.exec();
}
