#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <optional>
#include <xcb/xcb.h>

namespace nimbra {

class X11InputBridge;

// An invisible window that takes the pointer and file drags in one rectangle of the screen: an
// X11 InputOnly window on the input bridge's connection, outside the window manager's care and
// above every other window. It has no pixels, so it shows nothing even where no compositor
// blends a translucent window's (a window's one transparent row shows black there).
//
// The pointer is reported as it enters, moves over and leaves the strip. A drag arrives over
// XDND (the drag's source holds the pointer, so no crossing is reported meanwhile): the strip
// reads the URI list the drag offers, reports the drag entering with it once, reports each move,
// and reports it leaving or let go. It refuses every drop; whoever listens opens windows of its
// own for the drag to move into, and hides the strip. A hidden strip reports no crossings, but a
// drag that reached it is followed until its source says it went elsewhere.
//
// Main thread only. Without a connection to an X server it does nothing.
class X11EdgeStrip final : public QObject {
    Q_OBJECT
public:
    explicit X11EdgeStrip(X11InputBridge& bridge, QObject* parent = nullptr);
    ~X11EdgeStrip() override;

    // Maps the strip over `qtRect` (Qt's global coordinates), widened to the device pixels it
    // touches, on top of every window; the window is made on the first call.
    void show(const QRectF& qtRect);
    void hide();
    bool isShown() const { return m_shown; }
    // The device pixels of the root window it covers while shown.
    QRect devicePixels() const { return m_pixels; }
    // The X window; 0 until first shown.
    std::uint32_t window() const { return m_window; }

    // `qtRect` widened to whole device pixels of the root window, as Qt places windows on X11: a
    // screen's top left corner is the same in both, and sizes scale by its device pixel ratio.
    static QRect devicePixelCover(const QRectF& qtRect, QPointF screenOrigin, double ratio);
    // The URLs of a text/uri-list (RFC 2483): one per line, comments left out.
    static QList<QUrl> parseUriList(const QByteArray& list);

    // The pointer entered or moved over the strip (true), or left it (false).
    std::function<void(bool inside)> onPointer;
    // A drag reached the strip. `urls`: what it carries (none when it offers no URI list or it
    // could not be read); `fromThisProcess`: it started in one of this process's windows.
    std::function<void(const QList<QUrl>& urls, bool fromThisProcess)> onDragEnter;
    std::function<void()> onDragMove;
    // The drag went elsewhere, ended, or was let go here (and refused).
    std::function<void()> onDragLeave;

private:
    struct Drag {
        xcb_window_t source = XCB_NONE;
        bool offersUris = false;
        bool fromThisProcess = false;
        // The list was asked for, at this time.
        std::optional<xcb_timestamp_t> requestedAt;
        bool incremental = false;
        QByteArray uris;
        // The drag was reported entering.
        bool entered = false;
    };

    bool create(const QRect& pixels);
    void handle(const xcb_generic_event_t* event);
    void handleDnd(const xcb_client_message_event_t* message);
    void dragEnter(const xcb_client_message_event_t* message);
    void dragPosition(const xcb_client_message_event_t* message);
    void dragEnd();
    void selectionArrived(const xcb_selection_notify_event_t* notify);
    void chunkArrived();
    // Reads and deletes the transfer property; none when it could not be read.
    std::optional<QByteArray> takeTransfer(xcb_atom_t* type);
    void finishReading(const QByteArray& uris);
    void sendToSource(xcb_window_t source, xcb_atom_t type, const std::uint32_t (&data)[5]);
    bool isThisProcesssWindow(xcb_window_t window) const;
    bool offersUriList(const xcb_client_message_event_t* enter);
    xcb_connection_t* usableConnection() const;

    QPointer<X11InputBridge> m_bridge;
    xcb_window_t m_window = XCB_NONE;
    QRect m_pixels;
    bool m_shown = false;
    std::optional<Drag> m_drag;
};

} // namespace nimbra
