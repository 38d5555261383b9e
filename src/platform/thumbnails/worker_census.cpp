#include "platform/thumbnails/worker_census.h"

#include <algorithm>

namespace nimbra {

namespace {
thread_local WorkerCensus* t_census = nullptr;
}

void WorkerCensus::run(const std::function<void()>& work)
{
    {
        const std::lock_guard lock(m_mutex);
        if (!m_clock.isValid())
            m_clock.start();
        m_workers[std::this_thread::get_id()] = Worker {};
    }
    t_census = this;
    work();
    t_census = nullptr;
    std::unique_lock lock(m_mutex);
    // Left behind: the pool it would return to may be going with the process.
    if (m_leftBehind)
        stopForGood(lock);
    m_workers.erase(std::this_thread::get_id());
    lock.unlock();
    m_changed.notify_all();
}

int WorkerCensus::running() const
{
    const std::lock_guard lock(m_mutex);
    return int(m_workers.size());
}

int WorkerCensus::atWork() const
{
    const std::lock_guard lock(m_mutex);
    return int(std::count_if(m_workers.cbegin(), m_workers.cend(),
        [](const auto& worker) { return !worker.second.waitingSince && !worker.second.stopped; }));
}

int WorkerCensus::stoppedForGood() const
{
    const std::lock_guard lock(m_mutex);
    return int(std::count_if(
        m_workers.cbegin(), m_workers.cend(), [](const auto& worker) { return worker.second.stopped; }));
}

void WorkerCensus::enterWait()
{
    std::unique_lock lock(m_mutex);
    if (m_leftBehind)
        stopForGood(lock);
    m_workers[std::this_thread::get_id()].waitingSince = m_clock.elapsed();
}

void WorkerCensus::leaveWait()
{
    std::unique_lock lock(m_mutex);
    if (m_leftBehind)
        stopForGood(lock);
    m_workers[std::this_thread::get_id()].waitingSince.reset();
    lock.unlock();
    // One that had counted as stuck is at work again.
    m_changed.notify_all();
}

void WorkerCensus::stopForGood(std::unique_lock<std::mutex>& lock)
{
    m_workers[std::this_thread::get_id()].stopped = true;
    m_changed.notify_all();
    m_never.wait(lock, [] { return false; });
    std::terminate();
}

bool WorkerCensus::onlyStuckLeft() const
{
    const qint64 now = m_clock.isValid() ? m_clock.elapsed() : 0;
    return std::all_of(m_workers.cbegin(), m_workers.cend(), [&](const auto& worker) {
        return worker.second.stopped || (worker.second.waitingSince && now - *worker.second.waitingSince >= stuckMs);
    });
}

bool WorkerCensus::waitFor(std::unique_lock<std::mutex>& lock, QDeadlineTimer deadline)
{
    while (!m_workers.empty() && !onlyStuckLeft() && !deadline.hasExpired()) {
        // A worker leaving wakes this at once; one waiting on the file system is looked at
        // again when it would count as stuck.
        qint64 next = deadline.isForever() ? stuckMs : deadline.remainingTime();
        for (const auto& worker : m_workers) {
            if (worker.second.waitingSince)
                next = std::min(next, std::max<qint64>(1, *worker.second.waitingSince + stuckMs - m_clock.elapsed()));
        }
        m_changed.wait_for(lock, std::chrono::milliseconds(std::max<qint64>(1, next)));
    }
    return m_workers.empty();
}

bool WorkerCensus::settle(QDeadlineTimer deadline)
{
    std::unique_lock lock(m_mutex);
    return waitFor(lock, deadline);
}

bool WorkerCensus::settleOrLeaveBehind(QDeadlineTimer deadline)
{
    std::unique_lock lock(m_mutex);
    if (waitFor(lock, deadline))
        return true;
    // Under the same lock as the judgement: a stuck worker whose wait ends now stops there.
    m_leftBehind = true;
    return false;
}

OutsideWait::OutsideWait()
    : m_census(t_census)
{
    if (m_census)
        m_census->enterWait();
}

OutsideWait::~OutsideWait()
{
    if (m_census)
        m_census->leaveWait();
}

} // namespace nimbra
