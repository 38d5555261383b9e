#include "support/private_servers.h"

#include "support/test_support.h"
#include "support/x_owner.h"

#include <QDBusConnectionInterface>
#include <QFile>
#include <QProcessEnvironment>
#include <QDeadlineTimer>
#include <QUuid>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

namespace nimbra::test {

QByteArray firstLine(QProcess& process, int timeoutMs)
{
    QByteArray out;
    waitUntil(
        [&] {
            process.waitForReadyRead(20);
            out += process.readAllStandardOutput();
            return out.contains('\n') || process.state() == QProcess::NotRunning;
        },
        timeoutMs);
    return out.left(out.indexOf('\n')).trimmed();
}

void stopProcess(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
    }
}

namespace {

void stop(QProcess& process)
{
    stopProcess(process);
}

} // namespace

PrivatePulse::PrivatePulse(bool nullSink)
    : m_nullSink(nullSink)
{
    m_running = start();
}

bool PrivatePulse::restart()
{
    stop(m_process);
    m_running = start();
    return m_running;
}

void PrivatePulse::stopServer()
{
    stop(m_process);
    m_running = false;
}

bool PrivatePulse::startServer()
{
    m_running = start();
    return m_running;
}

bool PrivatePulse::start()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    env.insert("HOME", m_dir.path());
    env.insert("XDG_RUNTIME_DIR", m_dir.path());
    env.insert("XDG_CONFIG_HOME", m_dir.path() + "/config");
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList args { "-n", "--daemonize=no", "--log-level=error", "--exit-idle-time=-1", "--use-pid-file=no",
        "--disable-shm=yes", "-L", "module-native-protocol-unix socket=" + m_dir.path() + "/native auth-anonymous=1" };
    if (m_nullSink)
        args << "-L"
             << "module-null-sink sink_name=nimbra_null sink_properties=device.description=Null";
    m_process.start("pulseaudio", args);
    return m_process.waitForStarted(5000)
        && waitUntil(
            [this] { return pactl({ "info" }).has_value() || m_process.state() == QProcess::NotRunning; }, 15000)
        && m_process.state() == QProcess::Running;
}

PrivatePulse::~PrivatePulse()
{
    stop(m_process);
}

QString PrivatePulse::address() const
{
    return "unix:" + m_dir.path() + "/native";
}

std::optional<QString> PrivatePulse::pactl(const QStringList& arguments) const
{
    QProcess client;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PULSE_SERVER", address());
    client.setProcessEnvironment(env);
    client.start("pactl", arguments);
    if (!client.waitForFinished(5000) || client.exitStatus() != QProcess::NormalExit || client.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(client.readAllStandardOutput()).trimmed();
}

PrivateX::PrivateX(const QStringList& extraArguments)
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.start("Xvfb",
        QStringList { "-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp", "-noreset" }
            + extraArguments);
    if (!m_process.waitForStarted(5000))
        return;
    const QByteArray number = firstLine(m_process, 15000);
    if (!number.isEmpty())
        m_display = ":" + number;
}

PrivateX::~PrivateX()
{
    stop(m_process);
}

namespace {
// Runs `program` as a client of `display` until it exits; true when it exited with status 0.
bool runClient(QProcess& client, const QByteArray& display, const QString& program, const QStringList& arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", QString::fromUtf8(display));
    client.setProcessEnvironment(env);
    client.start(program, arguments);
    return client.waitForFinished(10000) && client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0;
}
} // namespace

bool PrivateX::run(const QString& program, const QStringList& arguments) const
{
    QProcess client;
    return runClient(client, m_display, program, arguments);
}

QString PrivateX::output(const QString& program, const QStringList& arguments) const
{
    QProcess client;
    runClient(client, m_display, program, arguments);
    return QString::fromUtf8(client.readAllStandardOutput());
}

