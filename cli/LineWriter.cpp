#include "cli/LineWriter.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "framework/core/ThreadTiming.h"

namespace {

// One write call takes at most this much, so that progress shows while a
// slow reader drains a long backlog.
constexpr size_t kLargestWrite = 64 * 1024;

template <typename Char>
void AppendConverted(std::string& out, std::basic_string_view<Char> text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const Char c = text[i];
        if (c == Char('\r') && i + 1 < text.size() && text[i + 1] == Char('\n'))
            continue;
        if (c == Char('\n'))
            out += kLineEnd;
        else
            out += static_cast<char>(c);
    }
}

bool IsAscii(std::wstring_view text)
{
    for (const wchar_t c : text) {
        if (static_cast<unsigned long>(c) >= 0x80)
            return false;
    }
    return true;
}

// Nobody reads the stream any more, so what comes for it has nowhere to go
// and is dropped; the relay goes on. Said once, on standard error.
void SayBroken(StdStream stream)
{
    if (stream == StdStream::Out)
        WriteLinesNow(StdStream::Err, "dulvet: standard output is closed; its lines are dropped from now on\n");
}

}  // namespace

void AppendWithLineEnds(std::string& out, std::string_view utf8) { AppendConverted(out, utf8); }

void AppendWithLineEnds(std::string& out, std::wstring_view text)
{
    // The relay's lines are ASCII; anything else goes through a conversion.
    if (IsAscii(text))
        AppendConverted(out, text);
    else
        AppendConverted(out, std::string_view(CString(text).ToUtf8()));
}

bool WriteLinesNow(StdStream stream, std::string_view utf8)
{
    std::string text;
    AppendWithLineEnds(text, utf8);
    return WriteToStream(stream, text);
}

namespace {

// Where lines were left out: said once the stream moves again.
std::string LeftOutLine(unsigned long long lines)
{
    std::string text;
    AppendWithLineEnds(text, "... " + std::to_string(lines) + " lines not written: output blocked\n");
    return text;
}

size_t CountLineEnds(std::string_view utf8) { return static_cast<size_t>(std::count(utf8.begin(), utf8.end(), '\n')); }
size_t CountLineEnds(std::wstring_view text) { return static_cast<size_t>(std::count(text.begin(), text.end(), L'\n')); }

}  // namespace

struct LineWriter::State {
    State(StdStream s, size_t most) : stream(s), terminal(IsTerminal(s)), mostPending(most) {}

    // Room for `bytes` more beside what waits and what is being written.
    bool HasRoom(size_t bytes) const { return pending.size() + inFlight + bytes <= mostPending; }
    // Once room has come back (the stream took some), the line that says
    // how many were left out, before `bytes` more; false while none has.
    bool SayLeftOut(size_t bytes)
    {
        if (leftOut == 0)
            return true;
        const std::string said = LeftOutLine(leftOut);
        if (!HasRoom(said.size() + bytes))
            return false;
        pending += said;
        leftOut = 0;
        return true;
    }

    const StdStream stream;
    const bool terminal;
    const size_t mostPending;
    std::mutex mutex;
    std::condition_variable wake;      // text for an idle thread, or finishing
    std::condition_variable progress;  // the thread wrote some, or ended
    std::string pending;               // guarded by mutex
    bool idle = false;                 // guarded: the thread waits for text
    bool finishing = false;            // guarded
    bool ended = false;                // guarded
    unsigned long long writes = 0;     // guarded: completed write calls
    size_t inFlight = 0;               // guarded: taken by the thread, not yet written
    unsigned long long leftOut = 0;    // guarded: lines left out since the last said so
};

LineWriter::LineWriter(StdStream stream, size_t mostPendingBytes)
    : m_state(std::make_shared<State>(stream, mostPendingBytes))
{
    std::thread(Run, m_state).detach();
}

LineWriter::~LineWriter()
{
    if (!m_finished)
        Finish(std::chrono::seconds(1));
}

template <typename Text>
void LineWriter::Add(Text text)
{
    bool wake = false;
    {
        std::lock_guard lock(m_state->mutex);
        // Once a line is left out, the rest wait for the line that says so.
        if (!m_state->SayLeftOut(text.size()) || !m_state->HasRoom(text.size())) {
            m_state->leftOut += CountLineEnds(text);
            return;
        }
        AppendWithLineEnds(m_state->pending, text);
        wake = std::exchange(m_state->idle, false);
    }
    if (wake)
        m_state->wake.notify_one();
}

void LineWriter::Write(std::string_view utf8) { Add(utf8); }
void LineWriter::Write(std::wstring_view text) { Add(text); }

void LineWriter::Run(std::shared_ptr<State> state)
{
    // Lines may wait a moment: waking this thread must not take the
    // processor from the relay's thread in the middle of its timing.
    ThreadTiming::ForThisBackgroundThread();
    std::string batch;
    bool broken = false;
    std::unique_lock lock(state->mutex);
    for (;;) {
        if (state->pending.empty()) {
            if (state->finishing)
                break;
            state->idle = true;
            state->wake.wait(lock, [&] { return !state->pending.empty() || state->finishing; });
            state->idle = false;
            continue;
        }
        batch.swap(state->pending);
        state->inFlight = batch.size();
        lock.unlock();
        for (std::string_view left = batch; !left.empty() && !broken;) {
            const std::string_view part = left.substr(0, kLargestWrite);
            if (!WriteToStream(state->stream, part)) {
                broken = true;
                SayBroken(state->stream);
            }
            left.remove_prefix(part.size());
            std::lock_guard counted(state->mutex);
            ++state->writes;
            state->inFlight = left.size();
            // The stream moves again: say what was left out, where it was.
            if (!broken)
                state->SayLeftOut(0);
            state->progress.notify_all();
        }
        if (broken) {
            std::lock_guard dropped(state->mutex);
            state->inFlight = 0;
        }
        batch.clear();
        lock.lock();
        if (!state->terminal && !state->finishing)
            state->wake.wait_for(lock, kGatherTime, [&] { return state->finishing; });
    }
    state->ended = true;
    state->progress.notify_all();
}

bool LineWriter::Finish(std::chrono::milliseconds patience)
{
    m_finished = true;
    std::unique_lock lock(m_state->mutex);
    m_state->finishing = true;
    m_state->wake.notify_one();
    for (;;) {
        const unsigned long long writesBefore = m_state->writes;
        if (m_state->progress.wait_for(lock, patience, [&] { return m_state->ended; }))
            return true;
        if (m_state->writes == writesBefore)
            return false;
    }
}
