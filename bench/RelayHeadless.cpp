// The relay engine without its window, for measurements:
//
//   dulvet_relay_headless RELAY_ADDR RELAY_PORT SERVER_ADDR SERVER_PORT LOSS_PERCENT DELAY_MS [SECONDS]
//
// Opens the relay socket (port 0: the system chooses), starts the worker
// with the log kept in memory, prints "ready <port>", and runs until its
// standard input closes or SECONDS pass (default 600). Then it stops the
// worker and prints "log lines <n>" and "box wakes <n>".

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "TestLogHost.h"
#include "MissCount.h"
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

std::optional<HeadlessSettings> ParseArguments(int argc, char** argv)
{
    if (argc != 7 && argc != 8)
        return std::nullopt;
    const auto relayPort = WholeNumber(argv[2]);
    const auto serverPort = WholeNumber(argv[4]);
    const auto loss = RealNumber(argv[5]);
    const auto delay = WholeNumber(argv[6]);
    const auto seconds = argc == 8 ? WholeNumber(argv[7]) : std::optional<long>(600);
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

    void WaitAtMost(std::chrono::seconds limit) const
    {
        std::unique_lock lock(m_state->mutex);
        m_state->changed.wait_for(lock, limit, [this] { return m_state->closed; });
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool closed = false;
    };
    std::shared_ptr<State> m_state;
};

}  // namespace

int main(int argc, char** argv)
{
    const auto settings = ParseArguments(argc, argv);
    if (!settings) {
        std::fprintf(stderr,
                     "usage: dulvet_relay_headless RELAY_ADDR RELAY_PORT SERVER_ADDR SERVER_PORT LOSS_PERCENT "
                     "DELAY_MS [SECONDS]\n");
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

    EndOfInput input;
    input.WaitAtMost(std::chrono::seconds(settings->seconds));

    g_relayWorker.Stop();
    g_relaySocket.Close();
    std::printf("log lines %llu\nbox wakes %lld\n", static_cast<unsigned long long>(host.Lines().size()),
                static_cast<long long>(host.Wakes()));
    std::fflush(stdout);
    return 0;
}
