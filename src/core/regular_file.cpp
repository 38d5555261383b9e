#include "core/regular_file.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbra {

RegularFileOpening openRegularFile(const QString& path)
{
    RegularFileOpening opening;
    // O_NONBLOCK: a FIFO without a writer would otherwise hold the open for ever; O_NOCTTY: a
    // terminal never becomes ours.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        // A file where a folder of the path belongs (ENOTDIR) leaves no room for ours either.
        const bool missing = errno == ENOENT || errno == ENOTDIR;
        opening.outcome = missing ? RegularFileRead::Outcome::missing : RegularFileRead::Outcome::failed;
        opening.error = QString::fromLocal8Bit(std::strerror(errno));
        return opening;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        opening.outcome = RegularFileRead::Outcome::notRegular;
        return opening;
    }
    opening.outcome = RegularFileRead::Outcome::read;
    opening.fd = fd;
    opening.size = qint64(info.st_size);
    return opening;
}

RegularFileRead readRegularFile(const QString& path, qint64 limit)
{
    RegularFileRead result;
    const RegularFileOpening opening = openRegularFile(path);
    result.outcome = opening.outcome;
    result.error = opening.error;
    if (opening.fd < 0)
        return result;
    const int fd = opening.fd;
    // One byte past the limit tells a file that grew since fstat.
    QByteArray bytes;
    result.outcome = RegularFileRead::Outcome::read;
    while (bytes.size() <= limit) {
        const qsizetype at = bytes.size();
        const qsizetype chunk = qsizetype(std::min<qint64>(64 * 1024, limit + 1 - at));
        bytes.resize(at + chunk);
        const ssize_t got = ::read(fd, bytes.data() + at, std::size_t(chunk));
        if (got < 0 && errno == EINTR) {
            bytes.resize(at);
            continue;
        }
        if (got < 0) {
            result.outcome = RegularFileRead::Outcome::failed;
            result.error = QString::fromLocal8Bit(std::strerror(errno));
            bytes.clear();
            break;
        }
        bytes.resize(at + got);
        if (got == 0)
            break;
    }
    ::close(fd);
    if (result.outcome == RegularFileRead::Outcome::read && bytes.size() > limit) {
        result.outcome = RegularFileRead::Outcome::tooLarge;
        bytes.clear();
    }
    result.bytes = std::move(bytes);
    return result;
}

} // namespace nimbra
