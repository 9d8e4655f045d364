// What the form does with text a person should not have typed: each field
// gives a prompt or a message, or a value the log shows; nothing crashes,
// hangs or starts half-way.

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <vector>

#include "framework/core/CAsyncSocket.h"
#include "tests/support/DulvetProcess.h"
#include "framework/core/SocketTypes.h"
#include "tests/support/UdpPeer.h"
#include "res/resource.h"

using namespace std::chrono_literals;

namespace {

const wchar_t* const kIntegerPrompt = L"请输入一个整数。";
const wchar_t* const kNumberPrompt = L"请输入一个数字。";

class BadInput : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dulvet.IsReady()); }

    // Expects the program's message boxes, one after another, each holding
    // the expected text, and closes each. A box too many shows up at the
    // next command, which then meets the wrong box, or at the test's end.
    void ExpectBoxes(const std::vector<CString>& expected, const std::string& context)
    {
        for (const CString& text : expected) {
            const HWND box = m_dulvet.WaitForOtherWindow();
            ASSERT_TRUE(box) << context << ": no box saying " << CString(text).ToUtf8();
            const CString shown = DulvetProcess::MessageBoxText(box);
            EXPECT_NE(shown.View().find(text.View()), std::wstring::npos)
                << context << ": " << CString(shown).ToUtf8();
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            ASSERT_TRUE(DulvetProcess::WaitUntilGone(box)) << context;
        }
    }

    // Fills the ports, presses Start and expects the boxes. Whether the
    // relay stayed off is checked at the end, when a Start that works logs
    // its lines: any line before them would be a failed Start's.
    void StartExpecting(const wchar_t* relayPort, const wchar_t* serverPort, const std::vector<CString>& boxes)
    {
        const std::string context = CString(relayPort).ToUtf8() + " -> " + CString(serverPort).ToUtf8();
        m_dulvet.SetField(IDC_PORT, relayPort);
        m_dulvet.SetField(IDC_SERVER_PORT, serverPort);
        m_dulvet.Click(IDOK);
        ExpectBoxes(boxes, context);
    }

    // Blanks the one part of an address field that holds `part`.
    void BlankAddressPart(int id, const wchar_t* part)
    {
        for (HWND edit = FindWindowExW(m_dulvet.Control(id), nullptr, L"Edit", nullptr); edit;
             edit = FindWindowExW(m_dulvet.Control(id), edit, L"Edit", nullptr))
            if (DulvetProcess::WindowText(edit) == part)
                SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
    }

    DulvetProcess m_dulvet;
};

struct NumberRow {
    const wchar_t* port;
    const wchar_t* delay;
    const wchar_t* loss;
    const wchar_t* prompt;  // null: none
    std::int32_t missCount;
    std::int32_t delayMs;
};

}  // namespace

// Modify reads the relay port, server port, delay and loss rate in that
// order; the first that does not read prompts, and it and those after it
// keep their values. The rows run in order, each starting where the last left.
TEST_F(BadInput, NumberFieldsPromptOrGiveTheValueTheLogShows)
{
    const std::int32_t kMax = 2147483647;
    const std::int32_t kMin = -kMax - 1;
    const NumberRow rows[] = {
        {L"0", L"", L"10", kIntegerPrompt, 0, 0},
        {L"0", L" 250\t", L"+25", nullptr, 4, 250},
        {L"0", L"abc", L"50", kIntegerPrompt, 4, 250},
        {L"0", L"-", L"50", kIntegerPrompt, 4, 250},
        {L"0", L"   ", L"50", kIntegerPrompt, 4, 250},
        {L"0", L"1e3", L"50", kIntegerPrompt, 4, 250},
        {L"0", L"5 0", L"50", kIntegerPrompt, 4, 250},
        {L"0", L"2147483648", L"50", kIntegerPrompt, 4, 250},
        {L"0", L"-40", L"1e1", nullptr, 10, -40},
        {L"0", L"86400001", L"1e-300", nullptr, kMax, 86400001},
        {L"0", L"-2147483648", L"-1e-300", nullptr, kMin, kMin},
        {L"0", L"7", L"nan", kNumberPrompt, kMin, 7},
        {L"0", L"8", L"inf", kNumberPrompt, kMin, 8},
        {L"0", L"9", L"1e400", kNumberPrompt, kMin, 9},
        {L"0", L"9", L"", kNumberPrompt, kMin, 9},
        {L"0", L"9", L"25%", kNumberPrompt, kMin, 9},
        {L"0", L"0", L"1e300", nullptr, 0, 0},
        {L"0", L"0", L"150", nullptr, 0, 0},
        {L"0", L"0", L"-10", nullptr, -10, 0},
        {L"x", L"5", L"25", kIntegerPrompt, -10, 0},
        {L"99999999999", L"5", L"25", kIntegerPrompt, -10, 0},
        {L"0", L"5", L"25", nullptr, 4, 5},
    };
    int lines = 0;
    for (const NumberRow& row : rows) {
        const std::string context = CString(row.port).ToUtf8() + " / " + CString(row.delay).ToUtf8() + " / " +
                                    CString(row.loss).ToUtf8();
        m_dulvet.SetField(IDC_PORT, row.port);
        m_dulvet.SetField(IDC_DELAY, row.delay);
        m_dulvet.SetField(IDC_LOSS_RATE, row.loss);
        m_dulvet.Click(IDC_MODIFY);
        ExpectBoxes(row.prompt ? std::vector<CString>{row.prompt} : std::vector<CString>{}, context);
        lines += 3;
        // Modify logs once the form is read: a second prompt would hold the lines back.
        ASSERT_TRUE(m_dulvet.WaitForLogLines(lines)) << context;
        EXPECT_FALSE(m_dulvet.WaitForOtherWindow(0ms)) << context << ": a box too many";
        const CString block = CString::Formatted(L"Dulvet Ready!\r\nMisscount :%d .\r\nDelay :%d ms .\r\n",
                                                 row.missCount, row.delayMs);
        EXPECT_TRUE(m_dulvet.LogText(50ms).View().ends_with(block.View())) << context;
    }
}

