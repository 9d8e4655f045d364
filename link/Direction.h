#pragma once
// The two ways a datagram travels through the link, and a value kept for
// each of them.

#include <array>
#include <cstddef>
#include <cstdint>

enum class Direction : std::uint8_t { ToServer, ToClient };

inline constexpr std::array kBothDirections{Direction::ToServer, Direction::ToClient};

// "to-server" or "to-client", as counters and lines name them.
constexpr const char* DirectionName(Direction direction)
{
    return direction == Direction::ToServer ? "to-server" : "to-client";
}

template <typename T>
class PerDirection {
public:
    T& operator[](Direction direction) { return m_values[static_cast<std::size_t>(direction)]; }
    const T& operator[](Direction direction) const { return m_values[static_cast<std::size_t>(direction)]; }

private:
    std::array<T, 2> m_values{};
};
