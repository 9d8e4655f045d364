#pragma once
// One round trip through a relay over real sockets, for either engine: a
// datagram from the client to the relay's socket at `relay`, then the
// server's reply back; both arrive, each from where it should.

#include <gtest/gtest.h>

#include <string>

#include "framework/core/SocketAddress.h"
#include "tests/support/UdpPeer.h"

inline void RoundTrip(UdpPeer& client, const wchar_t* relay, unsigned relayPort, UdpPeer& server,
                      const std::string& text)
{
    ASSERT_GT(client.SendText(text, relayPort, relay), 0);
    auto atServer = server.Receive();
    ASSERT_TRUE(atServer) << text;
    EXPECT_EQ(std::string(atServer->bytes.begin(), atServer->bytes.end()), text);
    EXPECT_EQ(EndpointOfText(atServer->fromAddress, 0)->IsV4(), EndpointOfText(server.Address(), 0)->IsV4())
        << "the server hears the relay in its own family";
    ASSERT_GT(server.SendText("re:" + text, atServer->fromPort, atServer->fromAddress), 0);
    auto back = client.Receive();
    ASSERT_TRUE(back) << text;
    EXPECT_EQ(std::string(back->bytes.begin(), back->bytes.end()), "re:" + text);
    EXPECT_EQ(back->fromAddress, CString(relay)) << "the reply comes from the address the client sent to";
    EXPECT_EQ(back->fromPort, relayPort);
}
