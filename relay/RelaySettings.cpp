#include "RelaySettings.h"

#include "LogHost.h"
#include "LogLines.h"
#include "MissCount.h"
#include "RelayState.h"

void ApplyLossAndDelay(double lossRate, std::int32_t delayMs, LogHost& log)
{
    const std::int32_t missCount = MissCountFromLossRate(lossRate);
    g_relaySocket.m_nDelay = delayMs;
    g_relaySocket.m_nMissCount = missCount;
    CString lines(kReadyLine);
    lines += CString::Formatted(kMissCountSettingLine, missCount);
    lines += CString::Formatted(kDelaySettingLine, delayMs);
    log.AppendLog(lines);
}
