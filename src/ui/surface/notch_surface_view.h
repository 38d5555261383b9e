#pragma once

#include "core/presentation.h"
#include "ui/surface/notch_shape.h"
#include "ui/surface/notch_theme.h"
#include "ui/surface/spring.h"

#include <QPainterPath>
#include <QPointer>
#include <QWidget>
#include <functional>

namespace nimbra {

class NotchSurfaceModel;

// Draws one display's surface inside its panel: the filled outline hanging from the top edge,
// centred, with the shell's content laid out in its body and clipped to it. Every change of
// size, radii or visibility springs to its new value, the content's size with the outline's;
// the frame timer runs only while something moves.
class NotchSurfaceView : public QWidget {
    Q_OBJECT
public:
    // Growing into the expanded surface bounces a little; every other change settles.
    static constexpr Spring expandSpring { 0.24, 0.74 };
    static constexpr Spring settleSpring { 0.2, 1.0 };
    static constexpr Spring fadeSpring { 0.2, 1.0 };

    explicit NotchSurfaceView(NotchSurfaceModel* model, QWidget* parent = nullptr);

    NotchSurfaceModel* model() const { return m_model; }

    // The outline as drawn right now, in this widget's coordinates.
    QRectF outlineRect() const;
    QPainterPath outlinePath() const;
    // The part of the outline between its flares, where the content is laid out right now.
    QRectF bodyRect() const;
    NotchShape currentShape() const;
    double currentOpacity() const;
    bool isAnimating() const { return m_frames.isActive(); }
    // Jumps every animation to its end (tests, benchmarks, a view that was never shown).
    void finishAnimations();

    QWidget* contentWidget() const { return m_content; }
    // How often the content builder was asked.
    int contentBuilds() const { return m_builds; }

    // Asked with the content shown now and the one just built for the new state: answering true
    // means the shown one took over the fresh one's state and stays, keeping what it holds
    // itself (a landing already played), and the fresh one is dropped.
    std::function<bool(QWidget* current, QWidget* fresh)> adoptContent;
    // Told after every frame and every jump of the outline, so a window can follow its shape.
    std::function<void()> onOutlineChange;
    // Seconds of uptime; replaceable in tests.
    std::function<double()> clock;

    // Its window has painted a frame and handed it to the screen.
    void framePresented();

    // Lays `content` out and paints it once off screen, as the content of `surface` at this
    // view's pixel density, fading and not, then deletes it. Whatever its first real frame would
    // have to load (the font database, glyphs, icons, the fade's offscreen buffer) is loaded
    // then, so that the first readout after launch paints within a frame's time. Nothing of it
    // reaches the screen: no window is shown, and the one this view is in does not repaint.
    void rehearse(const Presentation::Surface& surface, QWidget* content);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    double now() const;
    void rebuildContent();
    void retargetSize();
    void retargetOpacity();
    void frame();
    void placeContent();
    void refreshPointerHover();

    NotchSurfaceModel* m_model;
    SpringValue m_width, m_height, m_top, m_bottom, m_opacity;
    FrameTimer m_frames;
    QPointer<QWidget> m_content;
    int m_builds = 0;
    // Cleared whenever the content changes, set by the next painted frame; the frame is logged
    // once its window has handed it to the screen.
    bool m_contentPainted = true;
    bool m_contentFramePending = false;
};

} // namespace nimbra
