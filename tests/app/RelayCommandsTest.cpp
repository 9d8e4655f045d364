// Start and Modify in the real program: a real client and server on
// loopback talk through Dulvet.exe, and its log box says what happened.

#include <gtest/gtest.h>

#include "DulvetProcess.h"
#include "UdpPeer.h"
#include "resource.h"

using namespace std::chrono_literals;

namespace {

const CString kStartLines0 = L"Dulvet Ready!\r\nMisscount :0 .\r\nDelay :0 ms .\r\n";

class RelayCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dulvet.IsReady());
        ASSERT_TRUE(m_server.IsOpen());
        m_relayPort = DulvetProcess::FreePort();
    }

    void Start(const wchar_t* loss = L"0", const wchar_t* delay = L"0")
    {
        StartRelay(m_dulvet, m_relayPort, m_server.Port(), loss, delay);
        ASSERT_TRUE(m_dulvet.WaitForLogLines(3));
    }

    // Sends "0", "1", ... and returns what reached the server.
    std::vector<std::string> Relay(UdpPeer& client, int count, int first = 0)
    {
        for (int i = first; i < first + count; ++i)
            client.SendText(std::to_string(i), m_relayPort);
        std::vector<std::string> got;
        while (auto text = m_server.ReceiveText(400ms))
            got.push_back(*text);
        return got;
    }

    DulvetProcess m_dulvet;
    UdpPeer m_server;
    unsigned m_relayPort = 0;
};

}  // namespace

TEST_F(RelayCommands, StartRelaysBothWaysAndLogsExactlyItsThreeLines)
{
    Start();
    EXPECT_EQ(m_dulvet.LogText(), kStartLines0);

    UdpPeer client;
    const auto request = RandomBytes(15000, 9);
    ASSERT_GT(client.SendTo(request, m_relayPort), 0);
    auto atServer = m_server.Receive();
    ASSERT_TRUE(atServer);
    EXPECT_EQ(atServer->bytes, request);
    ASSERT_GT(m_server.SendText("pong", m_relayPort), 0);
    EXPECT_EQ(client.ReceiveText(), "pong");
    EXPECT_EQ(m_dulvet.LogText(), kStartLines0);  // nothing per datagram at loss 0, delay 0
    EXPECT_FALSE(m_dulvet.WaitForOtherWindow(0ms));
}

TEST_F(RelayCommands, StartReportsTheLossRateAsMissCountAndTheDelay)
{
    Start(L"10", L"50");
    EXPECT_EQ(m_dulvet.LogText(), CString(L"Dulvet Ready!\r\nMisscount :10 .\r\nDelay :50 ms .\r\n"));
}

TEST_F(RelayCommands, LossRate25DropsTheFourthOfEveryFour)
{
    Start(L"25");
    UdpPeer client;
    EXPECT_EQ(Relay(client, 5), (std::vector<std::string>{"0", "1", "2", "4"}));
    ASSERT_TRUE(m_dulvet.WaitForLogLines(8));
    EXPECT_EQ(m_dulvet.LogText(), CString(L"Dulvet Ready!\r\nMisscount :4 .\r\nDelay :0 ms .\r\n"
                                          L"count:1.\r\ncount:2.\r\ncount:3.\r\nMiss a packet.\r\ncount:1.\r\n"));
}

TEST_F(RelayCommands, ModifyChangesTheDropPeriodFromTheCurrentCounter)
{
    Start(L"10");
    UdpPeer client;
    ASSERT_EQ(Relay(client, 2).size(), 2u);  // counts 1 and 2
    m_dulvet.SetField(IDC_LOSS_RATE, L"50");
    m_dulvet.Click(IDC_MODIFY);
    ASSERT_TRUE(m_dulvet.WaitForLogLines(8));
    // The counter stands at 3, past the new period of 2: the next one drops.
    EXPECT_EQ(Relay(client, 3, 2), (std::vector<std::string>{"3"}));
    ASSERT_TRUE(m_dulvet.WaitForLogLines(11));
    EXPECT_EQ(m_dulvet.LogText(),
              CString(L"Dulvet Ready!\r\nMisscount :10 .\r\nDelay :0 ms .\r\ncount:1.\r\ncount:2.\r\n"
                      L"Dulvet Ready!\r\nMisscount :2 .\r\nDelay :0 ms .\r\n"
                      L"Miss a packet.\r\ncount:1.\r\nMiss a packet.\r\n"));
}

