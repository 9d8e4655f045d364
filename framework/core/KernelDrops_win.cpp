#include "framework/core/KernelDrops.h"

// Windows keeps no drop count per socket that a program may read.
std::optional<std::uint64_t> KernelDropsAtOwnSockets() { return std::nullopt; }
