#include "cli/CommandReader.h"

#include <string>
#include <thread>

#include "cli/ConsoleIo.h"
#include "cli/ControlQueue.h"

namespace {

void ReadLines(const std::shared_ptr<ControlQueue>& queue)
{
    std::string line;
    bool overlong = false;  // the current line passed the limit: skip to its end
    char chunk[1024];
    while (const size_t got = ReadStandardInput(chunk, sizeof chunk)) {
        for (size_t i = 0; i < got; ++i) {
            if (chunk[i] != '\n') {
                if (line.size() < CommandReader::kLongestLine)
                    line += chunk[i];
                else
                    overlong = true;
                continue;
            }
            if (overlong)
                queue->Push(CommandParse{std::nullopt, "a command line longer than " +
                                                           std::to_string(CommandReader::kLongestLine) +
                                                           " characters was ignored"});
            else
                queue->Push(ParseCommand(line));
            line.clear();
            overlong = false;
        }
    }
    // A last line without its line end still counts.
    if (!line.empty() && !overlong)
        queue->Push(ParseCommand(line));
}

}  // namespace

void CommandReader::Start(std::shared_ptr<ControlQueue> queue)
{
    std::thread([queue = std::move(queue)] { ReadLines(queue); }).detach();
}
