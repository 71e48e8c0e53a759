// Cuts connections whose request has not arrived in time. A server's own time-outs count the
// time without a byte; a client that sends one byte every few seconds would keep a connection,
// and the thread that reads it, for as long as it likes. Here each request, its line, headers and
// body, must have arrived within a fixed time of the connection's start or of the previous answer.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace ca {

class RequestDeadlines {
public:
    using Clock = std::chrono::steady_clock;

    explicit RequestDeadlines(Clock::duration limit);
    ~RequestDeadlines();
    RequestDeadlines(const RequestDeadlines&) = delete;
    RequestDeadlines& operator=(const RequestDeadlines&) = delete;

    // A connection on `socket` opened: its first request is due within the limit. `connection`
    // names it in the calls that follow.
    void opened(const void* connection, int socket);
    // Its request has arrived: no deadline while it is answered.
    void arrived(const void* connection);
    // Its answer went out: the next request is due within the limit.
    void answered(const void* connection);
    void closed(const void* connection);

private:
    struct Watched {
        // A descriptor of our own for the socket: the connection's may be closed, and its number
        // reused, before closed() is called.
        int socket;
        std::optional<Clock::time_point> due;
    };

    void watch();
    void setDue(const void* connection, std::optional<Clock::time_point> due);

    const Clock::duration m_limit;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<const void*, Watched> m_watched;
    bool m_stopping = false;
    std::thread m_watcher;
};

}  // namespace ca
