// Modify pressed over and over on one thread while the worker relays a
// burst with loss on: the log keeps every line whole, each settings block
// in one piece and in the order applied, and the worker's lines in the
// order of the drop rule.

#include <atomic>
#include <optional>
#include <thread>

#include "LogLines.h"
#include "MissCount.h"
#include "RelayFixture.h"
#include "RelaySettings.h"

using namespace std::chrono_literals;

namespace {

enum class Kind { Ready, MissCountSetting, DelaySetting, Delay, Count, Miss };

struct LogLine {
    Kind kind;
    std::int32_t number = 0;
};

// The line's kind and number when it is exactly one of the six lines.
std::optional<LogLine> Classify(const std::wstring& line)
{
    const std::wstring text = line + L"\r\n";
    if (text == kReadyLine)
        return LogLine{Kind::Ready};
    if (text == kMissLine)
        return LogLine{Kind::Miss};
    const size_t digits = text.find_first_of(L"-0123456789");
    if (digits == std::wstring::npos || digits + 1 >= text.size())
        return std::nullopt;
    const std::int32_t number = std::wcstol(text.c_str() + digits, nullptr, 10);
    const std::pair<Kind, const wchar_t*> numbered[] = {{Kind::MissCountSetting, kMissCountSettingLine},
                                                        {Kind::DelaySetting, kDelaySettingLine},
                                                        {Kind::Delay, kDelayLine},
                                                        {Kind::Count, kCountLine}};
    for (const auto& [kind, format] : numbered)
        if (CString::Formatted(format, number) == text.c_str())
            return LogLine{kind, number};
    return std::nullopt;
}

struct Settings {
    std::int32_t missCount;
    std::int32_t delay;
    bool operator==(const Settings&) const = default;
};

// Plays the user: presses Modify with another loss rate and delay about
// every millisecond until told to stop, and remembers what it applied.
class ModifyPresser {
public:
    explicit ModifyPresser(LogHost& log) : m_thread([this, &log] { Run(log); }) {}
    ~ModifyPresser() { Finish(); }

    std::vector<Settings> Finish()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_applied;
    }

private:
    void Run(LogHost& log)
    {
        // Periods 2, 4, 5, 8 and 10; delays that log a line without pausing.
        const double rates[] = {50, 25, 20, 12.5, 10};
        const std::int32_t delays[] = {0, -3};
        for (size_t press = 0; !m_stop && press < 1000; ++press) {
            const double rate = rates[press * 3 % std::size(rates)];
            const std::int32_t delay = delays[press % 3 == 0];
            ApplyLossAndDelay(rate, delay, log);
            m_applied.push_back({MissCountFromLossRate(rate), delay});
            std::this_thread::sleep_for(1ms);
        }
    }

    std::atomic<bool> m_stop{false};
    std::vector<Settings> m_applied;
    std::thread m_thread;
};

class ConcurrentModify : public RelayFixture {
protected:
    int Decisions() const
    {
        int decisions = 0;
        for (const auto& line : m_host.Lines())
            decisions += line == L"Miss a packet." || line.starts_with(L"count:");
        return decisions;
    }

