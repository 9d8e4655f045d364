// dulvet on both platforms (natively, and the Windows console build under
// Wine): its help, and one relay round trip with its lines.

#include <algorithm>

#include "tests/cli/CliRelayFixture.h"
#include "DulvetVersion.h"

using namespace std::chrono_literals;

TEST(CliHelp, ShowsUsageOptionsAndCommandsWithThePlatformsLineEnds)
{
    CliProcess help({"--help"});
    ASSERT_TRUE(help.WaitForOut("quit "));
    ASSERT_EQ(help.WaitForExit(), 0);
    const std::string text = help.Out();
    EXPECT_EQ(text.rfind("usage: dulvet --listen ADDR:PORT --server ADDR:PORT [--loss PERCENT]" + kEol, 0), 0u) << text;
    for (const char* part : {"--delay MS", "--quiet", "--stats SECONDS", "--duration SECONDS", "dulvet --help | --version",
                             "modify LOSS DELAY", "stats ", "quit "})
        EXPECT_NE(text.find(part), std::string::npos) << part;
    // Every line ends in the platform's way, and nothing else is there.
    size_t lineEnds = 0;
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
        EXPECT_EQ(text.compare(at + 1 - kEol.size(), kEol.size(), kEol), 0) << "line end at " << at;
        ++lineEnds;
    }
    EXPECT_EQ(CountLines(text), lineEnds);
    EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '\r')), kEol == "\r\n" ? lineEnds : 0);

    CliProcess version({"--version"});
    ASSERT_EQ(version.WaitForExit(), 0);
    EXPECT_TRUE(version.WaitForOut("dulvet " DULVET_VERSION_TEXT + kEol));
}

TEST_F(CliRelay, RelaysAClientAndItsServerBothWaysWithTheDialogsLines)
{
    const auto relay = StartRelay({"--loss", "10", "--delay", "5"});
    ASSERT_TRUE(relay);
    UdpPeer client;
    ASSERT_GT(client.SendText("hello", m_relayPort), 0);
    const auto request = m_server.Receive(5s);
    ASSERT_TRUE(request);
    EXPECT_EQ(std::string(request->bytes.begin(), request->bytes.end()), "hello");
    EXPECT_EQ(request->fromPort, m_relayPort);
    ASSERT_GT(m_server.SendText("world", m_relayPort), 0);
    EXPECT_EQ(client.ReceiveText(5s), "world");

    ASSERT_TRUE(WaitForOutLines(*relay, 5));
    EXPECT_EQ(relay->Out(), Lines({"Dulvet Ready!", "Misscount :10 .", "Delay :5 ms .", "Delay 5 ms.", "count:1."}));
    Quit(*relay);
}

TEST_F(CliRelay, LinkEngineRelaysASessionBothWaysWithItsLines)
{
    const auto relay = StartRelay({"--pipeline", "--delay", "20", "--direction", "both", "--clients", "each", "--seed",
                                   "3"});
    ASSERT_TRUE(relay);
    UdpPeer client;
    ASSERT_GT(client.SendText("hello", m_relayPort), 0);
    const auto request = m_server.Receive(5s);
    ASSERT_TRUE(request);
    EXPECT_EQ(std::string(request->bytes.begin(), request->bytes.end()), "hello");
    EXPECT_NE(request->fromPort, m_relayPort);  // the client's own session
    ASSERT_GT(m_server.SendText("world", request->fromPort), 0);
    EXPECT_EQ(client.ReceiveText(5s), "world");

    ASSERT_TRUE(WaitForOutLines(*relay, 6));
    EXPECT_EQ(relay->Out(), Lines({"Dulvet Ready!", "Misscount :0 .", "Delay :20 ms .",
                                   "Session 127.0.0.1:" + std::to_string(client.Port()) + " opened on port " +
                                       std::to_string(request->fromPort) + ".",
                                   "Delay 20 ms.", "Delay 20 ms."}));
    EXPECT_EQ(relay->Err().find("dulvet: seed"), std::string::npos);
    Quit(*relay);
    EXPECT_TRUE(relay->WaitForErr(": 1 to-server.received, 1 to-server.sent, 1 to-client.received, 1 to-client.sent, "
                                  "1 sessions.opened, 1 sessions.open" + kEol))
        << relay->Err();
}

// Both engines name a port they cannot open with the reason in words,
// where the system has none too (Wine has none for a port in use).
TEST_F(CliRelay, APortInUseIsRefusedWithItsReasonByBothEngines)
{
    UdpPeer holder;
    CAsyncSocket second;
    ASSERT_FALSE(second.Create(holder.Port(), SOCK_DGRAM, FD_READ, L"127.0.0.1"));
    const std::string reason = CAsyncSocket::ErrorText(second.GetLastError()).ToUtf8();
    EXPECT_EQ(reason.rfind("error ", 0), std::string::npos) << reason;  // not a bare number
    const std::string listen = "127.0.0.1:" + std::to_string(holder.Port());
    for (const std::vector<std::string>& engine : {std::vector<std::string>{}, {"--pipeline"}}) {
        std::vector<std::string> arguments{"--listen", listen, "--server", "127.0.0.1:" + std::to_string(m_server.Port())};
        arguments.insert(arguments.end(), engine.begin(), engine.end());
        CliProcess dulvet(arguments);
        EXPECT_EQ(dulvet.WaitForExit(), 1);
        const std::string message = "dulvet: cannot open relay port " + listen + ": " + reason + kEol;
        EXPECT_TRUE(dulvet.WaitForErr(message)) << dulvet.Err();
        EXPECT_EQ(dulvet.Err(), message);
        EXPECT_EQ(dulvet.Out(), "");
    }
}
