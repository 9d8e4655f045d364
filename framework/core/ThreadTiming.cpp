#include "framework/core/ThreadTiming.h"

ThreadTiming::Granted ThreadTiming::ForThisThread(Priority priority, const Calls& calls)
{
    bool prompt = calls.neverThrottled();
    if (priority == Priority::Raise) {
        // Short turns first: on Linux a raise replaces them, and where the
        // raise is refused they stay.
        prompt = calls.shortTurns() || prompt;
        if (calls.raisePriority())
            return Granted::RaisedPriority;
    }
    return prompt ? Granted::PromptWakeups : Granted::Nothing;
}

void ThreadTiming::Lower(const Calls& calls) { calls.lowerPriority(); }