TEST_F(RelayCommands, ModifyTwiceAddsSixLinesAndKeepsTheServerPortOfStart)
{
    Start();
    UdpPeer elsewhere;
    m_dulvet.SetField(IDC_SERVER_PORT, CString::Formatted(L"%u", elsewhere.Port()));
    m_dulvet.Click(IDC_MODIFY);
    ASSERT_TRUE(m_dulvet.WaitForLogLines(6));
    m_dulvet.SetField(IDC_DELAY, L"5");
    m_dulvet.Click(IDC_MODIFY);
    ASSERT_TRUE(m_dulvet.WaitForLogLines(9));
    EXPECT_EQ(m_dulvet.LogText(), kStartLines0 + CString(L"Dulvet Ready!\r\nMisscount :0 .\r\nDelay :0 ms .\r\n"
                                                         L"Dulvet Ready!\r\nMisscount :0 .\r\nDelay :5 ms .\r\n"));
    UdpPeer client;
    client.SendText("still here", m_relayPort);
    EXPECT_EQ(m_server.ReceiveText(), "still here");
    EXPECT_FALSE(elsewhere.ReceiveText(200ms));
}

TEST_F(RelayCommands, DelayPutsTheKthOfTenDatagramsNoSoonerThanKTimesTheDelay)
{
    Start(L"0", L"200");
    UdpPeer client;
    const auto sent = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i)
        client.SendText(std::to_string(i), m_relayPort);
    for (int k = 1; k <= 10; ++k) {
        ASSERT_EQ(m_server.ReceiveText(1500ms), std::to_string(k - 1));
        EXPECT_GE(std::chrono::steady_clock::now() - sent, k * 200ms) << "datagram " << k;
    }
    ASSERT_TRUE(m_dulvet.WaitForLogLines(13));
    EXPECT_TRUE(m_dulvet.LogText().View().ends_with(L"Delay 200 ms.\r\nDelay 200 ms.\r\n"));
}

TEST_F(RelayCommands, EnterInAFieldRunsStartAndASecondStartKeepsTheRelayWorking)
{
    StartRelay(m_dulvet, m_relayPort, m_server.Port());
    ASSERT_TRUE(m_dulvet.WaitForLogLines(3));
    m_dulvet.SetField(IDC_LOSS_RATE, L"100");
    m_dulvet.PressKey(IDC_LOSS_RATE, VK_RETURN);
    ASSERT_TRUE(m_dulvet.WaitForLogLines(6));
    EXPECT_EQ(m_dulvet.LogText(), kStartLines0 + CString(L"Dulvet Ready!\r\nMisscount :1 .\r\nDelay :0 ms .\r\n"));
    EXPECT_FALSE(m_dulvet.WaitForOtherWindow(200ms)) << "a second Start must not fail on its own socket";

    UdpPeer client;
    EXPECT_TRUE(Relay(client, 2).empty());  // loss 100: every client datagram dropped
    ASSERT_TRUE(m_dulvet.WaitForLogLines(8));
}

TEST_F(RelayCommands, PortInUseIsReportedClearlyAndAStartAfterTheFixWorks)
{
    UdpPeer squatter;
    StartRelay(m_dulvet, squatter.Port(), m_server.Port());
    const HWND box = m_dulvet.WaitForOtherWindow();
    ASSERT_TRUE(box);
    const CString message = DulvetProcess::MessageBoxText(box);
    EXPECT_NE(message.View().find(CString::Formatted(L"127.0.0.1:%u", squatter.Port()).View()), std::wstring::npos)
        << CString(message).ToUtf8();
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(m_dulvet.LogText().IsEmpty()) << "no Ready line for a relay that did not start";

    m_dulvet.SetField(IDC_PORT, CString::Formatted(L"%u", m_relayPort));
    m_dulvet.Click(IDOK);
    ASSERT_TRUE(m_dulvet.WaitForLogLines(3));
    UdpPeer client;
    EXPECT_EQ(Relay(client, 1), std::vector<std::string>{"0"});
}

TEST_F(RelayCommands, ClosingDuringATenSecondPauseEndsTheProcessWithinASecond)
{
    Start(L"0", L"10000");
    UdpPeer client;
    client.SendText("slow", m_relayPort);
    std::this_thread::sleep_for(300ms);  // the worker is in its pause now
    const auto took = m_dulvet.CloseAndWait();
    ASSERT_TRUE(took);
    EXPECT_LT(*took, 1000ms);
    EXPECT_FALSE(m_server.ReceiveText(100ms));
}
