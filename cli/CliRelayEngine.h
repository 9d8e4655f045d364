#pragma once
// The relay engine (relay/) behind the console program: the dialog's
// process-wide socket, worker, drop counter and log lines, driven as the
// dialog's Start and Modify drive them, with the sockets the dialog has no
// use for beside its one (RelaySockets). One per process, like that state.

#include <cstdint>
#include <optional>

#include "cli/CliOptions.h"
#include "cli/Engine.h"
#include "relay/RelaySockets.h"

class CliRelayEngine : public Engine {
public:
    explicit CliRelayEngine(const CliOptions& options) : m_options(options) {}
    ~CliRelayEngine() override { Stop(); }

    bool Open(std::string& error) override;
    void Observe(DatagramObserver* observer) override;
    bool Start(LogHost& settingsLog, LogHost& datagramLog, std::string& error) override;
    void Modify(double lossPercent, std::int32_t delayMs) override;
    // Unlike the dialog's, dulvet's worker says when its serial delay has
    // kept datagrams waiting behind one another for over a second.
    void SetNoticeLog(LogHost& notices) override { m_noticeLog = &notices; }
    EngineStats Stats() const override;
    void Stop() override;
    std::vector<std::string> StartNotes() const override;

private:
    void CloseSockets();

    const CliOptions m_options;
    // Listening on a name's further addresses, and towards a server of the
    // other family: beside the dialog's one socket.
    RelaySockets m_more;
    LogHost* m_settingsLog = nullptr;
    LogHost* m_noticeLog = nullptr;
    // The kernel's drops as the socket closed (its count goes with it).
    std::optional<std::uint64_t> m_kernelDropsAtClose;
};
