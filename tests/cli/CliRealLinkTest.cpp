// dulvet's options for links like real ones, end to end on Linux: the
// jitter's shape, a recorded rate trace, corruption and a named profile.
// (Their decisions are tested exactly, without sockets, in tests/link.)

#include <algorithm>
#include <bit>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "link/Impairment.h"
#include "tests/cli/CliRelayFixture.h"

using namespace std::chrono_literals;

namespace {

// The numbers after "Delay " in the lines, in order.
std::vector<int> DelayLines(const std::string& out)
{
    std::vector<int> delays;
    for (size_t at = out.find("Delay "); at != std::string::npos; at = out.find("Delay ", at + 6))
        if (std::isdigit(static_cast<unsigned char>(out[at + 6])))
            delays.push_back(std::stoi(out.substr(at + 6)));
    return delays;
}

// A file in the temporary folder that goes when the test ends.
class TempFile {
public:
    TempFile(const std::string& name, const std::string& text)
        : m_path(std::filesystem::temp_directory_path() / (std::to_string(getpid()) + "-" + name))
    {
        std::ofstream(m_path) << text;
    }
    ~TempFile() { std::filesystem::remove(m_path); }
    std::string Path() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

}  // namespace

TEST_F(CliRelay, DistributionShapesTheDelaysAsTheSeedDecides)
{
    constexpr int kCount = 12;
    const auto relay = StartRelay({"--delay", "40", "--jitter", "10", "--distribution", "pareto", "--seed", "11"});
    ASSERT_TRUE(relay);
    UdpPeer client;
    for (int i = 0; i < kCount; ++i)
        client.SendText(std::to_string(i), m_relayPort);
    for (int i = 0; i < kCount; ++i)
        ASSERT_TRUE(m_server.ReceiveText(5s)) << i;
    ASSERT_TRUE(WaitForOutLines(*relay, 3 + kCount));

    LinkSettings settings;
    settings.pipeline = true;
    settings.jitterMs = 10;
    settings.distribution = DelayShape(DelayShapeKind::Pareto);
    Impairment same(settings, 11, Direction::ToServer);
    same.SetLossAndDelay(0, 40);
    std::vector<int> expected;
    for (int i = 0; i < kCount; ++i)
        expected.push_back(same.Decide(LinkTime{0}, 2).delayMs);
    auto logged = DelayLines(relay->Out());  // not "Delay :40 ms .", the setting's line
    std::sort(logged.begin(), logged.end());  // they log as they leave
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(logged, expected) << relay->Out();
    Quit(*relay);
}

TEST_F(CliRelay, RateTraceLetsOneFullDatagramLeaveAtEachOpportunity)
{
    std::string stamps;
    for (int ms = 10; ms <= 300; ms += 10)
        stamps += std::to_string(ms) + "\n";
    const TempFile trace("every-10ms.trace", stamps);
    const auto relay = StartRelay({"--rate-trace", trace.Path(), "--quiet"});
    ASSERT_TRUE(relay);
    UdpPeer client;
    constexpr int kCount = 20;
    const auto sent = Clock::now();
    for (int i = 0; i < kCount; ++i)
        client.SendTo(std::vector<unsigned char>(1500, static_cast<unsigned char>(i)), m_relayPort);
    for (int i = 0; i < kCount; ++i) {
        const auto datagram = m_server.Receive(5s);
        ASSERT_TRUE(datagram) << i;
        EXPECT_EQ(datagram->bytes, std::vector<unsigned char>(1500, static_cast<unsigned char>(i)));
    }
    // The 20th opportunity after their arrival is at least 190 ms later.
    EXPECT_GE(Clock::now() - sent, 190ms);
    Quit(*relay);
}

TEST_F(CliRelay, CorruptFlipsOneBitOfEachChosenDatagramAndSaysWhich)
{
    const auto relay = StartRelay({"--corrupt", "100", "--direction", "both"});
    ASSERT_TRUE(relay);
    UdpPeer client;
    constexpr int kCount = 10;
    std::vector<std::vector<unsigned char>> sent;
    for (int i = 0; i < kCount; ++i) {
        sent.emplace_back(64, static_cast<unsigned char>(0x11 * i));
        client.SendTo(sent.back(), m_relayPort);
    }
    for (int i = 0; i < kCount; ++i) {
        const auto datagram = m_server.Receive(5s);
        ASSERT_TRUE(datagram) << i;
        ASSERT_EQ(datagram->bytes.size(), 64u);
        int nearest = 64 * 8;
        for (const auto& original : sent) {
            int differ = 0;
            for (size_t k = 0; k < original.size(); ++k)
                differ += std::popcount(static_cast<unsigned>(original[k] ^ datagram->bytes[k]));
            nearest = std::min(nearest, differ);
        }
        EXPECT_EQ(nearest, 1);
    }
    m_server.SendText("reply", m_relayPort);
    const auto reply = client.ReceiveText(5s);
    ASSERT_TRUE(reply);
    EXPECT_NE(*reply, "reply");
    ASSERT_TRUE(WaitForCounter(*relay, "to-client.corrupted", 1));
    EXPECT_EQ(Counter(relay->Err(), "to-server.corrupted"), kCount);
    EXPECT_TRUE(WaitForOutLines(*relay, 3 + kCount + 1));  // the lines follow the counters
    EXPECT_EQ(Occurrences(relay->Out(), " flipped." + kEol), size_t{kCount + 1});
    EXPECT_NE(relay->Out().find("Corrupted: bit "), std::string::npos);
    Quit(*relay);
}

TEST_F(CliRelay, ProfileSaysWhatItStandsForAndDelaysBothWays)
{
    const auto relay = StartRelay({"--profile", "dsl", "--delay", "30"});
    ASSERT_TRUE(relay);
    EXPECT_TRUE(relay->WaitForErr("dulvet: profile dsl: --direction both --delay 5 --rate 256,2000" + kEol))
        << relay->Err();
    UdpPeer client;
    const auto sent = Clock::now();
    client.SendText("up", m_relayPort);
    EXPECT_EQ(m_server.ReceiveText(5s), "up");
    EXPECT_GE(Clock::now() - sent, 30ms);  // the later --delay 30 overrides the profile's 5
    const auto replied = Clock::now();
    m_server.SendText("down", m_relayPort);
    EXPECT_EQ(client.ReceiveText(5s), "down");
    EXPECT_GE(Clock::now() - replied, 30ms);
    Quit(*relay);
}
