#include "relay/RelaySettings.h"

#include "relay/LogHost.h"
#include "relay/MissCount.h"
#include "relay/RelayState.h"
#include "relay/SettingsLines.h"

void ApplyLossAndDelay(double lossRate, std::int32_t delayMs, LogHost& log)
{
    const std::int32_t missCount = MissCountFromLossRate(lossRate);
    g_relaySocket.m_nDelay = delayMs;
    g_relaySocket.m_nMissCount = missCount;
    log.AppendLog(SettingsLines(missCount, delayMs));
}
