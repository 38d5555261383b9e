#include "core/nimbra_settings.h"
#include "core/settings_storage.h"
#include "support/nimbra_process.h"
#include "support/private_servers.h"
#include "support/test_support.h"
#include "ui/settings/settings_controls.h"
#include "ui/settings/settings_style.h"
#include "ui/settings/settings_view.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

// The real application on an X server of its own, with a window manager.
struct RealNimbra {
    // A laptop-sized screen, so that the window fits and the notch sits where a person finds it.
    PrivateX x { { "-screen", "0", "1512x982x24" } };
    std::unique_ptr<XClient> windowManager;
    NimbraProcess nimbra;

    // Not the first start unless the settings say so: onboarding's window would be in the way.
    explicit RealNimbra(const QByteArray& settings = "{}")
        : nimbra(settings)
    {
    }

    bool start()
    {
        if (!x.isRunning())
            return false;
        windowManager = std::make_unique<XClient>(x, "openbox", QStringList { "--sm-disable" });
        if (!waitUntil([&] { return x.hasWindowManager(); }))
            return false;
        return nimbra.start({ "DISPLAY=" + x.display() }) && nimbra.waitForLog("] display + ", 10000);
    }

    // The settings window's X id when it is mapped, else empty.
    QString settingsWindow()
    {
        return x.output("xdotool", { "search", "--onlyvisible", "--name", "^Nimbra Settings$" })
            .split('\n', Qt::SkipEmptyParts)
            .value(0);
    }

    // The mapped windows of the process.
    int visibleWindows()
    {
        const QString pid = QString::number(nimbra.process().processId());
        return int(x.output("xdotool", { "search", "--onlyvisible", "--pid", pid }).split('\n', Qt::SkipEmptyParts).size());
    }

    // What an X client prints on this server.
    QString output(const QString& program, const QStringList& arguments) { return x.output(program, arguments); }

    // Where the client area of an X window lies on the screen.
    QPoint origin(const QString& window)
    {
        const QString out = x.output("xwininfo", { "-id", window });
        const auto value = [&](const char* name) {
            return QRegularExpression(QString("Absolute upper-left %1:\\s+(-?\\d+)").arg(name))
                .match(out)
                .captured(1)
                .toInt();
        };
        return { value("X"), value("Y") };
    }

    // The whole screen, saved with the test's artefacts (for a failure to be looked at).
    std::string screenshot(const QString& name)
    {
        const QString path = artefactDir() + "/" + name + ".png";
        x.run("import", { "-window", "root", path });
        return ("screen saved to " + path).toStdString();
    }

    bool click(QPoint at)
    {
        return x.run("xdotool", { "mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1" });
    }

    // A second start of Nimbra with the same settings folder: it hands over and exits.
    bool startAgain()
    {
        QProcess second;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", x.display());
        env.insert("XDG_CONFIG_HOME", nimbra.configHome());
        env.remove("QT_QPA_PLATFORM");
        second.setProcessEnvironment(env);
        second.start(QStringLiteral(NIMBRA_BINARY_DIR) + "/src/app/nimbra", {});
        return second.waitForFinished(10000) && second.exitStatus() == QProcess::NormalExit && second.exitCode() == 0;
    }

    QJsonObject settingsFile()
    {
        QFile file(nimbra.configHome() + "/nimbra/settings.json");
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll()).object();
    }
};

// Where a control of the general page sits in a settings window's client area: the same view,
// laid out here at the window's size without being shown.
QPoint generalPageControl(const QString& name)
{
    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    SettingsView view(settings, SettingsView::Inputs {});
    view.setAttribute(Qt::WA_DontShowOnScreen);
    view.setPalette(settings_style::palette(false));
    view.resize(760, 540);
    settings_style::adoptStyle(&view);
    view.show();
    QCoreApplication::processEvents();
    for (QWidget* w : view.findChildren<QWidget*>()) {
        if (w->accessibleName() == name && w->isVisible())
            return w->mapTo(&view, w->rect().center());
    }
    return {};
}

} // namespace

