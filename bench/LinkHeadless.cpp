// The link engine without the console program, for measurements:
//
//   dulvet_link_headless SERVER_PORT SECONDS [LOSS_PERCENT DELAY_MS [pipeline|serial [each|last]]]
//
// Listens on 127.0.0.1 (port chosen by the system), prints "ready <port>",
// runs until SECONDS pass or standard input closes, then prints its
// counters and how many log lines it wrote. The log is only counted.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "LinkEngine.h"
#include "LogHost.h"

namespace {

class CountingLog : public LogHost {
public:
    void AppendLog(const CString&) override { m_lines.fetch_add(1, std::memory_order_relaxed); }
    void ScrollLogToEnd() override {}
    long Lines() const { return m_lines.load(); }

private:
    std::atomic<long> m_lines{0};
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: dulvet_link_headless SERVER_PORT SECONDS [LOSS DELAY [pipeline|serial [each|last]]]\n");
        return 2;
    }
    AfxSocketInit();
    LinkOptions options;
    options.serverPort = static_cast<unsigned>(std::atoi(argv[1]));
    const int seconds = std::atoi(argv[2]);
    if (argc > 4) {
        options.lossPercent = std::atof(argv[3]);
        options.delayMs = std::atoi(argv[4]);
    }
    options.pipeline = argc > 5 && std::strcmp(argv[5], "pipeline") == 0;
    if (argc > 6 && std::strcmp(argv[6], "each") == 0)
        options.clients = ClientsMode::Each;
    options.seed = 1;
    CountingLog log;
    SteadyLinkClock clock;
    LinkEngine engine(options, log, clock);
    if (!engine.Open() || !engine.Start()) {
        std::fprintf(stderr, "cannot open: %d\n", engine.LastError());
        return 1;
    }
    std::printf("ready %u\n", engine.ListenPort());
    std::fflush(stdout);
    std::atomic<bool> inputClosed{false};
    std::thread watcher([&] {
        while (std::getchar() != EOF) {
        }
        inputClosed = true;
    });
    watcher.detach();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!inputClosed && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    engine.Stop();
    for (const auto& line : LinkStatsLines(engine.Stats()))
        std::printf("%s\n", line.c_str());
    std::printf("log lines %ld\n", log.Lines());
    return 0;
}
