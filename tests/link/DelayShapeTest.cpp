// The jitter's shapes: exact delays from a seed, the shipped tables against
// the shapes they stand for, and what a table file may hold.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "framework/core/TextFile.h"
#include "link/DelayShape.h"
#include "link/Impairment.h"

namespace {

// Each shape's first six delays for seed 7, to-server, --delay 100 --jitter 20,
// in nanoseconds: worked out apart from this code from the shapes' formulas
// and the same generator (the normal's quantile from another method).
struct ShapeCase {
    DelayShapeKind kind;
    std::vector<std::int64_t> delays;
};

const ShapeCase kShapeCases[] = {
    {DelayShapeKind::Uniform, {82672379, 115462941, 100326900, 116618715, 83130340, 107599589}},
    {DelayShapeKind::Normal, {70000353, 124170107, 100409737, 127504335, 71662332, 109916425}},
    {DelayShapeKind::Pareto, {84077758, 118900014, 92212675, 126005359, 84218698, 99250023}},
    {DelayShapeKind::ParetoNormal, {79696781, 121113552, 94007637, 127549235, 80241079, 102001566}},
};

LinkSettings Jittered(DelayShape shape, double jitterMs = 20)
{
    LinkSettings settings;
    settings.pipeline = true;
    settings.jitterMs = jitterMs;
    settings.distribution = std::move(shape);
    return settings;
}

}  // namespace

TEST(DelayShape, EachShapeGivesTheExactDelaysItsFormulaGivesForTheSeed)
{
    for (const auto& shapeCase : kShapeCases) {
        Impairment link(Jittered(DelayShape(shapeCase.kind)), 7, Direction::ToServer);
        link.SetLossAndDelay(0, 100);
        for (std::size_t i = 0; i < shapeCase.delays.size(); ++i)
            EXPECT_EQ(link.Decide(LinkTime{0}, 10).departure.count(), shapeCase.delays[i])
                << DelayShape(shapeCase.kind).Name() << " #" << i;
    }
}

TEST(DelayShape, NeverBelowZeroAndTheTailIsBounded)
{
    for (const auto kind : {DelayShapeKind::Normal, DelayShapeKind::Pareto, DelayShapeKind::ParetoNormal}) {
        const DelayShape shape(kind);
        EXPECT_LT(shape.Offset(0.0), 0);
        EXPECT_TRUE(std::isfinite(shape.Offset(0.0)));
        EXPECT_LT(shape.Offset(1.0 - 0x1p-53), 170) << shape.Name();
        Impairment link(Jittered(shape, 50), 3, Direction::ToServer);
        link.SetLossAndDelay(0, 10);  // most draws below zero: each waits nothing
        for (int i = 0; i < 2000; ++i)
            ASSERT_GE(link.Decide(LinkTime{i}, 10).departure, LinkTime{i});
    }
}

TEST(DelayShape, ATableIsReadBetweenItsQuantilesInStraightLines)
{
    const DelayShape table = DelayShape::FromTable({-1, 0, 2}, "three.dist");
    EXPECT_EQ(table.Name(), "three.dist");
    EXPECT_DOUBLE_EQ(table.Offset(0.0), -1);      // before the first quantile (at 1/6)
    EXPECT_DOUBLE_EQ(table.Offset(1.0 / 3), -0.5); // half-way from 1/6 to 1/2
    EXPECT_DOUBLE_EQ(table.Offset(0.5), 0);
    EXPECT_DOUBLE_EQ(table.Offset(0.75), 1.5);
    EXPECT_DOUBLE_EQ(table.Offset(0.99), 2);      // past the last (at 5/6)
    EXPECT_DOUBLE_EQ(DelayShape::FromTable({4}, "one").Offset(0.3), 4);
}

TEST(DelayShape, TheShippedTablesHoldTheShapesTheyAreNamedFor)
{
    const std::pair<const char*, double (*)(double)> tables[] = {
        {"normal", NormalQuantile}, {"pareto", ParetoQuantile}, {"paretonormal", ParetoNormalQuantile}};
    for (const auto& [name, quantile] : tables) {
        const auto file = ReadTextFile(std::string(DULVET_SOURCE_DIR "/data/distributions/") + name + ".dist", 1 << 20);
        ASSERT_TRUE(file.ok) << file.problem;
        const auto table = ReadDelayTable(file.text);
        ASSERT_EQ(table.problem, "");
        const auto n = table.quantiles.size();
        ASSERT_EQ(n, 4096u);
        for (std::size_t i = 0; i < n; i += 91)
            EXPECT_NEAR(table.quantiles[i], quantile((static_cast<double>(i) + 0.5) / static_cast<double>(n)), 1e-6)
                << name << " line " << i;
    }
}

TEST(DelayShape, ATableFileSaysWhichLineIsWrong)
{
    const struct {
        const char* text;
        const char* problem;
    } cases[] = {
        {"# a comment\n-1\n 0.5 # half\r\n\n2\n", ""},
        {"-1\nx\n", "line 2: expected a number, not 'x'"},
        {"1\n0\n", "line 2: the quantiles must not decrease"},
        {"1 2\n", "line 1: expected a number, not '1 2'"},
        {"# nothing\n\n", "the table has no numbers"},
        {"nan\n", "line 1: expected a number, not 'nan'"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadDelayTable(c.text).problem, c.problem) << c.text;
    EXPECT_EQ(ReadDelayTable("-1\n0.5\n2").quantiles, (std::vector<double>{-1, 0.5, 2}));
    EXPECT_EQ(ParseDelayShapeName("paretonormal"), DelayShapeKind::ParetoNormal);
    EXPECT_EQ(ParseDelayShapeName("Normal"), std::nullopt);
}
