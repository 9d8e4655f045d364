#pragma once
// dulvet running on 127.0.0.1 in front of a real server peer, driven
// through its standard streams.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/CliProcess.h"
#include "tests/support/UdpPeer.h"

// How often part occurs in text.
inline size_t Occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

class CliRelay : public ::testing::Test {
protected:
    using Clock = std::chrono::steady_clock;

    // Starts dulvet on a port that was free a moment ago (another on a
    // clash), with the server peer and the given arguments; returns once it
    // answers on standard input, or null.
    std::unique_ptr<CliProcess> StartRelay(const std::vector<std::string>& arguments, CliProcess::Setup setup = {})
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            m_relayPort = FreePort();
            std::vector<std::string> all{"--listen", "127.0.0.1:" + std::to_string(m_relayPort), "--server",
                                         "127.0.0.1:" + std::to_string(m_server.Port())};
            all.insert(all.end(), arguments.begin(), arguments.end());
            auto relay = std::make_unique<CliProcess>(all, setup);
            if (!relay->Started())
                return nullptr;
            relay->Send("stats\n");
            if (relay->WaitForErr("{\"seconds\""))
                return relay;
            if (relay->WaitForExit() != 1)
                break;
        }
        return nullptr;
    }

    static unsigned FreePort()
    {
        UdpPeer probe;
        return probe.Port();
    }

    // The counter's value in the latest stats line, or -1.
    static long long Counter(const std::string& err, const std::string& name)
    {
        const size_t at = err.rfind("\"" + name + "\":");
        return at == std::string::npos ? -1 : std::stoll(err.substr(at + name.size() + 3));
    }

    // Asks for stats until the counter reaches the value (bounded).
    static bool WaitForCounter(CliProcess& relay, const std::string& name, long long value)
    {
        return WaitForStats(relay, [&](const std::string& err) { return Counter(err, name) >= value; });
    }

    // Asks for stats lines until `holds` is true of standard error
    // (bounded; generous for a loaded machine).
    template <typename Holds>
    static bool WaitForStats(CliProcess& relay, Holds holds)
    {
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        do {
            const size_t lines = relay.Err().size();
            relay.Send("stats\n");
            while (relay.Err().size() == lines && Clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (holds(relay.Err()))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } while (Clock::now() < deadline);
        return false;
    }

    // Waits until standard output holds at least `count` lines (bounded).
    static bool WaitForOutLines(const CliProcess& relay, size_t count,
                                std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        const auto deadline = Clock::now() + timeout;
        while (CountLines(relay.Out()) < count) {
            if (Clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    // Ends it with "quit": exit status 0 and the summary on standard error.
    static void Quit(CliProcess& relay)
    {
        relay.Send("quit\n");
        EXPECT_EQ(relay.WaitForExit(), 0);
        EXPECT_TRUE(relay.WaitForErr("dulvet: ended by quit after ")) << relay.Err();
    }

    UdpPeer m_server;
    unsigned m_relayPort = 0;
};
