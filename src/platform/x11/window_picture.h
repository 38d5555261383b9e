#pragma once

#include <QImage>
#include <QPointer>
#include <QWindow>
#include <cstdint>

namespace nimbra::x11 {

// Puts pictures straight onto one of Qt's X windows, past its widget painting and backing
// store: one PutImage request a picture, with no reply to wait for, for a small window
// redrawn many times a second (the eyes in a classic tray). A window of depth 32 takes the
// picture's alpha as it is; one of depth 24 shows its parent's background (an embedded tray
// icon's, parent-relative), which is read from the server once and laid under each picture.
// Qt knows nothing of these pictures: whoever uses this still gives Qt the last one, so that
// Qt paints the same when the window is exposed.
class WindowPicture {
public:
    explicit WindowPicture(QWindow* window);
    ~WindowPicture();
    WindowPicture(const WindowPicture&) = delete;
    WindowPicture& operator=(const WindowPicture&) = delete;

    QWindow* window() const { return m_window; }
    // Shows `picture` (device pixels, premultiplied ARGB) in the window's top-left corner.
    // False when this window cannot be drawn on so (no X11, a depth or pixel layout other
    // than 24- or 32-bit true colour, the window gone or not viewable): draw through Qt then.
    bool show(const QImage& picture);
    // The background under the window changed (it moved): read it again before the next picture.
    void forgetBackground() { m_background = {}; }

private:
    bool prepare();
    bool readBackground(QSize size);

    QPointer<QWindow> m_window;
    std::uint32_t m_id = 0;
    std::uint32_t m_gc = 0;
    std::uint8_t m_depth = 0;
    bool m_usable = false;
    QImage m_background;
    QImage m_frame;
};

} // namespace nimbra::x11
