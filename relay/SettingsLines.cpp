#include "relay/SettingsLines.h"

#include "relay/LogLines.h"

CString SettingsLines(std::int32_t missCount, std::int32_t delayMs)
{
    CString lines(kReadyLine);
    lines += CString::Formatted(kMissCountSettingLine, missCount);
    lines += CString::Formatted(kDelaySettingLine, delayMs);
    return lines;
}
