#include "capture/UdpPacket.h"

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
        std::size_t i = 0;
        for (; i + 8 <= size; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes + i, 8);
            m_sum += (word & 0xFFFFFFFF) + (word >> 32);
        }
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
    static std::uint16_t Swap(std::uint16_t value) { return static_cast<std::uint16_t>(value >> 8 | value << 8); }
    std::uint64_t m_sum = 0;
};

void Put16(std::string& out, std::uint16_t value)
{
    out += static_cast<char>(value >> 8);
    out += static_cast<char>(value & 0xFF);
}

const unsigned char* Bytes(const std::string& out, std::size_t at)
{
    return reinterpret_cast<const unsigned char*>(out.data() + at);
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

    const std::size_t ipStart = out.size();
    if (v6) {
        out += '\x60';
        out.append(3, '\0');  // traffic class and flow label
        Put16(out, udpLength16);
        out += static_cast<char>(kUdpProtocol);
        out += static_cast<char>(kHopLimit);
    } else {
        const std::size_t total = 20 + udpLength;
        out += '\x45';  // version 4, 5 words of header
        out += '\0';
        Put16(out, static_cast<std::uint16_t>(total > 0xFFFF ? 0xFFFF : total));
        Put16(out, 0);       // identification
        Put16(out, 0x4000);  // don't fragment
        out += static_cast<char>(kHopLimit);
        out += static_cast<char>(kUdpProtocol);
        Put16(out, 0);  // its checksum, below
    }
    const std::size_t addresses = out.size();
    out.append(reinterpret_cast<const char*>(source.address.data()), addressLength);
    out.append(reinterpret_cast<const char*>(destination.address.data()), addressLength);
    if (!v6) {
        Checksum header;
        header.Add(Bytes(out, ipStart), 20);
        const std::uint16_t value = header.Value();
        out[ipStart + 10] = static_cast<char>(value >> 8);
        out[ipStart + 11] = static_cast<char>(value & 0xFF);
    }

    const std::size_t udpStart = out.size();
    Put16(out, source.port);
    Put16(out, destination.port);
    Put16(out, udpLength16);
    Put16(out, 0);  // its checksum, below
    out.append(reinterpret_cast<const char*>(payload), size);

    // Over the pseudo-header (both addresses, the protocol, the length), the
    // UDP header and the payload; 0 is sent as all ones, since 0 means none.
    Checksum udp;
    udp.Add(Bytes(out, addresses), 2 * addressLength);
    udp.Add(kUdpProtocol);
    udp.Add(static_cast<std::uint32_t>(udpLength));
    udp.Add(Bytes(out, udpStart), udpLength);
    const std::uint16_t value = udp.Value() == 0 ? 0xFFFF : udp.Value();
    out[udpStart + 6] = static_cast<char>(value >> 8);
    out[udpStart + 7] = static_cast<char>(value & 0xFF);
}
