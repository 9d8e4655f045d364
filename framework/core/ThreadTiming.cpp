#include "ThreadTiming.h"

ThreadTiming::Granted ThreadTiming::ForThisThread(Priority priority, const Calls& calls)
{
    // Prompt wake-ups first: on Linux a raise replaces the slice's policy,
    // and where the raise is refused the slice stays.
    const bool prompt = calls.promptWakeups();
    if (priority == Priority::Raise && calls.raisePriority())
        return Granted::RaisedPriority;
    return prompt ? Granted::PromptWakeups : Granted::Nothing;
}
