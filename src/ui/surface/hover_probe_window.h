#pragma once

#include "core/notch_geometry.h"
#include "ui/surface/file_drop.h"
#include "ui/surface/notch_panel.h"

#include <QList>
#include <QTimer>
#include <QUrl>
#include <functional>

class QMimeData;

namespace nimbra {

// The probe's only view: turns pointer crossings and motion into samples and accepts file drops.
class HoverProbeView : public QWidget {
    Q_OBJECT
public:
    explicit HoverProbeView(QWidget* parent = nullptr);

    // The pointer's global location (model coordinates) and whether it is inside.
    std::function<void(QPointF location, bool inside)> onSample;
    std::function<bool(const QList<QUrl>& files)> onDropFiles;
    std::function<void(bool hovering)> onDragHover;

    // The files a drag carries: none when it started inside this application, and only local
    // file URLs otherwise.
    static QList<QUrl> urls(const QMimeData* data, bool startedInsideApplication);

    // Where the pointer is, in model coordinates; replaceable in tests.
    std::function<QPointF()> pointer;

    // The drop protocol, for every window of the notch that takes file drags (this probe, and
    // the panel while its surface is open). Each call also samples the pointer, as motion would:
    // the pointer is grabbed by the drag's source meanwhile, so no other event reports it.
    // Entering and moving answer whether the drag may be dropped here (as a copy).
    //
    // The hover is one for all those windows: it begins when a drag enters the first of them,
    // and ends with a drop, or when the drag has left all of them and not come back within
    // `dragHandoverMs` (a drag passes from the panel to the probe when the panel stops taking
    // the pointer for it).
    bool dragEntered(const QList<QUrl>& files);
    bool dragMoved(const QList<QUrl>& files);
    void dragExited();
    // Ends the hover before the files are offered; true when they were taken.
    bool dropped(const QList<QUrl>& files);
    // The protocol bound to this probe, for another window to speak.
    FileDropTarget dropTarget();
    bool isDragHovering() const { return m_dragHovering; }

    static constexpr int dragHandoverMs = 150;

protected:
    void enterEvent(QEnterEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void sample(bool inside);
    void endDragHover();
    QList<QUrl> filesOfThisDrag(const QList<QUrl>& offered) const;

    FileDragEvents m_drags;
    // Windows of the notch the drag is over now.
    int m_dragHolders = 0;
    bool m_dragHovering = false;
    // The files of the drag hovering now, as the first window it entered read them.
    QList<QUrl> m_hoverFiles;
    QTimer m_dragHandover;
};

// The window under the visible surface that reports pointer samples and file drags. It never
// takes the keyboard.
class HoverProbeWindow : public NotchPanel {
    Q_OBJECT
public:
    // `shown`: on screen at once; a probe of a display that shows no notch is made hidden.
    HoverProbeWindow(const NotchGeometry& geometry, double slop, bool shown = true, QWidget* parent = nullptr);

    // Repainting keeps QWidget's name; this one re-fits the window to the notch.
    using NotchPanel::update;
    void update(const NotchGeometry& geometry, double slop);
    // Moves to `rect` only when it differs from the current frame.
    void track(const QRectF& rect);
    // The window ignores mouse events exactly when `active` is false.
    void setActive(bool active) { setIgnoresMouseEvents(!active); }

    HoverProbeView* probeView() const { return m_probeView; }

    std::function<void(QPointF, bool)>& onSample() { return m_probeView->onSample; }
    std::function<bool(const QList<QUrl>&)>& onDropFiles() { return m_probeView->onDropFiles; }
    std::function<void(bool)>& onDragHover() { return m_probeView->onDragHover; }

private:
    HoverProbeView* m_probeView;
};

} // namespace nimbra
