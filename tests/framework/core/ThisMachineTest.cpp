// Which addresses are this machine's: what tells a datagram from the
// relay's own socket bound to every address.

#include <gtest/gtest.h>

#include "framework/core/ThisMachine.h"

TEST(ThisMachine, KnowsItsOwnAddressesAndNoOthers)
{
    ThisMachine machine;
    struct Case {
        IpEndpoint address;
        bool ours;
    };
    const Case cases[] = {
        {IpEndpoint::V4(0x7F000001, 5000), true},
        {IpEndpoint::V4(0x7F0000FE, 0), true},   // all of 127.0.0.0/8
        {IpEndpoint::V6({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 0), true},  // ::1
#ifndef _WIN32  // Wine lets a socket bind to any address
        {IpEndpoint::V4(0xC0000201, 0), false},  // 192.0.2.1: documentation only
        {IpEndpoint::V4(0xC0000201, 9), false},  // the answer kept
        {IpEndpoint::V6({0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 0), false},  // 2001:db8::1
#endif
    };
    for (const Case& c : cases)
        EXPECT_EQ(machine.Has(c.address), c.ours) << c.address.ToText().ToUtf8();
}
