// dulvet running the link engine, end to end on Linux: the options reach
// the engine, both directions, ending and modify during a long delay, a
// session per client, the seed it tells. (The engine's decisions are
// tested exactly, without sockets, in tests/link.)

#include <csignal>
#include <set>

#include "tests/cli/CliRelayFixture.h"

using namespace std::chrono_literals;

namespace {

// The seed from "dulvet: seed N chosen; ...", or nothing.
std::optional<std::string> ToldSeed(const std::string& err)
{
    const std::string head = "dulvet: seed ";
    const size_t at = err.find(head);
    if (at == std::string::npos)
        return std::nullopt;
    const size_t start = at + head.size();
    return err.substr(start, err.find(' ', start) - start);
}

}  // namespace

TEST_F(CliRelay, LinkEngineImpairsBothDirectionsEachWithItsOwnCounter)
{
    const auto relay = StartRelay({"--direction", "both", "--pipeline", "--delay", "100", "--loss", "50"});
    ASSERT_TRUE(relay);
    UdpPeer client;
    const auto sent = Clock::now();
    client.SendText("a", m_relayPort);
    client.SendText("b", m_relayPort);  // the second of the period: dropped
    EXPECT_EQ(m_server.ReceiveText(5s), "a");
    EXPECT_GE(Clock::now() - sent, 100ms);
    const auto replied = Clock::now();
    m_server.SendText("x", m_relayPort);
    m_server.SendText("y", m_relayPort);
    EXPECT_EQ(client.ReceiveText(5s), "x");
    EXPECT_GE(Clock::now() - replied, 100ms);
    EXPECT_FALSE(client.ReceiveText(300ms));
    EXPECT_FALSE(m_server.ReceiveText(10ms));

    ASSERT_TRUE(WaitForOutLines(*relay, 3 + 2 * 3));
    const std::string out = relay->Out();
    EXPECT_EQ(out.rfind(Lines({"Dulvet Ready!", "Misscount :2 .", "Delay :100 ms ."}), 0), 0u) << out;
    EXPECT_EQ(Occurrences(out, "Delay 100 ms." + kEol), 2u) << out;
    EXPECT_EQ(Occurrences(out, "count:1." + kEol), 2u) << out;
    EXPECT_EQ(Occurrences(out, "Miss a packet." + kEol), 2u) << out;
    ASSERT_TRUE(WaitForCounter(*relay, "to-client.sent", 1));
    EXPECT_EQ(Counter(relay->Err(), "to-server.received"), 2);
    EXPECT_EQ(Counter(relay->Err(), "to-server.periodic-loss"), 1);
    EXPECT_EQ(Counter(relay->Err(), "to-client.periodic-loss"), 1);
    Quit(*relay);
    EXPECT_NE(relay->Err().find(": 2 to-server.received, 1 to-server.sent, 1 to-server.periodic-loss, "
                                "2 to-client.received, 1 to-client.sent, 1 to-client.periodic-loss"),
              std::string::npos)
        << relay->Err();
}

// However it is asked to end, it ends at once while a datagram waits a minute.
class CliLinkEnding : public CliRelay, public ::testing::WithParamInterface<int> {};

TEST_P(CliLinkEnding, EndsAtOnceDuringALongDelayAndSendsNothing)
{
    const auto relay = StartRelay({"--pipeline", "--delay", "60000", "--quiet"});
    ASSERT_TRUE(relay);
    UdpPeer client;
    client.SendText("held", m_relayPort);
    ASSERT_TRUE(WaitForCounter(*relay, "waiting", 1));

    const auto asked = Clock::now();
    if (GetParam() == 0)
        relay->Send("quit\n");
    else
        relay->Signal(GetParam());
    EXPECT_EQ(relay->WaitForExit(5s), 0);
    EXPECT_LT(Clock::now() - asked, 1s);
    EXPECT_TRUE(relay->WaitForErr(" s: 1 to-server.received, 0 to-server.sent, 0 to-client.received, "
                                  "0 to-client.sent, 1 waiting, 64 waiting-bytes" + kEol))
        << relay->Err();
    EXPECT_FALSE(m_server.ReceiveText(300ms));
}

INSTANTIATE_TEST_SUITE_P(Ways, CliLinkEnding, ::testing::Values(0, SIGTERM, SIGINT),
                         [](const auto& info) { return std::string(info.param == 0 ? "quit" : info.param == SIGTERM ? "SIGTERM" : "SIGINT"); });

TEST_F(CliRelay, LinkEngineModifyDuringADelayFreesTheWaitingDatagram)
{
    const auto relay = StartRelay({"--pipeline", "--delay", "60000", "--loss", "25"});
    ASSERT_TRUE(relay);
    UdpPeer client;
    client.SendText("a", m_relayPort);
    ASSERT_TRUE(WaitForCounter(*relay, "waiting", 1));
    relay->Send("modify 25 0\n");
    EXPECT_EQ(m_server.ReceiveText(5s), "a");
    ASSERT_TRUE(WaitForOutLines(*relay, 8));
    EXPECT_EQ(relay->Out(), Lines({"Dulvet Ready!", "Misscount :4 .", "Delay :60000 ms .", "Dulvet Ready!",
                                   "Misscount :4 .", "Delay :0 ms .", "Delay 0 ms.", "count:1."}));
    Quit(*relay);
}

