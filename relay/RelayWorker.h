#pragma once
// The one thread that moves datagrams. It runs RelayThreadProc until it is
// told to stop; a stop wakes it out of a wait for a datagram or a pause at
// once, so ending the program never waits out a pause.

#include <memory>

#include "CWinThread.h"
#include "StopSignal.h"

class LogHost;

// The worker's entry, in the platform's worker-thread form; param is unused.
unsigned RelayThreadProc(void* param);

class RelayWorker {
public:
    ~RelayWorker() { Stop(); }

    // Starts the worker on the opened relay socket, logging to host.
    // Does nothing and returns false if it is already running.
    bool Launch(LogHost& host);
    // Wakes the worker and waits for it to end; it touches neither the host
    // nor the relay state afterwards.
    void Stop();
    bool IsRunning() const { return m_thread != nullptr; }

    LogHost& Host() const { return *m_host; }
    const StopSignal& StopRequest() const { return m_stop; }

private:
    LogHost* m_host = nullptr;
    StopSignal m_stop;
    std::unique_ptr<CWinThread> m_thread;
};

// Defined beside the relay state, after it, so that it stops first at exit.
extern RelayWorker g_relayWorker;
