#include "platform/x11/window_picture.h"

#include "platform/x11/qt_connection.h"

#include <QPainter>
#include <QtGlobal>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <xcb/xcb.h>

namespace nimbra::x11 {

namespace {

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T> Reply<T> reply(T* raw)
{
    return Reply<T>(raw, &std::free);
}

// Whether pixels of `depth` on this server are 32-bit words of 8-bit red, green and blue (and
// alpha at depth 32) in the host's byte order: what QImage's 32-bit formats hold.
bool takesQImagePixels(xcb_connection_t* c, std::uint8_t depth, xcb_visualid_t visual)
{
    const xcb_setup_t* setup = xcb_get_setup(c);
    const auto hostOrder = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? XCB_IMAGE_ORDER_LSB_FIRST : XCB_IMAGE_ORDER_MSB_FIRST;
    if (setup->image_byte_order != hostOrder)
        return false;
    bool wordPixels = false;
    const xcb_format_t* formats = xcb_setup_pixmap_formats(setup);
    for (int i = 0; i < xcb_setup_pixmap_formats_length(setup); ++i)
        wordPixels = wordPixels || (formats[i].depth == depth && formats[i].bits_per_pixel == 32);
    if (!wordPixels)
        return false;
    for (auto screens = xcb_setup_roots_iterator(setup); screens.rem; xcb_screen_next(&screens)) {
        for (auto depths = xcb_screen_allowed_depths_iterator(screens.data); depths.rem; xcb_depth_next(&depths)) {
            for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem; xcb_visualtype_next(&visuals)) {
                const xcb_visualtype_t* v = visuals.data;
                if (v->visual_id == visual)
                    return v->_class == XCB_VISUAL_CLASS_TRUE_COLOR && v->red_mask == 0xff0000
                        && v->green_mask == 0xff00 && v->blue_mask == 0xff;
            }
        }
    }
    return false;
}

} // namespace

WindowPicture::WindowPicture(QWindow* window)
    : m_window(window)
{
}

WindowPicture::~WindowPicture()
{
    if (xcb_connection_t* c = qtConnection(); c && m_gc) {
        xcb_free_gc(c, m_gc);
        xcb_flush(c);
    }
}

bool WindowPicture::prepare()
{
    xcb_connection_t* c = qtConnection();
    if (!c || !m_window || !m_window->handle())
        return false;
    const auto id = std::uint32_t(m_window->winId());
    if (id == m_id)
        return m_usable;
    // A new native window (or the first): learn how its pixels are laid out, once.
    m_id = id;
    m_usable = false;
    m_background = {};
    auto geometry = reply(xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr));
    auto attributes = reply(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr));
    if (!geometry || !attributes || (geometry->depth != 24 && geometry->depth != 32)
        || !takesQImagePixels(c, geometry->depth, attributes->visual))
        return false;
    m_depth = geometry->depth;
    if (m_gc)
        xcb_free_gc(c, m_gc);
    m_gc = xcb_generate_id(c);
    const std::uint32_t noExposures = 0;
    xcb_create_gc(c, m_gc, id, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
    m_usable = true;
    return true;
}

bool WindowPicture::readBackground(QSize size)
{
    xcb_connection_t* c = qtConnection();
    // The window's background is its parent's (parent-relative): clearing paints it, and the
    // next picture follows at once.
    xcb_clear_area(c, 0, m_id, 0, 0, 0, 0);
    xcb_generic_error_t* error = nullptr;
    auto image = reply(xcb_get_image_reply(c,
        xcb_get_image(
            c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_id, 0, 0, std::uint16_t(size.width()), std::uint16_t(size.height()), ~0u),
        &error));
    std::free(error);
    const auto bytes = std::size_t(size.width()) * std::size_t(size.height()) * 4;
    if (!image || std::size_t(xcb_get_image_data_length(image.get())) < bytes)
        return false;
    m_background = QImage(size, QImage::Format_RGB32);
    std::memcpy(m_background.bits(), xcb_get_image_data(image.get()), bytes);
    return true;
}

bool WindowPicture::show(const QImage& picture)
{
    if (picture.isNull() || !prepare())
        return false;
    xcb_connection_t* c = qtConnection();
    const QSize size = picture.size();
    // One buffer serves every picture of a size: a frame allocates nothing.
    const QImage* frame = &picture;
    if (m_depth == 24) {
        if (m_background.size() != size && !readBackground(size))
            return false;
        if (m_frame.size() != size || m_frame.format() != QImage::Format_RGB32 || !m_frame.isDetached())
            m_frame = QImage(size, QImage::Format_RGB32);
        std::memcpy(m_frame.bits(), m_background.constBits(), std::size_t(m_background.sizeInBytes()));
        QPainter painter(&m_frame);
        painter.drawImage(QRect(QPoint(0, 0), size), picture, QRect(QPoint(0, 0), size));
        frame = &m_frame;
    } else if (picture.format() != QImage::Format_ARGB32_Premultiplied) {
        m_frame = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        frame = &m_frame;
    }
    const auto bytes = std::uint32_t(frame->sizeInBytes());
    // The request's header is 24 bytes; the server's limit counts 4-byte units.
    if (std::uint64_t(bytes) + 24 > std::uint64_t(xcb_get_maximum_request_length(c)) * 4)
        return false;
    xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_id, m_gc, std::uint16_t(size.width()), std::uint16_t(size.height()),
        0, 0, 0, m_depth, bytes, frame->constBits());
    xcb_flush(c);
    return true;
}

} // namespace nimbra::x11
