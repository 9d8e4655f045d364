#pragma once
// Text a reader thread collects from a pipe, with a bounded wait for a part of it.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

class CollectedText {
public:
    void Add(const char* bytes, size_t count)
    {
        {
            std::lock_guard lock(m_mutex);
            m_text.append(bytes, count);
        }
        m_changed.notify_all();
    }
    std::string Text() const
    {
        std::lock_guard lock(m_mutex);
        return m_text;
    }
    bool WaitFor(const std::string& part, std::chrono::milliseconds timeout) const
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_text.find(part) != std::string::npos; });
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::string m_text;
};
