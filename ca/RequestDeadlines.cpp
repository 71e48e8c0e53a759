#include "ca/RequestDeadlines.h"

#include <sys/socket.h>
#include <unistd.h>

namespace ca {
namespace {

// How often the deadlines are looked at: a late request is cut at most this much after its time.
constexpr std::chrono::milliseconds kTick{200};

}  // namespace

RequestDeadlines::RequestDeadlines(Clock::duration limit)
    : m_limit(limit), m_watcher([this] { watch(); }) {}

RequestDeadlines::~RequestDeadlines() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_watcher.join();
    for (const auto& [connection, watched] : m_watched) ::close(watched.socket);
}

void RequestDeadlines::opened(const void* connection, int socket) {
    const int own = ::dup(socket);
    // Without a descriptor of its own the connection is left to the server's idle time-out.
    if (own < 0) return;
    const std::lock_guard lock(m_mutex);
    m_watched[connection] = {own, Clock::now() + m_limit};
}

void RequestDeadlines::arrived(const void* connection) { setDue(connection, std::nullopt); }

void RequestDeadlines::answered(const void* connection) {
    setDue(connection, Clock::now() + m_limit);
}

void RequestDeadlines::setDue(const void* connection, std::optional<Clock::time_point> due) {
    const std::lock_guard lock(m_mutex);
    if (const auto found = m_watched.find(connection); found != m_watched.end())
        found->second.due = due;
}

void RequestDeadlines::closed(const void* connection) {
    const std::lock_guard lock(m_mutex);
    if (const auto found = m_watched.find(connection); found != m_watched.end()) {
        ::close(found->second.socket);
        m_watched.erase(found);
    }
}

void RequestDeadlines::watch() {
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, kTick, [this] { return m_stopping; })) {
        const Clock::time_point now = Clock::now();
        for (auto& [connection, watched] : m_watched)
            if (watched.due && *watched.due <= now) {
                // The reader sees the end of its stream and closes the connection as it would
                // for a client that went away.
                ::shutdown(watched.socket, SHUT_RDWR);
                watched.due.reset();
            }
    }
}

}  // namespace ca
