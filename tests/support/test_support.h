#pragma once

#include <QList>
#include <QtGlobal>
#include <QString>
#include <functional>
#include <string>
#include <vector>

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

// Runs the event loop until `condition` holds or `timeoutMs` passes; true when it held. The
// default deadline is generous: CI runs every test at once on a loaded machine.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 15000);

// The PNG bytes of a `width` × `height` image filled with `colour`.
QByteArray pngBytes(int width, int height, const QColor& colour);

// Context switches so far of Qt's pooled worker threads ("Thread (pooled)"), voluntary and not.
// Qt's raster engine hands large translucent and gradient fills to its global pool and waits.
long pooledThreadSwitches();

// Makes a FIFO at `path` (which nobody writes to until a test does); true when it was made.
bool makeFifo(const QString& path);

// The state letter /proc gives process `pid` ('R', 'S', 'Z', …); '\0' when there is no such
// process.
char processState(qint64 pid);

// The shell's alerts ("NimbraAlert" message boxes) that are on screen, oldest first.
QList<QMessageBox*> shownAlerts();

// The absolute path of a file in the source tree.
QString sourcePath(const QString& relative);

// ctest runs test cases as parallel processes; cases that share one thing of the harness (a
// well-known bus name, the portal) take turns through an exclusive lock on `name` in the
// harness's folder, held for the lifetime of this object. Cases that move the pointer, take the
// keyboard, own the clipboard, dock into the tray or change the screens run in a harness of
// their own instead (NIMBRA_OWN_HARNESS below): a lock cannot hold back the tests that never
// take it.
class HarnessLock {
public:
    explicit HarnessLock(const QString& name);
    ~HarnessLock();
    HarnessLock(const HarnessLock&) = delete;
    HarnessLock& operator=(const HarnessLock&) = delete;

private:
    int m_fd = -1;
};

// Each case of the suites registered with NIMBRA_OWN_HARNESS(Suite) runs inside a harness of
// its own (tests/support/harness.sh: Xvfb with openbox and xcompmgr, session and "system"
// buses, PulseAudio), which no other test shares. The test's main() calls
// enterOwnHarnessWhenAsked() before it connects to a display: when the gtest filter names one
// case or all cases of such a suite (as ctest does), the process starts again inside a new
// harness; otherwise it returns. Suites registered with
// NIMBRA_OWN_HARNESS_WITHOUT_COMPOSITOR(Suite) get one without xcompmgr, as many desktops run.
bool runInOwnHarness(const char* suite, bool withCompositor = true);
void enterOwnHarnessWhenAsked(const std::vector<std::string>& arguments, const std::string& filter);

// A test process that ends, however it ends (a sanitizer's report, abort(), a fault, a
// timeout's kill), takes every process it started along: peers, private servers and Nimbra
// processes left behind would hold the test runner's output pipe and the harness's locks, and
// keep acting on the harness's X server and buses while the next tests run. Called by main()
// before anything is started; the test process leads a process group of its own from then on.
void takeChildrenAlongOnDeath();

} // namespace nimbra::test

#define NIMBRA_OWN_HARNESS(suite)                                                                                      \
    [[maybe_unused]] static const bool nimbraOwnHarness_##suite = nimbra::test::runInOwnHarness(#suite)
#define NIMBRA_OWN_HARNESS_WITHOUT_COMPOSITOR(suite)                                                                   \
    [[maybe_unused]] static const bool nimbraOwnHarness_##suite = nimbra::test::runInOwnHarness(#suite, false)
