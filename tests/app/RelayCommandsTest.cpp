// Start and Modify in the real program: a real client and server on
// loopback talk through Dulvet.exe, and its log box says what happened.

#include <gtest/gtest.h>

#include "framework/core/CAsyncSocket.h"
#include "tests/support/DulvetProcess.h"
#include "tests/support/UdpPeer.h"
#include "res/resource.h"

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

    // Sends "0", "1", ...; with loss on, waits until the log box holds
    // `linesAfter` lines (a count or miss line for each, written after the
    // datagram was sent or dropped), and returns what reached the server.
    std::vector<std::string> RelayCounted(UdpPeer& client, int count, int first, int linesAfter)
    {
        for (int i = first; i < first + count; ++i)
            client.SendText(std::to_string(i), m_relayPort);
        std::vector<std::string> got;
        if (!m_dulvet.WaitForLogLines(linesAfter))
            return {"(the relay's lines never came)"};
        while (auto text = m_server.ReceiveText(100ms))
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
    EXPECT_EQ(m_dulvet.LogBeforeModify(1), kStartLines0);  // nothing per datagram at loss 0, delay 0
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
    EXPECT_EQ(RelayCounted(client, 5, 0, 8), (std::vector<std::string>{"0", "1", "2", "4"}));
    EXPECT_EQ(m_dulvet.LogText(), CString(L"Dulvet Ready!\r\nMisscount :4 .\r\nDelay :0 ms .\r\n"
                                          L"count:1.\r\ncount:2.\r\ncount:3.\r\nMiss a packet.\r\ncount:1.\r\n"));
}

TEST_F(RelayCommands, ModifyChangesTheDropPeriodFromTheCurrentCounter)
{
    Start(L"10");
    UdpPeer client;
    ASSERT_EQ(RelayCounted(client, 2, 0, 5).size(), 2u);  // counts 1 and 2
    m_dulvet.SetField(IDC_LOSS_RATE, L"50");
    m_dulvet.Click(IDC_MODIFY);
    ASSERT_TRUE(m_dulvet.WaitForLogLines(8));
    // The counter stands at 3, past the new period of 2: the next one drops.
    EXPECT_EQ(RelayCounted(client, 3, 2, 11), (std::vector<std::string>{"3"}));
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
        ASSERT_EQ(m_server.ReceiveText(), std::to_string(k - 1));
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
    // A box would have come before those lines, from the same command.
    EXPECT_FALSE(m_dulvet.WaitForOtherWindow(0ms)) << "a second Start must not fail on its own socket";

    UdpPeer client;
    EXPECT_TRUE(RelayCounted(client, 2, 0, 8).empty());  // loss 100: every client datagram dropped
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
    // The system's reason, or ours with the number where it has none.
    const CString system = CAsyncSocket::SystemErrorText(WSAEADDRINUSE);
    const CString reason = system.IsEmpty() ? CString(L"该地址和端口已被占用（错误 10048）") : system;
    EXPECT_NE(message.View().find(reason.View()), std::wstring::npos) << CString(message).ToUtf8();
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(DulvetProcess::WaitUntilGone(box));

    m_dulvet.SetField(IDC_PORT, CString::Formatted(L"%u", m_relayPort));
    m_dulvet.Click(IDOK);
    ASSERT_TRUE(m_dulvet.WaitForLogLines(3));
    EXPECT_EQ(m_dulvet.LogText(), kStartLines0) << "no Ready line for the relay that did not start";
    UdpPeer client;
    ASSERT_GT(client.SendText("0", m_relayPort), 0);
    EXPECT_EQ(m_server.ReceiveText(), "0");
}

TEST_F(RelayCommands, ClosingDuringAMinuteLongPauseEndsTheProcessWithoutWaitingItOut)
{
    Start();
    UdpPeer client;
    ASSERT_GT(client.SendText("first", m_relayPort), 0);
    ASSERT_EQ(m_server.ReceiveText(), "first");  // the relay knows the client
    m_dulvet.SetField(IDC_DELAY, L"60000");
    m_dulvet.Click(IDC_MODIFY);
    ASSERT_TRUE(m_dulvet.WaitForLogLines(6));

    // A reply, then a datagram that is to wait a minute. Once the reply is
    // through, the worker goes straight on to that datagram and its pause,
    // waiting for nothing else.
    ASSERT_GT(m_server.SendText("reply", m_relayPort), 0);
    ASSERT_GT(client.SendText("slow", m_relayPort), 0);
    ASSERT_EQ(client.ReceiveText(), "reply");
    const auto took = m_dulvet.CloseAndWait(WM_CLOSE, 0, 20s);
    ASSERT_TRUE(took) << "still running 20 s after the close: the pause was waited out";
    EXPECT_FALSE(m_server.ReceiveText(100ms));  // the process is gone: nothing can come any more
}
