// The activity log at the relay's full speed, in the real program: starts
// Dulvet.exe, fills its form (relay 127.0.0.1:RELAY_PORT, server
// 127.0.0.1:SERVER_PORT, loss 25 %, delay 0), presses Start, and while
// bench/run.sh (section log-at-speed) drives a client and an echo server through it,
// measures how fast the dialog's thread answers. Afterwards it checks the
// log box against the traffic and reports the program's memory.
//
//   dulvet_log_at_speed RELAY_PORT SERVER_PORT
//
// Talks with the script over standard input and output:
//   out "ready"                         the relay runs; start the traffic
//   in  "done sent=S echoed=E relay_drops=D echo_drops=F"
//   out "log_at_speed key=value ..."    the figures
//   out "verdict ..."                   one line per goal, then "end"
//   in  "close"                         (or end of input) closes Dulvet.exe

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/DulvetProcess.h"
#include "res/resource.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// ------------------------------------------------------------ UI latency

enum class Phase { Idle, Traffic, Settle, Count };

// Sends WM_NULL to the dialog every 10 ms from a thread of its own and keeps
// each answer's latency (in microseconds) under the current phase. A probe
// that waits keeps the next ones from being sent on time; each of those
// counts as answered when the waiting one was, measured from its own slot,
// so that a long stall weighs as much as the probes it held up.
class UiLatencySampler {
public:
    explicit UiLatencySampler(HWND dialog) : m_dialog(dialog), m_thread([this] { Run(); }) {}
    ~UiLatencySampler() { Stop(); }
    UiLatencySampler(const UiLatencySampler&) = delete;
    UiLatencySampler& operator=(const UiLatencySampler&) = delete;

    void Enter(Phase phase) { m_phase.store(phase); }
    void Stop()
    {
        m_running.store(false);
        if (m_thread.joinable())
            m_thread.join();
    }
    // After Stop.
    std::vector<double> Samples(Phase phase) const { return m_samples[static_cast<int>(phase)]; }
    int Timeouts() const { return m_timeouts; }

private:
    void Run()
    {
        auto slot = Clock::now();
        while (m_running.load()) {
            std::this_thread::sleep_until(slot);
            DWORD_PTR result = 0;
            const bool answered = SendMessageTimeoutW(m_dialog, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result) != 0;
            const auto done = Clock::now();
            m_timeouts += answered ? 0 : 1;
            auto& samples = m_samples[static_cast<int>(m_phase.load())];
            do {
                samples.push_back(std::chrono::duration<double, std::micro>(done - slot).count());
                slot += kProbeInterval;
            } while (slot < done);
        }
    }

    static constexpr auto kProbeInterval = 10ms;

    HWND m_dialog;
    std::atomic<bool> m_running{true};
    std::atomic<Phase> m_phase{Phase::Idle};
    std::vector<double> m_samples[static_cast<int>(Phase::Count)];
    int m_timeouts = 0;
    std::thread m_thread;
};

struct Spread {
    std::size_t count = 0;
    double p50 = 0, p99 = 0, max = 0;
};

Spread SpreadOf(std::vector<double> samples)
{
    Spread spread;
    spread.count = samples.size();
    if (samples.empty())
        return spread;
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double fraction) {
        return samples[static_cast<std::size_t>(fraction * static_cast<double>(samples.size() - 1) + 0.5)];
    };
    spread.p50 = at(0.50);
    spread.p99 = at(0.99);
    spread.max = samples.back();
    return spread;
}

// ------------------------------------------------------------ the log text

// What the box holds, line by line, against what loss 25 % must give:
// the three settings lines of Start, then the drop period of four over
// and over (count:1. count:2. count:3. Miss a packet.).
struct LogCheck {
    long long lines = 0;         // complete lines
    long long forwarded = 0;     // count lines
    long long dropped = 0;       // miss lines
    long long firstBad = -1;     // first line out of order (0-based), or -1
    bool settingsOk = false;
    bool endsWithLineBreak = false;
    long long chars = 0;
};

std::wstring_view NextLine(std::wstring_view text, std::size_t& at)
{
    const std::size_t end = text.find(L"\r\n", at);
    const std::size_t stop = end == std::wstring_view::npos ? text.size() : end;
    const std::wstring_view line = text.substr(at, stop - at);
    at = end == std::wstring_view::npos ? text.size() : end + 2;
    return line;
}

std::wstring ExpectedRelayLine(long long index)
{
    const long long position = index % 4;
    return position == 3 ? L"Miss a packet." : L"count:" + std::to_wstring(position + 1) + L".";
}

