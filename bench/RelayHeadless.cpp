// The relay engine without its window, for measurements:
//
//   dulvet_relay_headless RELAY_ADDR RELAY_PORT SERVER_ADDR SERVER_PORT LOSS_PERCENT DELAY_MS
//                         [SECONDS [EVERY LOSS_PERCENT_2 DELAY_MS_2]]
//
// Opens the relay socket (port 0: the system chooses), starts the worker
// with the log kept in memory, prints "ready <port>", and runs until its
// standard input closes or SECONDS pass (default 600). With EVERY, it
// applies the second loss rate and delay after EVERY seconds, the first
// after another EVERY, and so on, as Modify does (three lines in the log).
// Then it stops the worker and prints "log lines <n>" and "box wakes <n>",
// then how many lines of each kind the log holds, the Modify presses and
// the log's length in characters.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "TestLogHost.h"
#include "LogLines.h"
#include "MissCount.h"
#include "RelaySettings.h"
#include "RelayState.h"
#include "RelayWorker.h"
#include "SocketTypes.h"

namespace {

struct HeadlessSettings {
    CString relayAddress;
    unsigned relayPort = 0;
    CString serverAddress;
    std::int32_t serverPort = 0;
    double lossPercent = 0;
    std::int32_t delayMs = 0;
    int seconds = 600;
    int modifyEvery = 0;  // seconds; 0: never
    double lossPercent2 = 0;
    std::int32_t delayMs2 = 0;
};

std::optional<long> WholeNumber(const char* text)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0')
        return std::nullopt;
    return value;
}

std::optional<double> RealNumber(const char* text)
{
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0')
        return std::nullopt;
    return value;
}

// EVERY LOSS_PERCENT_2 DELAY_MS_2, when given.
bool ParseModify(int argc, char** argv, HeadlessSettings& settings)
{
    if (argc == 7 || argc == 8)
        return true;
    const auto every = WholeNumber(argv[8]);
    const auto loss = RealNumber(argv[9]);
    const auto delay = WholeNumber(argv[10]);
    if (!every || *every <= 0 || !loss || !delay)
        return false;
    settings.modifyEvery = static_cast<int>(*every);
    settings.lossPercent2 = *loss;
    settings.delayMs2 = static_cast<std::int32_t>(*delay);
    return true;
}

std::optional<HeadlessSettings> ParseArguments(int argc, char** argv)
{
    if (argc != 7 && argc != 8 && argc != 11)
        return std::nullopt;
    const auto relayPort = WholeNumber(argv[2]);
    const auto serverPort = WholeNumber(argv[4]);
    const auto loss = RealNumber(argv[5]);
    const auto delay = WholeNumber(argv[6]);
    const auto seconds = argc >= 8 ? WholeNumber(argv[7]) : std::optional<long>(600);
    if (!relayPort || !serverPort || !loss || !delay || !seconds || *seconds <= 0)
        return std::nullopt;
    HeadlessSettings settings;
    settings.relayAddress = CString::FromUtf8(argv[1]);
    settings.relayPort = static_cast<unsigned>(*relayPort);
    settings.serverAddress = CString::FromUtf8(argv[3]);
    settings.serverPort = static_cast<std::int32_t>(*serverPort);
    settings.lossPercent = *loss;
    settings.delayMs = static_cast<std::int32_t>(*delay);
    settings.seconds = static_cast<int>(*seconds);
    if (!ParseModify(argc, argv, settings))
        return std::nullopt;
    return settings;
}

bool OpenRelay(const HeadlessSettings& settings)
{
    if (!AfxSocketInit() || !g_relaySocket.Create(settings.relayPort, SOCK_DGRAM, FD_READ, settings.relayAddress))
        return false;
    g_relaySocket.m_strLocalAddr = settings.relayAddress;
    g_relaySocket.m_nLocalPort = static_cast<std::int32_t>(g_relaySocket.GetLocalPort());
    g_relaySocket.m_strServerAddr = settings.serverAddress;
    g_relaySocket.m_nServerPort = settings.serverPort;
    g_relaySocket.m_nMissCount = MissCountFromLossRate(settings.lossPercent);
    g_relaySocket.m_nDelay = settings.delayMs;
    g_nCount = 1;
    return true;
}

