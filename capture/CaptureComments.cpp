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
    std::vector<std::string> comments;
    FateComments(event, comments);
    return comments;
}

void FateComments(const DatagramEvent& event, std::vector<std::string>& comments)
{
    const bool second = event.step == DatagramStep::Left && (event.copy > 1 || event.reordered);
    comments.resize(second ? 2 : 1);
    for (std::string& comment : comments) {
        comment.assign(WayName(event.way));
        comment += " #";
        comment += std::to_string(event.number);
        comment += ' ';
    }
    std::string& text = comments[0];
    switch (event.step) {
    case DatagramStep::Arrived:
        text += "arrived";
        break;
    case DatagramStep::Dropped:
        text += "dropped: ";
        text += event.cause ? event.cause : "unknown";
        if (event.waiting >= 0)
            text += " (" + std::to_string(event.waiting) + " waiting)";
        break;
    case DatagramStep::Left:
        if (event.cause) {  // it could not leave
            text += "dropped: ";
            text += event.cause;
            break;
        }
        text += "left after " + MillisecondsText(event.timeNs - event.arrivalNs) + " ms";
        if (event.delayed) {
            text += " (delay " + std::to_string(event.delayMs);
            if (event.jittered)
                text += ", jitter " + MillisecondsText(event.jitterNs, true);
            text += ")";
        }
        if (event.copy > 1)
            comments[1] += "copy " + std::to_string(event.copy) + " of " + std::to_string(event.copy) + " (duplicate)";
        else if (event.reordered)
            comments[1] += "reordered";
        break;
    }
}
