#include "ui/surface/file_drop.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>

namespace nimbra {

QList<QUrl> FileDragEvents::urls(const QMimeData* data, bool startedInsideApplication)
{
    if (!data || !data->hasUrls())
        return {};
    return localFiles(data->urls(), startedInsideApplication);
}

QList<QUrl> FileDragEvents::localFiles(const QList<QUrl>& urls, bool startedInsideApplication)
{
    QList<QUrl> files;
    if (startedInsideApplication)
        return files;
    for (const QUrl& url : urls) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            files.append(url);
    }
    return files;
}

QList<QUrl> FileDragEvents::read(const QDropEvent* event)
{
    const QList<QUrl> files = urls(event->mimeData(), event->source() != nullptr);
    if (!files.isEmpty())
        m_files = files;
    return m_files;
}

void FileDragEvents::enter(QDragEnterEvent* event, const FileDropTarget& target)
{
    m_files = target.hovering ? target.hovering() : QList<QUrl>();
    const QList<QUrl> files = m_files.isEmpty() ? read(event) : m_files;
    if (!target.entered || !target.entered(files)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void FileDragEvents::move(QDragMoveEvent* event, const FileDropTarget& target)
{
    if (target.moved && target.moved(m_files)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void FileDragEvents::leave(const FileDropTarget& target)
{
    m_files.clear();
    if (target.exited)
        target.exited();
}

void FileDragEvents::drop(QDropEvent* event, const FileDropTarget& target)
{
    const QList<QUrl> files = m_files.isEmpty() ? read(event) : m_files;
    m_files.clear();
    if (target.dropped && target.dropped(files)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

} // namespace nimbra
