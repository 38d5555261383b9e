#include "platform/quit_deadline.h"

#include <cstdio>
#include <unistd.h>

namespace nimbra {

QuitDeadline::QuitDeadline(std::chrono::milliseconds limit)
    : m_limit(limit)
{
}

QuitDeadline::~QuitDeadline()
{
    {
        std::lock_guard lock(m_mutex);
        m_done = true;
    }
    m_ended.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void QuitDeadline::arm()
{
    if (m_thread.joinable())
        return;
    m_thread = std::thread([this] { wait(); });
}

void QuitDeadline::wait()
{
    std::unique_lock lock(m_mutex);
    if (m_ended.wait_for(lock, m_limit, [this] { return m_done; }))
        return;
    char line[96];
    const int length = std::snprintf(
        line, sizeof line, "nimbra: quitting took longer than %lld ms; ending now\n", (long long)m_limit.count());
    [[maybe_unused]] auto written = ::write(STDERR_FILENO, line, size_t(length));
    // Nothing more may run: destructors and exit handlers are what is stuck.
    ::_exit(m_status.load());
}

} // namespace nimbra
