#include "platform/x11/active_window.h"

#include "core/diagnostics.h"
#include "platform/x11/x11_input_bridge.h"
#include "platform/xdg/desktop_entry.h"

#include <QStringList>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <xcb/xcb.h>

namespace nimbra {

namespace {

struct Freed {
    void operator()(void* p) const { std::free(p); }
};
using PropertyReply = std::unique_ptr<xcb_get_property_reply_t, Freed>;

xcb_get_property_cookie_t ask(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property)
{
    return xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024);
}

PropertyReply answer(xcb_connection_t* c, xcb_get_property_cookie_t cookie)
{
    return PropertyReply(xcb_get_property_reply(c, cookie, nullptr));
}

QByteArray bytes(const PropertyReply& reply)
{
    if (!reply || reply->format != 8)
        return {};
    return QByteArray(
        static_cast<const char*>(xcb_get_property_value(reply.get())), xcb_get_property_value_length(reply.get()));
}

std::optional<std::uint32_t> cardinal(const PropertyReply& reply)
{
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
        return std::nullopt;
    std::uint32_t value = 0;
    std::memcpy(&value, xcb_get_property_value(reply.get()), sizeof value);
    return value;
}

} // namespace

QString ActiveApplication::idFrom(
    const QString& gtkApplicationId, const QString& desktopFile, const QString& windowClass)
{
    for (QString id : { gtkApplicationId, desktopFile, windowClass }) {
        id = id.trimmed();
        if (id.endsWith(QLatin1String(".desktop")))
            id.chop(8);
        if (!id.isEmpty())
            return id;
    }
    return {};
}

bool ActiveApplication::isTerminalName(const QString& name)
{
    static const QStringList terminals { "xterm", "uxterm", "rxvt", "urxvt", "st", "st-256color", "gnome-terminal",
        "gnome-terminal-server", "org.gnome.terminal", "kgx", "org.gnome.console", "konsole", "org.kde.konsole",
        "xfce4-terminal", "mate-terminal", "lxterminal", "qterminal", "terminator", "tilix", "com.gexperts.tilix",
        "alacritty", "kitty", "foot", "wezterm", "org.wezfurlong.wezterm", "terminology", "sakura", "guake", "tilda",
        "yakuake", "cool-retro-term", "deepin-terminal", "termite", "eterm", "x-terminal-emulator" };
    return terminals.contains(name.trimmed().toLower());
}

bool ActiveApplication::isTerminal() const
{
    return isTerminalName(windowClass) || isTerminalName(instance) || isTerminalName(appId);
}

ActiveWindowWatcher::ActiveWindowWatcher(X11InputBridge* input, QObject* parent)
    : QObject(parent)
    , m_input(input)
{
}

void ActiveWindowWatcher::start()
{
    if (m_started || !m_input || !m_input->isConnected())
        return;
    m_started = true;
    m_activeAtom = m_input->atom("_NET_ACTIVE_WINDOW");
    connect(m_input, &X11InputBridge::rootPropertyChanged, this, [this](std::uint32_t atom) {
        if (atom != m_activeAtom)
            return;
        refresh();
        checkHandBack();
    });
    connect(m_input, &X11InputBridge::focusIn, this, [this](std::uint32_t window) {
        if (m_handBack && m_handBack->window == window)
            checkHandBack();
    });
    m_input->watchRootProperties();
    refresh();
}

void ActiveWindowWatcher::refresh()
{
    xcb_connection_t* c = m_input->connection();
    if (!m_input->isConnected())
        return;
    const auto active = cardinal(answer(c, ask(c, m_input->root(), m_activeAtom)));
    std::optional<ActiveApplication> application;
    if (active && *active != XCB_NONE)
        application = describe(*active);
    // The replies were read synchronously: events may wait in the connection's queue.
    m_input->dispatchSoon();
    if (!application || (m_target && *m_target == *application))
        return;
    m_target = application;
    Diagnostics::log(Diagnostics::Category::clipboard, [&] { return QStringLiteral("in front: ") + m_target->name; });
    if (onChange)
        onChange(*m_target);
}

