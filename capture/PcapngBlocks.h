#pragma once
// The pcapng blocks a capture is made of, appended to a byte string in
// little-endian order: a section header, an interface description per side
// (raw IP packets, time stamps in nanoseconds), enhanced packet blocks with
// their direction and comments, and interface statistics blocks with a comment.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pcapng {

// Packets start with their IPv4 or IPv6 header.
inline constexpr std::uint16_t kLinkTypeRaw = 101;
inline constexpr std::uint32_t kSnapLength = 262144;

enum class Direction : std::uint32_t { Inbound = 1, Outbound = 2 };

void AppendSectionHeader(std::string& out, std::string_view application);
void AppendInterface(std::string& out, std::string_view name, std::string_view description);
void AppendPacket(std::string& out, std::uint32_t interfaceId, std::uint64_t timeNs, Direction direction,
                  std::string_view packet, const std::vector<std::string>& comments);
// The same in two steps, for a packet written straight into out between
// them: BeginPacket returns where the block starts, EndPacket closes it
// with the comments given (empty ones left out).
std::size_t BeginPacket(std::string& out, std::uint32_t interfaceId, std::uint64_t timeNs);
void EndPacket(std::string& out, std::size_t start, Direction direction, const std::string_view* comments,
               std::size_t commentCount);
void AppendStatistics(std::string& out, std::uint32_t interfaceId, std::uint64_t timeNs, std::string_view comment);

// What AppendStatistics adds for a comment of this length.
constexpr std::size_t StatisticsSize(std::size_t commentLength)
{
    return 4 * 4 + 8 + 4 + ((commentLength + 3) & ~std::size_t{3}) + 4;
}

}  // namespace pcapng
