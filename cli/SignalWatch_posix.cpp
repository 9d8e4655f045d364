#include "cli/SignalWatch.h"

#include <csignal>
#include <pthread.h>
#include <string>
#include <thread>

#include "cli/ControlQueue.h"

namespace {

const int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The end signals this process takes: those it was not started with ignored.
sigset_t Watched()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kEndSignals) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
            sigaddset(&set, signal);
    }
    return set;
}

std::string NameOf(int signal)
{
    switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "signal " + std::to_string(signal);
    }
}

}  // namespace

SignalWatch::SignalWatch()
{
    // A reader that goes away must not end the relay: a write to it fails
    // instead. A job in the background of a terminal must not be stopped
    // for reading or writing it: the read fails and is tried again later
    // (ReadStandardInput), the write goes through.
    for (const int signal : {SIGPIPE, SIGTTIN, SIGTTOU})
        std::signal(signal, SIG_IGN);
    const sigset_t set = Watched();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

SignalWatch::~SignalWatch() = default;

void SignalWatch::Start(std::shared_ptr<ControlQueue> queue)
{
    // Waits for the first signal, then ends; never joined, since at an end
    // by "quit" it is still waiting, and the process's end takes it.
    std::thread([queue = std::move(queue)] {
        const sigset_t set = Watched();
        int signal = 0;
        if (sigwait(&set, &signal) == 0)
            queue->Push(EndRequest{NameOf(signal)});
    }).detach();
}

void SignalWatch::Ended() {}
