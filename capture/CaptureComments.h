#pragma once
// The words that tell a datagram's fate, as the capture's comments and the
// event log say them: "to-server #812 dropped: random-loss",
// "to-client #3 left after 83.214 ms (delay 80, jitter +3.214)".

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "relay/DatagramObserver.h"

// "to-server" or "to-client".
const char* WayName(DatagramWay way);

// Milliseconds from nanoseconds, with three decimals ("83.214"); signed
// adds "+" before a value that is not negative.
std::string MillisecondsText(std::int64_t ns, bool signed_ = false);

// A packet's comments, written without allocating: its fate, then for a
// copy or a datagram that overtook others a second one that says so.
class FateText {
public:
    explicit FateText(const DatagramEvent& event);
    std::size_t Count() const { return m_second.length ? 2 : 1; }
    std::string_view operator[](std::size_t i) const { return i ? m_second.View() : m_first.View(); }

    // Text that keeps what fits and cuts the rest.
    template <std::size_t N>
    struct Line {
        std::array<char, N> text;
        std::size_t length = 0;
        std::string_view View() const { return {text.data(), length}; }
        Line& operator<<(std::string_view part);
        Line& operator<<(std::uint64_t value);
    };

private:
    Line<192> m_first;
    Line<64> m_second;
};

// The same as strings, each starting "to-server #N " or "to-client #N ".
std::vector<std::string> FateComments(const DatagramEvent& event);