TEST(SettingsWindowOnX, ASecondStartOpensTheWindowAndAChangeReachesTheFileAndTheNotch)
{
    RealNimbra app;
    ASSERT_TRUE(app.start()) << app.nimbra.log().toStdString();
    ASSERT_TRUE(app.startAgain());
    ASSERT_TRUE(app.nimbra.waitForLog("reopened by another start")) << app.nimbra.log().toStdString();
    ASSERT_TRUE(waitUntil([&] { return !app.settingsWindow().isEmpty(); }, 5000));
    const QString window = app.settingsWindow();
    // The desktop shows the window's own title, with nothing added to it.
    EXPECT_EQ(app.output("xprop", { "-id", window, "_NET_WM_NAME" }).trimmed(),
        QString::fromUtf8("_NET_WM_NAME(UTF8_STRING) = \"Nimbra Settings\""));
    // A second monitor beside the screen. Neither is a laptop panel, so by default only the
    // screen's notch shows, standing in for the built-in display's.
    const QString monitor = QStringLiteral("NIMBRA-S%1").arg(app.nimbra.process().processId());
    ASSERT_TRUE(app.x.run("xrandr", { "--setmonitor", monitor, "1000/260x700/180+1512+0", "none" }));
    ASSERT_TRUE(waitUntil([&] { return app.nimbra.log().count("] display + ") == 2; }, 5000))
        << app.nimbra.log().toStdString();
    QCoreApplication::processEvents();
    const int shown = app.visibleWindows();

    // "Show on all displays" on the general page: the file and the notch follow.
    const QPoint control = generalPageControl("Show on all displays");
    ASSERT_FALSE(control.isNull());
    ASSERT_TRUE(app.click(app.origin(window) + control));
    ASSERT_TRUE(waitUntil([&] { return app.settingsFile().value("display.showOnAll").toBool(); }, 5000))
        << app.nimbra.log().toStdString();
    EXPECT_TRUE(waitUntil([&] { return app.visibleWindows() > shown; }, 5000)) << "the notch did not appear";

    // Closing the window leaves Nimbra running; a third start shows the same window again.
    // Closed as a person would: the close button at the right end of the window manager's
    // title bar, just above the client area's top right corner.
    const QPoint close = app.origin(window) + QPoint(760 - 11, -11);
    ASSERT_TRUE(waitUntil(
        [&] {
            app.click(close);
            return waitUntil([&] { return app.settingsWindow().isEmpty(); }, 500);
        },
        5000))
        << app.screenshot("settings-window-close");
    EXPECT_EQ(app.nimbra.process().state(), QProcess::Running);
    ASSERT_TRUE(app.startAgain());
    EXPECT_TRUE(waitUntil([&] { return !app.settingsWindow().isEmpty(); }, 5000));

    EXPECT_TRUE(app.nimbra.terminate()) << app.nimbra.log().toStdString();
}

TEST(SettingsWindowOnX, TheTrayMenusSettingsItemOpensTheWindow)
{
    RealNimbra app;
    ASSERT_TRUE(app.x.isRunning());
    // A classic tray along the bottom edge, as a desktop panel would hold it.
    XClient tray(app.x, "trayer",
        { "--edge", "bottom", "--align", "right", "--widthtype", "request", "--height", "24", "--SetDockType",
            "true" });
    ASSERT_TRUE(app.start()) << app.nimbra.log().toStdString();

    // The tray's panel holds Nimbra's item alone once it has docked.
    QString panel;
    ASSERT_TRUE(waitUntil(
        [&] {
            panel = app.output("xdotool", { "search", "--classname", "^panel$" })
                        .split('\n', Qt::SkipEmptyParts)
                        .value(0);
            return !panel.isEmpty()
                && app.output("xwininfo", { "-id", panel }).contains(QRegularExpression("Width: (1[6-9]|[2-9]\\d)"));
        },
        10000))
        << "Nimbra's item did not dock in the tray" << app.nimbra.log().toStdString();
    const QPoint item = app.origin(panel) + QPoint(12, 12);

    // A click on the item opens its menu, a window more than the item's own; its first entry is
    // "Settings…". The item may take a moment after docking before it answers clicks.
    const int shown = app.visibleWindows();
    ASSERT_TRUE(waitUntil([&] {
        if (app.visibleWindows() > shown)
            return true;
        app.click(item);
        return waitUntil([&] { return app.visibleWindows() > shown; }, 3000);
    })) << app.screenshot("tray-menu");
    ASSERT_TRUE(waitUntil([&] {
        app.x.run("xdotool", { "key", "Down", "Return" });
        return waitUntil([&] { return !app.settingsWindow().isEmpty(); }, 1000);
    })) << app.screenshot("settings-from-tray")
        << app.nimbra.log().toStdString();

    EXPECT_TRUE(app.nimbra.terminate()) << app.nimbra.log().toStdString();
}
