#include "platform/x11/x11_edge_strip.h"

#include "platform/x11/qt_connection.h"
#include "platform/x11/x11_input_bridge.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace nimbra {

namespace {

constexpr std::uint32_t kXdndVersion = 5;
// A URI list longer than this is not read: no drag of files a person makes comes near it.
constexpr std::uint32_t kMaxUriListBytes = 16 * 1024 * 1024;
constexpr std::uint32_t kEventMask = XCB_EVENT_MASK_ENTER_WINDOW | XCB_EVENT_MASK_LEAVE_WINDOW
    | XCB_EVENT_MASK_POINTER_MOTION | XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE
    | XCB_EVENT_MASK_PROPERTY_CHANGE;

// Whether `window` was made by the client on `connection`: a client's resource ids share the
// bits outside its setup's mask.
bool madeBy(xcb_connection_t* connection, xcb_window_t window)
{
    if (!connection)
        return false;
    const xcb_setup_t* setup = xcb_get_setup(connection);
    return (window & ~setup->resource_id_mask) == (setup->resource_id_base & ~setup->resource_id_mask);
}

} // namespace

X11EdgeStrip::X11EdgeStrip(X11InputBridge& bridge, QObject* parent)
    : QObject(parent)
    , m_bridge(&bridge)
{
    connect(&bridge, &X11InputBridge::windowEvent, this, &X11EdgeStrip::handle);
}

X11EdgeStrip::~X11EdgeStrip()
{
    if (xcb_connection_t* c = usableConnection(); c && m_window) {
        xcb_destroy_window(c, m_window);
        m_bridge->flush();
    }
}

xcb_connection_t* X11EdgeStrip::usableConnection() const
{
    return m_bridge && m_bridge->isConnected() ? m_bridge->connection() : nullptr;
}

QRect X11EdgeStrip::devicePixelCover(const QRectF& qtRect, QPointF screenOrigin, double ratio)
{
    const auto device = [&](double value, double origin) { return origin + (value - origin) * ratio; };
    const int left = int(std::floor(device(qtRect.left(), screenOrigin.x()) + 1e-6));
    const int top = int(std::floor(device(qtRect.top(), screenOrigin.y()) + 1e-6));
    const int right = int(std::ceil(device(qtRect.left() + qtRect.width(), screenOrigin.x()) - 1e-6));
    const int bottom = int(std::ceil(device(qtRect.top() + qtRect.height(), screenOrigin.y()) - 1e-6));
    return QRect(left, top, std::max(0, right - left), std::max(0, bottom - top));
}

QList<QUrl> X11EdgeStrip::parseUriList(const QByteArray& list)
{
    QList<QUrl> urls;
    for (const QByteArray& line : list.split('\n')) {
        const QByteArray uri = line.trimmed();
        if (uri.isEmpty() || uri.startsWith('#'))
            continue;
        const QUrl url = QUrl::fromEncoded(uri);
        if (url.isValid())
            urls.append(url);
    }
    return urls;
}

