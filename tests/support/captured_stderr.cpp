#include "support/captured_stderr.h"

#include <sys/stat.h>
#include <unistd.h>

namespace nimbra::test {

CapturedStderr::CapturedStderr()
{
    if (!m_file)
        return;
    std::fflush(stderr);
    m_saved = ::dup(STDERR_FILENO);
    ::dup2(::fileno(m_file), STDERR_FILENO);
}

CapturedStderr::~CapturedStderr()
{
    release();
    if (m_file)
        std::fclose(m_file);
}

void CapturedStderr::release()
{
    if (m_saved < 0)
        return;
    std::fflush(stderr);
    ::dup2(m_saved, STDERR_FILENO);
    ::close(m_saved);
    m_saved = -1;
}

QByteArray CapturedStderr::text() const
{
    if (!m_file)
        return {};
    struct stat written { };
    ::fstat(::fileno(m_file), &written);
    QByteArray all(qsizetype(written.st_size), 0);
    const ssize_t read = ::pread(::fileno(m_file), all.data(), all.size(), 0);
    return all.left(qsizetype(read > 0 ? read : 0));
}

QList<QByteArray> CapturedStderr::lines(const QByteArray& containing) const
{
    QList<QByteArray> found;
    for (const QByteArray& line : text().split('\n'))
        if (line.contains(containing))
            found.append(line);
    return found;
}

} // namespace nimbra::test
