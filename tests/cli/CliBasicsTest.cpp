// dulvet on both platforms (natively, and the Windows console build under
// Wine): its help, and one relay round trip with its lines.

#include <algorithm>

#include "CliRelayFixture.h"
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
