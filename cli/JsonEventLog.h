#pragma once
// --log-format json: every line on standard output as one JSON object,
// with "t" (seconds since the start, to the nanosecond) and "event". Each
// datagram's fate comes from the engine as an event ("dropped" or "left",
// with its way, number, size and client); the settings and session lines
// and any other line come through the two log hosts, which turn them into
// objects and leave out the per-datagram lines the events replace.

#include <chrono>
#include <cstdint>
#include <string>

#include "cli/LineWriter.h"
#include "relay/DatagramObserver.h"
#include "relay/LogHost.h"

class JsonEventLog final : public DatagramObserver {
public:
    // start: the steady-clock moment "t" counts from.
    JsonEventLog(LineWriter& out, std::chrono::steady_clock::time_point start);

    void OnDatagram(const DatagramEvent& event) override;
    LogHost& SettingsHost() { return m_settings; }
    LogHost& DatagramHost() { return m_datagrams; }

    // The object for one event, or for one line of text ("" for a line the
    // events replace); without its line end. For the tests.
    std::string EventObject(const DatagramEvent& event) const;
    std::string LineObject(std::wstring_view line, std::int64_t nowNs) const;

private:
    class Host : public LogHost {
    public:
        explicit Host(JsonEventLog& log) : m_log(log) {}
        void AppendLog(const CString& line) override;
        void ScrollLogToEnd() override {}

    private:
        JsonEventLog& m_log;
    };

    std::string Time(std::int64_t steadyNs) const;

    LineWriter& m_out;
    std::int64_t m_startNs;
    Host m_settings{*this};
    Host m_datagrams{*this};
};
