#pragma once
// The three lines that Start and Modify write, in one text: ready, miss
// count, delay. Shared by the relay engine and the link engine.

#include <cstdint>

#include "framework/core/CString.h"

CString SettingsLines(std::int32_t missCount, std::int32_t delayMs);
