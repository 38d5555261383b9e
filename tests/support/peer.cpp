#include "support/peer.h"

#include "support/test_support.h"

namespace nimbra::test {

Peer::Peer(const QString& program, const QStringList& arguments)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
}

Peer::~Peer()
{
    process.kill();
    process.waitForFinished(3000);
}

bool Peer::has(const char* line)
{
    output += process.readAllStandardOutput();
    return output.contains(line);
}

bool Peer::said(const char* line, int timeoutMs)
{
    return waitUntil([&] { return has(line); }, timeoutMs);
}

int Peer::count(const char* prefix)
{
    output += process.readAllStandardOutput();
    int n = 0;
    for (const QByteArray& line : output.split('\n'))
        n += line.startsWith(prefix) ? 1 : 0;
    return n;
}

} // namespace nimbra::test
