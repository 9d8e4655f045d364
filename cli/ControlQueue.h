#pragma once
// What reaches the console program's main loop from its other threads: the
// commands read from standard input, and a request to end (a signal).

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

#include "cli/Command.h"

struct EndRequest {
    std::string reason;  // what asked for the end, for the summary
};

using ControlEvent = std::variant<CommandParse, EndRequest>;

class ControlQueue {
public:
    // Any thread.
    void Push(ControlEvent event)
    {
        {
            std::lock_guard lock(m_mutex);
            m_events.push_back(std::move(event));
        }
        m_changed.notify_one();
    }

    // The next event, or nothing once the deadline has passed.
    std::optional<ControlEvent> WaitUntil(std::chrono::steady_clock::time_point deadline)
    {
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait_until(lock, deadline, [this] { return !m_events.empty(); }))
            return std::nullopt;
        ControlEvent event = std::move(m_events.front());
        m_events.pop_front();
        return event;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<ControlEvent> m_events;
};
