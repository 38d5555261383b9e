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
        m_workers[std::this_thread::get_id()] = std::nullopt;
    }
    t_census = this;
    work();
    t_census = nullptr;
    {
        const std::lock_guard lock(m_mutex);
        m_workers.erase(std::this_thread::get_id());
    }
    m_changed.notify_all();
}

int WorkerCensus::running() const
{
    const std::lock_guard lock(m_mutex);
    return int(m_workers.size());
}

void WorkerCensus::enterWait()
{
    const std::lock_guard lock(m_mutex);
    m_workers[std::this_thread::get_id()] = m_clock.elapsed();
}

void WorkerCensus::leaveWait()
{
    const std::lock_guard lock(m_mutex);
    m_workers[std::this_thread::get_id()] = std::nullopt;
}

bool WorkerCensus::onlyStuckLeft() const
{
    const qint64 now = m_clock.isValid() ? m_clock.elapsed() : 0;
    return std::all_of(m_workers.cbegin(), m_workers.cend(),
        [&](const auto& worker) { return worker.second && now - *worker.second >= stuckMs; });
}

bool WorkerCensus::settle(QDeadlineTimer deadline)
{
    std::unique_lock lock(m_mutex);
    while (!m_workers.empty() && !onlyStuckLeft() && !deadline.hasExpired()) {
        // A worker leaving wakes this at once; one waiting on the file system is looked at
        // again when it would count as stuck.
        qint64 next = deadline.isForever() ? stuckMs : deadline.remainingTime();
        for (const auto& worker : m_workers) {
            if (worker.second)
                next = std::min(next, std::max<qint64>(1, *worker.second + stuckMs - m_clock.elapsed()));
        }
        m_changed.wait_for(lock, std::chrono::milliseconds(std::max<qint64>(1, next)));
    }
    return m_workers.empty();
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
