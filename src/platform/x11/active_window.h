#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace nimbra {

class X11InputBridge;

// The application of a top-level window, as far as the window tells.
struct ActiveApplication {
    std::uint32_t window = 0;
    // Its desktop id: the GTK application id, else the desktop file it names, else its class.
    QString appId;
    // What a person calls it: its desktop entry's name, else its class.
    QString name;
    // WM_CLASS: the instance and class names.
    QString instance;
    QString windowClass;

    // Terminal emulators paste with Ctrl+Shift+V: Ctrl+V is a control character there.
    bool isTerminal() const;

    // The desktop id from what a window tells: the first of the GTK application id, the
    // desktop file hint and the class that is not empty.
    static QString idFrom(const QString& gtkApplicationId, const QString& desktopFile, const QString& windowClass);
    // Whether a window class (or application id) is a terminal emulator's.
    static bool isTerminalName(const QString& name);

    bool operator==(const ActiveApplication&) const = default;
};

// Follows the window the window manager names active (`_NET_ACTIVE_WINDOW` on the root window,
// through the input bridge's property notifications) and remembers the last one that belongs
// to another application: the target of a paste, wherever the keyboard went meanwhile. It can
// hand the keyboard back to that window, and says when the window has it: the window manager
// takes its time (more on a busy machine), and other clients may still be moving the focus.
class ActiveWindowWatcher final : public QObject {
    Q_OBJECT
public:
    explicit ActiveWindowWatcher(X11InputBridge* input, QObject* parent = nullptr);

    // Reads the window in front now, then follows every change.
    void start();

    // The last other application that was in front; none before the first.
    const std::optional<ActiveApplication>& pasteTarget() const { return m_target; }
    std::function<void(const ActiveApplication&)> onChange;

    // Asks the window manager to make the window active again; false without an X server.
    bool activate(const ActiveApplication& application);
    // Asks the window manager to make the window active and calls `handedBack` once the X input
    // focus is in it (at once when it is there already). One hand-back at a time: another one,
    // or cancelHandBack(), drops the one waiting. False without an X server.
    bool handBack(const ActiveApplication& application, std::function<void()> handedBack);
    void cancelHandBack();
    bool isHandingBack() const { return m_handBack.has_value(); }
    // Whether the X input focus is on `window`, inside it, or on its frame.
    bool holdsKeyboard(std::uint32_t window);

private:
    void refresh();
    std::optional<ActiveApplication> describe(std::uint32_t window);
    // The windows from `window` up to the root, both left out; empty once one is gone.
    std::vector<std::uint32_t> ancestors(std::uint32_t window);
    void checkHandBack();

    struct HandBack {
        std::uint32_t window;
        std::function<void()> handedBack;
    };
    X11InputBridge* m_input;
    std::uint32_t m_activeAtom = 0;
    std::optional<ActiveApplication> m_target;
    std::optional<HandBack> m_handBack;
    bool m_started = false;
};

} // namespace nimbra
