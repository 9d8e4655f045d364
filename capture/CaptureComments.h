#pragma once
// The words that tell a datagram's fate, as the capture's comments and the
// event log say them: "to-server #812 dropped: random-loss",
// "to-client #3 left after 83.214 ms (delay 80, jitter +3.214)".

#include <cstdint>
#include <string>
#include <vector>

#include "relay/DatagramObserver.h"

// "to-server" or "to-client".
const char* WayName(DatagramWay way);

// Milliseconds from nanoseconds, with three decimals ("83.214"); signed
// adds "+" before a value that is not negative.
std::string MillisecondsText(std::int64_t ns, bool signed_ = false);

// The comments for the packet that records the event, each starting
// "to-server #N " or "to-client #N ": its fate, then for a copy or a
// datagram that overtook others a second one that says so.
std::vector<std::string> FateComments(const DatagramEvent& event);
// The same into comments, whose strings are reused.
void FateComments(const DatagramEvent& event, std::vector<std::string>& comments);
