#include "link/DelayShape.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "framework/core/NumberText.h"
#include "link/NumberLines.h"

namespace {

constexpr double kTail = 1e-6;  // draws no further out than this on either side
constexpr double kTrimLow = 0.005, kTrimHigh = 0.995;

// The normal's quantile: a rational first guess (after P. J. Acklam, good to
// about 1e-9), then one Halley step on the error function to full precision.
double NormalGuess(double p)
{
    static constexpr double a[] = {-3.969683028665376e+01, 2.209460984245205e+02, -2.759285104469687e+02,
                                   1.383577518672690e+02,  -3.066479806614716e+01, 2.506628277459239e+00};
    static constexpr double b[] = {-5.447609879822406e+01, 1.615858368580409e+02, -1.556989798598866e+02,
                                   6.680131188771972e+01,  -1.328068155288572e+01};
    static constexpr double c[] = {-7.784894002430293e-03, -3.223964580411365e-01, -2.400758277161838e+00,
                                   -2.549732539343734e+00, 4.374664141464968e+00,  2.938163982698783e+00};
    static constexpr double d[] = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00,
                                   3.754408661907416e+00};
    constexpr double low = 0.02425;
    if (p < low || p > 1 - low) {
        const double q = std::sqrt(-2 * std::log(p < low ? p : 1 - p));
        const double x = (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
                         ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
        return p < low ? x : -x;
    }
    const double q = p - 0.5;
    const double r = q * q;
    return (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
           (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1);
}

// Pareto with shape 3 and scale 1: (1 - p)^(-1/3); its mean is 1.5.
double RawPareto(double p) { return std::pow(1 - p, -1.0 / 3.0); }

// The deviation of the Pareto between its trimming quantiles a and b, from
// its density 3 x^-4: the mass between them is 0.99, the first moment
// 1.5 (a^-2 - b^-2) and the second 3 (a^-1 - b^-1).
double TrimmedParetoDeviation()
{
    const double a = RawPareto(kTrimLow), b = RawPareto(kTrimHigh);
    const double mass = kTrimHigh - kTrimLow;
    const double mean = 1.5 * (1 / (a * a) - 1 / (b * b)) / mass;
    const double square = 3 * (1 / a - 1 / b) / mass;
    return std::sqrt(square - mean * mean);
}

double Blend(double p) { return 0.25 * NormalQuantile(p) + 0.75 * ParetoQuantile(p); }

// The blend's deviation between the trimming quantiles, by Simpson's rule
// over its quantile function (smooth there): good to about 1e-11.
double TrimmedBlendDeviation()
{
    constexpr int kSteps = 20000;
    const double width = (kTrimHigh - kTrimLow) / kSteps;
    double sum = 0, sumSquares = 0;
    for (int i = 0; i <= kSteps; ++i) {
        const double weight = i == 0 || i == kSteps ? 1 : (i % 2 ? 4 : 2);
        const double x = Blend(kTrimLow + i * width);
        sum += weight * x;
        sumSquares += weight * x * x;
    }
    const double mass = kTrimHigh - kTrimLow;
    const double mean = sum * width / 3 / mass;
    return std::sqrt(sumSquares * width / 3 / mass - mean * mean);
}

double InsideTails(double p) { return std::clamp(p, kTail, 1 - kTail); }

double TableOffset(const std::vector<double>& table, double draw)
{
    const double position = draw * static_cast<double>(table.size()) - 0.5;
    if (position <= 0)
        return table.front();
    const auto below = static_cast<std::size_t>(position);
    if (below + 1 >= table.size())
        return table.back();
    const double along = position - static_cast<double>(below);
    return table[below] + (table[below + 1] - table[below]) * along;
}

}  // namespace

double NormalQuantile(double p)
{
    const double x = NormalGuess(p);
    const double error = 0.5 * std::erfc(-x / std::sqrt(2.0)) - p;
    const double u = error * std::sqrt(2 * 3.14159265358979323846) * std::exp(x * x / 2);
    return x - u / (1 + x * u / 2);
}

double ParetoQuantile(double p)
{
    static const double deviation = TrimmedParetoDeviation();
    return (RawPareto(p) - 1.5) / deviation;
}

double ParetoNormalQuantile(double p)
{
    static const double deviation = TrimmedBlendDeviation();
    return Blend(p) / deviation;
}

DelayShape::DelayShape(DelayShapeKind kind) : m_kind(kind)
{
    if (kind != DelayShapeKind::Table)
        Offset(0.5);  // works out the scale now rather than at the first datagram
}

DelayShape DelayShape::FromTable(std::vector<double> quantiles, std::string name)
{
    DelayShape shape(DelayShapeKind::Table);
    shape.m_table = std::make_shared<const std::vector<double>>(std::move(quantiles));
    shape.m_tableName = std::move(name);
    return shape;
}

std::string DelayShape::Name() const
{
    switch (m_kind) {
    case DelayShapeKind::Uniform: return "uniform";
    case DelayShapeKind::Normal: return "normal";
    case DelayShapeKind::Pareto: return "pareto";
    case DelayShapeKind::ParetoNormal: return "paretonormal";
    case DelayShapeKind::Table: return m_tableName;
    }
    return "?";
}

double DelayShape::Offset(double draw) const
{
    switch (m_kind) {
    case DelayShapeKind::Uniform: return draw * 2.0 - 1.0;
    case DelayShapeKind::Normal: return NormalQuantile(InsideTails(draw));
    case DelayShapeKind::Pareto: return ParetoQuantile(InsideTails(draw));
    case DelayShapeKind::ParetoNormal: return ParetoNormalQuantile(InsideTails(draw));
    case DelayShapeKind::Table: return TableOffset(*m_table, draw);
    }
    return 0;
}

std::optional<DelayShapeKind> ParseDelayShapeName(std::string_view text)
{
    if (text == "uniform")
        return DelayShapeKind::Uniform;
    if (text == "normal")
        return DelayShapeKind::Normal;
    if (text == "pareto")
        return DelayShapeKind::Pareto;
    if (text == "paretonormal")
        return DelayShapeKind::ParetoNormal;
    return std::nullopt;
}

DelayTableReading ReadDelayTable(std::string_view text)
{
    constexpr std::size_t kMostLines = 1000000;
    DelayTableReading reading;
    auto& table = reading.quantiles;
    const auto problem = ForEachNumberLine(text, [&](std::string_view line) -> std::optional<std::string> {
        const auto value = ParseDouble(std::wstring(line.begin(), line.end()));
        if (!value || !std::isfinite(*value))
            return "expected a number, not '" + std::string(line) + "'";
        if (!table.empty() && *value < table.back())
            return std::string("the quantiles must not decrease");
        if (table.size() == kMostLines)
            return std::string("a table has at most 1000000 numbers");
        table.push_back(*value);
        return std::nullopt;
    });
    if (problem)
        reading.problem = *problem;
    else if (table.empty())
        reading.problem = "the table has no numbers";
    if (!reading.problem.empty())
        table.clear();
    return reading;
}
