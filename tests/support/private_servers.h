#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QPoint>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct xcb_connection_t;

namespace nimbra::test {

// Reads the first line a server prints on standard output (trimmed; empty when it printed none
// within `timeoutMs` or ended first).
QByteArray firstLine(QProcess& process, int timeoutMs);

// Stops a child process: SIGTERM, then SIGKILL when it does not go within 5 s.
void stopProcess(QProcess& process);

// Servers of a test's own, for tests that change global state (default sink, key grabs,
// well-known bus names) and so must not share the harness's servers with tests running
// beside them. Each is stopped, by its own PID, when the object goes.

// A sound server on a private socket; with `nullSink` it starts with the sink "nimbra_null".
class PrivatePulse {
public:
    explicit PrivatePulse(bool nullSink = true);
    ~PrivatePulse();
    bool isRunning() const { return m_running; }
    QString address() const; // for PULSE_SERVER or a client's server argument
    // Runs pactl against this server; its standard output (trimmed), or none when it failed.
    std::optional<QString> pactl(const QStringList& arguments) const;
    // Stops the server, as a crash or a restart of the sound service would, and starts it again
    // on the same socket; true when it is back.
    bool restart();
    // Stops the server and leaves it stopped; startServer() brings it back on the same socket.
    void stopServer();
    bool startServer();

private:
    bool start();

    QTemporaryDir m_dir;
    QProcess m_process;
    bool m_nullSink = true;
    bool m_running = false;
};

// An Xvfb of its own (no window manager), with XTEST. It does not reset when its last client
// leaves, so a key map set with xmodmap stays.
class PrivateX {
public:
    // `extraArguments` go to Xvfb, e.g. {"-extension", "XTEST"} to leave one out.
    explicit PrivateX(const QStringList& extraArguments = {});
    ~PrivateX();
    bool isRunning() const { return !m_display.isEmpty(); }
    QByteArray display() const { return m_display; } // ":N"
    // Runs an X client (xmodmap, ...) against this server; true when it exited with status 0.
    bool run(const QString& program, const QStringList& arguments) const;
    // Runs an X client against this server and returns what it printed on standard output.
    QString output(const QString& program, const QStringList& arguments) const;
    // Presses the keys in order through XTEST and releases them in reverse, as a person would
    // hold modifiers around a key. False when a keysym has no key code.
    bool tap(const std::vector<std::uint32_t>& keysyms) const;
    // Whether a window manager runs there and has finished starting.
    bool hasWindowManager() const;

private:
    QProcess m_process;
    QByteArray m_display;
};

// A program on a private X server (a window manager, a test window), stopped by its PID when
// this goes.
class XClient {
public:
    XClient(const PrivateX& x, const QString& program, const QStringList& arguments = {});
    ~XClient();
    // Waits until the program has printed `text` on its standard output.
    bool printed(const QByteArray& text, int timeoutMs = 15000);

private:
    QProcess m_process;
    QByteArray m_output;
};

// An Xephyr inside an Xvfb of its own. XTest moves and clicks on the outer server reach the
// nested one as real device input, so it reports XInput2 raw events (plain Xvfb does not turn
// XTest motion into raw events). Only the nested server's clients see the moves.
class NestedX {
public:
    explicit NestedX(const QSize& size = QSize(800, 600));
    ~NestedX();
    bool isRunning() const { return !m_display.isEmpty() && !m_window.isEmpty(); }
    QByteArray display() const { return m_display; } // the nested server, ":N"
    qint64 processId() const { return m_process.processId(); }
    // Moves the pointer to `point` of the nested screen; true when xdotool did it.
    bool movePointer(const QPoint& point) const;
    // Presses and releases `button` (1 left, 3 right) where the pointer is.
    bool click(int button) const;

private:
    PrivateX m_outer;
    QProcess m_process;
    QByteArray m_display;
    QString m_window; // the Xephyr window on the outer server
};

// Grabs the key of `keysym` with no modifiers on the root window for `connection`, as another
// X client (a desktop's media-key daemon) would; true when the grab took. False when the keysym
// has no key or another client holds it.
bool grabKey(xcb_connection_t* connection, std::uint32_t keysym);

// A private D-Bus daemon to stand in for the system bus, and python-dbusmock templates on it.
class PrivateBus {
public:
    // With `activatesServices` off the bus knows no service files, so a call to a name nobody
    // owns fails at once instead of starting the desktop's service.
    explicit PrivateBus(bool activatesServices = true);
    ~PrivateBus();
    bool isRunning() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }
    QDBusConnection connection() const;
    // Starts `$NIMBRA_PYTHON -m dbusmock --system --template <template>` on this bus and waits
    // until `busName` is owned; false when it did not come up.
    bool startTemplate(const QString& templateName, const QString& busName);
    // Calls a method of dbusmock's control interface (org.freedesktop.DBus.Mock) on `path`.
    // `pythonCall` is the call in Python, e.g. "AddMethod('iface', 'Name', 's', '', 'ret = 1')".
    // Returns what it printed, or none when the call failed.
    std::optional<QString> mock(const QString& busName, const QString& path, const QString& pythonCall) const;

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QString m_connectionName;
    std::vector<std::unique_ptr<QProcess>> m_mocks;
};

} // namespace nimbra::test
