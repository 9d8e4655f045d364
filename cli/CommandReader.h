#pragma once
// Standard input, read line by line on a thread of its own; each line is
// parsed as a command and handed to the control queue. The end of input
// ends only the reading: a relay started with "< /dev/null" keeps running.

#include <memory>

class ControlQueue;

class CommandReader {
public:
    // Starts the reading. The thread is never joined, since a read of
    // standard input cannot be cut short everywhere; it holds the queue,
    // and nothing else, until the process ends.
    static void Start(std::shared_ptr<ControlQueue> queue);

    // A longer line is refused whole, with a message.
    static constexpr size_t kLongestLine = 4096;
};
