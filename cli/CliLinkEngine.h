#pragma once
// The link engine (link/) behind the console program: per-datagram delay,
// jitter, loss, rate, duplicates, reordering, sessions, from the options
// of the command line. Its settings lines and its per-datagram lines reach
// the two hosts Start gives.

#include <memory>

#include "cli/Engine.h"
#include "link/LinkClock.h"
#include "link/LinkOptions.h"
#include "relay/LogHost.h"

class LinkEngine;

class CliLinkEngine : public Engine {
public:
    // The options must have passed ValidateLinkOptions.
    explicit CliLinkEngine(const LinkOptions& options) : CliLinkEngine(options, m_steadyClock) {}
    // clock: where the engine reads the time (a fake in the tests); it outlives the engine.
    CliLinkEngine(const LinkOptions& options, const LinkClock& clock);
    ~CliLinkEngine() override;

    bool Open(std::string& error) override;
    void Observe(DatagramObserver* observer) override;
    bool Start(LogHost& settingsLog, LogHost& datagramLog, std::string& error) override;
    void Modify(double lossPercent, std::int32_t delayMs) override;
    bool Live() const override { return true; }
    bool Apply(const LinkSettings& settings, const std::string& line, std::optional<LinkTime> at = {}) override;
    bool Down(LinkDirection way, std::optional<double> seconds, const std::string& line,
              std::optional<LinkTime> at = {}) override;
    bool Up(const std::string& line, std::optional<LinkTime> at = {}) override;
    std::optional<std::uint64_t> ChosenSeed() const override;
    void SetNoticeLog(LogHost& notices) override { m_noticeLog = &notices; }
    EngineStats Stats() const override;
    void Stop() override;
    std::vector<std::string> StartNotes() const override;
    // The listening port once open (the system's choice when 0 was given).
    unsigned ListenPort() const;

private:
    // The engine is built at Open, before Start names the hosts: it logs
    // through these, which pass each line on to the host Start gave.
    class LaterLogHost : public LogHost {
    public:
        void SetTarget(LogHost& target) { m_target = &target; }
        void AppendLog(const CString& line) override
        {
            if (m_target)
                m_target->AppendLog(line);
        }
        void ScrollLogToEnd() override {}

    private:
        LogHost* m_target = nullptr;  // set before the engine's thread starts
    };

    bool Applied(std::optional<std::uint64_t> ticket);

    const LinkOptions m_options;
    DatagramObserver* m_observer = nullptr;
    LogHost* m_noticeLog = nullptr;
    SteadyLinkClock m_steadyClock;
    const LinkClock& m_clock;
    LaterLogHost m_settingsLog;
    LaterLogHost m_datagramLog;
    std::unique_ptr<LinkEngine> m_engine;  // last: it ends before the hosts go
};
