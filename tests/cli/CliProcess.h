#pragma once
// dulvet started as a script starts it: a process of its own whose standard
// input, output and error are pipes held by the test. Threads of the test
// collect its output (standard output may be left unread, to see what a
// blocked reader does). Every wait is bounded; a process still running at
// the end is killed.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/CliProcessOutput.h"

class CliProcess {
public:
    struct Setup {
        // Leave standard output unread until ReadOutFromNowOn.
        bool leaveOutUnread = false;
        // Shrink the standard-output pipe to this many bytes (POSIX; 0: as it comes).
        int outPipeBytes = 0;
        // Runs this program (its path first, then its own arguments) in
        // place of dulvet, the arguments after them (POSIX).
        std::vector<std::string> command;
    };

    explicit CliProcess(const std::vector<std::string>& arguments) : CliProcess(arguments, Setup{}) {}
    CliProcess(const std::vector<std::string>& arguments, Setup setup);
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    bool Started() const;

    void Send(const std::string& text);  // to its standard input
    void CloseInput();
    void ReadOutFromNowOn();
#ifndef _WIN32
    void Signal(int signal);
#endif

    std::string Out() const { return m_out.Text(); }
    std::string Err() const { return m_err.Text(); }
    // Waits until the output holds `text` (true) or the timeout passes.
    bool WaitForOut(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const
    {
        return m_out.WaitFor(text, timeout);
    }
    bool WaitForErr(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const
    {
        return m_err.WaitFor(text, timeout);
    }
    // The exit status once it has ended, or nothing within the timeout.
    std::optional<int> WaitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
    // At the end: no more input, the output read to its end.
    void FinishStreams()
    {
        CloseInput();
        ReadOutFromNowOn();
        for (std::thread* reader : {&m_outReader, &m_errReader})
            if (reader->joinable())
                reader->join();
    }

    // Filled by the reader threads, which the platform's part starts.
    CollectedText m_out, m_err;
    std::thread m_outReader, m_errReader;
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The platform's line end in dulvet's output.
#ifdef _WIN32
inline const std::string kEol = "\r\n";
#else
inline const std::string kEol = "\n";
#endif

// The lines, each ended by kEol.
inline std::string Lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + kEol;
    return text;
}

// How many lines ended by kEol the text holds.
inline size_t CountLines(const std::string& text)
{
    size_t count = 0;
    for (size_t at = text.find(kEol); at != std::string::npos; at = text.find(kEol, at + kEol.size()))
        ++count;
    return count;
}
