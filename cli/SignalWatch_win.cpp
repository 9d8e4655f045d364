#include "cli/SignalWatch.h"

#include <windows.h>

#include <mutex>
#include <string>

#include "cli/ControlQueue.h"

namespace {

// The console's control handler runs on a thread the system starts for it.
struct WatchState {
    std::mutex mutex;
    std::shared_ptr<ControlQueue> queue;  // guarded; set by Start
    std::string early;                    // guarded; a request that came before Start
    bool asked = false;                   // guarded; only the first request counts
    HANDLE ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

WatchState& State()
{
    static WatchState state;
    return state;
}

const char* NameOf(DWORD type)
{
    switch (type) {
    case CTRL_C_EVENT: return "Ctrl+C";
    case CTRL_BREAK_EVENT: return "Ctrl+Break";
    case CTRL_CLOSE_EVENT: return "closing the console";
    case CTRL_LOGOFF_EVENT: return "logging off";
    case CTRL_SHUTDOWN_EVENT: return "shutting down";
    default: return nullptr;
    }
}

BOOL WINAPI OnConsoleControl(DWORD type)
{
    const char* name = NameOf(type);
    if (!name)
        return FALSE;
    WatchState& state = State();
    {
        std::lock_guard lock(state.mutex);
        if (!state.asked) {
            state.asked = true;
            if (state.queue)
                state.queue->Push(EndRequest{name});
            else
                state.early = name;
        }
    }
    // Returning from these ends the process at once: first let the program
    // stop and write its summary (the system allows some 5 s).
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(state.ended, 4000);
    return TRUE;
}

}  // namespace

SignalWatch::SignalWatch()
{
    State();
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

// Before the state goes at exit, so that no handler runs on it then.
SignalWatch::~SignalWatch() { SetConsoleCtrlHandler(OnConsoleControl, FALSE); }

void SignalWatch::Start(std::shared_ptr<ControlQueue> queue)
{
    WatchState& state = State();
    std::lock_guard lock(state.mutex);
    state.queue = std::move(queue);
    if (!state.early.empty())
        state.queue->Push(EndRequest{state.early});
}

void SignalWatch::Ended() { SetEvent(State().ended); }
