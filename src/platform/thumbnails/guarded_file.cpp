#include "platform/thumbnails/guarded_file.h"

#include "platform/thumbnails/worker_census.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbra {

namespace {
// Reads are cut into pieces this large, so that the limit is looked at between them.
constexpr qint64 kPiece = 256 * 1024;
} // namespace

FileKind fileKind(const QString& path)
{
    const OutsideWait waiting;
    struct stat info { };
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return FileKind::missing;
    if (S_ISREG(info.st_mode))
        return FileKind::regular;
    if (S_ISDIR(info.st_mode))
        return FileKind::directory;
    return FileKind::special;
}

GuardedFile::GuardedFile(const QString& path, ReadLimit limit)
    : m_path(path)
    , m_limit(limit)
{
}

GuardedFile::~GuardedFile()
{
    close();
}

bool GuardedFile::openRegular()
{
    close();
    if (m_limit.reached()) {
        setErrorString(QStringLiteral("gave up before opening"));
        return false;
    }
    const OutsideWait waiting;
    // O_NONBLOCK: a FIFO put in the file's place since it was looked at does not wait for a
    // writer; O_NOCTTY: a terminal never becomes ours.
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        setErrorString(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        setErrorString(QStringLiteral("not a regular file"));
        return false;
    }
    m_fd = fd;
    m_size = qint64(info.st_size);
    return QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

void GuardedFile::close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (isOpen())
        QIODevice::close();
}

qint64 GuardedFile::readData(char* data, qint64 maxSize)
{
    if (m_fd < 0)
        return -1;
    if (m_limit.reached()) {
        setErrorString(QStringLiteral("gave up reading"));
        return -1;
    }
    const OutsideWait waiting;
    for (;;) {
        const ssize_t n = ::pread(m_fd, data, size_t(std::min(maxSize, kPiece)), off_t(pos()));
        if (n >= 0)
            return qint64(n);
        if (errno != EINTR)
            return -1;
    }
}

} // namespace nimbra
