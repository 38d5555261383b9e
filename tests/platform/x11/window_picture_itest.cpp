#include "platform/x11/window_picture.h"

#include "platform/x11/qt_connection.h"
#include "support/test_support.h"

#include <QImage>
#include <QPainter>
#include <QWidget>
#include <QWindow>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <xcb/xcb.h>

using namespace nimbra;
using nimbra::test::waitUntil;

namespace {

// The window's pixel at (x, y) as the server holds it, alpha dropped.
QRgb serverPixel(const QWindow& window, int x, int y)
{
    xcb_connection_t* c = x11::qtConnection();
    auto* reply = xcb_get_image_reply(c,
        xcb_get_image(
            c, XCB_IMAGE_FORMAT_Z_PIXMAP, xcb_window_t(window.winId()), std::int16_t(x), std::int16_t(y), 1, 1, ~0u),
        nullptr);
    if (!reply)
        return 0;
    std::uint32_t pixel = 0;
    if (xcb_get_image_data_length(reply) >= 4)
        std::memcpy(&pixel, xcb_get_image_data(reply), 4);
    std::free(reply);
    return pixel & 0xffffff;
}

// Left half opaque red, right half transparent, the middle column half-transparent red.
QImage halfRed()
{
    QImage picture(16, 16, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.fillRect(0, 0, 8, 16, QColor(255, 0, 0));
    painter.fillRect(8, 0, 1, 16, QColor(255, 0, 0, 128));
    return picture;
}

} // namespace

TEST(WindowPictureOnX, APictureReachesTheWindowLaidOverWhatItShowedBefore)
{
    ASSERT_NE(x11::qtConnection(), nullptr);
    auto owned = std::make_unique<QWidget>();
    QWidget& widget = *owned;
    widget.setFixedSize(16, 16);
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, QColor(0, 0, 255));
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
    widget.show();
    ASSERT_TRUE(waitUntil([&] { return widget.windowHandle() && widget.windowHandle()->isExposed(); }));
    // Qt has painted its blue: what the pictures are laid over.
    ASSERT_TRUE(waitUntil([&] { return serverPixel(*widget.windowHandle(), 12, 4) == 0x0000ff; }));

    x11::WindowPicture picture(widget.windowHandle());
    ASSERT_TRUE(picture.show(halfRed()));
    EXPECT_EQ(serverPixel(*widget.windowHandle(), 2, 4), 0xff0000u);
    EXPECT_EQ(serverPixel(*widget.windowHandle(), 12, 4), 0x0000ffu) << "the transparent half shows the background";
    const QRgb blend = serverPixel(*widget.windowHandle(), 8, 4);
    EXPECT_NEAR(qRed(blend), 128, 2);
    EXPECT_NEAR(qBlue(blend), 127, 2);

    // The next picture replaces the last one rather than piling onto it.
    QImage clear(16, 16, QImage::Format_ARGB32_Premultiplied);
    clear.fill(Qt::transparent);
    ASSERT_TRUE(picture.show(clear));
    EXPECT_EQ(serverPixel(*widget.windowHandle(), 2, 4), 0x0000ffu);

    // A window that is gone takes no picture: the caller draws through Qt instead.
    owned.reset();
    EXPECT_FALSE(picture.show(halfRed()));
}
