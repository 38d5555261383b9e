#pragma once

// Counting a benchmark's own wake-ups: each timer expiry or event that wakes a sleeping event
// loop is one voluntary context switch of the main thread.
#include <QDir>
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

// The context switches of Qt's pooled worker threads so far, voluntary and not, and how many
// such threads there are. Qt's raster engine hands large fills to its global pool and waits.
struct PoolSwitches {
    long switches = 0;
    int threads = 0;
};
inline PoolSwitches poolSwitches()
{
    PoolSwitches total;
    for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (!comm.open(QIODevice::ReadOnly) || !comm.readAll().startsWith("Thread (pooled)"))
            continue;
        QFile status(QStringLiteral("/proc/self/task/%1/status").arg(task));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        ++total.threads;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:"))
                total.switches += line.mid(line.indexOf(':') + 1).trimmed().toLong();
    }
    return total;
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
