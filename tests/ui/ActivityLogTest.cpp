// The log shared by two threads, and how it keeps its box up to date.

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "tests/support/TestLogHost.h"

TEST(ActivityLog, ConcurrentAppendsLoseNothingAndKeepEachThreadsOrder)
{
    TestLogHost host;
    constexpr int kLines = 3000;
    auto writer = [&](wchar_t name) {
        for (int i = 0; i < kLines; ++i)
            host.AppendLog(CString::Formatted(L"%lc%d\r\n", name, i));
    };
    std::thread a(writer, L'a');
    std::thread b(writer, L'b');
    a.join();
    b.join();

    const auto lines = host.Lines();
    ASSERT_EQ(lines.size(), 2u * kLines);
    int nextA = 0;
    int nextB = 0;
    for (const auto& line : lines) {
        int& next = line[0] == L'a' ? nextA : nextB;
        ASSERT_EQ(line.substr(1), std::to_wstring(next)) << "torn or out of order";
        ++next;
    }

    // Once the appends stop, the box shows the whole log, scrolled to its end.
    ASSERT_TRUE(host.WaitForLines(2 * kLines));
    bool shown = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!shown && std::chrono::steady_clock::now() < deadline) {
        host.OnBoxThread([&](MemoryLogBox& box) {
            shown = box.m_text == host.Text() && box.m_firstVisibleLine == box.GetLineCount() - 1;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(shown);
    // Refreshes coalesce: far fewer wake-ups than lines.
    EXPECT_LT(host.Wakes(), 2 * kLines);
}

TEST(ActivityLog, RefreshAddsOnlyTheNewTailAndShowDoesNotScroll)
{
    ActivityLog log([] {});
    MemoryLogBox box;
    log.Append(L"Dulvet Ready!\r\n");
    log.Show(box);
    EXPECT_EQ(box.m_text, CString(L"Dulvet Ready!\r\n"));
    EXPECT_EQ(box.m_scrolls, 0);

    log.Append(L"count:1.\r\n");
    log.OnWake(box);
    EXPECT_EQ(box.m_text, CString(L"Dulvet Ready!\r\ncount:1.\r\n"));
    EXPECT_EQ(box.m_wholeReplacements, 0);
    EXPECT_EQ(box.m_firstVisibleLine, 2);
}

TEST(ActivityLog, BoxThatLostTheTextIsReplacedWhole)
{
    ActivityLog log([] {});
    MemoryLogBox box;
    log.Append(L"one\r\n");
    log.Show(box);
    box.m_text = L"something else";  // the box no longer holds the log's start
    log.Append(L"two\r\n");
    log.Show(box);
    EXPECT_EQ(box.m_text, CString(L"one\r\ntwo\r\n"));
    EXPECT_EQ(box.m_wholeReplacements, 1);
}

TEST(ActivityLog, WakesTheBoxThreadOnceAndGathersWhatComesDuringTheHold)
{
    int wakes = 0;
    ActivityLog log([&] { ++wakes; });
    MemoryLogBox box;
    log.Append(L"a\r\n");
    log.RequestScroll();
    log.Append(L"b\r\n");
    EXPECT_EQ(wakes, 1);
    log.OnWake(box);
    EXPECT_EQ(box.m_text, CString(L"a\r\nb\r\n"));

    log.Append(L"c\r\n");  // during the hold: no new wake, shown when it ends
    EXPECT_EQ(wakes, 1);
    EXPECT_TRUE(log.OnHoldExpired(box));
    EXPECT_EQ(box.m_text, CString(L"a\r\nb\r\nc\r\n"));
    EXPECT_FALSE(log.OnHoldExpired(box));  // nothing new: the hold ends

    log.RequestScroll();
    EXPECT_EQ(wakes, 2);
}

TEST(ActivityLog, LongBacklogReachesTheBoxInWholeLinesOverSeveralRefreshes)
{
    ActivityLog log([] {});
    MemoryLogBox box;
    std::wstring expected;
    for (int i = 0; i < 20000; ++i) {  // ~240 000 characters, several parts
        const CString line = CString::Formatted(L"count:%d.\r\n", i);
        log.Append(line);
        expected += line.View();
    }
    log.OnWake(box);
    EXPECT_TRUE(log.Behind());
    EXPECT_LT(box.GetTextLength(), static_cast<int>(expected.size()));
    EXPECT_TRUE(box.m_text.View().ends_with(L"\r\n")) << "a part ends after a whole line";

    int refreshes = 1;
    while (log.OnHoldExpired(box))
        ASSERT_LT(++refreshes, 100);
    EXPECT_GT(refreshes, 2);
    EXPECT_FALSE(log.Behind());
    EXPECT_EQ(box.m_text.View(), expected);
    EXPECT_EQ(box.m_wholeReplacements, 0);
    EXPECT_EQ(box.m_firstVisibleLine, box.GetLineCount() - 1);
}

TEST(RefreshPacer, SlowRefreshesGetSmallerPartsAndLongerHolds)
{
    using std::chrono::microseconds;
    using std::chrono::milliseconds;
    RefreshPacer pacer;
    const int start = pacer.CharLimit();
    EXPECT_EQ(pacer.Hold(), RefreshPacer::kShortestHold);

    pacer.Record(milliseconds(200), start, true);  // over budget: half as much next time
    EXPECT_EQ(pacer.CharLimit(), start / 2);
    EXPECT_EQ(pacer.Hold(), milliseconds(200));    // behind: hold as long as the refresh took

    pacer.Record(milliseconds(200), start / 2, false);
    EXPECT_EQ(pacer.Hold(), RefreshPacer::kLongestHold);  // caught up: ten times, clamped

    for (int i = 0; i < 40; ++i)
        pacer.Record(milliseconds(500), pacer.CharLimit(), true);
    EXPECT_EQ(pacer.CharLimit(), RefreshPacer::kFewestChars);

    for (int i = 0; i < 40; ++i)
        pacer.Record(microseconds(100), pacer.CharLimit(), true);  // cheap and behind: grows back
    EXPECT_EQ(pacer.CharLimit(), RefreshPacer::kMostChars);
    EXPECT_EQ(pacer.Hold(), RefreshPacer::kShortestHold);
}
