#include "capture/CaptureComments.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

const char* WayName(DatagramWay way) { return way == DatagramWay::ToServer ? "to-server" : "to-client"; }

std::string MillisecondsText(std::int64_t ns, bool signed_)
{
    // Rounded to the microsecond, whole numbers only: no binary fraction
    // makes 0.0005 ms round differently in two places.
    const bool negative = ns < 0;
    const std::uint64_t magnitude = static_cast<std::uint64_t>(negative ? -(ns + 1) : ns) + (negative ? 1 : 0);
    const std::uint64_t us = (magnitude + 500) / 1000;
    char text[48];
    std::snprintf(text, sizeof text, "%s%" PRIu64 ".%03" PRIu64, negative ? "-" : (signed_ ? "+" : ""), us / 1000,
                  us % 1000);
    return text;
}

std::vector<std::string> FateComments(const DatagramEvent& event)
{
    const std::string head = std::string(WayName(event.way)) + " #" + std::to_string(event.number) + " ";
    std::vector<std::string> comments;
    switch (event.step) {
    case DatagramStep::Arrived:
        comments.push_back(head + "arrived");
        break;
    case DatagramStep::Dropped: {
        std::string text = head + "dropped: " + (event.cause ? event.cause : "unknown");
        if (event.waiting >= 0)
            text += " (" + std::to_string(event.waiting) + " waiting)";
        comments.push_back(std::move(text));
        break;
    }
    case DatagramStep::Left: {
        std::string text = head + "left after " + MillisecondsText(event.timeNs - event.arrivalNs) + " ms";
        if (event.delayed) {
            text += " (delay " + std::to_string(event.delayMs);
            if (event.jittered)
                text += ", jitter " + MillisecondsText(event.jitterNs, true);
            text += ")";
        }
        comments.push_back(std::move(text));
        if (event.copy > 1)
            comments.push_back(head + "copy " + std::to_string(event.copy) + " of " + std::to_string(event.copy) +
                               " (duplicate)");
        else if (event.reordered)
            comments.push_back(head + "reordered");
        break;
    }
    }
    return comments;
}