NestedX::NestedX(const QSize& size)
{
    if (!m_outer.isRunning())
        return;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", QString::fromUtf8(m_outer.display()));
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.start("Xephyr",
        { "-displayfd", "1", "-screen", QStringLiteral("%1x%2").arg(size.width()).arg(size.height()), "-nolisten",
            "tcp", "-noreset" });
    if (!m_process.waitForStarted(5000))
        return;
    const QByteArray number = firstLine(m_process, 15000);
    if (number.isEmpty())
        return;
    m_display = ":" + number;
    // The window Xephyr shows its screen in, on the outer server.
    waitUntil(
        [&] {
            QProcess search;
            search.setProcessEnvironment(env);
            search.start("xdotool", { "search", "--class", "Xephyr" });
            if (!search.waitForFinished(5000) || search.exitCode() != 0)
                return false;
            m_window = QString::fromUtf8(search.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts).value(0);
            return !m_window.isEmpty();
        },
        10000);
}

NestedX::~NestedX()
{
    stop(m_process);
}

bool NestedX::movePointer(const QPoint& point) const
{
    return m_outer.run(
        "xdotool", { "mousemove", "--window", m_window, QString::number(point.x()), QString::number(point.y()) });
}

bool NestedX::click(int button) const
{
    return m_outer.run("xdotool", { "click", QString::number(button) });
}

bool PrivateX::tap(const std::vector<std::uint32_t>& keysyms) const
{
    xcb_connection_t* connection = xcb_connect(m_display.constData(), nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return false;
    }
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection);
    std::vector<xcb_keycode_t> codes;
    for (std::uint32_t sym : keysyms) {
        xcb_keycode_t* found = xcb_key_symbols_get_keycode(symbols, sym);
        if (found && *found != XCB_NO_SYMBOL)
            codes.push_back(*found);
        free(found);
    }
    const bool complete = codes.size() == keysyms.size();
    if (complete) {
        xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        for (xcb_keycode_t code : codes)
            xcb_test_fake_input(connection, XCB_KEY_PRESS, code, XCB_CURRENT_TIME, root, 0, 0, 0);
        for (auto code = codes.rbegin(); code != codes.rend(); ++code)
            xcb_test_fake_input(connection, XCB_KEY_RELEASE, *code, XCB_CURRENT_TIME, root, 0, 0, 0);
        free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr)); // a round trip
    }
    xcb_key_symbols_free(symbols);
    xcb_disconnect(connection);
    return complete;
}

bool PrivateX::hasWindowManager() const
{
    // Announcing itself is not enough: openbox takes the root window's redirect before it
    // scans the windows there, and a window mapped in between can wait, unmanaged, for the next
    // event to come along. A window manager that answers a request (the frame a window would
    // get) has finished starting; each call asks anew, which also brings such a waiting event
    // along.
    xcb_connection_t* c = xcb_connect(m_display.constData(), nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return false;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_atom_t request = x_owner::atom(c, "_NET_REQUEST_FRAME_EXTENTS");
    const xcb_atom_t extents = x_owner::atom(c, "_NET_FRAME_EXTENTS");
    const xcb_window_t probe = xcb_generate_id(c);
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, probe, screen->root, 0, 0, 10, 10, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
        screen->root_visual, XCB_CW_EVENT_MASK, &events);
    xcb_client_message_event_t message {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = probe;
    message.type = request;
    xcb_send_event(c, 0, screen->root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
        reinterpret_cast<const char*>(&message));
    xcb_flush(c);
    bool answered = false;
    QDeadlineTimer deadline(2000);
    while (!answered && !deadline.hasExpired() && !xcb_connection_has_error(c)) {
        pollfd socket { xcb_get_file_descriptor(c), POLLIN, 0 };
        ::poll(&socket, 1, int(deadline.remainingTime()));
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            const auto* property = reinterpret_cast<xcb_property_notify_event_t*>(event);
            answered = answered
                || ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY && property->atom == extents);
            free(event);
        }
    }
    xcb_disconnect(c);
    return answered;
}

