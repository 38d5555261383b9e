// The volume code's wake-ups with no sound server at all, counted as the main thread's
// voluntary context switches. Its socket's folder is watched, so it should sleep; only a server
// it cannot watch for (one over the network) is tried on a clock (every 5 s), shown beside it.
// Usage: sound_server_gone_bench [SECONDS]
#include "platform/pulse/pulse_volume.h"
#include "wakeups.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdio>

using namespace nimbra;
using nimbra::bench::runFor;
using nimbra::bench::wakeupsPerSecond;

namespace {

const char* retryName(PulseVolume::Retry retry)
{
    switch (retry) {
    case PulseVolume::Retry::none:
        return "connected";
    case PulseVolume::Retry::onSocket:
        return "on its socket's folder";
    case PulseVolume::Retry::onTimer:
        return "on a clock";
    }
    return "?";
}

void measure(const char* what, const QString& server, double seconds)
{
    PulseVolume volume(server);
    runFor(0.5); // the first attempt fails and settles
    const double rate = wakeupsPerSecond(seconds);
    std::printf(
        "volume with %s: %.2f wake-ups/s over %.0f s (waits %s)\n", what, rate, seconds, retryName(volume.retry()));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::max(1.0, QByteArray(argv[1]).toDouble()) : 12.0;
    QTemporaryDir runtime;
    measure("no sound server", "unix:" + runtime.path() + "/pulse/native", seconds);
    // Nothing listens on the discard port.
    measure("a network server that is gone", "tcp:127.0.0.1:9", seconds);
    return 0;
}