std::optional<ActiveApplication> ActiveWindowWatcher::describe(std::uint32_t window)
{
    xcb_connection_t* c = m_input->connection();
    // Every request goes out before the first answer is awaited.
    const auto pid = ask(c, window, m_input->atom("_NET_WM_PID"));
    const auto gtk = ask(c, window, m_input->atom("_GTK_APPLICATION_ID"));
    const auto desktop = ask(c, window, m_input->atom("_KDE_NET_WM_DESKTOP_FILE"));
    const auto wmClass = ask(c, window, XCB_ATOM_WM_CLASS);
    const auto owner = cardinal(answer(c, pid));
    const QString gtkId = QString::fromUtf8(bytes(answer(c, gtk)));
    const QString desktopFile = QString::fromUtf8(bytes(answer(c, desktop)));
    const QList<QByteArray> names = bytes(answer(c, wmClass)).split('\0');
    // Nimbra's own windows are never a paste target.
    if (owner && *owner == std::uint32_t(::getpid()))
        return std::nullopt;

    ActiveApplication application;
    application.window = window;
    application.instance = names.size() > 0 ? QString::fromLocal8Bit(names[0]) : QString();
    application.windowClass = names.size() > 1 ? QString::fromLocal8Bit(names[1]) : QString();
    application.appId = ActiveApplication::idFrom(gtkId, desktopFile, application.windowClass);
    // The desktop entry is often named after the class in lower case (firefox, code).
    std::optional<QString> name = desktop_entry::displayName(application.appId);
    if (!name && !application.windowClass.isEmpty())
        name = desktop_entry::displayName(application.windowClass.toLower());
    application.name = name.value_or(application.windowClass.isEmpty() ? application.appId : application.windowClass);
    return application;
}

bool ActiveWindowWatcher::activate(const ActiveApplication& application)
{
    if (!m_input || !m_input->isConnected() || !application.window)
        return false;
    xcb_client_message_event_t message {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = application.window;
    message.type = m_activeAtom ? m_activeAtom : m_input->atom("_NET_ACTIVE_WINDOW");
    // Source 2: a pager or similar tool asks on the user's behalf, which window managers honour.
    message.data.data32[0] = 2;
    // No time of ours: a window manager that focuses with the time it is given would have the
    // server ignore a time older than the last focus change (the notch's own, made just before).
    message.data.data32[1] = XCB_CURRENT_TIME;
    message.data.data32[2] = 0;
    xcb_connection_t* c = m_input->connection();
    xcb_send_event(c, 0, m_input->root(), XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
        reinterpret_cast<const char*>(&message));
    m_input->flush();
    return true;
}

bool ActiveWindowWatcher::handBack(const ActiveApplication& application, std::function<void()> handedBack)
{
    cancelHandBack();
    if (!m_input || !m_input->isConnected() || !application.window)
        return false;
    m_handBack = HandBack { application.window, std::move(handedBack) };
    // Followed before the request goes out, so that no focus change can slip past.
    m_input->watchFocus(application.window, true);
    activate(application);
    checkHandBack();
    return true;
}

void ActiveWindowWatcher::cancelHandBack()
{
    if (!m_handBack)
        return;
    m_input->watchFocus(m_handBack->window, false);
    m_handBack.reset();
}

void ActiveWindowWatcher::checkHandBack()
{
    if (!m_handBack || !holdsKeyboard(m_handBack->window))
        return;
    std::function<void()> handedBack = std::move(m_handBack->handedBack);
    cancelHandBack();
    if (handedBack)
        handedBack();
}

std::vector<std::uint32_t> ActiveWindowWatcher::ancestors(std::uint32_t window)
{
    xcb_connection_t* c = m_input->connection();
    std::vector<std::uint32_t> chain;
    // Top-level windows sit a few levels below the root; the bound only guards a broken tree.
    for (int depth = 0; depth < 16; ++depth) {
        auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
        if (!tree)
            return {};
        window = tree->parent;
        const bool top = window == tree->root || window == XCB_NONE;
        free(tree);
        if (top)
            break;
        chain.push_back(window);
    }
    return chain;
}

bool ActiveWindowWatcher::holdsKeyboard(std::uint32_t window)
{
    if (!m_input || !m_input->isConnected() || !window)
        return false;
    xcb_connection_t* c = m_input->connection();
    auto* reply = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
    const xcb_window_t focus = reply ? reply->focus : xcb_window_t(XCB_NONE);
    free(reply);
    bool holds = false;
    if (focus == window) {
        holds = true;
    } else if (focus != XCB_NONE && focus != XCB_INPUT_FOCUS_POINTER_ROOT) {
        // A window inside it (a toolkit's focus child), or its frame (a window manager that
        // focuses the frame of a client that sets its own focus).
        const std::vector<std::uint32_t> aboveFocus = ancestors(focus);
        const std::vector<std::uint32_t> aboveWindow = ancestors(window);
        holds = std::find(aboveFocus.begin(), aboveFocus.end(), window) != aboveFocus.end()
            || std::find(aboveWindow.begin(), aboveWindow.end(), focus) != aboveWindow.end();
    }
    m_input->dispatchSoon();
    return holds;
}

} // namespace nimbra
