#pragma once
// The control API's routes: GET/PATCH /settings, POST /down and /up,
// POST and DELETE /scenario, GET /stats and /metrics. Called on the control server's thread; every
// change goes through the console program's main loop (a ControlCall in
// its queue), the same way as a command on standard input, and the answer
// waits until the engine has applied it.

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/ControlQueue.h"
#include "cli/Engine.h"
#include "control/ControlServer.h"

class ControlApi {
public:
    // stats: the counters now (any thread).
    ControlApi(std::shared_ptr<ControlQueue> queue, std::function<EngineStats()> stats);

    ControlResponse Handle(const ControlRequest& request);
    // The main loop takes no more calls: those waiting are answered 503 at once.
    void Close() { m_closing = true; }

private:
    // Runs work on the main loop and waits for it (bounded): with the
    // link's control, or with the slot of the scenario that runs.
    ControlResponse OnMainLoop(std::function<ControlResponse(LinkControl& control)> work);
    ControlResponse WithScenario(std::function<ControlResponse(ScenarioSlot& slot)> work);
    // Either of them: the work as the event Call, which hands it a Target.
    template <typename Call, typename Target>
    ControlResponse Hand(std::function<ControlResponse(Target&)> work);
    ControlResponse Answer(std::future<ControlResponse>& answer);
    ControlResponse PatchSettings(const std::string& body);
    ControlResponse PostDown(const std::string& body);

    std::shared_ptr<ControlQueue> m_queue;
    std::atomic<bool> m_closing{false};
    std::function<EngineStats()> m_stats;
};

// The settings as GET /settings writes them: every option by its key.
std::string SettingsJson(const CliOptions& options);
// The words of `set` for a PATCH /settings body, or a message saying what is wrong with it; fixed
// options whose value stays as it is are left out, others end up in `fixed`.
bool SettingsWords(const std::string& body, const CliOptions& current, std::vector<std::string>& words,
                   std::string& fixed, std::string& error);
// Prometheus text exposition of an engine's counters and gauges.
std::string MetricsText(const EngineStats& stats);
