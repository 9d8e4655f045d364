#pragma once
// Datagrams the system dropped at this process's own UDP sockets because
// their receive buffers were full: the count the kernel keeps for each
// socket (the one SO_RXQ_OVFL reports), summed. Only where the system tells
// it to anyone who asks (Linux); nothing elsewhere.

#include <cstdint>
#include <optional>

// Any thread; it reads the system's tables, so ask when stats are wanted,
// not for every datagram. Sockets already closed no longer count.
std::optional<std::uint64_t> KernelDropsAtOwnSockets();
