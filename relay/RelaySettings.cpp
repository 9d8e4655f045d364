#include "RelaySettings.h"

#include "LogHost.h"
#include "MissCount.h"
#include "RelayState.h"
#include "SettingsLines.h"

void ApplyLossAndDelay(double lossRate, std::int32_t delayMs, LogHost& log)
{
    const std::int32_t missCount = MissCountFromLossRate(lossRate);
    g_relaySocket.m_nDelay = delayMs;
    g_relaySocket.m_nMissCount = missCount;
    log.AppendLog(SettingsLines(missCount, delayMs));
}
