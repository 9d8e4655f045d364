// dulvet end to end on Linux: the relay engine's rules through the console
// program, its standard-input commands, its ways of ending, a blocked
// standard output, and bad input.

#include <csignal>
#include <cstring>
#include <functional>

#include "tests/cli/CliRelayFixture.h"

using namespace std::chrono_literals;

namespace {

std::string Text(int i) { return std::to_string(i); }

}  // namespace

TEST_F(CliRelay, DropsOneInFourAndModifyCarriesTheDropCounterOn)
{
    const auto relay = StartRelay({"--loss", "25"});
    ASSERT_TRUE(relay);
    UdpPeer client;
    // One at a time, each waited for by its line, so the order is the relay's.
    size_t lines = 3;
    const auto send = [&](int i) {
        client.SendText(Text(i), m_relayPort);
        ASSERT_TRUE(WaitForOutLines(*relay, ++lines)) << relay->Out();
    };
    for (int i = 0; i < 5; ++i)
        send(i);
    relay->Send("modify 50 0\n");
    lines += 3;
    ASSERT_TRUE(WaitForOutLines(*relay, lines));
    send(5);  // the counter stands at 2, the new period is 2: dropped
    send(6);

    EXPECT_EQ(relay->Out(), Lines({"Dulvet Ready!", "Misscount :4 .", "Delay :0 ms .", "count:1.", "count:2.",
                                   "count:3.", "Miss a packet.", "count:1.", "Dulvet Ready!", "Misscount :2 .",
                                   "Delay :0 ms .", "Miss a packet.", "count:1."}));
    std::vector<std::string> received;
    while (auto text = m_server.ReceiveText(300ms))
        received.push_back(*text);
    EXPECT_EQ(received, (std::vector<std::string>{"0", "1", "2", "4", "6"}));
    ASSERT_TRUE(WaitForCounter(*relay, "from_clients", 7));
    EXPECT_EQ(Counter(relay->Err(), "to_server"), 5);
    EXPECT_EQ(Counter(relay->Err(), "dropped"), 2);
    Quit(*relay);
}

// Loss rates and delays the dialog handles specially, as the dialog does.
struct SpecialValues {
    const char* name;
    const char* loss;
    const char* delay;
    std::vector<std::string> lines;  // for two client datagrams
    size_t forwarded;
};

void PrintTo(const SpecialValues& values, std::ostream* out) { *out << values.name; }

class CliSpecialValues : public CliRelay, public ::testing::WithParamInterface<SpecialValues> {};

TEST_P(CliSpecialValues, BehaveAsInTheDialog)
{
    const SpecialValues& values = GetParam();
    const auto relay = StartRelay({"--loss", values.loss, "--delay", values.delay});
    ASSERT_TRUE(relay);
    UdpPeer client;
    client.SendText("a", m_relayPort);
    client.SendText("b", m_relayPort);
    ASSERT_TRUE(WaitForCounter(*relay, "from_clients", 2));
    size_t forwarded = 0;
    while (m_server.ReceiveText(forwarded < values.forwarded ? 5000ms : 300ms))
        ++forwarded;
    EXPECT_EQ(forwarded, values.forwarded);
    ASSERT_TRUE(WaitForOutLines(*relay, values.lines.size()));
    EXPECT_EQ(relay->Out(), Lines(values.lines));
    Quit(*relay);
}

