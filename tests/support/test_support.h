#pragma once

#include <QList>
#include <QString>
#include <functional>

class QByteArray;
class QColor;
class QImage;
class QMessageBox;

namespace nimbra::test {

// Folder for images and logs a test run leaves behind for people to look at
// (NIMBRA_ARTEFACTS, else <build>/artefacts). Created on first use.
QString artefactDir();

// Saves an image under the artefact folder as <name>.png and returns its path.
QString saveArtefact(const QImage& image, const QString& name);

// Runs the event loop until `condition` holds or `timeoutMs` passes; true when it held.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

// The PNG bytes of a `width` × `height` image filled with `colour`.
QByteArray pngBytes(int width, int height, const QColor& colour);

// The shell's alerts ("NimbraAlert" message boxes) that are on screen, oldest first.
QList<QMessageBox*> shownAlerts();

// The absolute path of a file in the source tree.
QString sourcePath(const QString& relative);

// ctest runs test cases as parallel processes; cases that share one thing of the harness (the
// pointer, a well-known bus name) take turns through an exclusive lock on `name` in the
// harness's folder, held for the lifetime of this object.
class HarnessLock {
public:
    explicit HarnessLock(const QString& name);
    ~HarnessLock();
    HarnessLock(const HarnessLock&) = delete;
    HarnessLock& operator=(const HarnessLock&) = delete;

private:
    int m_fd = -1;
};

} // namespace nimbra::test
