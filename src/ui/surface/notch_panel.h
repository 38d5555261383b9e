#pragma once

#include "ui/surface/file_drop.h"

#include <QRectF>
#include <QRegion>
#include <QWidget>
#include <functional>
#include <optional>

namespace nimbra {

// The panel's content container: clicks reach what it hosts only inside `interactiveRegion`
// (panel coordinates, origin at the bottom left, y up); everywhere else they pass through the
// window to whatever lies beneath.
class PassthroughHostingView : public QWidget {
    Q_OBJECT
public:
    explicit PassthroughHostingView(QWidget* parent = nullptr);

    std::function<std::optional<QRectF>()> interactiveRegion;

    // Whether a click at `point` (this view's coordinates, y down) reaches the hosted view.
    bool hitTest(QPointF point) const;
    // The interactive region in this view's own coordinates (y down); none when it gives none.
    std::optional<QRectF> interactiveRect() const;

    // Hosts `view`, filling this container.
    void setRootView(QWidget* view);
    QWidget* rootView() const { return m_root; }

    // File drags that reach this view (where the window takes the pointer) are reported to
    // `target`; without one, drags are not taken here.
    void setDropTarget(std::optional<FileDropTarget> target);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QWidget* m_root = nullptr;
    std::optional<FileDropTarget> m_dropTarget;
    FileDragEvents m_drags;
};

// A frameless top-level window outside the window manager's care: placed exactly where it is
// told (model coordinates), on every workspace, never in a task bar or switcher, above other
// windows, without window animations, and taking focus only while `allowsKey` is on.
class NotchPanel : public QWidget {
    Q_OBJECT
public:
    explicit NotchPanel(const QRectF& contentRect, QWidget* parent = nullptr);

    bool allowsKey() const { return m_allowsKey; }
    void setAllowsKey(bool allows);
    // Whether the panel is the window that receives the keyboard.
    bool isKeyWindow() const;
    void makeKeyAndOrderFront();
    void resignKey();

    // Frame in model coordinates (y up). `display` repaints at once.
    QRectF frame() const { return m_frame; }
    void setFrame(const QRectF& frame, bool display);

    bool ignoresMouseEvents() const { return m_ignoresMouseEvents; }
    void setIgnoresMouseEvents(bool ignores);
    // While set, the window takes the pointer only inside `rect` (model coordinates, widened to
    // whole device pixels) instead of where its content says; ignoring mouse events still wins.
    void setInputLimit(const std::optional<QRectF>& rect);
    const std::optional<QRectF>& inputLimit() const { return m_inputLimit; }

    void orderFront();
    void orderOut();
    // Stacks this window directly above `other`.
    void orderAbove(QWidget* other);

    void setContentView(PassthroughHostingView* view);
    PassthroughHostingView* contentView() const { return m_content; }
    // Re-reads the content view's interactive region into the window's input shape.
    void refreshInputShape();

    // Only the pixels inside `region` (window coordinates, device pixels) exist when no compositor blends the
    // window's translucent pixels; with a compositor this does nothing. None: the whole window.
    void setOpaqueClip(const std::optional<QRegion>& region);
    static bool translucencyAvailable();

    // Told after each frame the window painted and handed to the window system.
    std::function<void()> onFramePresented;

    // The window's X input shape for a state (window coordinates): nothing while it ignores mouse
    // events, else the interactive region when the content declares one, else the whole window.
    static QRegion inputShape(
        bool ignoresMouseEvents, const std::optional<QRectF>& interactive, QSize window, bool hasInteractiveRegion);
    // `rect` (window coordinates) widened to the device pixels it touches, at `ratio` device
    // pixels per point, and kept inside a window of `devicePixels`.
    static QRegion devicePixelCover(const QRectF& rect, double ratio, QSize devicePixels);
    // What the X server is told right now, in device pixels of the window.
    QRegion currentInputShape() const;

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    void applyInputShape(bool force);

    bool m_allowsKey = false;
    bool m_ignoresMouseEvents = false;
    QRectF m_frame;
    std::optional<QRectF> m_inputLimit;
    PassthroughHostingView* m_content = nullptr;
    std::optional<QRegion> m_appliedInput;
    std::optional<QRegion> m_clip;
};

} // namespace nimbra