// Start opens nothing and logs nothing until both ends are usable, and
// says what is wrong; once they are, it starts as usual.
TEST_F(BadInput, StartRefusesUnusablePortsAndAddressesWithAMessage)
{
    UdpPeer server;
    const CString serverPort = CString::Formatted(L"%u", server.Port());
    const unsigned freePort = DulvetProcess::FreePort();
    const CString relayPort = CString::Formatted(L"%u", freePort);
    m_dulvet.SetAddress(IDC_IP, 127, 0, 0, 1);
    m_dulvet.SetAddress(IDC_SERVER_IP, 127, 0, 0, 1);

    // The addresses come after the loss rate: when it does not read, they
    // keep the values they had before they were ever read.
    m_dulvet.SetField(IDC_LOSS_RATE, L"x");
    StartExpecting(relayPort, serverPort, {kNumberPrompt, L"服务器地址 0.0.0.0 无效"});
    m_dulvet.SetField(IDC_LOSS_RATE, L"0");

    struct PortRow {
        const wchar_t* relay;
        const wchar_t* server;
        std::vector<CString> boxes;
    };
    const PortRow ports[] = {
        {L"0", serverPort, {L"中继端口 0 无效"}},
        {L"65536", serverPort, {L"中继端口 65536 无效"}},
        {L"-1", serverPort, {L"中继端口 -1 无效"}},
        {L"4294967297", serverPort, {kIntegerPrompt, L"中继端口 -1 无效"}},
        {L"", serverPort, {kIntegerPrompt, L"中继端口 -1 无效"}},
        {relayPort, L"0", {L"服务器端口 0 无效"}},
        {relayPort, L"65536", {L"服务器端口 65536 无效"}},
        {relayPort, L"-1", {L"服务器端口 -1 无效"}},
        {relayPort, L"4294967296", {kIntegerPrompt, L"服务器端口 -1 无效"}},
    };
    for (const PortRow& row : ports)
        StartExpecting(row.relay, row.server, row.boxes);

    // An empty or partly blank server address reads as 0.x.x.x, where
    // nothing can be sent.
    m_dulvet.ClearAddress(IDC_SERVER_IP);
    StartExpecting(relayPort, serverPort, {L"服务器地址 0.0.0.0 无效"});
    m_dulvet.SetAddress(IDC_SERVER_IP, 99, 0, 0, 1);
    BlankAddressPart(IDC_SERVER_IP, L"99");
    StartExpecting(relayPort, serverPort, {L"服务器地址 0.0.0.1 无效"});

    // The last usable port, on every address (an empty relay address).
    CAsyncSocket probe;
    const bool topFree = probe.Create(65535, SOCK_DGRAM, FD_READ, L"0.0.0.0");
    probe.Close();
    const unsigned port = topFree ? 65535 : freePort;
    m_dulvet.ClearAddress(IDC_IP);
    m_dulvet.SetAddress(IDC_SERVER_IP, 127, 0, 0, 1);
    m_dulvet.SetField(IDC_PORT, CString::Formatted(L"%u", port));
    m_dulvet.Click(IDOK);
    ASSERT_TRUE(m_dulvet.WaitForLogLines(3)) << "port " << port;
    EXPECT_EQ(m_dulvet.LogText(), CString(L"Dulvet Ready!\r\nMisscount :0 .\r\nDelay :0 ms .\r\n"))
        << "only the Start that worked may have logged";
    EXPECT_FALSE(m_dulvet.WaitForOtherWindow(0ms)) << "a box too many";
    UdpPeer client;
    client.SendText("through", port);
    EXPECT_EQ(server.ReceiveText(), "through") << "port " << port;
}

// With the relay running, Start with a field that does not read prompts
// once, then applies what it read as Modify does.
TEST_F(BadInput, SecondStartWithABadFieldPromptsOnceAndKeepsRelaying)
{
    UdpPeer server;
    const unsigned relayPort = DulvetProcess::FreePort();
    StartRelay(m_dulvet, relayPort, server.Port(), L"0", L"0");
    ASSERT_TRUE(m_dulvet.WaitForLogLines(3));
    m_dulvet.SetField(IDC_DELAY, L"12");
    m_dulvet.SetField(IDC_LOSS_RATE, L"lots");
    m_dulvet.Click(IDOK);
    ExpectBoxes({kNumberPrompt}, "second Start");
    ASSERT_TRUE(m_dulvet.WaitForLogLines(6));
    EXPECT_TRUE(m_dulvet.LogText().View().ends_with(L"Dulvet Ready!\r\nMisscount :0 .\r\nDelay :12 ms .\r\n"));

    UdpPeer client;
    client.SendText("still", relayPort);
    EXPECT_EQ(server.ReceiveText(), "still");
}
