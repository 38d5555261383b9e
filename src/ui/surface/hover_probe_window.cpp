#include "ui/surface/hover_probe_window.h"

#include "platform/screen_space.h"

#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>

namespace nimbra {

HoverProbeView::HoverProbeView(QWidget* parent)
    : QWidget(parent)
{
    setMouseTracking(true);
    setAcceptDrops(true);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
}

QList<QUrl> HoverProbeView::urls(const QMimeData* data, bool startedInsideApplication)
{
    QList<QUrl> files;
    if (startedInsideApplication || !data || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            files.append(url);
    }
    return files;
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

bool HoverProbeView::dragEntered(const QList<QUrl>& files)
{
    sample(true);
    if (!onDropFiles || files.isEmpty())
        return false;
    if (onDragHover)
        onDragHover(true);
    return true;
}

bool HoverProbeView::dragMoved(const QList<QUrl>& files)
{

    sample(true);
    return onDropFiles && !files.isEmpty();
}

void HoverProbeView::dragExited()
{

    sample(false);
    if (onDragHover)
        onDragHover(false);
}

bool HoverProbeView::dropped(const QList<QUrl>& files)
{

    if (onDragHover)
        onDragHover(false);
    return !files.isEmpty() && onDropFiles && onDropFiles(files);
}

// A drag's files are read when it enters and again when it is dropped, and kept in between: over
// X every read is a round trip to the drag's source that may stall, and its data never changes
// during one drag.
QList<QUrl> HoverProbeView::readDragFiles(const QDropEvent* event)
{
    const QList<QUrl> files = urls(event->mimeData(), event->source() != nullptr);
    if (!files.isEmpty())
        m_dragFiles = files;
    return m_dragFiles;
}

void HoverProbeView::dragEnterEvent(QDragEnterEvent* event)
{
    m_dragFiles.clear();
    if (!dragEntered(readDragFiles(event))) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void HoverProbeView::dragMoveEvent(QDragMoveEvent* event)
{
    if (dragMoved(m_dragFiles)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void HoverProbeView::dragLeaveEvent(QDragLeaveEvent*)
{
    m_dragFiles.clear();
    dragExited();
}

void HoverProbeView::dropEvent(QDropEvent* event)
{
    const QList<QUrl> files = readDragFiles(event);
    m_dragFiles.clear();
    if (dropped(files)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

HoverProbeWindow::HoverProbeWindow(const NotchGeometry& geometry, double slop, QWidget* parent)
    : NotchPanel(geometry.trackingRect(slop), parent)
    , m_probeView(new HoverProbeView)
{
    auto* host = new PassthroughHostingView;
    host->setRootView(m_probeView);
    setContentView(host);
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
