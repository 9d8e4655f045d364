#include "cli/ControlApi.h"

#include <future>

#include <nlohmann/json.hpp>

#include "cli/LinkControl.h"
#include "cli/OptionTable.h"
#include "cli/ScenarioPlayer.h"
#include "cli/StatsFormatter.h"

namespace {

using json = nlohmann::json;

ControlResponse Json(int status, const json& body)
{
    return {status, body.dump(-1, ' ', false, json::error_handler_t::replace), "application/json"};
}

ControlResponse Error(int status, const std::string& message) { return {status, ErrorBody(message), "application/json"}; }

int StatusOf(const ControlResult& result)
{
    switch (result.status) {
    case ControlResult::Status::Done: return 200;
    case ControlResult::Status::Bad: return 400;
    case ControlResult::Status::Fixed:
    case ControlResult::Status::NotLive: return 409;
    case ControlResult::Status::Failed: return 503;
    }
    return 500;
}

// A JSON value as the word the command line would give; nothing for "off".
std::optional<std::string> Word(const json& value)
{
    if (value.is_null() || (value.is_boolean() && !value.get<bool>()))
        return std::nullopt;
    if (value.is_boolean())
        return std::string();
    if (value.is_number_integer())
        return value.dump();
    if (value.is_number())
        return NumberText(value.get<double>());
    if (value.is_string())
        return value.get<std::string>();
    return value.dump();
}

json ValueOf(const OptionRule& rule, const CliOptions& options)
{
    const auto text = rule.write(options);
    if (rule.IsSwitch())
        return text.has_value();
    if (!text)
        return nullptr;
    if (rule.form == ValueForm::Number) {
        const json number = json::parse(*text, nullptr, false);
        if (number.is_number())
            return number;
    }
    return *text;
}

}  // namespace

std::string SettingsJson(const CliOptions& options)
{
    json settings = json::object();
    for (const OptionRule& rule : OptionTable())
        settings[rule.Key()] = ValueOf(rule, options);
    return settings.dump(-1, ' ', false, json::error_handler_t::replace);
}

bool SettingsWords(const std::string& body, const CliOptions& current, std::vector<std::string>& words,
                   std::string& fixed, std::string& error)
{
    const json patch = json::parse(body, nullptr, false);
    if (patch.is_discarded() || !patch.is_object()) {
        error = "expected a JSON object of settings, like {\"jitter\": 20, \"rate\": null}";
        return false;
    }
    for (const auto& [key, value] : patch.items()) {
        const OptionRule* rule = FindOptionByKey(key);
        if (!rule) {
            error = "unknown option '" + key + "'";
            return false;
        }
        if (rule->time == OptionTime::AtStart) {
            if (ValueOf(*rule, current) != value && fixed.empty())
                fixed = std::string(rule->flag) + " is fixed at start; it cannot change while dulvet runs";
            continue;
        }
        const auto word = Word(value);
        words.push_back(std::string(rule->flag));
        if (!word)
            words.push_back("off");
        else if (!rule->IsSwitch() || !word->empty())
            words.push_back(*word);
    }
    return true;
}

std::string MetricsText(const EngineStats& stats)
{
    // Counters per direction and cause, gauges for what waits and the sessions open.
    static const std::pair<const char*, const char*> kGauges[] = {
        {"waiting", "dulvet_waiting_datagrams"},
        {"waiting-bytes", "dulvet_waiting_bytes"},
        {"sessions.open", "dulvet_sessions_open"},
    };
    std::string datagrams, events, gauges;
    for (const NamedCounter& counter : stats) {
        const std::string value = std::to_string(counter.value);
        bool gauge = false;
        for (const auto& [name, metric] : kGauges)
            if (counter.name == name) {
                gauges += std::string("# HELP ") + metric + " now, in the link engine\n# TYPE " + metric +
                          " gauge\n" + metric + " " + value + "\n";
                gauge = true;
            }
        if (gauge)
            continue;
        const size_t dot = counter.name.find('.');
        const std::string way = dot == std::string::npos ? "" : counter.name.substr(0, dot);
        if (way == "to-server" || way == "to-client")
            datagrams += "dulvet_datagrams_total{direction=\"" + way + "\",event=\"" + counter.name.substr(dot + 1) +
                         "\"} " + value + "\n";
        else
            events += "dulvet_events_total{event=\"" + counter.name + "\"} " + value + "\n";
    }
    std::string text;
    if (!datagrams.empty())
        text += "# HELP dulvet_datagrams_total Datagrams per direction: received, sent, and each cause of a drop\n"
                "# TYPE dulvet_datagrams_total counter\n" + datagrams;
    if (!events.empty())
        text += "# HELP dulvet_events_total What the relay has done, by event\n"
                "# TYPE dulvet_events_total counter\n" + events;
    return text + gauges;
}

ControlApi::ControlApi(std::shared_ptr<ControlQueue> queue, std::function<EngineStats()> stats)
    : m_queue(std::move(queue)), m_stats(std::move(stats))
{
}

template <typename Call, typename Target>
ControlResponse ControlApi::Hand(std::function<ControlResponse(Target&)> work)
{
    auto promise = std::make_shared<std::promise<ControlResponse>>();
    auto answer = promise->get_future();
    m_queue->Push(Call{[promise, work = std::move(work)](Target& target) { promise->set_value(work(target)); }});
    return Answer(answer);
}