    // Sends `count` datagrams at full rate in windows small enough for the
    // relay's receive buffer: a window is done once the worker has written
    // a count or miss line for each of its datagrams. Returns how many
    // reached the server.
    int RelayInWindows(int count, int window)
    {
        UdpPeer client;
        int received = 0;
        for (int sent = 0; sent < count;) {
            for (int i = 0; i < window; ++i, ++sent)
                EXPECT_GT(client.SendText(std::to_string(sent), m_relayPort), 0);
            const auto deadline = std::chrono::steady_clock::now() + 10s;
            while (Decisions() < sent && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(1ms);
            while (m_server.Receive(0ms))
                ++received;
        }
        while (m_server.Receive(100ms))
            ++received;
        return received;
    }
};

// The settings blocks in log order; fails on a settings line outside one.
std::vector<Settings> SettingsBlocks(const std::vector<LogLine>& lines, std::vector<size_t>& starts)
{
    std::vector<Settings> blocks;
    for (size_t i = 0; i < lines.size(); ++i) {
        const Kind kind = lines[i].kind;
        EXPECT_TRUE(kind != Kind::MissCountSetting && kind != Kind::DelaySetting) << "stray settings line " << i;
        if (kind != Kind::Ready)
            continue;
        const bool whole = i + 2 < lines.size() && lines[i + 1].kind == Kind::MissCountSetting &&
                           lines[i + 2].kind == Kind::DelaySetting;
        EXPECT_TRUE(whole) << "settings block broken at line " << i;
        if (!whole)
            break;
        blocks.push_back({lines[i + 1].number, lines[i + 2].number});
        starts.push_back(i);
        i += 2;
    }
    return blocks;
}

struct WorkerTally {
    int decisions = 0;
    int forwarded = 0;
};

// Follows the worker's lines through the drop rule. The worker reads the
// miss count after writing its previous count or miss line and before
// writing this one, so the value it used was put in effect by the block
// before its previous line, by a block since, or by the next block (stored
// before its lines go in). missCounts[b]: in effect after the b-th block.
WorkerTally FollowDropRule(const std::vector<LogLine>& lines, const std::vector<size_t>& blockStarts,
                           const std::vector<std::int32_t>& missCounts)
{
    WorkerTally tally;
    int position = 1;  // the worker's place in its drop period
    size_t blocksSeen = 0;
    size_t blocksAtLastDecision = 0;
    bool paused = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (blocksSeen < blockStarts.size() && blockStarts[blocksSeen] == i) {
            ++blocksSeen;
            i += 2;
            continue;
        }
        if (lines[i].kind == Kind::Delay) {
            EXPECT_FALSE(paused) << "two pauses for one datagram at line " << i;
            EXPECT_TRUE(lines[i].number == 0 || lines[i].number == -3) << "line " << i;
            paused = true;
            continue;
        }
        const bool isCount = lines[i].kind == Kind::Count;
        bool allowed = false;
        for (size_t b = blocksAtLastDecision; b <= std::min(blocksSeen + 1, missCounts.size() - 1); ++b)
            allowed = allowed || (isCount ? position < missCounts[b] : position >= missCounts[b]);
        EXPECT_TRUE(allowed) << "drop rule broken at line " << i;
        if (isCount) {
            EXPECT_EQ(lines[i].number, position) << "count out of order at line " << i;
        }
        position = isCount ? position + 1 : 1;
        tally.forwarded += isCount;
        ++tally.decisions;
        blocksAtLastDecision = blocksSeen;
        paused = false;
        if (::testing::Test::HasFailure())
            break;
    }
    return tally;
}

}  // namespace

TEST_F(ConcurrentModify, KeepsEveryLineWholeTheSettingsTogetherAndTheDropRuleInOrder)
{
    constexpr int kDatagrams = 2000;
    const Settings initial{4, -3};
    StartRelay(initial.missCount, initial.delay);
    ModifyPresser presser(m_host);
    const int received = RelayInWindows(kDatagrams, 50);
    const std::vector<Settings> applied = presser.Finish();
    ASSERT_GT(applied.size(), 10u) << "Modify must have been pressed during the burst";

    std::vector<LogLine> lines;
    for (const auto& text : m_host.Lines()) {
        const auto line = Classify(text);
        ASSERT_TRUE(line) << "torn or unknown line " << lines.size() << ": " << CString(text).ToUtf8();
        lines.push_back(*line);
    }
    std::vector<size_t> blockStarts;
    const std::vector<Settings> blocks = SettingsBlocks(lines, blockStarts);
    ASSERT_EQ(blocks, applied) << "settings blocks lost or out of order";

    std::vector<std::int32_t> missCounts{initial.missCount};
    for (const auto& block : blocks)
        missCounts.push_back(block.missCount);
    const WorkerTally tally = FollowDropRule(lines, blockStarts, missCounts);
    EXPECT_EQ(tally.decisions, kDatagrams);
    EXPECT_EQ(tally.forwarded, received);
}
