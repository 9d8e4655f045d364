// Not tests: scenes held still for scripts/screenshots.sh to photograph.
// They run only when asked for (--gtest_also_run_disabled_tests).

#include <gtest/gtest.h>

#include "tests/support/DulvetProcess.h"
#include "tests/support/UdpPeer.h"
#include "res/resource.h"

using namespace std::chrono_literals;

TEST(Showcase, DISABLED_RelayRunningWithLoss)
{
    DulvetProcess dulvet;
    ASSERT_TRUE(dulvet.IsReady());
    UdpPeer server;
    const unsigned relayPort = 9000;
    StartRelay(dulvet, relayPort, server.Port(), L"25", L"20");
    ASSERT_TRUE(dulvet.WaitForLogLines(3));
    UdpPeer client;
    for (int i = 0; i < 6; ++i)
        client.SendText("hello", relayPort);
    ASSERT_TRUE(dulvet.WaitForLogLines(15));
    std::this_thread::sleep_for(8s);
}

TEST(Showcase, DISABLED_AboutBox)
{
    DulvetProcess dulvet;
    ASSERT_TRUE(dulvet.IsReady());
    dulvet.SystemCommand(IDM_ABOUTBOX);
    ASSERT_TRUE(dulvet.WaitForOtherWindow());
    std::this_thread::sleep_for(8s);
}
