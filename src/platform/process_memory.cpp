#include "platform/process_memory.h"

#include <QByteArray>
#include <QFile>

#include <malloc.h>

namespace nimbra {

std::optional<ResidentMemory> residentMemory()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return std::nullopt;
    const auto kilobytes = [](const QByteArray& line, qsizetype label) {
        return line.mid(label).trimmed().split(' ').value(0).toLong();
    };
    ResidentMemory memory;
    bool seen = false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("RssAnon:")) {
            memory.privateKilobytes = kilobytes(line, 8);
            seen = true;
        } else if (line.startsWith("RssFile:")) {
            memory.fileKilobytes = kilobytes(line, 8);
        }
    }
    return seen ? std::optional<ResidentMemory>(memory) : std::nullopt;
}

void releaseFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

} // namespace nimbra
