#include "core/uptime.h"

#include <QFile>
#include <cmath>
#include <ctime>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef CLONE_NEWTIME
#define CLONE_NEWTIME 0x00000080
#endif

namespace {
double clockSeconds(clockid_t clock)
{
    timespec ts {};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

constexpr int kNoTimeNamespace = 77;
constexpr double kHourAsleep = 3600;

bool writeFile(const char* path, const QByteArray& text)
{
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

// Runs in a child process: enters a time namespace whose boot clock runs an hour ahead of the
// monotonic one, as an hour of suspend leaves them, and exits 0 when a process started in it
// reads the timers' clock that much further ahead of uptime() than `gapOutside`.
int readAfterAnHourAsleep(double gapOutside)
{
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWTIME) != 0)
        return kNoTimeNamespace;
    writeFile("/proc/self/setgroups", "deny");
    writeFile("/proc/self/uid_map", QByteArray("0 ") + QByteArray::number(uid) + " 1");
    writeFile("/proc/self/gid_map", QByteArray("0 ") + QByteArray::number(gid) + " 1");
    if (!writeFile("/proc/self/timens_offsets", QByteArray("boottime ") + QByteArray::number(kHourAsleep) + " 0"))
        return kNoTimeNamespace;
    // Only processes started after the offsets are set live in the namespace.
    const pid_t inside = fork();
    if (inside == 0) {
        const double gap = nimbra::uptimeWithSleep() - nimbra::uptime();
        _exit(std::abs(gap - gapOutside - kHourAsleep) < 1 ? 0 : 1);
    }
    int status = 0;
    return inside > 0 && waitpid(inside, &status, 0) == inside && WIFEXITED(status) ? WEXITSTATUS(status) : 2;
}
} // namespace

// Seconds of the monotonic clock, which is what every rule's `now` and the diagnostics stamps
// are compared in: not milliseconds, not wall-clock time.
TEST(Uptime, IsTheMonotonicClockInSeconds)
{
    const double before = clockSeconds(CLOCK_MONOTONIC);
    const double reading = nimbra::uptime();
    const double after = clockSeconds(CLOCK_MONOTONIC);
    EXPECT_GE(reading, before);
    EXPECT_LE(reading, after);
}

// A user's timers read the boot clock, which a suspend moves ahead of the monotonic one.
TEST(Uptime, TheTimersClockCountsTimeAsleep)
{
    const double before = clockSeconds(CLOCK_BOOTTIME);
    const double reading = nimbra::uptimeWithSleep();
    const double after = clockSeconds(CLOCK_BOOTTIME);
    EXPECT_GE(reading, before);
    EXPECT_LE(reading, after);

    const double gapOutside = nimbra::uptimeWithSleep() - nimbra::uptime();
    const pid_t child = fork();
    if (child == 0)
        _exit(readAfterAnHourAsleep(gapOutside));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == kNoTimeNamespace)
        GTEST_SKIP() << "this kernel lets no unprivileged process into a time namespace";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "an hour asleep is missing from the timers' clock";
}
