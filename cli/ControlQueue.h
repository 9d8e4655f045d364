#pragma once
// What reaches the console program's main loop from its other threads: the
// commands read from standard input, and a request to end (a signal).

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

#include "cli/Command.h"

struct EndRequest {
    std::string reason;  // what asked for the end, for the summary
};

class LinkControl;

// Work for the main loop from another thread (the control API), done there
// with the link's control, in turn with the commands.
struct ControlCall {
    std::function<void(LinkControl& control)> work;
};

class ScenarioPlayer;

// What a call that starts or stops a scenario works on, on the main loop:
// the link's control, the scenario that runs (null for none) and the time
// on the steady clock.
struct ScenarioSlot {
    LinkControl& control;
    std::unique_ptr<ScenarioPlayer>& player;
    std::chrono::nanoseconds now;
};

struct ScenarioCall {
    std::function<void(ScenarioSlot& slot)> work;
};

using ControlEvent = std::variant<CommandParse, EndRequest, ControlCall, ScenarioCall>;

class ControlQueue {
public:
    // Any thread. A command waits while kMostWaiting events wait already
    // (standard input is then read no further); a request to end never waits.
    void Push(ControlEvent event)
    {
        {
            std::unique_lock lock(m_mutex);
            if (!std::holds_alternative<EndRequest>(event))
                m_taken.wait(lock, [this] { return m_events.size() < kMostWaiting; });
            m_events.push_back(std::move(event));
        }
        m_changed.notify_one();
    }

    static constexpr size_t kMostWaiting = 256;

    size_t Size()
    {
        std::lock_guard lock(m_mutex);
        return m_events.size();
    }

    // The next event, or nothing once the deadline has passed.
    std::optional<ControlEvent> WaitUntil(std::chrono::steady_clock::time_point deadline)
    {
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait_until(lock, deadline, [this] { return !m_events.empty(); }))
            return std::nullopt;
        ControlEvent event = std::move(m_events.front());
        m_events.pop_front();
        m_taken.notify_all();
        return event;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::condition_variable m_taken;
    std::deque<ControlEvent> m_events;
};
