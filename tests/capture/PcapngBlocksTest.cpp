// The capture's blocks byte for byte against a small hand-made file: its
// section header, both interfaces, one packet of each kind (IPv4 inbound
// with one comment, IPv6 outbound with two) and a statistics block. The
// file was written by hand from the pcapng and IP layouts, checked with
// tshark (checksums good) and capinfos (no warning).

#include <gtest/gtest.h>

#include <string>

#include "capture/CaptureComments.h"
#include "capture/PcapngBlocks.h"
#include "capture/UdpPacket.h"

namespace {

std::string Hex(const std::string& bytes)
{
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (const unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

constexpr std::uint64_t kTime = 1700000000123456789ull;

// The hand-made file, block by block.
const char* const kSectionHeader =
    "0a0d0d0a30000000"                  // type, length 48
    "4d3c2b1a01000000ffffffffffffffff"  // byte order, version 1.0, no section length
    "04000b0044756c7665742074657374000000000030000000";  // shb_userappl "Dulvet test", end, length
const char* const kClientsInterface =
    "0100000040000000" "6500000000000400"  // raw IP, snap length 262144
    "02000700636c69656e747300"             // if_name "clients"
    "0300100074686520636c69656e74732073696465"  // if_description
    "0900010009000000" "00000000" "40000000";  // if_tsresol 10^-9, end
const char* const kServerInterface =
    "0100000040000000650000000000040002000600736572766572000003000f0074686520736572766572207369646500"
    "09000100090000000000000040000000";
const char* const kIpv4Packet =
    "0600000078000000" "00000000" "fe9c971715cd853d" "2100000021000000"
    "450000210000400040113cc97f0000017f000002"  // IPv4 127.0.0.1 -> 127.0.0.2, checksum 3cc9
    "9c401388000d0e36" "68656c6c6f000000"      // UDP 40000 -> 5000, checksum 0e36, "hello"
    "01002100746f2d7365727665722023312064726f707065643a2072616e646f6d2d6c6f7373000000"
    "0200040001000000" "00000000" "78000000";  // inbound
const char* const kIpv6Packet =
    "06000000ac00000001000000fe9c9717fdd0853d3300000033000000"
    "60000000000b1140" "00000000000000000000000000000001" "20010db8000000000000000000000007"
    "13889c40000b1150" "00ff1000"  // UDP 5000 -> 40000, checksum 1150
    "01002000746f2d636c69656e74202332206c65667420616674657220302e303031206d73"
    "01002400746f2d636c69656e7420233220636f70792032206f66203220286475706c696361746529"
    "0200040002000000" "00000000" "ac000000";  // outbound
const char* const kStatistics = "050000002400000000000000fe9c9717e5d4853d01000300656e64000000000024000000";

PacketEndpoint V4(std::uint8_t last, std::uint16_t port) { return PacketEndpoint::V4(0x7F000000u | last, port); }

}  // namespace

TEST(PcapngBlocks, HeaderAndInterfacesMatchTheHandMadeFile)
{
    std::string out;
    pcapng::AppendSectionHeader(out, "Dulvet test");
    EXPECT_EQ(Hex(out), kSectionHeader);
    out.clear();
    pcapng::AppendInterface(out, "clients", "the clients side");
    EXPECT_EQ(Hex(out), kClientsInterface);
    out.clear();
    pcapng::AppendInterface(out, "server", "the server side");
    EXPECT_EQ(Hex(out), kServerInterface);
}

TEST(PcapngBlocks, AnIpv4AndAnIpv6PacketWithTheirCommentsMatchTheHandMadeFile)
{
    std::string packet;
    const std::string hello = "hello";
    AppendUdpPacket(packet, V4(1, 40000), V4(2, 5000), reinterpret_cast<const unsigned char*>(hello.data()),
                    hello.size());
    std::string out;
    pcapng::AppendPacket(out, 0, kTime, pcapng::Direction::Inbound, packet, {"to-server #1 dropped: random-loss"});
    EXPECT_EQ(Hex(out), kIpv4Packet);

    std::array<std::uint8_t, 16> loopback{}, documentation{0x20, 0x01, 0x0d, 0xb8};
    loopback[15] = 1;
    documentation[15] = 7;
    const unsigned char odd[] = {0x00, 0xff, 0x10};  // an odd length: the checksum pads it
    packet.clear();
    AppendUdpPacket(packet, PacketEndpoint::V6(loopback, 5000), PacketEndpoint::V6(documentation, 40000), odd, 3);
    out.clear();
    pcapng::AppendPacket(out, 1, kTime + 1000, pcapng::Direction::Outbound, packet,
                         {"to-client #2 left after 0.001 ms", "to-client #2 copy 2 of 2 (duplicate)"});
    EXPECT_EQ(Hex(out), kIpv6Packet);

    out.clear();
    pcapng::AppendStatistics(out, 0, kTime + 2000, "end");
    EXPECT_EQ(Hex(out), kStatistics);
    EXPECT_EQ(out.size(), pcapng::StatisticsSize(3));
}

TEST(UdpPacket, AnIpv4EndpointBesideAnIpv6OneIsWrittenMapped)
{
    std::string packet;
    AppendUdpPacket(packet, V4(1, 1), PacketEndpoint::V6({}, 2), nullptr, 0);
    ASSERT_EQ(packet.size(), 48u);
    EXPECT_EQ(Hex(packet.substr(8, 16)), "00000000000000000000ffff7f000001");
}

TEST(UdpPacket, TakesEitherFamilyOfTheCoreEndpoint)
{
    const auto v6 = ParseIpv6Literal(L"2001:db8::7");
    ASSERT_TRUE(v6);
    EXPECT_EQ(PacketEndpoint::From(IpEndpoint::V4(0x7F000001, 5000)), V4(1, 5000));
    EXPECT_EQ(PacketEndpoint::From(IpEndpoint::V6(*v6, 40000)), PacketEndpoint::V6(*v6, 40000));
}

// Every kind of fate in the words the capture and the user read.
TEST(CaptureComments, EachFateInItsWords)
{
    const auto event = [](DatagramStep step, DatagramWay way, auto&& set) {
        DatagramEvent e;
        e.step = step;
        e.way = way;
        e.number = 812;
        e.arrivalNs = 1'000'000'000;
        e.timeNs = e.arrivalNs;
        set(e);
        return FateComments(e);
    };
    using Comments = std::vector<std::string>;
    const auto none = [](DatagramEvent&) {};
    EXPECT_EQ(event(DatagramStep::Arrived, DatagramWay::ToServer, none), Comments{"to-server #812 arrived"});
    EXPECT_EQ(event(DatagramStep::Dropped, DatagramWay::ToServer, [](DatagramEvent& e) { e.cause = "random-loss"; }),
              Comments{"to-server #812 dropped: random-loss"});
    EXPECT_EQ(event(DatagramStep::Dropped, DatagramWay::ToClient,
                    [](DatagramEvent& e) {
                        e.cause = "queue-full";
                        e.waiting = 1000;
                    }),
              Comments{"to-client #812 dropped: queue-full (1000 waiting)"});
    EXPECT_EQ(event(DatagramStep::Left, DatagramWay::ToServer,
                    [](DatagramEvent& e) {
                        e.timeNs += 83'214'400;
                        e.delayed = true;
                        e.delayMs = 80;
                        e.jittered = true;
                        e.jitterNs = 3'214'400;
                    }),
              Comments{"to-server #812 left after 83.214 ms (delay 80, jitter +3.214)"});
    EXPECT_EQ(event(DatagramStep::Left, DatagramWay::ToServer,
                    [](DatagramEvent& e) {
                        e.timeNs += 76'999'600;
                        e.delayed = true;
                        e.delayMs = 80;
                        e.jittered = true;
                        e.jitterNs = -3'000'400;
                    }),
              Comments{"to-server #812 left after 77.000 ms (delay 80, jitter -3.000)"});
    EXPECT_EQ(event(DatagramStep::Left, DatagramWay::ToClient, [](DatagramEvent& e) { e.copy = 2; }),
              (Comments{"to-client #812 left after 0.000 ms", "to-client #812 copy 2 of 2 (duplicate)"}));
    EXPECT_EQ(event(DatagramStep::Left, DatagramWay::ToServer, [](DatagramEvent& e) { e.reordered = true; }),
              (Comments{"to-server #812 left after 0.000 ms", "to-server #812 reordered"}));
}
