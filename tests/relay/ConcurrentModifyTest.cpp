// Modify pressed over and over on one thread while the worker relays a
// burst with loss on: the log keeps every line whole, each settings block
// in one piece and in the order applied, and the worker's lines in the
// order of the drop rule.

#include <atomic>
#include <optional>
#include <thread>

#include "relay/LogLines.h"
#include "relay/MissCount.h"
#include "tests/relay/RelayFixture.h"
#include "relay/RelaySettings.h"

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
    if (text == kReadyLine || text == kMissLine)
        return LogLine{text == kReadyLine ? Kind::Ready : Kind::Miss};
    const size_t digits = text.find_first_of(L"-0123456789");
    if (digits == std::wstring::npos)
        return std::nullopt;
    const auto number = static_cast<std::int32_t>(std::wcstol(text.c_str() + digits, nullptr, 10));
    const std::pair<Kind, const wchar_t*> numbered[] = {{Kind::MissCountSetting, kMissCountSettingLine},
                                                        {Kind::DelaySetting, kDelaySettingLine},
                                                        {Kind::Delay, kDelayLine},
                                                        {Kind::Count, kCountLine}};
    for (const auto& [kind, format] : numbered)
        if (CString::Formatted(format, number) == text.c_str())
            return LogLine{kind, number};
    return std::nullopt;
}

// Count and miss lines so far ("Miss a packet", not the "Misscount"
// settings line, which would end the wait for a window too soon).
int Decisions(const CString& log)
{
    int decisions = 0;
    for (const std::wstring_view mark : {L"count:", L"Miss a packet"})
        for (size_t at = log.View().find(mark); at != std::wstring_view::npos; at = log.View().find(mark, at + 1))
            ++decisions;
    return decisions;
}

struct Settings {
    std::int32_t missCount;
    std::int32_t delay;
    bool operator==(const Settings&) const = default;
};

// The settings blocks in log order, with the index of each one's first line.
std::vector<std::pair<Settings, size_t>> SettingsBlocks(const std::vector<LogLine>& lines)
{
    std::vector<std::pair<Settings, size_t>> blocks;
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
        blocks.push_back({{lines[i + 1].number, lines[i + 2].number}, i});
        i += 2;
    }
    return blocks;
}

// Follows the worker's lines through the drop rule and returns how many
// were forwarded. The worker reads the miss count after writing its
// previous count or miss line and before writing this one, so the value it
// used came from the block before its previous line, a block since, or the
// next block (stored before its lines go in). missCounts[b] is in effect
// after the b-th block.
int FollowDropRule(const std::vector<LogLine>& lines, const std::vector<std::pair<Settings, size_t>>& blocks,
                   const std::vector<std::int32_t>& missCounts, int& decisions)
{
    int forwarded = 0;
    int position = 1;  // the worker's place in its drop period
    size_t seen = 0;   // blocks before this line
    size_t seenAtLastDecision = 0;
    bool paused = false;
    for (size_t i = 0; i < lines.size() && !::testing::Test::HasFailure(); ++i) {
        if (seen < blocks.size() && blocks[seen].second == i) {
            ++seen;
            i += 2;
        } else if (lines[i].kind == Kind::Delay) {
            EXPECT_FALSE(paused) << "two pauses for one datagram at line " << i;
            EXPECT_TRUE(lines[i].number == 0 || lines[i].number == -3) << "line " << i;
            paused = true;
        } else {
            const bool isCount = lines[i].kind == Kind::Count;
            bool allowed = false;
            for (size_t b = seenAtLastDecision; b <= std::min(seen + 1, blocks.size()); ++b)
                allowed = allowed || (isCount ? position < missCounts[b] : position >= missCounts[b]);
            EXPECT_TRUE(allowed) << "drop rule broken at line " << i;
            EXPECT_TRUE(!isCount || lines[i].number == position) << "count out of order at line " << i;
            position = isCount ? position + 1 : 1;
            forwarded += isCount;
            ++decisions;
            seenAtLastDecision = seen;
            paused = false;
        }
    }
    return forwarded;
}

}  // namespace

using ConcurrentModify = RelayFixture;

TEST_F(ConcurrentModify, KeepsEveryLineWholeTheSettingsTogetherAndTheDropRuleInOrder)
{
    constexpr int kDatagrams = 2000;
    const Settings initial{4, -3};
    StartRelay(initial.missCount, initial.delay);

    // The user: another loss rate (periods 2, 4, 5, 8, 10) and delay (none,
    // or one that logs without pausing) about every millisecond.
    std::vector<Settings> applied;
    std::atomic<int> presses{0};
    std::atomic<bool> done{false};
    std::thread user([&] {
        const double rates[] = {50, 25, 20, 12.5, 10};
        for (size_t press = 0; !done && press < 1000; ++press) {
            const double rate = rates[press * 3 % std::size(rates)];
            const std::int32_t delay = press % 3 == 0 ? -3 : 0;
            ApplyLossAndDelay(rate, delay, m_host);
            applied.push_back({MissCountFromLossRate(rate), delay});
            ++presses;
            std::this_thread::sleep_for(1ms);
        }
    });
    // Full rate in windows the relay's receive buffer holds: a window is
    // done once the worker has written a count or miss line for each. A
    // window waits for the user to have pressed Modify a few times since
    // the burst began, however slow that thread is.
    UdpPeer client;
    int received = 0;
    for (int sent = 0, window = 0; sent < kDatagrams; ++window) {
        const auto pressed = std::chrono::steady_clock::now() + 10s;
        while (presses < window / 3 && std::chrono::steady_clock::now() < pressed)
            std::this_thread::sleep_for(1ms);
        for (int i = 0; i < 50; ++i, ++sent)
            EXPECT_GT(client.SendText(std::to_string(sent), m_relayPort), 0);
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (Decisions(m_host.Text()) < sent && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        while (m_server.Receive(0ms))
            ++received;
    }
    done = true;
    user.join();
    while (m_server.Receive(100ms))
        ++received;
    ASSERT_GT(applied.size(), 10u) << "Modify must have been pressed during the burst";

    std::vector<LogLine> lines;
    for (const auto& text : m_host.Lines()) {
        const auto line = Classify(text);
        ASSERT_TRUE(line) << "torn or unknown line " << lines.size() << ": " << CString(text).ToUtf8();
        lines.push_back(*line);
    }
    const auto blocks = SettingsBlocks(lines);
    std::vector<std::int32_t> missCounts{initial.missCount};
    for (size_t b = 0; b < blocks.size(); ++b) {
        ASSERT_LT(b, applied.size());
        ASSERT_EQ(blocks[b].first, applied[b]) << "settings block " << b << " lost or out of order";
        missCounts.push_back(blocks[b].first.missCount);
    }
    ASSERT_EQ(blocks.size(), applied.size());
    int decisions = 0;
    EXPECT_EQ(FollowDropRule(lines, blocks, missCounts, decisions), received);
    EXPECT_EQ(decisions, kDatagrams);
}