bool X11EdgeStrip::create(const QRect& pixels)
{
    xcb_connection_t* c = usableConnection();
    if (!c)
        return false;
    m_window = xcb_generate_id(c);
    // Outside the window manager's care, like the notch's own windows.
    const std::uint32_t values[] = { 1, kEventMask };
    xcb_create_window(c, 0, m_window, m_bridge->root(), std::int16_t(pixels.x()), std::int16_t(pixels.y()),
        std::uint16_t(pixels.width()), std::uint16_t(pixels.height()), 0, XCB_WINDOW_CLASS_INPUT_ONLY,
        XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    xcb_change_property(
        c, XCB_PROP_MODE_REPLACE, m_window, m_bridge->atom("XdndAware"), XCB_ATOM_ATOM, 32, 1, &kXdndVersion);
    static constexpr char name[] = "Nimbra edge";
    xcb_change_property(
        c, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, sizeof(name) - 1, name);
    static constexpr char windowClass[] = "nimbra\0Nimbra";
    xcb_change_property(
        c, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, sizeof(windowClass), windowClass);
    m_pixels = pixels;
    return true;
}

void X11EdgeStrip::show(const QRectF& qtRect)
{
    const QScreen* screen = QGuiApplication::screenAt(QPoint(int(qtRect.center().x()), int(qtRect.top())));
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect pixels = screen ? devicePixelCover(qtRect, screen->geometry().topLeft(), screen->devicePixelRatio())
                                : devicePixelCover(qtRect, QPointF(), 1);
    xcb_connection_t* c = usableConnection();
    if (!c || pixels.isEmpty() || (!m_window && !create(pixels)))
        return;
    if (m_shown && pixels == m_pixels)
        return;
    if (pixels != m_pixels) {
        const std::uint32_t place[] = { std::uint32_t(pixels.x()), std::uint32_t(pixels.y()),
            std::uint32_t(pixels.width()), std::uint32_t(pixels.height()) };
        xcb_configure_window(c, m_window,
            XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, place);
        m_pixels = pixels;
    }
    if (!m_shown) {
        const std::uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(c, m_window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        xcb_map_window(c, m_window);
        m_shown = true;
    }
    m_bridge->flush();
}

void X11EdgeStrip::hide()
{
    if (!m_shown)
        return;
    m_shown = false;
    // The window stays: a drag that reached it still tells it when it goes elsewhere.
    if (xcb_connection_t* c = usableConnection()) {
        xcb_unmap_window(c, m_window);
        m_bridge->flush();
    }
}

void X11EdgeStrip::handle(const xcb_generic_event_t* event)
{
    if (!m_window)
        return;
    switch (event->response_type & 0x7f) {
    case XCB_ENTER_NOTIFY:
    case XCB_MOTION_NOTIFY: {
        // Enter and motion events share the layout up to the event window.
        const auto* motion = reinterpret_cast<const xcb_motion_notify_event_t*>(event);
        if (motion->event == m_window && m_shown && onPointer)
            onPointer(true);
        return;
    }
    case XCB_LEAVE_NOTIFY:
        // Leaving because the strip was hidden is no news to whoever hid it.
        if (reinterpret_cast<const xcb_leave_notify_event_t*>(event)->event == m_window && m_shown && onPointer)
            onPointer(false);
        return;
    case XCB_CLIENT_MESSAGE: {
        const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
        if (message->window == m_window && message->format == 32)
            handleDnd(message);
        return;
    }
    case XCB_SELECTION_NOTIFY: {
        const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event);
        if (notify->requestor == m_window)
            selectionArrived(notify);
        return;
    }
    case XCB_PROPERTY_NOTIFY: {
        const auto* property = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (property->window == m_window && property->state == XCB_PROPERTY_NEW_VALUE
            && property->atom == m_bridge->atom("NIMBRA_EDGE_URIS"))
            chunkArrived();
        return;
    }
    default:
        // A click on the strip ends here, rather than reaching the desktop beneath.
        return;
    }
}

void X11EdgeStrip::handleDnd(const xcb_client_message_event_t* message)
{
    const xcb_atom_t type = message->type;
    const xcb_window_t source = message->data.data32[0];
    if (type == m_bridge->atom("XdndEnter")) {
        dragEnter(message);
    } else if (type == m_bridge->atom("XdndPosition")) {
        dragPosition(message);
    } else if (m_drag && source == m_drag->source && type == m_bridge->atom("XdndLeave")) {
        dragEnd();
    } else if (type == m_bridge->atom("XdndDrop")) {
        // Refused: the source is told the drop is over, and took nothing.
        const std::uint32_t finished[5] = { m_window, 0, XCB_NONE, 0, 0 };
        sendToSource(source, m_bridge->atom("XdndFinished"), finished);
        if (m_drag && source == m_drag->source)
            dragEnd();
    }
}

bool X11EdgeStrip::offersUriList(const xcb_client_message_event_t* enter)
{
    const xcb_atom_t uriList = m_bridge->atom("text/uri-list");
    // More than three types are listed on the source window.
    if (enter->data.data32[1] & 1) {
        xcb_connection_t* c = usableConnection();
        auto* reply = xcb_get_property_reply(c,
            xcb_get_property(c, 0, enter->data.data32[0], m_bridge->atom("XdndTypeList"), XCB_ATOM_ATOM, 0, 1024),
            nullptr);
        m_bridge->dispatchSoon();
        bool offers = false;
        if (reply && reply->format == 32) {
            const auto* types = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
            const int count = xcb_get_property_value_length(reply) / 4;
            for (int i = 0; i < count && !offers; ++i)
                offers = types[i] == uriList;
        }
        free(reply);
        return offers;
    }
    for (int i = 2; i < 5; ++i) {
        if (enter->data.data32[i] == uriList)
            return true;
    }
    return false;
}

bool X11EdgeStrip::isThisProcesssWindow(xcb_window_t window) const
{
    return madeBy(x11::qtConnection(), window) || madeBy(usableConnection(), window);
}

void X11EdgeStrip::dragEnter(const xcb_client_message_event_t* message)
{
    // A drag that never said it left is over.
    if (m_drag)
        dragEnd();
    if (!usableConnection())
        return;
    Drag drag;
    drag.source = message->data.data32[0];
    drag.fromThisProcess = isThisProcesssWindow(drag.source);
    drag.offersUris = !drag.fromThisProcess && offersUriList(message);
    m_drag = drag;
}

void X11EdgeStrip::dragPosition(const xcb_client_message_event_t* message)
{
    const xcb_window_t source = message->data.data32[0];
    xcb_connection_t* c = usableConnection();
    if (!c)
        return;
    const bool known = m_drag && m_drag->source == source;
    bool enters = false;
    if (known && !m_drag->entered && !m_drag->requestedAt) {
        if (m_drag->offersUris) {
            // Asked for with the time of this position, as sources answer only for their latest,
            // and before the status goes back, which lets the source move on.
            m_drag->requestedAt = message->data.data32[3];
            xcb_convert_selection(c, m_window, m_bridge->atom("XdndSelection"), m_bridge->atom("text/uri-list"),
                m_bridge->atom("NIMBRA_EDGE_URIS"), *m_drag->requestedAt);
        } else {
            m_drag->entered = true;
            enters = true;
        }
    }
    // Refused, and every further position wanted.
    const std::uint32_t status[5] = { m_window, 2, 0, 0, XCB_NONE };
    sendToSource(source, m_bridge->atom("XdndStatus"), status);
    m_bridge->flush();

    if (enters) {
        if (onDragEnter)
            onDragEnter({}, m_drag->fromThisProcess);
    } else if (known && m_drag->entered && onDragMove) {
        onDragMove();
    }
}

void X11EdgeStrip::dragEnd()
{
    const bool entered = m_drag && m_drag->entered;
    m_drag.reset();
    if (xcb_connection_t* c = usableConnection()) {
        xcb_delete_property(c, m_window, m_bridge->atom("NIMBRA_EDGE_URIS"));
        m_bridge->flush();
    }
    if (entered && onDragLeave)
        onDragLeave();
}

std::optional<QByteArray> X11EdgeStrip::takeTransfer(xcb_atom_t* type)
{
    xcb_connection_t* c = usableConnection();
    if (!c)
        return std::nullopt;
    const xcb_atom_t property = m_bridge->atom("NIMBRA_EDGE_URIS");
    auto* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 1, m_window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, kMaxUriListBytes / 4), nullptr);
    m_bridge->dispatchSoon();
    if (!reply)
        return std::nullopt;
    std::optional<QByteArray> data;
    if (reply->bytes_after == 0) {
        *type = reply->type;
        data
            = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)), xcb_get_property_value_length(reply));
    } else {
        xcb_delete_property(c, m_window, property);
    }
    free(reply);
    return data;
}