// Standard input read to its end on a thread of its own. The thread is
// left behind when the time runs out first, so what it touches is shared.
class EndOfInput {
public:
    EndOfInput() : m_state(std::make_shared<State>())
    {
        std::thread([state = m_state] {
            char chunk[256];
            while (std::fread(chunk, 1, sizeof chunk, stdin) > 0) {
            }
            std::lock_guard lock(state->mutex);
            state->closed = true;
            state->changed.notify_all();
        }).detach();
    }

    // True when the input has closed.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline) const
    {
        std::unique_lock lock(m_state->mutex);
        return m_state->changed.wait_until(lock, deadline, [this] { return m_state->closed; });
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool closed = false;
    };
    std::shared_ptr<State> m_state;
};

// Runs until the input closes or the time is up, pressing Modify on schedule.
// Returns the number of presses.
int RunFor(const HeadlessSettings& settings, LogHost& log)
{
    using Clock = std::chrono::steady_clock;
    const EndOfInput input;
    const auto end = Clock::now() + std::chrono::seconds(settings.seconds);
    const auto every = std::chrono::seconds(settings.modifyEvery);
    int presses = 0;
    for (auto next = Clock::now() + every; settings.modifyEvery > 0 && next < end; next += every) {
        if (input.WaitUntil(next))
            return presses;
        const bool second = presses % 2 == 0;
        ApplyLossAndDelay(second ? settings.lossPercent2 : settings.lossPercent,
                          second ? settings.delayMs2 : settings.delayMs, log);
        ++presses;
    }
    input.WaitUntil(end);
    return presses;
}

enum LineKind { kCountKind, kMissKind, kDelayKind, kSettingsKind, kOtherKind, kKinds };

LineKind KindOf(std::wstring_view line)
{
    if (line.starts_with(L"count:"))
        return kCountKind;
    if (line == kMissLine)
        return kMissKind;
    if (line == kReadyLine)
        return kSettingsKind;
    if (line.starts_with(L"Delay ") && !line.starts_with(L"Delay :"))
        return kDelayKind;
    return kOtherKind;  // the settings block's other two lines
}

// How many lines of each kind the log holds ("settings" counts blocks),
// then its length in characters.
void PrintLineKinds(const CString& log)
{
    unsigned long long counts[kKinds] = {};
    const std::wstring_view text = log.View();
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find(L'\n', start), text.size() - 1);
        ++counts[KindOf(text.substr(start, end + 1 - start))];
        start = end + 1;
    }
    std::printf("count lines %llu\nmiss lines %llu\ndelay lines %llu\nsettings blocks %llu\nlog chars %llu\n",
                counts[kCountKind], counts[kMissKind], counts[kDelayKind], counts[kSettingsKind],
                static_cast<unsigned long long>(text.size()));
}

}  // namespace

int main(int argc, char** argv)
{
    const auto settings = ParseArguments(argc, argv);
    if (!settings) {
        std::fprintf(stderr,
                     "usage: dulvet_relay_headless RELAY_ADDR RELAY_PORT SERVER_ADDR SERVER_PORT LOSS_PERCENT "
                     "DELAY_MS [SECONDS [EVERY LOSS_PERCENT_2 DELAY_MS_2]]\n");
        return 2;
    }
    if (!OpenRelay(*settings)) {
        std::fprintf(stderr, "cannot open the relay socket: %s\n",
                     CAsyncSocket::ErrorText(g_relaySocket.GetLastError()).ToUtf8().c_str());
        return 1;
    }
    TestLogHost host;
    g_relayWorker.Launch(host);
    std::printf("ready %u\n", g_relaySocket.GetLocalPort());
    std::fflush(stdout);

    const int presses = RunFor(*settings, host);

    g_relayWorker.Stop();
    g_relaySocket.Close();
    std::printf("log lines %llu\nbox wakes %lld\n", static_cast<unsigned long long>(host.Lines().size()),
                static_cast<long long>(host.Wakes()));
    PrintLineKinds(host.Text());
    std::printf("modify presses %d\n", presses);
    std::fflush(stdout);
    return 0;
}
