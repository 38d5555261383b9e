#include "platform/x11/screen_changes.h"

#include "platform/x11/qt_connection.h"

#include <QCoreApplication>

#include <xcb/randr.h>
#include <xcb/xcb.h>

namespace nimbra::x11 {

ScreenChanges::ScreenChanges(std::function<void()> onChange)
    : m_onChange(std::move(onChange))
{
    xcb_connection_t* c = qtConnection();
    if (!c)
        return;
    const xcb_screen_iterator_t roots = xcb_setup_roots_iterator(xcb_get_setup(c));
    m_root = roots.rem ? roots.data->root : XCB_NONE;
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
    if (randr && randr->present)
        m_firstRandrEvent = randr->first_event;
    if (auto* app = QCoreApplication::instance())
        app->installNativeEventFilter(this);
}

ScreenChanges::~ScreenChanges()
{
    if (auto* app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
}

bool ScreenChanges::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const int type = event->response_type & 0x7f;
    // RandR's monitors are read anew when the root window is configured; output properties (a
    // backlight level, say) change often and move no screen.
    const int randr = m_firstRandrEvent < 0 ? -1 : type - m_firstRandrEvent;
    const bool layout = (type == XCB_CONFIGURE_NOTIFY
                            && reinterpret_cast<const xcb_configure_notify_event_t*>(event)->window == m_root)
        || randr == XCB_RANDR_SCREEN_CHANGE_NOTIFY
        || (randr == XCB_RANDR_NOTIFY
            && reinterpret_cast<const xcb_randr_notify_event_t*>(event)->subCode != XCB_RANDR_NOTIFY_OUTPUT_PROPERTY);
    if (layout && m_onChange)
        m_onChange();
    return false;
}

} // namespace nimbra::x11
