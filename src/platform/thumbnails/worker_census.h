#pragma once

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

namespace nimbra {

// Who of a pool's workers is still at work, and who of them waits on the file system for an
// outside file. Quitting waits for a called-off worker to leave (it leaves at its next read,
// and its other work is short), but never for one stuck in the file system (a network folder
// that stopped answering): that one is left behind. A worker left behind stops for good at its
// next step (its wait on the file system ending, or its work), so it never goes back into
// anything that may be gone by then: it touches nothing but this census again.
class WorkerCensus {
public:
    // How long a worker must have waited in one call before it counts as stuck.
    static constexpr int stuckMs = 250;

    // Runs `work` on the calling thread, counted as one worker.
    void run(const std::function<void()>& work);
    // Waits until no worker is left, or every one left is stuck in the file system, or the
    // deadline passed; true when none is left.
    bool settle(QDeadlineTimer deadline);
    // As settle(), and the workers still running then are left behind; true when none was.
    bool settleOrLeaveBehind(QDeadlineTimer deadline);
    int running() const;
    // Workers running that neither wait on the file system nor were stopped for good.
    int atWork() const;
    // Workers left behind that have stopped for good.
    int stoppedForGood() const;

private:
    friend class OutsideWait;
    struct Worker {
        // When its current wait on the file system began.
        std::optional<qint64> waitingSince;
        bool stopped = false;
    };
    void enterWait();
    void leaveWait();
    bool onlyStuckLeft() const;
    bool waitFor(std::unique_lock<std::mutex>& lock, QDeadlineTimer deadline);
    // Where a worker left behind stays: it waits for good, holding nothing.
    [[noreturn]] void stopForGood(std::unique_lock<std::mutex>& lock);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::condition_variable m_never;
    QElapsedTimer m_clock;
    bool m_leftBehind = false;
    // Every worker at work.
    std::unordered_map<std::thread::id, Worker> m_workers;
};

// For its lifetime, the calling worker waits on the file system (an open, stat or read of an
// outside file). Does nothing on a thread that is no counted worker. Used only in our own code
// with no lock held, never inside a call that Qt or a library makes back into us.
class OutsideWait {
public:
    OutsideWait();
    ~OutsideWait();
    OutsideWait(const OutsideWait&) = delete;
    OutsideWait& operator=(const OutsideWait&) = delete;

private:
    WorkerCensus* m_census;
};

} // namespace nimbra