INSTANTIATE_TEST_SUITE_P(
    LossAndDelay, CliSpecialValues,
    ::testing::Values(
        SpecialValues{"Loss0", "0", "0", {"Dulvet Ready!", "Misscount :0 .", "Delay :0 ms ."}, 2},
        SpecialValues{"LossHuge", "1e300", "0", {"Dulvet Ready!", "Misscount :0 .", "Delay :0 ms ."}, 2},
        SpecialValues{"Loss100", "100", "0", {"Dulvet Ready!", "Misscount :1 .", "Delay :0 ms .", "Miss a packet.", "Miss a packet."}, 0},
        SpecialValues{"LossTiny", "1e-300", "0", {"Dulvet Ready!", "Misscount :2147483647 .", "Delay :0 ms .", "count:1.", "count:2."}, 2},
        SpecialValues{"NegativeLossAndDelay", "-10", "-40",
                      {"Dulvet Ready!", "Misscount :-10 .", "Delay :-40 ms .", "Delay -40 ms.", "Miss a packet.",
                       "Delay -40 ms.", "Miss a packet."},
                      0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliRelay, DelaysClientDatagramsOneAtATimeAndOutlivesItsInput)
{
    const auto relay = StartRelay({"--delay", "100"});
    ASSERT_TRUE(relay);
    relay->CloseInput();  // as a relay started with "< /dev/null"
    UdpPeer client;
    const auto sent = Clock::now();
    for (int i = 0; i < 4; ++i)
        client.SendText(Text(i), m_relayPort);
    for (int k = 1; k <= 4; ++k) {
        EXPECT_EQ(m_server.ReceiveText(5s), Text(k - 1));
        // Each pause starts after the one before has ended (a millisecond
        // a pause for the timer's rounding).
        EXPECT_GE(Clock::now() - sent, k * 100ms - k * 1ms) << "datagram " << k;
    }
    ASSERT_TRUE(WaitForOutLines(*relay, 7));
    EXPECT_EQ(relay->Out(), Lines({"Dulvet Ready!", "Misscount :0 .", "Delay :100 ms .", "Delay 100 ms.",
                                   "Delay 100 ms.", "Delay 100 ms.", "Delay 100 ms."}));
    relay->Signal(SIGTERM);
    EXPECT_EQ(relay->WaitForExit(), 0);
    EXPECT_TRUE(relay->WaitForErr("dulvet: ended by SIGTERM after ")) << relay->Err();
}

TEST_F(CliRelay, SaysOnceWhenItsSerialDelayKeepsDatagramsWaitingOverASecond)
{
    const auto relay = StartRelay({"--delay", "100", "--quiet"});
    ASSERT_TRUE(relay) << "dulvet did not start";
    const std::string notice = "dulvet: datagrams have waited more than a second behind one another: the delay is "
                               "serial, as in the dialog";
    // One at a time with room between them: nothing waits behind another.
    UdpPeer client;
    for (int i = 0; i < 6; ++i) {
        client.SendText("alone", m_relayPort);
        ASSERT_EQ(m_server.ReceiveText(), "alone");
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    // Then 20 at once: the last leaves some 2 s later.
    for (int i = 0; i < 20; ++i)
        client.SendText("queued", m_relayPort);
    EXPECT_TRUE(relay->WaitForErr("--pipeline delays each datagram on its own"));
    ASSERT_TRUE(WaitForCounter(*relay, "to_server", 26));
    relay->Send("quit\n");
    EXPECT_EQ(relay->WaitForExit(), 0);
    EXPECT_EQ(Occurrences(relay->Err(), notice), 1u) << relay->Err();
}

TEST_F(CliRelay, RepliesGoToTheLastClientAndOnesBeforeAnyClientAreLost)
{
    const auto relay = StartRelay({});
    ASSERT_TRUE(relay);
    m_server.SendText("nobody yet", m_relayPort);
    ASSERT_TRUE(WaitForCounter(*relay, "lost_replies", 1));

    UdpPeer first, second;
    first.SendText("from first", m_relayPort);
    EXPECT_EQ(m_server.ReceiveText(5s), "from first");
    m_server.SendText("to first", m_relayPort);
    EXPECT_EQ(first.ReceiveText(5s), "to first");
    second.SendText("from second", m_relayPort);
    EXPECT_EQ(m_server.ReceiveText(5s), "from second");
    m_server.SendText("to second", m_relayPort);
    EXPECT_EQ(second.ReceiveText(5s), "to second");
    EXPECT_FALSE(first.ReceiveText(300ms));

    ASSERT_TRUE(WaitForCounter(*relay, "to_client", 2));
    EXPECT_EQ(Counter(relay->Err(), "from_server"), 3);
    EXPECT_EQ(Counter(relay->Err(), "lost_replies"), 1);
    Quit(*relay);
}

// However it is asked to end, dulvet stops at once in the middle of a pause.
struct Ending {
    const char* reason;
    std::vector<std::string> arguments;
    std::function<void(CliProcess&)> ask;
    std::chrono::milliseconds within = 1s;  // from the asking to the process's end
};

void PrintTo(const Ending& ending, std::ostream* out) { *out << ending.reason; }

class CliEnding : public CliRelay, public ::testing::WithParamInterface<Ending> {};

TEST_P(CliEnding, StopsInTheMiddleOfATenSecondPauseWithinASecond)
{
    std::vector<std::string> arguments{"--delay", "10000"};
    arguments.insert(arguments.end(), GetParam().arguments.begin(), GetParam().arguments.end());
    const auto relay = StartRelay(arguments);
    ASSERT_TRUE(relay);
    UdpPeer client;
    client.SendText("held", m_relayPort);
    ASSERT_TRUE(WaitForCounter(*relay, "from_clients", 1));  // the worker holds it in its pause

    const auto asked = Clock::now();
    GetParam().ask(*relay);
    EXPECT_EQ(relay->WaitForExit(5s), 0);
    EXPECT_LT(Clock::now() - asked, GetParam().within);
    EXPECT_TRUE(relay->WaitForErr(std::string("dulvet: ended by ") + GetParam().reason + " after ")) << relay->Err();
    EXPECT_NE(relay->Err().find(": 1 from clients, 0 to server, 0 dropped, "), std::string::npos) << relay->Err();
    EXPECT_FALSE(m_server.ReceiveText(100ms));
}

INSTANTIATE_TEST_SUITE_P(
    Ways, CliEnding,
    ::testing::Values(Ending{"SIGINT", {}, [](CliProcess& relay) { relay.Signal(SIGINT); }},
                      Ending{"SIGTERM", {}, [](CliProcess& relay) { relay.Signal(SIGTERM); }},
                      Ending{"quit", {}, [](CliProcess& relay) { relay.Send("quit\n"); }},
                      // It asks itself, a second after its start (and so before the datagram came).
                      Ending{"--duration", {"--duration", "1"}, [](CliProcess&) {}, 2s}),
    [](const auto& info) { return std::string(info.param.reason[0] == '-' ? "duration" : info.param.reason); });

TEST_F(CliRelay, ABlockedStandardOutputNeitherStallsForwardingNorLosesLines)
{
    // A line for every datagram into a pipe of 4 KiB that nobody reads:
    // the lines of all of them fill it several times over.
    CliProcess::Setup setup;
    setup.leaveOutUnread = true;
    setup.outPipeBytes = 4096;
    const auto relay = StartRelay({"--loss", "50"}, setup);
    ASSERT_TRUE(relay);
    UdpPeer client;
    constexpr int kDatagrams = 2000;
    constexpr int kBurst = 50;
    int received = 0;
    for (int sent = 0; sent < kDatagrams; sent += kBurst) {
        for (int i = sent; i < sent + kBurst; ++i)
            client.SendText(Text(i), m_relayPort);
        // Every second one reaches the server, whatever standard output does.
        for (; received < (sent + kBurst) / 2; ++received)
            ASSERT_TRUE(m_server.ReceiveText(5s)) << "forwarding stalled after " << received;
    }
    relay->ReadOutFromNowOn();
    ASSERT_TRUE(WaitForOutLines(*relay, 3 + kDatagrams, 10s)) << CountLines(relay->Out());
    Quit(*relay);
    const std::string out = relay->Out();
    EXPECT_EQ(Occurrences(out, "count:1." + kEol), kDatagrams / 2u);
    EXPECT_EQ(Occurrences(out, "Miss a packet." + kEol), kDatagrams / 2u);
    EXPECT_EQ(CountLines(out), 3u + kDatagrams);
}

TEST_F(CliRelay, DatagramsTheKernelDropsAtAFullSocketAreCounted)
{
    // Held by a long pause, the relay takes nothing while a burst several
    // times its receive buffer arrives.
    const auto relay = StartRelay({"--quiet", "--delay", "100000"});
    ASSERT_TRUE(relay);
    UdpPeer client;
    constexpr int kBurst = 2000;  // of 14 000 bytes: 28 MB
    const std::vector<unsigned char> bytes(14000, 7);
    for (int i = 0; i < kBurst; ++i)
        ASSERT_GT(client.SendTo(bytes, m_relayPort), 0);
    relay->Send("modify 0 0\n");
    // Every datagram is either taken or dropped by the kernel, and the stats say which.
    ASSERT_TRUE(WaitForStats(*relay, [](const std::string& err) {
        return Counter(err, "from_clients") + Counter(err, "kernel_drops") == kBurst;
    })) << relay->Err().substr(relay->Err().rfind('{'));
    EXPECT_GT(Counter(relay->Err(), "kernel_drops"), 0);
    Quit(*relay);
    EXPECT_NE(relay->Err().find(" kernel drops"), std::string::npos);
}

// Bad options: a message naming the flag, the usage, status 2, nothing started.
struct BadArguments {
    std::vector<std::string> arguments;
    const char* message;
};

void PrintTo(const BadArguments& bad, std::ostream* out) { *out << bad.message; }

class CliBadInput : public ::testing::TestWithParam<BadArguments> {};

TEST_P(CliBadInput, IsRefusedWithItsFlagTheUsageAndStatusTwo)
{
    CliProcess dulvet(GetParam().arguments);
    ASSERT_EQ(dulvet.WaitForExit(), 2);
    ASSERT_TRUE(dulvet.WaitForErr("       dulvet --help | --version\n"));
    EXPECT_EQ(dulvet.Err().rfind(std::string("dulvet: ") + GetParam().message, 0), 0u) << dulvet.Err();
    EXPECT_NE(dulvet.Err().find("\nusage: dulvet --listen ADDR:PORT --server ADDR:PORT"), std::string::npos);
    EXPECT_EQ(dulvet.Out(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliBadInput,
    ::testing::Values(
        BadArguments{{}, "--listen ADDR:PORT is required"},
        BadArguments{{"--listen", "127.0.0.1:5000"}, "--server ADDR:PORT is required"},
        BadArguments{{"--listen", "127.0.0.1:5000", "--server", "127.0.0.1:5001", "--bogus", "3"},
                     "unknown option '--bogus'"},
        BadArguments{{"--listen", "127.0.0.1:0", "--server", "127.0.0.1:5001"}, "--listen expects ADDR:PORT"},
        BadArguments{{"--listen", "127.0.0.1:5000", "--server", "0.0.0.0:5001"},
                     "--server expects the server's own IPv4 address"},
        BadArguments{{"--listen", "127.0.0.1:5000", "--server", "127.0.0.1:5001", "--loss", "25%"},
                     "--loss expects a loss rate in percent"},
        BadArguments{{"--listen", "127.0.0.1:5000", "--server", "127.0.0.1:5001", "--delay"}, "--delay needs a value"},
        // The link engine's options.
        BadArguments{{"--listen", "127.0.0.1:5000", "--server", "127.0.0.1:5001", "--random-loss", "150"},
                     "--random-loss must be a percentage from 0 to 100"},
        BadArguments{{"--listen", "127.0.0.1:5000", "--server", "127.0.0.1:5001", "--burst-loss", "5"},
                     "--burst-loss expects two percentages P,R"},
        BadArguments{{"--listen", "127.0.0.1:5000", "--server", "127.0.0.1:5001", "--direction", "sideways"},
                     "--direction expects to-server, to-client or both, not 'sideways'"},
        BadArguments{{"--listen", "127.0.0.1:5000", "--server", "127.0.0.1:5001", "--jitter", "-3"},
                     "--jitter must not be negative"},
        BadArguments{{"--listen", "127.0.0.1:5000", "--server", "127.0.0.1:5001", "--rate", "0"},
                     "--rate must be at least 0.001 kbit/s"},
        BadArguments{{"--listen", "127.0.0.1:5000", "--server", "127.0.0.1:5000"},
                     "--server 127.0.0.1:5000 is the relay's own --listen address: it would relay to itself"},
        BadArguments{{"--listen", "127.0.0.1:5000", "--server", "127.0.0.1:5001", "--rate", "64", "--queue", "0"},
                     "--queue must be at least 1"},
        BadArguments{{"--listen", "127.0.0.1:5000", "--server", "127.0.0.1:5001", "--reorder", "5"},
                     "--reorder needs a delay (--delay)"},
        BadArguments{{"--listen", "127.0.0.1:5000", "--server", "127.0.0.1:5001", "--clients", "many"},
                     "--clients expects last or each, not 'many'"},
        // A scenario is read before anything opens.
        BadArguments{{"--listen", "127.0.0.1:5000", "--server", "127.0.0.1:5001", "--scenario", "no-such-file.txt"},
                     "--scenario cannot open 'no-such-file.txt'"}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(CliRelay, APortThatCannotBeOpenedIsNamedWithTheSystemsReason)
{
    UdpPeer taken;
    const std::string port = std::to_string(taken.Port());
    struct Case {
        std::string address;
        int error;
    };
    for (const Case& c : {Case{"127.0.0.1", EADDRINUSE}, Case{"192.0.2.1", EADDRNOTAVAIL}}) {
        CliProcess dulvet({"--listen", c.address + ":" + port, "--server", "127.0.0.1:" + std::to_string(m_server.Port())});
        EXPECT_EQ(dulvet.WaitForExit(), 1);
        const std::string message = "dulvet: cannot open relay port " + c.address + ":" + port + ": " + std::strerror(c.error) + "\n";
        EXPECT_TRUE(dulvet.WaitForErr(message)) << dulvet.Err();
        EXPECT_EQ(dulvet.Err(), message);
        EXPECT_EQ(dulvet.Out(), "");
    }
}
