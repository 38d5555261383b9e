#include "platform/x11/x11_pointer_watch.h"

#include "platform/screen_space.h"
#include "platform/x11/x11_input_bridge.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSet>
#include <QWindow>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <xcb/xinput.h>

namespace nimbra {

namespace {

constexpr std::uint32_t leftButton = 1;
constexpr std::uint32_t rightButton = 3;

} // namespace

X11PointerWatch::X11PointerWatch(X11InputBridge& bridge, QObject* parent)
    : QObject(parent)
    , m_bridge(bridge)
{
    connect(&m_bridge, &X11InputBridge::rawPointerEvent, this, &X11PointerWatch::rawEvent);
    connect(&m_bridge, &X11InputBridge::rawPointerEventsRead, this, &X11PointerWatch::deliver);
    m_poll.setTimerType(Qt::PreciseTimer);
    m_poll.setInterval(int(std::lround(fastestMoveReports * 1000)));
    connect(&m_poll, &QTimer::timeout, this, &X11PointerWatch::poll);
}

X11PointerWatch::~X11PointerWatch()
{
    if (m_selected)
        m_bridge.selectRawPointerEvents(false);
}

QPointF X11PointerWatch::location()
{
    // The place a report was made for is the place now; anything else takes a query.
    const auto position = m_reportedPlace ? std::exchange(m_reportedPlace, std::nullopt) : query();
    if (!position)
        return {};
    // Root coordinates are device pixels; the model counts Qt's logical ones.
    const QScreen* primary = QGuiApplication::primaryScreen();
    const qreal ratio = primary ? primary->devicePixelRatio() : 1.0;
    return screen_space::toModel(QPointF(*position) / ratio);
}

std::optional<QPoint> X11PointerWatch::query()
{
    if (const auto position = m_bridge.pointerPosition())
        m_lastPlace = position;
    return m_lastPlace;
}

bool X11PointerWatch::select()
{
    const bool wanted = m_onMove || m_onClick;
    const bool motion = m_onMove && !m_poll.isActive();
    if (wanted == m_selected && motion == m_motionSelected)
        return true;
    const bool done = m_bridge.selectRawPointerEvents(wanted, motion);
    m_selected = wanted && done;
    m_motionSelected = m_selected && motion;
    return done || !wanted;
}

bool X11PointerWatch::watchMoves(std::function<void()> onMove)
{
    m_onMove = std::move(onMove);
    if (!select()) {
        m_onMove = nullptr;
        return false;
    }
    return true;
}

void X11PointerWatch::stopMoves()
{
    m_onMove = nullptr;
    m_poll.stop();
    m_reportedPlace.reset();
    select();
}

bool X11PointerWatch::watchClicks(std::function<void(bool)> onClick)
{
    m_onClick = std::move(onClick);
    if (!select()) {
        m_onClick = nullptr;
        return false;
    }
    return true;
}

void X11PointerWatch::stopClicks()
{
    m_onClick = nullptr;
    select();
}

void X11PointerWatch::rawEvent(const xcb_ge_generic_event_t* event)
{
    ++m_rawEvents;
    switch (event->event_type) {
    case XCB_INPUT_RAW_MOTION:
        m_moved = m_moved || bool(m_onMove);
        break;
    case XCB_INPUT_RAW_BUTTON_PRESS: {
        const auto* press = reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event);
        if (m_onClick && (press->detail == leftButton || press->detail == rightButton))
            m_presses.push_back(press->detail == rightButton);
        break;
    }
    default:
        break;
    }
}

void X11PointerWatch::deliver()
{
    const bool moved = std::exchange(m_moved, false);
    const std::vector<bool> presses = std::exchange(m_presses, {});
    if (moved && m_onMove && !m_poll.isActive()) {
        // The first move after a rest: reported now, and followed by polling from here.
        reportMove();
    }
    if (!presses.empty() && m_onClick && !isOverOwnWindow()) {
        for (const bool right : presses) {
            if (!m_onClick)
                break;
            ++m_reports;
            m_onClick(right);
        }
    }
}

void X11PointerWatch::reportMove()
{
    ++m_reports;
    m_onMove();
    m_reportedPlace.reset();
    // One repeating poll for the whole movement: restarting a timer for every report costs
    // more than its ticks.
    if (!m_onMove || m_poll.isActive())
        return;
    m_poll.start();
    select();
}

void X11PointerWatch::poll()
{
    const std::optional<QPoint> before = m_lastPlace;
    if (query() != before) {
        m_reportedPlace = m_lastPlace;
        reportMove();
        return;
    }
    // At rest: raw motion tells of the next move. One more look after selecting it, for a
    // move made before the selection reached the server.
    m_poll.stop();
    select();
    if (query() != before) {
        m_reportedPlace = m_lastPlace;
        reportMove();
    }
}

bool X11PointerWatch::isOverOwnWindow()
{
    xcb_connection_t* connection = m_bridge.connection();
    if (!connection)
        return false;
    QSet<xcb_window_t> own;
    for (const QWindow* window : QGuiApplication::allWindows()) {
        if (window->handle() && window->isVisible())
            own.insert(xcb_window_t(window->winId()));
    }
    if (own.isEmpty())
        return false;
    // From the root down through the window under the pointer: a window manager's frame
    // holds the application's window one level further in.
    bool over = false;
    xcb_window_t window = m_bridge.root();
    for (int depth = 0; depth < 4 && window != XCB_NONE && !over; ++depth) {
        auto* reply = xcb_query_pointer_reply(connection, xcb_query_pointer(connection, window), nullptr);
        if (!reply)
            break;
        window = reply->child;
        std::free(reply);
        over = own.contains(window);
    }
    m_bridge.dispatchSoon();
    return over;
}

} // namespace nimbra
