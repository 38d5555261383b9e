// Another X client owning the clipboard that sends its text in pieces (an incremental, INCR,
// transfer), the way a large copy travels, and that stalls: the first transfer it starts stops
// after its first step. Once a line "resume" arrives on its standard input it copies a new text
// (printing "resumed") and goes on with every transfer it has begun, the stalled one too, as a
// busy application does when it wakes up. Like the toolkits, it finds a transfer by the window
// and property a piece goes to; one piece goes each time the reader deletes that property.
// Usage: incr_owner STALLED-TEXT NEW-TEXT   Prints "owning" once it owns the clipboard.
#include "x_owner.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr size_t pieceBytes = 64;

struct Transfer {
    xcb_window_t requestor;
    xcb_atom_t property;
    std::string text;
    size_t sent = 0;
    bool paused = false;
    bool owed = false; // the reader asked for a piece while paused
    bool done = false;
};

xcb_connection_t* connection;
xcb_atom_t utf8, incr, targetsAtom, clipboard;
std::vector<Transfer> transfers;

xcb_atom_t atom(const char* name)
{
    return x_owner::atom(connection, name);
}

void sendPiece(Transfer& transfer)
{
    const size_t length = std::min(pieceBytes, transfer.text.size() - transfer.sent);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, transfer.requestor, transfer.property, utf8, 8,
        uint32_t(length), transfer.text.data() + transfer.sent);
    transfer.sent += length;
    transfer.done = length == 0;
}

void answer(const xcb_selection_request_event_t& request, const std::string& text, bool stalls)
{
    xcb_atom_t property = request.property == XCB_ATOM_NONE ? request.target : request.property;
    if (request.target == targetsAtom) {
        const xcb_atom_t offered[] = { targetsAtom, utf8 };
        xcb_change_property(
            connection, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_ATOM, 32, 2, offered);
    } else if (request.target == utf8) {
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(connection, request.requestor, XCB_CW_EVENT_MASK, &events);
        const uint32_t size = uint32_t(text.size());
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, property, incr, 32, 1, &size);
        transfers.push_back({ request.requestor, property, text, 0, stalls });
    } else {
        property = XCB_ATOM_NONE;
    }
    x_owner::notify(connection, request, property);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    std::string text = argv[1];
    const std::string newText = argv[2];
    connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection))
        return 1;
    const xcb_window_t window = x_owner::createWindow(connection);
    utf8 = atom("UTF8_STRING");
    incr = atom("INCR");
    targetsAtom = atom("TARGETS");
    clipboard = atom("CLIPBOARD");
    xcb_set_selection_owner(connection, window, clipboard, XCB_CURRENT_TIME);
    xcb_flush(connection);
    std::printf("owning\n");
    std::fflush(stdout);

    bool resumed = false;
    for (;;) {
        pollfd descriptors[] = { { xcb_get_file_descriptor(connection), POLLIN, 0 }, { STDIN_FILENO, POLLIN, 0 } };
        ::poll(descriptors, resumed ? 1 : 2, -1);
        if (!resumed && (descriptors[1].revents & (POLLIN | POLLHUP))) {
            char line[64] = {};
            if (read(STDIN_FILENO, line, sizeof line - 1) <= 0 || strncmp(line, "resume", 6) != 0)
                return 0;
            resumed = true;
            text = newText;
            xcb_set_selection_owner(connection, window, clipboard, XCB_CURRENT_TIME);
            for (Transfer& transfer : transfers) {
                transfer.paused = false;
                if (std::exchange(transfer.owed, false))
                    sendPiece(transfer);
            }
            xcb_flush(connection);
            std::printf("resumed\n");
            std::fflush(stdout);
        }
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            switch (event->response_type & 0x7f) {
            case XCB_SELECTION_REQUEST:
                // Only the very first transfer stalls.
                answer(*reinterpret_cast<xcb_selection_request_event_t*>(event), text, !resumed && transfers.empty());
                break;
            case XCB_PROPERTY_NOTIFY: {
                const auto* change = reinterpret_cast<xcb_property_notify_event_t*>(event);
                if (change->state != XCB_PROPERTY_DELETE)
                    break;
                for (Transfer& transfer : transfers) {
                    if (transfer.done || transfer.requestor != change->window || transfer.property != change->atom)
                        continue;
                    if (transfer.paused)
                        transfer.owed = true;
                    else
                        sendPiece(transfer);
                }
                xcb_flush(connection);
                break;
            }
            default: // a window that went away, the clipboard taken over: go on
                break;
            }
            free(event);
        }
        if (xcb_connection_has_error(connection))
            return 1;
    }
}
