#include "scenario/ScenarioTimeline.h"

#include <algorithm>
#include <cmath>

using std::chrono::nanoseconds;

ScenarioTimeline::ScenarioTimeline(std::shared_ptr<const Scenario> scenario, nanoseconds start)
    : m_scenario(std::move(scenario)), m_start(start)
{
    QueueNextStep();
}

void ScenarioTimeline::QueueNextStep()
{
    if (m_nextStep == m_scenario->steps.size()) {
        if (!m_scenario->repeat)
            return;
        m_nextStep = 0;
        ++m_pass;
    }
    const ScenarioStep& step = m_scenario->steps[m_nextStep++];
    ScenarioEvent event;
    event.at = m_start + step.at + m_scenario->Period() * static_cast<std::int64_t>(m_pass);
    event.step = &step;
    event.begun = event.at;
    if (step.over)
        event.parts = static_cast<int>(std::max<std::int64_t>(1, (*step.over + kRampStep - nanoseconds(1)) / kRampStep));
    m_pending.push_back({event, m_order++});
}

std::optional<nanoseconds> ScenarioTimeline::NextTime() const
{
    const auto next = Next();
    return next ? std::optional(next->at) : std::nullopt;
}

std::vector<ScenarioTimeline::Pending>::const_iterator ScenarioTimeline::Earliest() const
{
    return std::min_element(m_pending.begin(), m_pending.end(), [](const Pending& a, const Pending& b) {
        return a.event.at != b.event.at ? a.event.at < b.event.at : a.order < b.order;
    });
}

std::optional<ScenarioEvent> ScenarioTimeline::Next() const
{
    const auto earliest = Earliest();
    return earliest == m_pending.end() ? std::nullopt : std::optional(earliest->event);
}

std::optional<ScenarioEvent> ScenarioTimeline::TakeDue(nanoseconds now)
{
    const auto earliest = Earliest();
    if (earliest == m_pending.end() || earliest->event.at > now)
        return std::nullopt;
    const ScenarioEvent event = earliest->event;
    m_pending.erase(earliest);
    if (event.part == 0)
        QueueNextStep();
    if (event.part < event.parts) {
        // The next part of the ramp, from the ramp's start so that no rounding adds up.
        ScenarioEvent next = event;
        ++next.part;
        const double share = static_cast<double>(next.part) / next.parts;
        next.at = event.begun + nanoseconds(std::llround(static_cast<double>(event.step->over->count()) * share));
        m_pending.push_back({next, m_order++});
    }
    return event;
}
