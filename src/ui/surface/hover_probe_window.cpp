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

void HoverProbeView::dragEnterEvent(QDragEnterEvent* event)
{
    if (!onDropFiles || urls(event->mimeData(), event->source() != nullptr).isEmpty()) {
        event->ignore();
        return;
    }
    if (onDragHover)
        onDragHover(true);
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void HoverProbeView::dragMoveEvent(QDragMoveEvent* event)
{
    if (onDropFiles && !urls(event->mimeData(), event->source() != nullptr).isEmpty()) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void HoverProbeView::dragLeaveEvent(QDragLeaveEvent*)
{
    if (onDragHover)
        onDragHover(false);
}

void HoverProbeView::dropEvent(QDropEvent* event)
{
    const QList<QUrl> files = urls(event->mimeData(), event->source() != nullptr);
    if (onDragHover)
        onDragHover(false);
    const bool taken = !files.isEmpty() && onDropFiles && onDropFiles(files);
    if (taken) {
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
