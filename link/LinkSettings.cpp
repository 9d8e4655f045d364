#include "link/LinkSettings.h"

#include <cmath>

#include "framework/core/NumberText.h"
#include "framework/core/TextFile.h"

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

constexpr std::size_t kMostFileBytes = 64 << 20;

std::optional<std::shared_ptr<const RateTrace>> LoadRateTrace(std::string_view file, std::string& problem)
{
    const TextFileReading reading = ReadTextFile(file, kMostFileBytes);
    if (!reading.ok) {
        problem = reading.problem;
        return std::nullopt;
    }
    RateTraceReading trace = ReadRateTrace(reading.text);
    if (!trace.problem.empty()) {
        problem = "'" + std::string(file) + "', " + trace.problem;
        return std::nullopt;
    }
    return std::make_shared<const RateTrace>(std::move(trace.milliseconds));
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
    const auto badRate = [](const std::optional<double>& rate) { return rate && (!(*rate >= kLeastRateKbit) || !std::isfinite(*rate)); };
    if (badRate(s.rateKbit) || badRate(s.rateKbitToClient))
        return std::string("--rate must be at least 0.001 kbit/s");
    if (s.rateKbit && (s.rateTraces[0] || s.rateTraces[1]))
        return std::string("--rate and --rate-trace cannot be used together");
    if (auto bad = CheckPercent("--corrupt", s.corruptPercent))
        return bad;
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

std::optional<std::string> LoadDistribution(std::string_view text, DelayShape& shape)
{
    if (const auto kind = ParseDelayShapeName(text)) {
        shape = DelayShape(*kind);
        return std::nullopt;
    }
    const TextFileReading file = ReadTextFile(text, kMostFileBytes);
    if (!file.ok)
        return "expects uniform, normal, pareto, paretonormal or a table file; " + file.problem;
    DelayTableReading table = ReadDelayTable(file.text);
    if (!table.problem.empty())
        return "'" + std::string(text) + "', " + table.problem;
    shape = DelayShape::FromTable(std::move(table.quantiles), std::string(text));
    return std::nullopt;
}

std::optional<std::string> LoadRateTraces(std::string_view text,
                                          std::array<std::shared_ptr<const RateTrace>, 2>& traces)
{
    const auto comma = text.find(',');
    std::string problem;
    const auto first = LoadRateTrace(text.substr(0, comma), problem);
    if (!first)
        return problem;
    auto second = first;
    if (comma != std::string_view::npos) {
        second = LoadRateTrace(text.substr(comma + 1), problem);
        if (!second)
            return problem;
    }
    traces = {*first, *second};
    return std::nullopt;
}
