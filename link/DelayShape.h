#pragma once
// The shape of the jitter around the delay: a draw in [0, 1) becomes an
// offset in units of the jitter. Uniform spreads over [-1, +1]. The others
// are scaled to a mean of 0 and a standard deviation of 1, so the delay is
// their mean and the jitter their standard deviation: normal; Pareto with
// shape 3; Pareto-normal, a quarter of the normal's quantile plus three
// quarters of the Pareto's at the same draw. The Pareto shapes' tails are
// heavy, so their deviation is that of the part between the 0.5 % and the
// 99.5 % quantiles. Their draws are taken no further out than one in a
// million on either side, which bounds the longest delay (the Pareto's at
// about 165 jitters). A table gives the quantiles itself, at (i + 0.5) / N,
// and is read between them in straight lines.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class DelayShapeKind { Uniform, Normal, Pareto, ParetoNormal, Table };

class DelayShape {
public:
    DelayShape() = default;  // uniform
    explicit DelayShape(DelayShapeKind kind);
    // Quantiles in units of the jitter, not decreasing, at least one.
    static DelayShape FromTable(std::vector<double> quantiles, std::string name);

    DelayShapeKind Kind() const { return m_kind; }
    // "uniform", "normal", "pareto", "paretonormal" or the table's file.
    std::string Name() const;

    double Offset(double draw) const;

    bool operator==(const DelayShape&) const = default;

private:
    DelayShapeKind m_kind = DelayShapeKind::Uniform;
    std::shared_ptr<const std::vector<double>> m_table;
    std::string m_tableName;
};

// The shape named by the word, or nothing when the text is not one of them.
std::optional<DelayShapeKind> ParseDelayShapeName(std::string_view text);

// A table's text: one number a line, '#' starts a comment. Either the
// quantiles or the problem with the line that has it ("line 3: ...").
struct DelayTableReading {
    std::vector<double> quantiles;
    std::string problem;
};
DelayTableReading ReadDelayTable(std::string_view text);

// The standard shapes' quantile functions, for the table script's tests and
// the benchmark's curves: the offset at probability p in (0, 1).
double NormalQuantile(double p);
double ParetoQuantile(double p);        // standardised as above
double ParetoNormalQuantile(double p);  // standardised as above