LogCheck CheckLog(const CString& box)
{
    LogCheck check;
    const std::wstring_view text = box.View();
    check.chars = static_cast<long long>(text.size());
    check.endsWithLineBreak = text.size() >= 2 && text.substr(text.size() - 2) == L"\r\n";
    const wchar_t* const settings[] = {L"Dulvet Ready!", L"Misscount :4 .", L"Delay :0 ms ."};
    std::size_t at = 0;
    check.settingsOk = true;
    for (const wchar_t* expected : settings)
        check.settingsOk = check.settingsOk && at < text.size() && NextLine(text, at) == expected;
    check.lines = check.settingsOk ? 3 : 0;
    for (long long index = 0; at < text.size(); ++index) {
        const std::wstring_view line = NextLine(text, at);
        ++check.lines;
        if (line == L"Miss a packet.")
            ++check.dropped;
        else if (line.substr(0, 6) == L"count:")
            ++check.forwarded;
        if (check.firstBad < 0 && line != ExpectedRelayLine(index))
            check.firstBad = index + 3;
    }
    return check;
}

// ------------------------------------------------------------ the box and the process

// Waits until the box's length has held still for `still` (the box may
// still be catching up with the log after the traffic), at most `limit`;
// then returns its text.
CString SettledText(HWND box, std::chrono::milliseconds still, std::chrono::seconds limit)
{
    const auto deadline = Clock::now() + limit;
    DWORD_PTR length = 0;
    auto stillSince = Clock::now();
    while (Clock::now() < deadline && Clock::now() - stillSince < still) {
        std::this_thread::sleep_for(100ms);
        DWORD_PTR now = 0;
        SendMessageTimeoutW(box, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &now);
        if (now != length) {
            length = now;
            stillSince = Clock::now();
        }
    }
    return DulvetProcess::WindowText(box);
}

// True when the box's last line is inside its visible area.
bool ShowsItsEnd(HWND box)
{
    const auto lines = static_cast<long long>(SendMessageW(box, EM_GETLINECOUNT, 0, 0));
    const auto first = static_cast<long long>(SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0));
    const LRESULT top = SendMessageW(box, EM_POSFROMCHAR, SendMessageW(box, EM_LINEINDEX, first, 0), 0);
    const LRESULT next = SendMessageW(box, EM_POSFROMCHAR, SendMessageW(box, EM_LINEINDEX, first + 1, 0), 0);
    const int lineHeight = std::max(1, static_cast<int>(static_cast<short>(HIWORD(next)) - static_cast<short>(HIWORD(top))));
    RECT client{};
    GetClientRect(box, &client);
    const long long visible = std::max(1L, (client.bottom - client.top) / lineHeight);
    return first + visible >= lines;
}

struct Memory {
    unsigned long long peakWorkingSet = 0;
    unsigned long long workingSet = 0;
    unsigned long long privateBytes = 0;
};

std::optional<Memory> MemoryOf(HWND dialog)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(dialog, &processId);
    const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (!process)
        return std::nullopt;
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    const BOOL ok = GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                         sizeof counters);
    CloseHandle(process);
    if (!ok)
        return std::nullopt;
    return Memory{counters.PeakWorkingSetSize, counters.WorkingSetSize, counters.PrivateUsage};
}

// ------------------------------------------------------------ talking with the script

std::string ReadLine()
{
    char line[512] = {};
    if (!std::fgets(line, sizeof line, stdin))
        return {};
    return line;
}

long long Field(const std::string& line, const char* name)
{
    const std::string key = std::string(" ") + name + "=";
    const std::size_t at = line.find(key);
    return at == std::string::npos ? -1 : std::atoll(line.c_str() + at + key.size());
}

struct Traffic {
    long long sent = -1;        // client datagrams
    long long echoed = -1;      // datagrams the server took
    long long relayDrops = -1;  // the relay socket's overflows (client and server datagrams alike)
    long long echoDrops = -1;   // the server socket's overflows
};

Traffic ReadTraffic()
{
    std::string line(" ");
    line += ReadLine();
    return Traffic{Field(line, "sent"), Field(line, "echoed"), Field(line, "relay_drops"),
                   Field(line, "echo_drops")};
}

