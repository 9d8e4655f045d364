#pragma once
// Where the link engine reads the time: the steady clock, or a fake in the
// tests. Times are nanoseconds since the clock's own epoch.

#include <chrono>

using LinkTime = std::chrono::nanoseconds;

class LinkClock {
public:
    virtual LinkTime Now() const = 0;

protected:
    ~LinkClock() = default;
};

class SteadyLinkClock final : public LinkClock {
public:
    LinkTime Now() const override { return std::chrono::steady_clock::now().time_since_epoch(); }
};
