#include "platform/x11/accessibility.h"

#include <QtGlobal>
#include <cstdlib>
#include <cstring>
#include <xcb/randr.h>
#include <xcb/xcb.h>

namespace nimbra {

namespace {

bool hasExtension(xcb_connection_t* connection, const char* name)
{
    auto* reply = xcb_query_extension_reply(
        connection, xcb_query_extension(connection, std::uint16_t(std::strlen(name)), name), nullptr);
    const bool present = reply && reply->present;
    free(reply);
    return present;
}

// XWayland names its RandR outputs XWAYLAND0, XWAYLAND1, ...; older ones lack the extension.
bool hasXWaylandOutputs(xcb_connection_t* connection)
{
    const xcb_setup_t* setup = xcb_get_setup(connection);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    if (!screens.rem || !hasExtension(connection, "RANDR"))
        return false;
    auto* resources = xcb_randr_get_screen_resources_current_reply(
        connection, xcb_randr_get_screen_resources_current(connection, screens.data->root), nullptr);
    if (!resources)
        return false;
    bool found = false;
    const xcb_randr_output_t* outputs = xcb_randr_get_screen_resources_current_outputs(resources);
    const int count = xcb_randr_get_screen_resources_current_outputs_length(resources);
    for (int i = 0; i < count && !found; ++i) {
        auto* info = xcb_randr_get_output_info_reply(
            connection, xcb_randr_get_output_info(connection, outputs[i], resources->config_timestamp), nullptr);
        if (!info)
            continue;
        const auto* name = reinterpret_cast<const char*>(xcb_randr_get_output_info_name(info));
        const int length = xcb_randr_get_output_info_name_length(info);
        found = length >= 8 && std::strncmp(name, "XWAYLAND", 8) == 0;
        free(info);
    }
    free(resources);
    return found;
}

} // namespace

bool isWaylandSession()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qgetenv("XDG_SESSION_TYPE") == "wayland";
}

AccessibilityTrust accessibilityTrust(xcb_connection_t* connection)
{
    AccessibilityTrust trust;
    if (connection && !xcb_connection_has_error(connection)) {
        trust.hasDisplay = true;
        trust.isXWayland = hasExtension(connection, "XWAYLAND") || hasXWaylandOutputs(connection);
        trust.hasXTest = hasExtension(connection, "XTEST");
        trust.hasXkb = hasExtension(connection, "XKEYBOARD");
    }
    return trust;
}

AccessibilityTrust accessibilityTrust(const QByteArray& display)
{
    xcb_connection_t* connection = xcb_connect(display.isEmpty() ? nullptr : display.constData(), nullptr);
    const AccessibilityTrust trust = accessibilityTrust(connection);
    xcb_disconnect(connection);
    return trust;
}

} // namespace nimbra
