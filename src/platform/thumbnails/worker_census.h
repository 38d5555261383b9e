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
// that stopped answering): that one is left behind.
class WorkerCensus {
public:
    // How long a worker must have waited in one call before it counts as stuck.
    static constexpr int stuckMs = 250;

    // Runs `work` on the calling thread, counted as one worker.
    void run(const std::function<void()>& work);
    // Waits until no worker is left, or every one left is stuck in the file system, or the
    // deadline passed; true when none is left.
    bool settle(QDeadlineTimer deadline);
    int running() const;

private:
    friend class OutsideWait;
    void enterWait();
    void leaveWait();
    bool onlyStuckLeft() const;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    QElapsedTimer m_clock;
    // Every worker at work, with when its current wait on the file system began.
    std::unordered_map<std::thread::id, std::optional<qint64>> m_workers;
};

// For its lifetime, the calling worker waits on the file system (an open, stat or read of an
// outside file). Does nothing on a thread that is no counted worker.
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
