// Another X client owning the clipboard that behaves the way a careless or hostile one may.
// It prints "owning" once it owns the clipboard, and "asked NAME" for every target it is asked
// for. Usage: odd_owner MODE
//   silent     offers files, images and text, and answers nothing but the list of targets.
//   late-hint  offers a text; asked for it, it first takes the clipboard again, now offering the
//              password manager's hint beside the text, then answers the question with the
//              secret, as a password manager that marks its copy a moment after making it.
#include "x_owner.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

xcb_connection_t* connection;
xcb_window_t window;
xcb_atom_t clipboard, targetsAtom, utf8, hint;
std::string mode;
bool marked = false;

xcb_atom_t atom(const char* name)
{
    return x_owner::atom(connection, name);
}

std::string name(xcb_atom_t a)
{
    xcb_get_atom_name_reply_t* reply = xcb_get_atom_name_reply(connection, xcb_get_atom_name(connection, a), nullptr);
    std::string value = reply ? std::string(xcb_get_atom_name_name(reply), size_t(xcb_get_atom_name_name_length(reply)))
                              : std::string("?");
    free(reply);
    return value;
}

void own()
{
    xcb_set_selection_owner(connection, window, clipboard, XCB_CURRENT_TIME);
    xcb_flush(connection);
}

std::vector<xcb_atom_t> offered()
{
    if (mode == "silent") {
        std::vector<xcb_atom_t> all { targetsAtom };
        for (const char* n :
            { "text/uri-list", "x-special/gnome-copied-files", "image/png", "image/bmp", "image/jpeg", "image/gif",
                "image/x-portable-pixmap", "text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "STRING" })
            all.push_back(atom(n));
        return all;
    }
    if (marked)
        return { targetsAtom, utf8, hint };
    return { targetsAtom, utf8 };
}

void answer(const xcb_selection_request_event_t& request)
{
    xcb_atom_t property = request.property == XCB_ATOM_NONE ? request.target : request.property;
    const std::string target = name(request.target);
    std::printf("asked %s\n", target.c_str());
    std::fflush(stdout);
    if (request.target == targetsAtom) {
        const std::vector<xcb_atom_t> all = offered();
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_ATOM, 32,
            uint32_t(all.size()), all.data());
    } else if (mode == "silent") {
        return;
    } else if (request.target == utf8) {
        marked = true;
        own();
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, property, utf8, 8, 7, "hunter2");
    } else if (request.target == hint) {
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, property, utf8, 8, 6, "secret");
    } else {
        property = XCB_ATOM_NONE;
    }
    x_owner::notify(connection, request, property);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    mode = argv[1];
    connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection))
        return 1;
    window = x_owner::createWindow(connection);
    clipboard = atom("CLIPBOARD");
    targetsAtom = atom("TARGETS");
    utf8 = atom("UTF8_STRING");
    hint = atom("x-kde-passwordManagerHint");
    own();
    std::printf("owning\n");
    std::fflush(stdout);
    while (xcb_generic_event_t* event = xcb_wait_for_event(connection)) {
        if ((event->response_type & 0x7f) == XCB_SELECTION_REQUEST)
            answer(*reinterpret_cast<xcb_selection_request_event_t*>(event));
        free(event);
    }
    return 0;
}
