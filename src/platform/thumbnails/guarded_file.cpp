#include "platform/thumbnails/guarded_file.h"

#include "platform/thumbnails/worker_census.h"

#include "core/regular_file.h"

#include <QFile>
#include <algorithm>
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
    RegularFileOpening opening;
    {
        // A FIFO put in the file's place since it was looked at does not wait for a writer.
        const OutsideWait waiting;
        opening = openRegularFile(m_path);
    }
    if (opening.fd < 0) {
        setErrorString(opening.outcome == RegularFileRead::Outcome::notRegular ? QStringLiteral("not a regular file")
                                                                                : opening.error);
        return false;
    }
    m_fd = opening.fd;
    m_fileSize = opening.size;
    return QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

void GuardedFile::close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_loaded.clear();
    if (isOpen())
        QIODevice::close();
}

bool GuardedFile::load(qint64 bytes)
{
    if (m_fd < 0)
        return false;
    const qint64 wanted = std::clamp<qint64>(bytes, 0, m_fileSize);
    if (wanted > m_loaded.size())
        m_loaded.reserve(wanted);
    while (m_loaded.size() < wanted) {
        if (m_limit.reached()) {
            setErrorString(QStringLiteral("gave up reading"));
            return false;
        }
        const qint64 offset = m_loaded.size();
        const qint64 piece = std::min(wanted - offset, kPiece);
        m_loaded.resize(offset + piece);
        ssize_t n = -1;
        int error = 0;
        {
            const OutsideWait waiting;
            do
                n = ::pread(m_fd, m_loaded.data() + offset, size_t(piece), off_t(offset));
            while (n < 0 && errno == EINTR);
            error = errno;
        }
        if (n <= 0) {
            // An error, or the file is shorter now than it was.
            m_loaded.resize(offset);
            if (n < 0)
                setErrorString(QString::fromLocal8Bit(strerror(error)));
            return n == 0;
        }
        m_loaded.resize(offset + n);
    }
    return true;
}

qint64 GuardedFile::readData(char* data, qint64 maxSize)
{
    if (m_fd < 0)
        return -1;
    if (m_limit.reached()) {
        setErrorString(QStringLiteral("gave up reading"));
        return -1;
    }
    const qint64 from = std::min(pos(), qint64(m_loaded.size()));
    const qint64 n = std::min(maxSize, m_loaded.size() - from);
    std::memcpy(data, m_loaded.constData() + from, size_t(n));
    return n;
}

} // namespace nimbra
