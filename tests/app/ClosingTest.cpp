// Closing the window while the relay is at its busiest.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "framework/core/CAsyncSocket.h"
#include "tests/support/DulvetProcess.h"
#include "framework/core/SocketTypes.h"
#include "tests/support/UdpPeer.h"
#include "res/resource.h"

using namespace std::chrono_literals;

TEST(Closing, DuringABurstWithLossEndsTheProcessPromptlyAndFreesItsPort)
{
    DulvetProcess dulvet;
    ASSERT_TRUE(dulvet.IsReady());
    UdpPeer server;
    const unsigned relayPort = DulvetProcess::FreePort();
    StartRelay(dulvet, relayPort, server.Port(), L"25", L"0");
    ASSERT_TRUE(dulvet.WaitForLogLines(3));

    // As fast as one thread can send, until the window is closed (bounded).
    std::atomic<bool> stop{false};
    std::thread sender([&] {
        UdpPeer client;
        const auto payload = RandomBytes(1000, 5);
        for (int i = 0; i < 500000 && !stop; ++i)
            client.SendTo(payload, relayPort);
    });
    const bool busy = dulvet.WaitForLogLines(500);
    const auto took = dulvet.CloseAndWait(WM_CLOSE, 0, 20s);
    stop = true;
    sender.join();

    ASSERT_TRUE(busy) << "the relay never got going";
    ASSERT_TRUE(took) << "still running 20 s after the close";
    CAsyncSocket again;
    EXPECT_TRUE(again.Create(relayPort, SOCK_DGRAM, FD_READ, L"127.0.0.1")) << "the relay port is still held";
}