double Mb(unsigned long long bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

void PrintSpread(const char* name, const Spread& spread)
{
    std::printf(" %s_samples=%zu %s_p50_ms=%.2f %s_p99_ms=%.2f %s_max_ms=%.2f", name, spread.count, name,
                spread.p50 / 1000, name, spread.p99 / 1000, name, spread.max / 1000);
}

const char* Verdict(bool met) { return met ? "met" : "NOT met"; }

struct Figures {
    Spread idle, traffic, settle;
    int timeouts = 0;
    double trafficSeconds = 0;
    double settleSeconds = 0;
    LogCheck log;
    bool showsEnd = false;
    Traffic counts;
    std::optional<Memory> before, after;
};

void Report(const Figures& f)
{
    const long long relayTook = f.log.forwarded + f.log.dropped;
    const long long logBytes = 2 * f.log.chars;
    std::printf("log_at_speed traffic_s=%.1f settle_s=%.2f client_sent=%lld relay_took=%lld forwarded=%lld "
                "dropped=%lld server_took=%lld relay_drops=%lld echo_drops=%lld relay_rate=%.0f lines=%lld "
                "log_chars=%lld log_bytes=%lld first_bad_line=%lld settings_ok=%d ends_with_break=%d shows_end=%d "
                "ui_timeouts=%d",
                f.trafficSeconds, f.settleSeconds, f.counts.sent, relayTook, f.log.forwarded, f.log.dropped,
                f.counts.echoed, f.counts.relayDrops, f.counts.echoDrops,
                static_cast<double>(relayTook) / std::max(1.0, f.trafficSeconds), f.log.lines, f.log.chars, logBytes,
                f.log.firstBad, f.log.settingsOk, f.log.endsWithLineBreak, f.showsEnd, f.timeouts);
    PrintSpread("ui_idle", f.idle);
    PrintSpread("ui_traffic", f.traffic);
    PrintSpread("ui_settle", f.settle);
    if (f.before && f.after)
        std::printf(" ws_before_mb=%.1f ws_peak_mb=%.1f ws_end_mb=%.1f private_before_mb=%.1f private_end_mb=%.1f",
                    Mb(f.before->workingSet), Mb(f.after->peakWorkingSet), Mb(f.after->workingSet),
                    Mb(f.before->privateBytes), Mb(f.after->privateBytes));
    std::printf("\n");

    // Every client datagram the relay took gave one line; the socket's
    // overflows are the only way one could be missing from the relay's view.
    const bool countsAgree = f.counts.sent >= relayTook &&
                             f.counts.sent - relayTook <= std::max(0LL, f.counts.relayDrops) &&
                             f.log.forwarded - f.counts.echoed <= std::max(0LL, f.counts.echoDrops) &&
                             f.log.forwarded >= f.counts.echoed;
    const bool noLineLost = f.log.settingsOk && f.log.firstBad < 0 && f.log.endsWithLineBreak && countsAgree;
    std::printf("verdict ui_p99_within_100ms=%s (%.1f ms)\n", Verdict(f.traffic.p99 <= 100000 && f.timeouts == 0),
                f.traffic.p99 / 1000);
    std::printf("verdict no_line_lost=%s (lines %lld = 3 + %lld taken; sent %lld, relay socket drops %lld)\n",
                Verdict(noLineLost), f.log.lines, relayTook, f.counts.sent, f.counts.relayDrops);
    std::printf("verdict box_shows_whole_log_at_its_end=%s\n", Verdict(noLineLost && f.showsEnd));
    if (f.before && f.after) {
        const double growth = static_cast<double>(f.after->peakWorkingSet) - static_cast<double>(f.before->workingSet);
        std::printf("verdict memory_growth_per_log_byte=%.2f\n", growth / std::max(1.0, static_cast<double>(logBytes)));
    }
    std::printf("end\n");
    std::fflush(stdout);
}

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int Run(unsigned relayPort, unsigned serverPort)
{
    DulvetProcess dulvet;
    if (!dulvet.IsReady()) {
        std::fprintf(stderr, "Dulvet.exe did not open its window\n");
        return 1;
    }
    Figures f;
    UiLatencySampler sampler(dulvet.Dialog());
    std::this_thread::sleep_for(2s);
    f.before = MemoryOf(dulvet.Dialog());

    StartRelay(dulvet, relayPort, serverPort, L"25", L"0");
    if (!dulvet.WaitForLogLines(3)) {
        std::fprintf(stderr, "the relay did not start\n");
        return 1;
    }
    sampler.Enter(Phase::Traffic);
    std::printf("ready\n");
    std::fflush(stdout);
    const auto trafficStart = Clock::now();
    f.counts = ReadTraffic();
    f.trafficSeconds = SecondsSince(trafficStart);

    sampler.Enter(Phase::Settle);
    const auto settleStart = Clock::now();
    const CString box = SettledText(dulvet.Control(IDC_LOG), 1500ms, 900s);
    f.settleSeconds = SecondsSince(settleStart);
    sampler.Stop();

    f.idle = SpreadOf(sampler.Samples(Phase::Idle));
    f.traffic = SpreadOf(sampler.Samples(Phase::Traffic));
    f.settle = SpreadOf(sampler.Samples(Phase::Settle));
    f.timeouts = sampler.Timeouts();
    f.log = CheckLog(box);
    f.showsEnd = ShowsItsEnd(dulvet.Control(IDC_LOG));
    f.after = MemoryOf(dulvet.Dialog());
    Report(f);
    ReadLine();  // "close", or the end of input
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: dulvet_log_at_speed RELAY_PORT SERVER_PORT\n");
        return 2;
    }
    return Run(static_cast<unsigned>(std::atoi(argv[1])), static_cast<unsigned>(std::atoi(argv[2])));
}
