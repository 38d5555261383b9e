#include "support/test_support.h"

#include <QApplication>
#include <QBuffer>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMessageBox>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <set>
#include <sys/file.h>
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
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(10);
    }
    return true;
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

std::set<std::string>& ownHarnessSuites()
{
    static std::set<std::string> suites;
    return suites;
}

} // namespace

bool runInOwnHarness(const char* suite)
{
    ownHarnessSuites().insert(suite);
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
    const std::string harness = NIMBRA_SOURCE_DIR "/tests/support/harness.sh";
    std::vector<char*> argv { const_cast<char*>(harness.c_str()) };
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(harness.c_str(), argv.data());
    std::perror("cannot start a harness of the test's own");
    std::exit(1);
}

namespace {

// The sanitizers' runtime, when the tests are built with it.
extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

void endProcessGroup()
{
    // Every process of the group, this one last: kill() reaches the caller too.
    ::kill(0, SIGKILL);
}

void endProcessGroupOnSignal(int)
{
    endProcessGroup();
}

} // namespace

void takeChildrenAlongOnDeath()
{
    // Peers, private servers and the Nimbra processes a test starts inherit its process group.
    if (::getpgrp() != ::getpid() && ::setpgid(0, 0) != 0)
        return;
    if (__sanitizer_set_death_callback)
        __sanitizer_set_death_callback(endProcessGroup);
    // abort() (qFatal, a failed assertion) is no sanitizer's; faults are the sanitizers' when
    // they run and then reach the callback above.
    struct sigaction action = {};
    action.sa_handler = endProcessGroupOnSignal;
    action.sa_flags = SA_RESETHAND;
    ::sigaction(SIGABRT, &action, nullptr);
    if (!__sanitizer_set_death_callback) {
        for (const int fault : { SIGSEGV, SIGBUS, SIGFPE, SIGILL })
            ::sigaction(fault, &action, nullptr);
    }
}

} // namespace nimbra::test
