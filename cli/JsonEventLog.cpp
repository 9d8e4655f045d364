#include "cli/JsonEventLog.h"

#include <array>
#include <cinttypes>
#include <cstdio>
#include <cwchar>
#include <algorithm>
#include <nlohmann/json.hpp>

#include "capture/CaptureComments.h"
#include "cli/ShownText.h"
#include "link/LinkLines.h"
#include "relay/LogLines.h"

namespace {

std::int64_t SteadyNs(std::chrono::steady_clock::time_point time)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
}

std::string EndpointText(const PacketEndpoint& endpoint)
{
    char text[64];
    if (!endpoint.v6) {
        std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", endpoint.address[0], endpoint.address[1],
                      endpoint.address[2], endpoint.address[3], endpoint.port);
        return text;
    }
    std::string address = "[";
    for (int i = 0; i < 16; i += 2) {
        std::snprintf(text, sizeof text, "%s%x", i ? ":" : "", endpoint.address[i] << 8 | endpoint.address[i + 1]);
        address += text;
    }
    return address + "]:" + std::to_string(endpoint.port);
}

// A number of nanoseconds as milliseconds, every digit kept.
std::string ExactMilliseconds(std::int64_t ns)
{
    char text[48];
    const std::uint64_t magnitude = ns < 0 ? 0 - static_cast<std::uint64_t>(ns) : static_cast<std::uint64_t>(ns);
    std::snprintf(text, sizeof text, "%s%" PRIu64 ".%06" PRIu64, ns < 0 ? "-" : "", magnitude / 1000000,
                  magnitude % 1000000);
    return text;
}

// It left; a departure with a cause could not.
bool Left(const DatagramEvent& event) { return event.step == DatagramStep::Left && !event.cause; }

// The per-datagram lines of both engines, which the events replace.
bool IsDatagramLine(std::wstring_view line)
{
    static const std::array<const wchar_t*, 12> kWhole = {
        kMissLine,    kBurstLossLine,  kRandomLossLine, kQueueFullLine,     kNoRoomLine, kReorderedLine,
        kDuplicatedLine, kNoClientLine, kClosedSessionLine, kStrayLine, kOutageLine, L""};
    for (const wchar_t* whole : kWhole)
        if (*whole && line == whole)
            return true;
    int number = 0;
    wchar_t end = 0;
    return (std::swscanf(std::wstring(line).c_str(), L"Delay %d ms%lc", &number, &end) == 2 && end == L'.') ||
           (std::swscanf(std::wstring(line).c_str(), L"count:%d%lc", &number, &end) == 2 && end == L'.');
}

// A JSON string; what is not UTF-8 becomes U+FFFD rather than an exception.
std::string Quote(std::wstring_view text)
{
    return nlohmann::json(Utf8(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::wstring_view WithoutLineEnd(std::wstring_view line)
{
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r'))
        line.remove_suffix(1);
    return line;
}

// "Session ADDR:PORT opened on port N." and its kin, as an object's fields.
std::string SessionFields(std::wstring_view line)
{
    constexpr std::wstring_view kHead = L"Session ";
    const std::wstring_view rest = line.substr(kHead.size());
    const size_t space = rest.find(L' ');
    if (space == std::wstring_view::npos)
        return {};
    const std::string client = ",\"client\":" + Quote(rest.substr(0, space));
    const std::wstring tail(rest.substr(space));
    const std::wstring_view tailView = tail;
    unsigned port = 0;
    if (std::swscanf(tail.c_str(), WithoutLineEnd(kSessionOpenedTail).data(), &port) == 1)
        return "\"event\":\"session-opened\"" + client + ",\"port\":" + std::to_string(port);
    if (tailView == WithoutLineEnd(kSessionIdleTail))
        return "\"event\":\"session-closed\"" + client + ",\"reason\":\"idle\"";
    if (tailView == WithoutLineEnd(kSessionLimitTail))
        return "\"event\":\"session-closed\"" + client + ",\"reason\":\"limit\"";
    if (tailView.starts_with(kSessionFailedTail))
        return "\"event\":\"session-failed\"" + client +
               ",\"reason\":" + Quote(WithoutLineEnd(tailView.substr(std::wcslen(kSessionFailedTail))));
    return {};
}

}  // namespace

JsonEventLog::JsonEventLog(LineWriter& out, std::chrono::steady_clock::time_point start)
    : m_out(out), m_startNs(SteadyNs(start))
{
}

std::string JsonEventLog::Time(std::int64_t steadyNs) const
{
    const std::int64_t ns = std::max<std::int64_t>(0, steadyNs - m_startNs);
    char text[48];
    std::snprintf(text, sizeof text, "%" PRId64 ".%09" PRId64, ns / 1000000000, ns % 1000000000);
    return text;
}

std::string JsonEventLog::EventObject(const DatagramEvent& event) const
{
    // Strings here are our own names and addresses: nothing to escape.
    std::string object = "{\"t\":" + Time(event.timeNs) + ",\"event\":\"" +
                         (Left(event) ? "left" : "dropped") + "\",\"dir\":\"" +
                         WayName(event.way) + "\",\"n\":" + std::to_string(event.number) +
                         ",\"size\":" + std::to_string(event.size) + ",\"client\":\"" + EndpointText(event.client) +
                         "\"";
    if (!Left(event)) {
        object += ",\"cause\":\"" + std::string(event.cause ? event.cause : "unknown") + "\"";
        if (event.waiting >= 0)
            object += ",\"waiting\":" + std::to_string(event.waiting);
    } else {
        object += ",\"delay_ms\":" + ExactMilliseconds(event.timeNs - event.arrivalNs);
        if (event.copy > 1)
            object += ",\"copy\":" + std::to_string(event.copy);
        if (event.reordered)
            object += ",\"reordered\":true";
        if (event.count > 0)
            object += ",\"count\":" + std::to_string(event.count);
    }
    return object + "}";
}

std::string JsonEventLog::LineObject(std::wstring_view line, std::int64_t nowNs) const
{
    if (IsDatagramLine(line))
        return {};
    const std::string head = "{\"t\":" + Time(nowNs) + ",";
    int missCount = 0;
    int delay = 0;
    const std::wstring text(line);
    // The three settings lines come as one text.
    if (line.starts_with(kReadyLine) &&
        std::swscanf(text.c_str() + std::wcslen(kReadyLine), L"Misscount :%d .\r\nDelay :%d ms .", &missCount,
                     &delay) == 2)
        return head + "\"event\":\"settings\",\"miss_count\":" + std::to_string(missCount) +
               ",\"delay_ms\":" + std::to_string(delay) + "}";
    if (line.starts_with(L"Session "))
        if (const std::string fields = SessionFields(line); !fields.empty())
            return head + fields + "}";
    return head + "\"event\":\"line\",\"text\":" + Quote(WithoutLineEnd(line)) + "}";
}

void JsonEventLog::OnDatagram(const DatagramEvent& event)
{
    if (event.step == DatagramStep::Arrived)
        return;  // its fate follows
    m_out.Write(EventObject(event) + "\n");
}

void JsonEventLog::Host::AppendLog(const CString& line)
{
    const std::string object = m_log.LineObject(line.View(), SteadyNs(std::chrono::steady_clock::now()));
    if (!object.empty())
        m_log.m_out.Write(object + "\n");
}
