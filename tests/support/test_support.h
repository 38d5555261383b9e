#pragma once

#include <QString>
#include <functional>

class QImage;

namespace nimbra::test {

// Folder for images and logs a test run leaves behind for people to look at
// (NIMBRA_ARTEFACTS, else <build>/artefacts). Created on first use.
QString artefactDir();

// Saves an image under the artefact folder as <name>.png and returns its path.
QString saveArtefact(const QImage& image, const QString& name);

// Runs the event loop until `condition` holds or `timeoutMs` passes; true when it held.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

// The absolute path of a file in the source tree.
QString sourcePath(const QString& relative);

} // namespace nimbra::test
