#include "platform/x11/window_shape.h"

#include "platform/x11/qt_connection.h"

#include <QGuiApplication>
#include <QWindow>
#include <cmath>
#include <string>
#include <vector>

#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

namespace nimbra::x11 {

namespace {

xcb_connection_t* connection()
{
    return x11::qtConnection();
}

// The X window behind a Qt window, or 0 when it has none yet.
xcb_window_t nativeWindow(QWindow* window)
{
    if (!window || !connection() || !window->handle())
        return 0;
    return static_cast<xcb_window_t>(window->winId());
}

std::vector<xcb_rectangle_t> rectangles(const QRegion& region, double ratio)
{
    std::vector<xcb_rectangle_t> out;
    for (const QRect& r : region) {
        const int x = int(std::floor(r.x() * ratio));
        const int y = int(std::floor(r.y() * ratio));
        const int right = int(std::ceil((r.x() + r.width()) * ratio));
        const int bottom = int(std::ceil((r.y() + r.height()) * ratio));
        out.push_back({ int16_t(x), int16_t(y), uint16_t(std::max(0, right - x)), uint16_t(std::max(0, bottom - y)) });
    }
    return out;
}

bool hasXFixes(xcb_connection_t* c)
{
    static const bool present = [c] {
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_xfixes_id);
        if (!ext || !ext->present)
            return false;
        // Shape regions of windows need XFixes 2.
        auto cookie = xcb_xfixes_query_version(c, 5, 0);
        auto* reply = xcb_xfixes_query_version_reply(c, cookie, nullptr);
        const bool ok = reply && reply->major_version >= 2;
        free(reply);
        return ok;
    }();
    return present;
}

bool hasShape(xcb_connection_t* c)
{
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_shape_id);
    return ext && ext->present;
}

} // namespace

bool isAvailable()
{
    return connection() != nullptr;
}

bool hasCompositor()
{
    xcb_connection_t* c = connection();
    if (!c)
        return false;
    // The default screen's number is in the display name (":0.1" → 1); Qt opens screen 0 unless told.
    int screen = 0;
    const QByteArray display = qgetenv("DISPLAY");
    if (const int dot = display.lastIndexOf('.'); dot > display.lastIndexOf(':'))
        screen = display.mid(dot + 1).toInt();
    const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
    auto atomCookie = xcb_intern_atom(c, 0, uint16_t(name.size()), name.c_str());
    auto* atom = xcb_intern_atom_reply(c, atomCookie, nullptr);
    if (!atom)
        return false;
    auto ownerCookie = xcb_get_selection_owner(c, atom->atom);
    free(atom);
    auto* owner = xcb_get_selection_owner_reply(c, ownerCookie, nullptr);
    const bool owned = owner && owner->owner != XCB_NONE;
    free(owner);
    return owned;
}

void setInputShape(QWindow* window, const std::optional<QRegion>& devicePixels)
{
    const xcb_window_t id = nativeWindow(window);
    xcb_connection_t* c = connection();
    if (!id || !hasXFixes(c))
        return;
    if (!devicePixels) {
        xcb_xfixes_set_window_shape_region(c, id, XCB_SHAPE_SK_INPUT, 0, 0, XCB_NONE);
    } else {
        const auto rects = rectangles(*devicePixels, 1);
        const xcb_xfixes_region_t shape = xcb_generate_id(c);
        xcb_xfixes_create_region(c, shape, uint32_t(rects.size()), rects.data());
        xcb_xfixes_set_window_shape_region(c, id, XCB_SHAPE_SK_INPUT, 0, 0, shape);
        xcb_xfixes_destroy_region(c, shape);
    }
    xcb_flush(c);
}

void setBoundingShape(QWindow* window, const std::optional<QRegion>& devicePixels)
{
    const xcb_window_t id = nativeWindow(window);
    xcb_connection_t* c = connection();
    if (!id || !hasShape(c))
        return;
    if (!devicePixels) {
        xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, id, 0, 0, XCB_NONE);
    } else {
        const auto rects = rectangles(*devicePixels, 1);
        xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED, id, 0, 0,
            uint32_t(rects.size()), rects.data());
    }
    xcb_flush(c);
}

void raise(QWindow* window)
{
    const xcb_window_t id = nativeWindow(window);
    if (!id)
        return;
    const uint32_t mode = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(connection(), id, XCB_CONFIG_WINDOW_STACK_MODE, &mode);
    xcb_flush(connection());
}

void releaseInputFocus(QWindow* window)
{
    const xcb_window_t id = nativeWindow(window);
    if (!id)
        return;
    xcb_connection_t* c = connection();
    auto* focus = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
    if (focus && focus->focus == id)
        xcb_set_input_focus(c, XCB_INPUT_FOCUS_POINTER_ROOT, XCB_INPUT_FOCUS_POINTER_ROOT, XCB_CURRENT_TIME);
    free(focus);
    xcb_flush(c);
}

void takeInputFocus(QWindow* window)
{
    const xcb_window_t id = nativeWindow(window);
    if (!id)
        return;
    xcb_connection_t* c = connection();
    // Focus on a window that is not viewable is an error; Qt activates it once it is mapped.
    auto* attributes = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr);
    if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
        xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, id, XCB_CURRENT_TIME);
    free(attributes);
    xcb_flush(c);
}

void stackAbove(QWindow* window, QWindow* sibling)
{
    const xcb_window_t id = nativeWindow(window);
    const xcb_window_t below = nativeWindow(sibling);
    if (!id || !below)
        return;
    const uint32_t values[] = { below, XCB_STACK_MODE_ABOVE };
    xcb_configure_window(connection(), id, XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE, values);
    xcb_flush(connection());
}

std::optional<QRect> rootGeometry(QWindow* window)
{
    xcb_connection_t* c = connection();
    if (!c || !window || !window->handle())
        return std::nullopt;
    const auto id = xcb_window_t(window->winId());
    auto* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr);
    if (!geometry)
        return std::nullopt;
    auto* origin = xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, id, geometry->root, 0, 0), nullptr);
    std::optional<QRect> result;
    if (origin)
        result = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    free(origin);
    free(geometry);
    return result;
}

} // namespace nimbra::x11