TEST_F(CliRelay, ClientsEachGetOnlyTheirOwnRepliesThroughSessionsOfTheirOwn)
{
    const auto relay = StartRelay({"--clients", "each"});
    ASSERT_TRUE(relay);
    constexpr int kClients = 4;
    std::vector<std::unique_ptr<UdpPeer>> clients;
    std::set<unsigned> sessionPorts;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<UdpPeer>());
        clients.back()->SendText("from " + std::to_string(i), m_relayPort);
        const auto request = m_server.Receive(5s);
        ASSERT_TRUE(request);
        EXPECT_EQ(std::string(request->bytes.begin(), request->bytes.end()), "from " + std::to_string(i));
        EXPECT_NE(request->fromPort, m_relayPort);
        sessionPorts.insert(request->fromPort);
        EXPECT_TRUE(relay->WaitForOut("Session 127.0.0.1:" + std::to_string(clients.back()->Port()) +
                                      " opened on port " + std::to_string(request->fromPort) + "." + kEol));
    }
    EXPECT_EQ(sessionPorts.size(), size_t{kClients});  // the server sees each as a peer of its own

    // Replies to the sessions in reverse order: each reaches its client alone.
    for (auto port = sessionPorts.rbegin(); port != sessionPorts.rend(); ++port)
        m_server.SendText("to " + std::to_string(*port), *port);
    for (const auto& client : clients) {
        const auto reply = client->ReceiveText(5s);
        ASSERT_TRUE(reply);
        EXPECT_TRUE(relay->Out().find("Session 127.0.0.1:" + std::to_string(client->Port()) + " opened on port " +
                                      reply->substr(3) + ".") != std::string::npos)
            << *reply;
    }
    for (const auto& client : clients)
        EXPECT_FALSE(client->ReceiveText(100ms));
    ASSERT_TRUE(WaitForCounter(*relay, "to-client.sent", kClients));
    EXPECT_EQ(Counter(relay->Err(), "sessions.opened"), kClients);
    EXPECT_EQ(Counter(relay->Err(), "sessions.open"), kClients);
    Quit(*relay);
}

TEST_F(CliRelay, TheSeedItChoosesIsToldAndGivenBackMakesTheSameDrops)
{
    // The same 30 datagrams through two runs: the second with the seed the
    // first told drops the same ones.
    const auto run = [&](const std::vector<std::string>& arguments, std::string& err) {
        std::vector<std::string> all{"--random-loss", "50", "--quiet"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        const auto relay = StartRelay(all);
        std::vector<std::string> passed;
        if (!relay)
            return passed;
        UdpPeer client;
        for (int i = 0; i < 30; ++i)
            client.SendText(std::to_string(i), m_relayPort);
        // Every one decided: a batch is counted as received before its fates.
        EXPECT_TRUE(WaitForStats(*relay, [](const std::string& err) {
            return Counter(err, "to-server.sent") + Counter(err, "to-server.random-loss") >= 30;
        }));
        const long long sent = Counter(relay->Err(), "to-server.sent");
        for (long long k = 0; k < sent; ++k)
            if (auto text = m_server.ReceiveText(5s))
                passed.push_back(*text);
        Quit(*relay);
        err = relay->Err();
        return passed;
    };
    std::string firstErr, secondErr;
    const auto first = run({}, firstErr);
    const auto seed = ToldSeed(firstErr);
    ASSERT_TRUE(seed) << firstErr;
    EXPECT_NE(firstErr.find("dulvet: seed " + *seed + " chosen; --seed " + *seed + " makes the same random choices again" + kEol),
              std::string::npos);
    const auto second = run({"--seed", *seed}, secondErr);
    EXPECT_FALSE(ToldSeed(secondErr)) << secondErr;
    EXPECT_EQ(first, second);
    EXPECT_GT(first.size(), 0u);
    EXPECT_LT(first.size(), 30u);
}

// set, down and up from standard input reach the link engine, each with
// its settings line; show writes the link back; the dialog's relay says
// which option starts the engine that takes them.
TEST_F(CliRelay, SetDownUpAndShowOnStandardInput)
{
    const auto relay = StartRelay({"--pipeline", "--seed", "5"});
    ASSERT_TRUE(relay);
    relay->Send("set --random-loss 100 --jitter 2\nset --jitter -1\nshow\n");
    ASSERT_TRUE(relay->WaitForErr("--seed 5\n")) << relay->Err();
    EXPECT_NE(relay->Err().find("dulvet: set: --jitter must not be negative\n"), std::string::npos) << relay->Err();
    EXPECT_NE(relay->Err().find(" --pipeline --jitter 2 --random-loss 100 --seed 5\n"), std::string::npos);
    UdpPeer client;
    client.SendText("lost", m_relayPort);
    ASSERT_TRUE(WaitForCounter(*relay, "to-server.random-loss", 1));

    relay->Send("set --random-loss off\ndown to-server\n");
    ASSERT_TRUE(WaitForOutLines(*relay, 3 + 4));
    client.SendText("down", m_relayPort);
    ASSERT_TRUE(WaitForCounter(*relay, "to-server.outage", 1));
    relay->Send("up\n");
    ASSERT_TRUE(WaitForOutLines(*relay, 3 + 6));  // through "Link up."
    client.SendText("up", m_relayPort);
    EXPECT_EQ(m_server.ReceiveText(5s), "up");
    const std::string out = relay->Out();
    EXPECT_NE(out.find(Lines({"Set --jitter 2 --random-loss 100.", "Lost at random.", "Set --random-loss off.",
                              "Link down to-server until up."})),
              std::string::npos)
        << out;
    Quit(*relay);

    const auto dialog = StartRelay({"--delay", "5"});
    ASSERT_TRUE(dialog);
    dialog->Send("set --jitter 5\n");
    EXPECT_TRUE(dialog->WaitForErr("start dulvet with a link option (for example --pipeline) to run the link "
                                   "engine, which takes 'set'"))
        << dialog->Err();
    Quit(*dialog);
}
