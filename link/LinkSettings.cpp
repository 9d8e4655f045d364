#include "link/LinkSettings.h"

#include <cmath>

#include "framework/core/NumberText.h"

namespace {

bool IsPercent(double value) { return value >= 0 && value <= 100; }

std::optional<std::string> CheckPercent(const char* flag, double value)
{
    if (IsPercent(value))
        return std::nullopt;
    return std::string(flag) + " must be a percentage from 0 to 100";
}

std::optional<double> ParsePercentText(std::string_view text)
{
    const std::wstring wide(text.begin(), text.end());
    const auto value = ParseDouble(wide);
    if (!value || !std::isfinite(*value))
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::string> ValidateLinkSettings(const LinkSettings& s)
{
    if (auto bad = CheckPercent("--random-loss", s.randomLossPercent))
        return bad;
    if (s.burstLoss) {
        if (!IsPercent(s.burstLoss->enterPercent) || !IsPercent(s.burstLoss->leavePercent))
            return std::string("--burst-loss needs two percentages from 0 to 100, as P,R");
    }
    if (!(s.jitterMs >= 0) || !std::isfinite(s.jitterMs))
        return std::string("--jitter must not be negative");
    if (s.jitterMs > 86400000)
        return std::string("--jitter must be at most a day (86400000 ms)");
    if (s.rateKbit && (!(*s.rateKbit > 0) || !std::isfinite(*s.rateKbit)))
        return std::string("--rate must be more than 0 kbit/s");
    if (s.queueLimit < 1)
        return std::string("--queue must be at least 1");
    if (auto bad = CheckPercent("--duplicate", s.duplicatePercent))
        return bad;
    if (auto bad = CheckPercent("--reorder", s.reorderPercent))
        return bad;
    if (s.reorderPercent > 0 && s.delayMs <= 0 && s.jitterMs <= 0)
        return std::string("--reorder needs a delay (--delay)");
    return std::nullopt;
}

std::optional<LinkDirection> ParseLinkDirection(std::string_view text)
{
    if (text == "to-server")
        return LinkDirection::ToServer;
    if (text == "to-client")
        return LinkDirection::ToClient;
    if (text == "both")
        return LinkDirection::Both;
    return std::nullopt;
}

std::optional<BurstLoss> ParseBurstLoss(std::string_view text)
{
    const auto comma = text.find(',');
    if (comma == std::string_view::npos)
        return std::nullopt;
    const auto enter = ParsePercentText(text.substr(0, comma));
    const auto leave = ParsePercentText(text.substr(comma + 1));
    if (!enter || !leave)
        return std::nullopt;
    return BurstLoss{*enter, *leave};
}

const char* DirectionName(LinkDirection direction)
{
    switch (direction) {
    case LinkDirection::ToServer: return "to-server";
    case LinkDirection::ToClient: return "to-client";
    case LinkDirection::Both: return "both";
    }
    return "?";
}

bool Applies(LinkDirection option, Direction direction)
{
    return option == LinkDirection::Both || (option == LinkDirection::ToServer) == (direction == Direction::ToServer);
}
