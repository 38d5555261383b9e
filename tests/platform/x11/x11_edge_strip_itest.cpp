// The edge strip on the harness's X server, with a drag source of the test's own speaking XDND
// on a connection of its own (so that it can send a long list in pieces, as GTK does).
#include "platform/x11/x11_edge_strip.h"

#include "platform/x11/qt_connection.h"
#include "platform/x11/x11_input_bridge.h"
#include "support/test_support.h"
#include "support/x_owner.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace nimbra;
using nimbra::test::waitUntil;

namespace {

// A drag's source: one window that owns XdndSelection and answers for it with a URI list,
// in pieces of `pieceBytes` (INCR) when the list is longer.
class DragSource {
public:
    DragSource(QByteArray uris, int pieceBytes)
        : m_uris(std::move(uris))
        , m_pieceBytes(pieceBytes)
    {
        m_c = xcb_connect(nullptr, nullptr);
        m_window = x_owner::createWindow(m_c);
        // More types than an XdndEnter holds: the list is on the source window.
        const std::vector<xcb_atom_t> types { atom("text/plain"), atom("UTF8_STRING"), atom("x-special/nimbra"),
            atom("text/uri-list") };
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_window, atom("XdndTypeList"), XCB_ATOM_ATOM, 32,
            uint32_t(types.size()), types.data());
        xcb_set_selection_owner(m_c, m_window, atom("XdndSelection"), XCB_CURRENT_TIME);
        xcb_flush(m_c);
    }
    ~DragSource() { xcb_disconnect(m_c); }

    xcb_atom_t atom(const char* name) { return x_owner::atom(m_c, name); }

    // Sends an XDND message to `target`, for the window `from` (this source's own by default).
    void send(xcb_window_t target, const char* type, std::uint32_t d1 = 0, std::uint32_t d2 = 0, std::uint32_t d3 = 0,
        xcb_window_t from = XCB_NONE)
    {
        xcb_client_message_event_t message {};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = target;
        message.type = atom(type);
        message.data.data32[0] = from ? from : m_window;
        message.data.data32[1] = d1;
        message.data.data32[2] = d2;
        message.data.data32[3] = d3;
        xcb_send_event(m_c, 0, target, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
        xcb_flush(m_c);
    }

    // Handles what arrived: answers selection requests and feeds a piece for each deletion.
    void pump()
    {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_c)) {
            switch (event->response_type & 0x7f) {
            case XCB_CLIENT_MESSAGE: {
                auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
                replies.push_back({ message->type, message->data.data32[1] });
                break;
            }
            case XCB_SELECTION_REQUEST:
                answer(reinterpret_cast<xcb_selection_request_event_t*>(event));
                break;
            case XCB_PROPERTY_NOTIFY: {
                auto* property = reinterpret_cast<xcb_property_notify_event_t*>(event);
                if (property->state == XCB_PROPERTY_DELETE && property->atom == m_property && m_sent >= 0)
                    nextPiece();
                break;
            }
            default:
                break;
            }
            free(event);
        }
        xcb_flush(m_c);
    }

    struct Reply {
        xcb_atom_t type;
        std::uint32_t flags;
    };
    std::vector<Reply> replies;
    int requests = 0;
    bool finished = false;

private:
    void answer(const xcb_selection_request_event_t* request)
    {
        ++requests;
        m_requestor = request->requestor;
        m_property = request->property;
        m_type = request->target;
        if (m_uris.size() > m_pieceBytes) {
            // Deletions of the property ask for each piece.
            const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_change_window_attributes(m_c, m_requestor, XCB_CW_EVENT_MASK, &mask);
            const std::uint32_t size = std::uint32_t(m_uris.size());
            xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_requestor, m_property, atom("INCR"), 32, 1, &size);
            m_sent = 0;
        } else {
            xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_requestor, m_property, m_type, 8, uint32_t(m_uris.size()),
                m_uris.constData());
        }
        x_owner::notify(m_c, *request, request->property);
    }

    void nextPiece()
    {
        const QByteArray piece = m_uris.mid(m_sent, m_pieceBytes);
        xcb_change_property(
            m_c, XCB_PROP_MODE_REPLACE, m_requestor, m_property, m_type, 8, uint32_t(piece.size()), piece.constData());
        m_sent += int(piece.size());
        // The empty piece that ends the transfer has gone too.
        if (piece.isEmpty()) {
            m_sent = -1;
            finished = true;
        }
    }

    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_window = XCB_NONE;
    QByteArray m_uris;
    int m_pieceBytes;
    xcb_window_t m_requestor = XCB_NONE;
    xcb_atom_t m_property = XCB_NONE;
    xcb_atom_t m_type = XCB_NONE;
    int m_sent = -1;
};

struct Entered {
    QList<QUrl> urls;
    bool fromThisProcess = false;
};

