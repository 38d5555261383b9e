#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace nimbra {

// Bounds how long quitting may take. Once armed, a thread of its own waits out the limit and,
// unless the run has ended by then, says so in one line on standard error and ends the process
// at once: a worker stuck on outside I/O (a file that never answers, a peer that never replies)
// or a pool that waits for one cannot hold the quit. Arm it after what must reach the disk has
// been written.
class QuitDeadline {
public:
    explicit QuitDeadline(std::chrono::milliseconds limit);
    // The run ended in time: the thread stops without ending anything.
    ~QuitDeadline();
    QuitDeadline(const QuitDeadline&) = delete;
    QuitDeadline& operator=(const QuitDeadline&) = delete;

    // Starts the countdown; later calls change nothing.
    void arm();
    // The status the process ends with if the limit is reached.
    void setExitStatus(int status) { m_status = status; }
    std::chrono::milliseconds limit() const { return m_limit; }

private:
    void wait();

    const std::chrono::milliseconds m_limit;
    std::atomic<int> m_status { 0 };
    std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_done = false;
    std::thread m_thread;
};

} // namespace nimbra
