#include "ui/surface/hover_probe_window.h"

#include "platform/screen_space.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPointer>

namespace nimbra {

HoverProbeView::HoverProbeView(QWidget* parent)
    : QWidget(parent)
{
    setMouseTracking(true);
    setAcceptDrops(true);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    m_dragHandover.setSingleShot(true);
    m_dragHandover.setInterval(dragHandoverMs);
    connect(&m_dragHandover, &QTimer::timeout, this, [this] {
        if (m_dragHolders == 0)
            endDragHover();
    });
}

QList<QUrl> HoverProbeView::urls(const QMimeData* data, bool startedInsideApplication)
{
    return FileDragEvents::urls(data, startedInsideApplication);
}

void HoverProbeView::sample(bool inside)
{
    if (!onSample)
        return;
    // The global pointer when the event is handled, not the event's own position.
    onSample(pointer ? pointer() : screen_space::toModel(QPointF(QCursor::pos())), inside);
}

void HoverProbeView::enterEvent(QEnterEvent*)
{
    sample(true);
}
void HoverProbeView::mouseMoveEvent(QMouseEvent*)
{
    sample(true);
}
void HoverProbeView::leaveEvent(QEvent*)
{
    sample(false);
}

// A click on the probe is not a click on a surface: it ends here rather than reaching the
// hosting view around it, which treats (and logs) presses as clicks on the surface.
void HoverProbeView::mousePressEvent(QMouseEvent* event)
{
    event->accept();
}

QList<QUrl> HoverProbeView::filesOfThisDrag(const QList<QUrl>& offered) const
{
    // A window the drag passed into from another one of the notch may not get the files from
    // the drag's source in time; they are the same drag's.
    if (offered.isEmpty() && m_dragHovering)
        return m_hoverFiles;
    return offered;
}

bool HoverProbeView::dragEntered(const QList<QUrl>& offered)
{
    sample(true);
    const QList<QUrl> files = filesOfThisDrag(offered);
    if (!onDropFiles || files.isEmpty())
        return false;
    ++m_dragHolders;
    m_dragHandover.stop();
    m_hoverFiles = files;
    if (!m_dragHovering) {
        m_dragHovering = true;
        if (onDragHover)
            onDragHover(true);
    }
    return true;
}

bool HoverProbeView::dragMoved(const QList<QUrl>& offered)
{
    sample(true);
    return onDropFiles && !filesOfThisDrag(offered).isEmpty();
}

void HoverProbeView::dragExited()
{
    sample(false);
    m_dragHolders = std::max(0, m_dragHolders - 1);
    // Another window of the notch may take the drag over in a moment.
    if (m_dragHolders == 0 && m_dragHovering)
        m_dragHandover.start();
}

bool HoverProbeView::dropped(const QList<QUrl>& offered)
{
    const QList<QUrl> files = filesOfThisDrag(offered);
    m_dragHolders = 0;
    m_dragHandover.stop();
    m_dragHovering = false;
    m_hoverFiles.clear();
    if (onDragHover)
        onDragHover(false);
    return !files.isEmpty() && onDropFiles && onDropFiles(files);
}

void HoverProbeView::endDragHover()
{
    if (!m_dragHovering)
        return;
    m_dragHovering = false;
    m_hoverFiles.clear();
    if (onDragHover)
        onDragHover(false);
}

FileDropTarget HoverProbeView::dropTarget()
{
    QPointer<HoverProbeView> self(this);
    return FileDropTarget {
        [self] { return self && self->m_dragHovering ? self->m_hoverFiles : QList<QUrl>(); },
        [self](const QList<QUrl>& files) { return self && self->dragEntered(files); },
        [self](const QList<QUrl>& files) { return self && self->dragMoved(files); },
        [self] {
            if (self)
                self->dragExited();
        },
        [self](const QList<QUrl>& files) { return self && self->dropped(files); },
    };
}

void HoverProbeView::dragEnterEvent(QDragEnterEvent* event)
{
    m_drags.enter(event, dropTarget());
}

void HoverProbeView::dragMoveEvent(QDragMoveEvent* event)
{
    m_drags.move(event, dropTarget());
}

void HoverProbeView::dragLeaveEvent(QDragLeaveEvent*)
{
    m_drags.leave(dropTarget());
}

void HoverProbeView::dropEvent(QDropEvent* event)
{
    m_drags.drop(event, dropTarget());
}

HoverProbeWindow::HoverProbeWindow(const NotchGeometry& geometry, double slop, bool shown, QWidget* parent)
    : NotchPanel(geometry.trackingRect(slop), parent)
    , m_probeView(new HoverProbeView)
{
    auto* host = new PassthroughHostingView;
    host->setRootView(m_probeView);
    setContentView(host);
    if (shown)
        orderFront();
}

void HoverProbeWindow::update(const NotchGeometry& geometry, double slop)
{
    setFrame(geometry.trackingRect(slop), false);
}

void HoverProbeWindow::track(const QRectF& rect)
{
    if (rect != frame())
        setFrame(rect, false);
}

} // namespace nimbra