void X11EdgeStrip::selectionArrived(const xcb_selection_notify_event_t* notify)
{
    if (!m_drag || m_drag->entered || m_drag->incremental || !m_drag->requestedAt)
        return;
    if (notify->property == XCB_NONE) {
        finishReading({});
        return;
    }
    xcb_atom_t type = XCB_NONE;
    const std::optional<QByteArray> data = takeTransfer(&type);
    if (data && type == m_bridge->atom("INCR")) {
        // Deleting the property asked for the first piece.
        m_drag->incremental = true;
        m_bridge->flush();
        return;
    }
    finishReading(data.value_or(QByteArray()));
}

void X11EdgeStrip::chunkArrived()
{
    if (!m_drag || !m_drag->incremental)
        return;
    xcb_atom_t type = XCB_NONE;
    const std::optional<QByteArray> piece = takeTransfer(&type);
    m_bridge->flush();
    if (!piece || std::uint64_t(m_drag->uris.size()) + std::uint64_t(piece->size()) > kMaxUriListBytes) {
        finishReading({});
        return;
    }
    // An empty piece ends the transfer.
    if (piece->isEmpty()) {
        finishReading(m_drag->uris);
        return;
    }
    m_drag->uris += *piece;
}

void X11EdgeStrip::finishReading(const QByteArray& uris)
{
    const QList<QUrl> urls = parseUriList(uris);
    m_drag->incremental = false;
    m_drag->uris.clear();
    m_drag->entered = true;
    if (onDragEnter)
        onDragEnter(urls, m_drag->fromThisProcess);
}

void X11EdgeStrip::sendToSource(xcb_window_t source, xcb_atom_t type, const std::uint32_t (&data)[5])
{
    xcb_connection_t* c = usableConnection();
    if (!c || !source)
        return;
    xcb_client_message_event_t message;
    std::memset(&message, 0, sizeof(message));
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = source;
    message.type = type;
    std::memcpy(message.data.data32, data, sizeof(data));
    xcb_send_event(c, 0, source, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
}

} // namespace nimbra
