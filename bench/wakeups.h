#pragma once

// Counting a benchmark's own wake-ups: each timer expiry or event that wakes a sleeping event
// loop is one voluntary context switch of the main thread.
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <sys/syscall.h>
#include <unistd.h>

namespace nimbra::bench {

// The calling thread's voluntary context switches so far; -1 when they cannot be read.
inline long voluntarySwitches()
{
    QFile status(QStringLiteral("/proc/self/task/%1/status").arg(long(::syscall(SYS_gettid))));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("voluntary_ctxt_switches:"))
            return line.mid(line.indexOf(':') + 1).trimmed().toLong();
    return -1;
}

// Runs the event loop for `seconds`.
inline void runFor(double seconds)
{
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop for `seconds` and returns the wake-ups per second, less the one that
// ends the run.
inline double wakeupsPerSecond(double seconds)
{
    const long before = voluntarySwitches();
    runFor(seconds);
    return (voluntarySwitches() - before - 1) / seconds;
}

} // namespace nimbra::bench
