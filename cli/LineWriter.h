#pragma once
// Lines for standard output or standard error, written by a thread of the
// writer's own, so that a stream that is slow or not read at all holds up
// nobody who writes: Write only adds the text to what waits, in memory,
// and wakes the thread if it is idle. What waits is bounded: while the
// stream takes nothing and the bound is reached, new lines are left out
// and counted, and once it moves again one line says how many
// ("... 12345 lines not written: output blocked") where they were left out.
//
// On a terminal each line is written as soon as the thread gets to it;
// into a pipe or a file the thread gathers what comes within a few
// milliseconds of its last write into one write.

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "cli/ConsoleIo.h"

class LineWriter {
public:
    // What waits may hold at most mostPendingBytes (the lines on their way
    // into the stream included).
    explicit LineWriter(StdStream stream, size_t mostPendingBytes = kMostPendingBytes);
    ~LineWriter();
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

    // Any thread; never waits for the stream. Lines end in "\n" or "\r\n";
    // they are written with the platform's line end.
    void Write(std::string_view utf8);
    void Write(std::wstring_view text);

    // Writes out everything written before and ends the thread. Waits as
    // long as the stream keeps taking text; when it takes nothing for
    // `patience`, gives up on the rest and returns false (the thread is
    // then left blocked in its write, holding only its own state).
    bool Finish(std::chrono::milliseconds patience);

    static constexpr std::chrono::milliseconds kGatherTime{5};
    static constexpr size_t kMostPendingBytes = size_t{4} << 20;

private:
    struct State;
    static void Run(std::shared_ptr<State> state);
    // Adds the text to what waits, waking the thread if it is idle.
    template <typename Text>
    void Add(Text text);

    std::shared_ptr<State> m_state;
    bool m_finished = false;
};

// Appends text to out with every line end made the platform's ("\r\n" and
// "\n" alike); wide text goes in as UTF-8.
void AppendWithLineEnds(std::string& out, std::string_view utf8);
void AppendWithLineEnds(std::string& out, std::wstring_view text);

// Writes text at once from the calling thread, line ends made the
// platform's: for what is said before the writers start (help, usage,
// errors). False when the stream is closed.
bool WriteLinesNow(StdStream stream, std::string_view utf8);
