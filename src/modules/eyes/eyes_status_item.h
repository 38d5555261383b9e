#pragma once

#include "core/eye_motion.h"
#include "modules/eyes/eye_tracker.h"
#include "ui/eyes/eyes_icon_renderer.h"
#include "ui/eyes/googly_eyes.h"

#include <QImage>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

namespace nimbra {

class TrayItem;

// The eyes in the desktop's tray. Tray icons are square, so the row of both eyes is scaled
// into the square. It has no animation clock of its own: the shell pushes every frame the
// tracker publishes into update(), and the icon is redrawn from it at most 30 times a second.
class EyesStatusItem final : public QObject {
    Q_OBJECT
public:
    // `now` gives seconds of uptime (the system's when empty); tests pass a clock of their own.
    explicit EyesStatusItem(QObject* parent = nullptr, std::function<double()> now = {});
    ~EyesStatusItem() override;

    static constexpr double fastestRedraw = 1.0 / 30;
    // A frame this much early is drawn at once: timers that keep the same rate as the redraws
    // fire a little early or late, and a frame held back for that would cost a wake-up of its own.
    static constexpr double earlyRedraw = fastestRedraw / 8;
    // How much longer than the redraw interval a held-back frame waits for a newer one.
    static constexpr double lateFrameGrace = 1.0 / 60;
    // The icon side assumed while the tray does not say.
    static constexpr int defaultSide = 22;

    bool isVisible() const { return m_item != nullptr; }
    // How far a pupil may move in the drawn eyes (screen pixels).
    qreal travel() const;
    // Where the two drawn eyes sit on screen, in model coordinates; none until the item exists.
    std::optional<EyeTracker::Centres> eyeCentres() const;

    // The menu to carry (not owned); none removes it.
    void setMenu(QMenu* menu);
    QMenu* menu() const { return m_menu; }

    // Creates the item on the next turn of the event loop when there is none (several calls
    // before then create one item, with the last style; hide() before then creates none), else
    // redraws it in the new style.
    void show(const EyeStyle& style);
    void update(QPointF leftPupil, QPointF rightPupil, double lidLeft, double lidRight, bool tired);
    void hide();

    const EyeStyle& style() const { return m_style; }
    const EyesFrame& frame() const { return m_frame; }
    // Icons drawn so far, when the last one was (uptime), and the last one.
    int redraws() const { return m_redraws; }
    double lastRedrawAt() const { return m_lastRedrawAt; }
    const QImage& lastIcon() const { return m_lastIcon; }
    TrayItem* item() const { return m_item.get(); }

    // One icon of `side` × `side` pixels (times `pixelRatio`) with both eyes laid into it,
    // drawn afresh (the item copies its frames from tiles of each eye, to the same pixels).
    static QImage render(const EyeStyle& style, const EyesFrame& frame, int side, qreal pixelRatio);
    // The frame as the icon can show it: pupils and lid edges on a quarter of a device pixel.
    static EyesFrame drawable(const EyeStyle& style, const EyesFrame& frame, int side, qreal pixelRatio);

private:
    void createItem();
    void redraw();
    int side() const;

    std::unique_ptr<TrayItem> m_item;
    EyeStyle m_style;
    EyesFrame m_frame;
    // The drawable frame last drawn.
    std::optional<EyesFrame> m_drawnFrame;
    QPointer<QMenu> m_menu;
    // The item's creation, pending on the next turn of the event loop.
    QTimer m_creation;
    std::function<double()> m_now;
    double m_lastRedrawAt = -1;
    QTimer m_pendingRedraw;
    int m_redraws = 0;
    QImage m_lastIcon;
    EyesIconRenderer m_renderer;
};

} // namespace nimbra