ControlResponse ControlApi::OnMainLoop(std::function<ControlResponse(LinkControl& control)> work)
{
    return Hand<ControlCall>(std::move(work));
}

ControlResponse ControlApi::WithScenario(std::function<ControlResponse(ScenarioSlot& slot)> work)
{
    return Hand<ScenarioCall>(std::move(work));
}

ControlResponse ControlApi::Answer(std::future<ControlResponse>& answer)
{
    const auto deadline = std::chrono::steady_clock::now() + Engine::kChangePatience + std::chrono::seconds(1);
    while (answer.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        if (m_closing)
            return Error(503, "dulvet is ending");
        if (std::chrono::steady_clock::now() > deadline)
            return Error(503, "dulvet did not answer in time");
    }
    return answer.get();
}

ControlResponse ControlApi::PatchSettings(const std::string& body)
{
    return OnMainLoop([body](LinkControl& control) {
        std::vector<std::string> words;
        std::string fixed, error;
        if (!SettingsWords(body, control.Current(), words, fixed, error))
            return Error(400, error);
        if (!fixed.empty())
            return Error(409, fixed);
        if (!words.empty()) {
            const ControlResult result = control.Set(words);
            if (result.status == ControlResult::Status::NotLive) {
                // The dialog's relay: loss and delay alone, as modify.
                CliOptions changed = control.Current();
                for (size_t i = 0; i + 1 < words.size(); i += 2) {
                    const OptionRule* rule = FindOption(words[i]);
                    if (!rule || (words[i] != "--loss" && words[i] != "--delay"))
                        return Error(409, result.message);
                    if (words[i + 1] == "off")
                        rule->switchOff(changed.link);
                    else if (const auto problem = rule->read(changed, CString::FromUtf8(words[i + 1]).View()))
                        return Error(400, words[i] + " " + *problem);
                }
                if (words.size() % 2)
                    return Error(400, "expected a value for each option");
                control.Modify(changed.link.lossPercent, changed.link.delayMs);
            } else if (!result.Ok()) {
                return Error(StatusOf(result), result.message);
            }
        }
        return ControlResponse{200, SettingsJson(control.Current()), "application/json"};
    });
}

ControlResponse ControlApi::PostDown(const std::string& body)
{
    LinkDirection way = LinkDirection::Both;
    std::optional<double> seconds;
    if (body.find_first_not_of(" \t\r\n") != std::string::npos) {
        const json down = json::parse(body, nullptr, false);
        if (down.is_discarded() || !down.is_object())
            return Error(400, "expected a JSON object like {\"direction\": \"both\", \"seconds\": 5}");
        if (down.contains("direction")) {
            const auto& given = down["direction"];
            const auto read = given.is_string() ? ParseLinkDirection(given.get<std::string>()) : std::nullopt;
            if (!read)
                return Error(400, "direction expects to-server, to-client or both");
            way = *read;
        }
        if (down.contains("seconds") && !down["seconds"].is_null()) {
            const auto& given = down["seconds"];
            if (!given.is_number() || !(given.get<double>() > 0) || given.get<double>() > 1e9)
                return Error(400, "seconds expects a number more than 0");
            seconds = given.get<double>();
        }
    }
    return OnMainLoop([way, seconds](LinkControl& control) {
        const ControlResult result = control.Down(way, seconds);
        return result.Ok() ? Json(200, json{{"down", result.message}}) : Error(StatusOf(result), result.message);
    });
}

ControlResponse ControlApi::Handle(const ControlRequest& request)
{
    const auto is = [&](const char* method, const char* path) { return request.method == method && request.path == path; };
    if (is("GET", "/settings"))
        return OnMainLoop([](LinkControl& control) { return ControlResponse{200, SettingsJson(control.Current())}; });
    if (is("PATCH", "/settings"))
        return PatchSettings(request.body);
    if (is("POST", "/down"))
        return PostDown(request.body);
    if (is("POST", "/up"))
        return OnMainLoop([](LinkControl& control) {
            const ControlResult result = control.Up();
            return result.Ok() ? Json(200, json{{"up", true}}) : Error(StatusOf(result), result.message);
        });
    if (is("GET", "/stats"))
        return {200, StatsObject(m_stats())};
    if (is("GET", "/metrics"))
        return {200, MetricsText(m_stats()), "text/plain; version=0.0.4; charset=utf-8"};
    if (is("POST", "/scenario"))
        return WithScenario([body = request.body](ScenarioSlot& slot) {
            const ScenarioParse parse = ReadScenario(body, "scenario", slot.control.Current());
            if (!parse.scenario)
                return Error(400, parse.error);
            const bool replaced = slot.player != nullptr;
            slot.player = std::make_unique<ScenarioPlayer>(parse.scenario, slot.now);
            return Json(200, json{{"steps", parse.scenario->steps.size()},
                                  {"repeat", parse.scenario->repeat},
                                  {"replaced", replaced}});
        });
    if (is("DELETE", "/scenario"))
        return WithScenario([](ScenarioSlot& slot) {
            const bool stopped = slot.player != nullptr;
            slot.player.reset();
            return Json(200, json{{"stopped", stopped}});
        });
    for (const char* path : {"/settings", "/down", "/up", "/scenario", "/stats", "/metrics"})
        if (request.path == path)
            return Error(405, request.method + " is not allowed on " + request.path);
    return Error(404, "no such resource: " + request.path);
}
