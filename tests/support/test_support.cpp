#include "support/test_support.h"

// The benchmarks count the pool's switches the same way; not every benchmark links these
// helpers, so the count lives with them.
#include "../../bench/wakeups.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMessageBox>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbra::test {

QString artefactDir()
{
    QString dir = qEnvironmentVariable("NIMBRA_ARTEFACTS");
    if (dir.isEmpty())
        dir = QStringLiteral(NIMBRA_BINARY_DIR) + "/artefacts";
    QDir().mkpath(dir);
    return dir;
}

QString saveArtefact(const QImage& image, const QString& name)
{
    const QString path = artefactDir() + "/" + name + ".png";
    image.save(path);
    return path;
}

long pooledThreadSwitches()
{
    return bench::poolSwitches().switches;
}

bool makeFifo(const QString& path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

char processState(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return '\0';
    // The name in brackets may hold anything, brackets too; the state follows the last one.
    const QByteArray line = stat.readAll();
    const qsizetype end = line.lastIndexOf(')');
    return end < 0 || end + 2 >= line.size() ? '\0' : line.at(end + 2);
}

QList<QMessageBox*> shownAlerts()
{
    QList<QMessageBox*> shown;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->objectName() == QStringLiteral("NimbraAlert") && box->isVisible())
            shown.append(box);
    }
    return shown;
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    // Qt's own wait: it hands every event to its receiver between looks at the condition.
    return QTest::qWaitFor(condition, timeoutMs);
}

QByteArray pngBytes(int width, int height, const QColor& colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QString sourcePath(const QString& relative)
{
    return QStringLiteral(NIMBRA_SOURCE_DIR) + "/" + relative;
}

HarnessLock::HarnessLock(const QString& name)
{
    const QString folder = qEnvironmentVariable("NIMBRA_HARNESS_ROOT", QDir::tempPath());
    m_fd = ::open(QFile::encodeName(folder + QLatin1Char('/') + name).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd >= 0)
        ::flock(m_fd, LOCK_EX);
}

HarnessLock::~HarnessLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

namespace {

// Each suite, and whether its harness runs a compositor.
std::map<std::string, bool>& ownHarnessSuites()
{
    static std::map<std::string, bool> suites;
    return suites;
}

} // namespace

bool runInOwnHarness(const char* suite, bool withCompositor)
{
    ownHarnessSuites()[suite] = withCompositor;
    return true;
}

void enterOwnHarnessWhenAsked(const std::vector<std::string>& arguments, const std::string& filter)
{
    constexpr const char* inside = "NIMBRA_OWN_HARNESS";
    if (std::getenv(inside) || arguments.empty())
        return;
    // "Suite.Case" or "Suite.*"; lists, patterns of suites and negative filters run where they are.
    const std::string::size_type dot = filter.find('.');
    if (dot == std::string::npos || filter.find_first_of(":-") != std::string::npos
        || !ownHarnessSuites().count(filter.substr(0, dot)))
        return;
    ::setenv(inside, "1", 1);
    if (!ownHarnessSuites().at(filter.substr(0, dot)))
        ::setenv("NIMBRA_HARNESS_COMPOSITOR", "none", 1);
    const std::string harness = NIMBRA_SOURCE_DIR "/tests/support/harness.sh";
    std::vector<char*> argv { const_cast<char*>(harness.c_str()) };
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(harness.c_str(), argv.data());
    std::perror("cannot start a harness of the test's own");
    std::exit(1);
}

void takeChildrenAlongOnDeath()
{
    // A process that leads its group already was started by a shell, which ends its jobs itself.
    if (::getpgrp() == ::getpid() || ::setpgid(0, 0) != 0)
        return;
    // A watcher, started before anything else, holds the read end of a pipe whose write end only
    // this process has: however this process ends (a sanitizer's report exits on the spot), the
    // pipe closes, and the watcher ends the group with everything the test started.
    int alive[2];
    if (::pipe2(alive, O_CLOEXEC) != 0)
        return;
    const pid_t watcher = ::fork();
    if (watcher == 0) {
        ::close(alive[1]);
        // Nothing of the test runner's, its output pipe least of all, stays open here.
        const int null = ::open("/dev/null", O_RDWR);
        for (int fd = 0; fd < 3; ++fd)
            ::dup2(null, fd);
        for (int fd = 3; fd < 1024; ++fd) {
            if (fd != alive[0])
                ::close(fd);
        }
        char byte;
        while (::read(alive[0], &byte, 1) < 0 && errno == EINTR) { }
        ::kill(0, SIGKILL);
        ::_exit(0);
    }
    ::close(alive[0]);
}

} // namespace nimbra::test