struct EdgeStrip : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(bridge.isConnected());
        strip.onDragEnter = [this](const QList<QUrl>& urls, bool fromThisProcess) {
            entered.push_back({ urls, fromThisProcess });
        };
        strip.onDragMove = [this] { ++moves; };
        strip.onDragLeave = [this] { ++leaves; };
        // A corner no test's pointer goes to: the drags here are messages, not the pointer.
        strip.show(QRectF(0, 981, 4, 1));
        ASSERT_TRUE(waitUntil([&] { return strip.window() != 0; }));
    }
    X11InputBridge bridge;
    X11EdgeStrip strip { bridge };
    std::vector<Entered> entered;
    int moves = 0;
    int leaves = 0;
};

} // namespace

TEST(EdgeStripRules, CoversWholeDevicePixelsOfItsScreen)
{
    // A 2× screen right of a 1512-wide one: Qt keeps its top left corner, and scales from there.
    EXPECT_EQ(X11EdgeStrip::devicePixelCover(QRectF(1600, 0, 60, 0.5), QPointF(1512, 0), 2), QRect(1688, 0, 120, 1));
    EXPECT_EQ(X11EdgeStrip::devicePixelCover(QRectF(10.25, 0, 100, 1), QPointF(0, 0), 1), QRect(10, 0, 101, 1));
}

TEST(EdgeStripRules, ReadsAUriListLineByLine)
{
    const QList<QUrl> urls
        = X11EdgeStrip::parseUriList("# from a file manager\r\nfile:///tmp/a%20b.txt\r\n\r\nhttps://example.org/x\r\n");
    ASSERT_EQ(urls.size(), 2);
    EXPECT_EQ(urls[0].toLocalFile(), QStringLiteral("/tmp/a b.txt"));
    EXPECT_EQ(urls[1], QUrl(QStringLiteral("https://example.org/x")));
}

TEST_F(EdgeStrip, ALongListArrivesInPiecesAndADropIsRefused)
{
    // Ten thousand files, far more than one piece of 64 KiB.
    QByteArray uris;
    for (int i = 0; i < 10000; ++i)
        uris += "file:///tmp/nimbra-drag/photo-" + QByteArray::number(i) + ".jpg\r\n";
    DragSource source(uris, 64 * 1024);

    source.send(strip.window(), "XdndEnter", (5u << 24) | 1u);
    source.send(strip.window(), "XdndPosition", 0, (2u << 16) | 981u, XCB_CURRENT_TIME);
    ASSERT_TRUE(waitUntil([&] {
        source.pump();
        return !entered.empty();
    })) << "requests "
        << source.requests;
    ASSERT_EQ(entered.size(), 1u);
    EXPECT_TRUE(source.finished);
    EXPECT_FALSE(entered[0].fromThisProcess);
    ASSERT_EQ(entered[0].urls.size(), 10000);
    EXPECT_EQ(entered[0].urls.back().toLocalFile(), QStringLiteral("/tmp/nimbra-drag/photo-9999.jpg"));
    // Each position is answered, refused, asking for the next.
    ASSERT_FALSE(source.replies.empty());
    EXPECT_EQ(source.replies.front().type, source.atom("XdndStatus"));
    EXPECT_EQ(source.replies.front().flags, 2u);

    source.send(strip.window(), "XdndPosition", 0, (3u << 16) | 981u, XCB_CURRENT_TIME);
    ASSERT_TRUE(waitUntil([&] { return moves == 1; }));
    // Let go over the strip: refused, and over.
    source.send(strip.window(), "XdndDrop", 0, XCB_CURRENT_TIME);
    ASSERT_TRUE(waitUntil([&] {
        source.pump();
        return !source.replies.empty() && source.replies.back().type == source.atom("XdndFinished");
    }));
    EXPECT_EQ(source.replies.back().flags & 1u, 0u);
    EXPECT_EQ(leaves, 1);
    EXPECT_EQ(source.requests, 1);
}

TEST_F(EdgeStrip, ADragOfThisProcessIsNotAskedForItsFiles)
{
    DragSource source("file:///tmp/shelf-item.png\r\n", 1024);
    // The drag comes from a window of this process's own (a shelf item dragged out).
    xcb_connection_t* qt = x11::qtConnection();
    ASSERT_TRUE(qt);
    const xcb_window_t ours = xcb_generate_id(qt);
    xcb_create_window(qt, XCB_COPY_FROM_PARENT, ours, bridge.root(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
        XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_flush(qt);
    source.send(strip.window(), "XdndEnter", (5u << 24), source.atom("text/uri-list"), 0, ours);
    source.send(strip.window(), "XdndPosition", 0, (2u << 16) | 981u, XCB_CURRENT_TIME, ours);
    ASSERT_TRUE(waitUntil([&] {
        source.pump();
        return !entered.empty();
    }));
    EXPECT_TRUE(entered[0].fromThisProcess);
    EXPECT_TRUE(entered[0].urls.isEmpty());
    source.send(strip.window(), "XdndLeave", 0, 0, 0, ours);
    ASSERT_TRUE(waitUntil([&] { return leaves == 1; }));
    source.pump();
    EXPECT_EQ(source.requests, 0);
    xcb_destroy_window(qt, ours);
    xcb_flush(qt);
}
