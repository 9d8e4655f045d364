#include "capture/UdpPacket.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace {

constexpr std::uint8_t kUdpProtocol = 17;
constexpr std::uint8_t kHopLimit = 64;
constexpr std::size_t kUdpHeader = 8;

// The Internet checksum's running sum. It is summed in the machine's own
// (little-endian) order, eight bytes at a time, and swapped once at the
// end: the one's complement sum does not depend on the byte order.
static_assert(std::endian::native == std::endian::little);

class Checksum {
public:
    // Bytes at an even offset of the summed stream; only the last may be odd.
    void Add(const unsigned char* bytes, std::size_t size)
    {
        // Four sums side by side, so that the additions need not wait for
        // each other; 32-bit halves in 64-bit sums cannot overflow here.
        std::uint64_t sums[4] = {};
        std::size_t i = 0;
        for (; i + 32 <= size; i += 32)
            for (int k = 0; k < 4; ++k)
                sums[k] += Halves(bytes + i + 8 * k);
        for (; i + 8 <= size; i += 8)
            sums[0] += Halves(bytes + i);
        m_sum += sums[0] + sums[1] + sums[2] + sums[3];
        for (; i + 1 < size; i += 2)
            m_sum += std::uint32_t{bytes[i]} | std::uint32_t{bytes[i + 1]} << 8;
        if (size % 2)
            m_sum += bytes[size - 1];
    }
    // A 32-bit value in network order, as two 16-bit words.
    void Add(std::uint32_t word)
    {
        m_sum += Swap(static_cast<std::uint16_t>(word >> 16));
        m_sum += Swap(static_cast<std::uint16_t>(word & 0xFFFF));
    }
    std::uint16_t Value() const
    {
        std::uint64_t sum = m_sum;
        while (sum >> 16)
            sum = (sum & 0xFFFF) + (sum >> 16);
        return static_cast<std::uint16_t>(~Swap(static_cast<std::uint16_t>(sum)) & 0xFFFF);
    }

private:
    static std::uint64_t Halves(const unsigned char* bytes)
    {
        std::uint64_t word;
        std::memcpy(&word, bytes, 8);
        return (word & 0xFFFFFFFF) + (word >> 32);
    }
    static std::uint16_t Swap(std::uint16_t value) { return static_cast<std::uint16_t>(value >> 8 | value << 8); }
    std::uint64_t m_sum = 0;
};

void Put16(unsigned char* at, std::uint16_t value)
{
    at[0] = static_cast<unsigned char>(value >> 8);
    at[1] = static_cast<unsigned char>(value & 0xFF);
}

PacketEndpoint AsV6(const PacketEndpoint& endpoint)
{
    if (endpoint.v6)
        return endpoint;
    std::array<std::uint8_t, 16> mapped{};
    mapped[10] = mapped[11] = 0xFF;
    for (int i = 0; i < 4; ++i)
        mapped[12 + i] = endpoint.address[i];
    return PacketEndpoint::V6(mapped, endpoint.port);
}

std::size_t AddressLength(bool v6) { return v6 ? 16 : 4; }

}  // namespace

void AppendUdpPacket(std::string& out, const PacketEndpoint& sourceIn, const PacketEndpoint& destinationIn,
                     const unsigned char* payload, std::size_t size)
{
    const bool v6 = sourceIn.v6 || destinationIn.v6;
    const PacketEndpoint source = v6 ? AsV6(sourceIn) : sourceIn;
    const PacketEndpoint destination = v6 ? AsV6(destinationIn) : destinationIn;
    const std::size_t addressLength = AddressLength(v6);
    // A UDP length beyond 16 bits (an IPv6 jumbogram) is written as 0.
    const std::size_t udpLength = kUdpHeader + size;
    const auto udpLength16 = static_cast<std::uint16_t>(udpLength > 0xFFFF ? 0 : udpLength);

    // Both headers are made here, then the payload is copied once, after them.
    std::array<unsigned char, 40 + kUdpHeader> headers{};
    unsigned char* ip = headers.data();
    unsigned char* addresses;
    if (v6) {
        ip[0] = 0x60;  // then the traffic class and flow label, 0
        Put16(ip + 4, udpLength16);
        ip[6] = kUdpProtocol;
        ip[7] = kHopLimit;
        addresses = ip + 8;
    } else {
        const std::size_t total = 20 + udpLength;
        ip[0] = 0x45;  // version 4, 5 words of header
        Put16(ip + 2, static_cast<std::uint16_t>(total > 0xFFFF ? 0xFFFF : total));
        Put16(ip + 6, 0x4000);  // no identification; don't fragment
        ip[8] = kHopLimit;
        ip[9] = kUdpProtocol;
        addresses = ip + 12;
    }
    std::memcpy(addresses, source.address.data(), addressLength);
    std::memcpy(addresses + addressLength, destination.address.data(), addressLength);
    unsigned char* udp = addresses + 2 * addressLength;
    if (!v6) {
        Checksum header;
        header.Add(ip, 20);
        Put16(ip + 10, header.Value());
    }
    Put16(udp, source.port);
    Put16(udp + 2, destination.port);
    Put16(udp + 4, udpLength16);

    // Over the pseudo-header (both addresses, the protocol, the length), the
    // UDP header and the payload; 0 is sent as all ones, since 0 means none.
    Checksum sum;
    sum.Add(addresses, 2 * addressLength);
    sum.Add(kUdpProtocol);
    sum.Add(static_cast<std::uint32_t>(udpLength));
    sum.Add(udp, kUdpHeader);
    sum.Add(payload, size);
    const std::uint16_t value = sum.Value();
    Put16(udp + 6, value == 0 ? 0xFFFF : value);

    out.append(reinterpret_cast<const char*>(headers.data()), static_cast<std::size_t>(udp + kUdpHeader - ip));
    out.append(reinterpret_cast<const char*>(payload), size);
}
