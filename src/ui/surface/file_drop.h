#pragma once

#include <QList>
#include <QUrl>
#include <functional>

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;

namespace nimbra {

// The notch's drop protocol: what a window that takes file drags reports, as the probe hears
// it. Entering and moving answer whether the drag may be dropped (as a copy); dropping answers
// whether the files were taken.
struct FileDropTarget {
    // The files of a drag that already hovers the notch through another of its windows: a
    // window the drag passes into need not ask the drag's source again.
    std::function<QList<QUrl>()> hovering;
    std::function<bool(const QList<QUrl>& files)> entered;
    std::function<bool(const QList<QUrl>& files)> moved;
    std::function<void()> exited;
    std::function<bool(const QList<QUrl>& files)> dropped;
};

// One widget's Qt drag events (XDND on X11) spoken as the drop protocol. A drag's files are
// read once, when it enters, and kept until it leaves or is dropped: over X every read is a
// round trip to the drag's source, which may not answer while it is busy dropping (the read
// then stalls for seconds), and a drag's data never changes. Only a drag whose files could not
// be read on entry is asked again at the drop.
class FileDragEvents {
public:
    // The files a drag carries: none when it started inside this application (a shelf item
    // dragged out over the notch), and only local file URLs otherwise.
    static QList<QUrl> urls(const QMimeData* data, bool startedInsideApplication);
    // The same rule for a drag's URLs read elsewhere.
    static QList<QUrl> localFiles(const QList<QUrl>& urls, bool startedInsideApplication);

    void enter(QDragEnterEvent* event, const FileDropTarget& target);
    void move(QDragMoveEvent* event, const FileDropTarget& target);
    void leave(const FileDropTarget& target);
    void drop(QDropEvent* event, const FileDropTarget& target);

private:
    QList<QUrl> read(const QDropEvent* event);

    QList<QUrl> m_files;
};

} // namespace nimbra