XClient::XClient(const PrivateX& x, const QString& program, const QStringList& arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", QString::fromUtf8(x.display()));
    env.remove("QT_QPA_PLATFORM");
    m_process.setProcessEnvironment(env);
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.start(program, arguments);
}

XClient::~XClient()
{
    stop(m_process);
}

bool XClient::printed(const QByteArray& text, int timeoutMs)
{
    return waitUntil(
        [&] {
            m_output += m_process.readAllStandardOutput();
            return m_output.contains(text);
        },
        timeoutMs);
}

bool grabKey(xcb_connection_t* connection, std::uint32_t keysym)
{
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection);
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
    bool ok = codes && *codes != XCB_NO_SYMBOL;
    if (ok) {
        xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        xcb_generic_error_t* error = xcb_request_check(connection,
            xcb_grab_key_checked(connection, 1, root, 0, codes[0], XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        ok = !error;
        free(error);
    }
    free(codes);
    xcb_key_symbols_free(symbols);
    return ok;
}

PrivateBus::PrivateBus(bool activatesServices)
{
    QStringList arguments { "--nofork", "--nopidfile", "--address=unix:path=" + m_dir.path() + "/bus",
        "--print-address=1" };
    if (activatesServices) {
        arguments.prepend("--session");
    } else {
        QFile config(m_dir.path() + "/bus.conf");
        if (!config.open(QIODevice::WriteOnly))
            return;
        config.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                     " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                     "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
                     "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                     "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        config.close();
        arguments.prepend("--config-file=" + config.fileName());
    }
    m_daemon.start("dbus-daemon", arguments);
    if (!m_daemon.waitForStarted(5000))
        return;
    m_address = QString::fromUtf8(firstLine(m_daemon, 10000));
    m_connectionName = "private-bus-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

PrivateBus::~PrivateBus()
{
    for (auto& mock : m_mocks)
        stop(*mock);
    if (!m_connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
    stop(m_daemon);
}

QDBusConnection PrivateBus::connection() const
{
    return QDBusConnection::connectToBus(m_address, m_connectionName);
}

bool PrivateBus::startTemplate(const QString& templateName, const QString& busName)
{
    auto mock = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", m_address);
    mock->setProcessEnvironment(env);
    mock->setStandardOutputFile(QProcess::nullDevice());
    const QString python = qEnvironmentVariable("NIMBRA_PYTHON", "/usr/bin/python3");
    mock->start(python, { "-m", "dbusmock", "--system", "--template", templateName });
    if (!mock->waitForStarted(5000))
        return false;
    QProcess* raw = mock.get();
    m_mocks.push_back(std::move(mock));
    QDBusConnection bus = connection();
    return waitUntil(
               [&] {
                   return bus.interface()->isServiceRegistered(busName).value() || raw->state() == QProcess::NotRunning;
               },
               15000)
        && raw->state() == QProcess::Running;
}

} // namespace nimbra::test

namespace nimbra::test {

std::optional<QString> PrivateBus::mock(const QString& busName, const QString& path, const QString& pythonCall) const
{
    const QString script = QStringLiteral(
        "import dbus, sys\n"
        "bus = dbus.bus.BusConnection(sys.argv[1])\n"
        "mock = dbus.Interface(bus.get_object(sys.argv[2], sys.argv[3]), 'org.freedesktop.DBus.Mock')\n"
        "print(mock.%1)\n")
                               .arg(pythonCall);
    QProcess python;
    python.start(qEnvironmentVariable("NIMBRA_PYTHON", "/usr/bin/python3"), { "-c", script, m_address, busName, path });
    if (!python.waitForFinished(10000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        qWarning("dbusmock call failed: %s", python.readAllStandardError().constData());
        return std::nullopt;
    }
    return QString::fromUtf8(python.readAllStandardOutput()).trimmed();
}

} // namespace nimbra::test
