#include "framework/core/ThreadTiming.h"

ThreadTiming::Granted ThreadTiming::ForThisThread(Priority priority, const Calls& calls)
{
    bool prompt = calls.neverThrottled();
    // Short turns first: on Linux a raise replaces them, and where the
    // raise is refused they stay.
    if (priority == Priority::Raise)
        prompt = calls.shortTurns() || prompt;
    if (priority != Priority::Keep && calls.raisePriority())
        return Granted::RaisedPriority;
    return prompt ? Granted::PromptWakeups : Granted::Nothing;
}

void ThreadTiming::Lower(Priority raisedWith, const Calls& calls)
{
    if (calls.lowerPriority() && raisedWith == Priority::Raise)
        calls.shortTurns();
}
