#pragma once
// The one thread that moves datagrams. It runs RelayThreadProc until it is
// told to stop; a stop wakes it out of a wait for a datagram or a pause at
// once, so ending the program never waits out a pause.

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "framework/core/CWinThread.h"
#include "relay/DatagramObserver.h"
#include "relay/RelayEvents.h"
#include "relay/RelayStats.h"
#include "framework/core/StopSignal.h"
#include "framework/core/ThreadTiming.h"

class LogHost;
class RelaySockets;

// The worker's entry, in the platform's worker-thread form; param is unused.
unsigned RelayThreadProc(void* param);

// A stop signal made by the system (it may not be usable: see StopSignal).
std::unique_ptr<StopSignal> MakeSystemStopSignal();

class RelayWorker {
public:
    // What a launch takes from the system: a stop signal and a thread.
    // Either may be refused (out of handles, threads or memory); a test
    // stands in one that refuses, which the system will not do on demand.
    struct Resources {
        std::unique_ptr<StopSignal> (*makeStopSignal)() = &MakeSystemStopSignal;
        std::unique_ptr<CWinThread> (*beginThread)(AFX_THREADPROC, void*) = &AfxBeginThread;
    };

    ~RelayWorker() { Stop(); }

    // Starts the worker on the opened relay socket, logging to host, with
    // its counters at zero.
    // `announce` runs once the worker exists but before it takes its first
    // datagram, so that what it logs comes before any line of the worker.
    // Returns false, having started nothing and run nothing, when the
    // worker is already running or the system gives no usable stop signal
    // or no thread.
    bool Launch(LogHost& host, const std::function<void()>& announce = {});
    // Wakes the worker and waits for it to end; it touches neither the host
    // nor the relay state afterwards.
    void Stop();
    bool IsRunning() const { return m_thread != nullptr; }

    LogHost& Host() const { return *m_host; }
    const StopSignal& StopRequest() const { return *m_stop; }

    // Told about each datagram from the next launch on (the console
    // program's capture and event log); null, as the dialog has it, for
    // nobody. The observer outlives the worker's run.
    void Observe(DatagramObserver* observer) { m_observer = observer; }
    RelayEvents* Events() const { return m_events.get(); }

    // Where dulvet's worker says, once a launch, that datagrams have waited
    // behind one another for over a second (kSerialDelayNotice); null, as
    // the dialog has it, for nowhere. Before Launch; it outlives the run.
    void SetNoticeLog(LogHost* notices) { m_notices = notices; }
    LogHost* Notices() const { return m_notices; }

    // The sockets dulvet's worker serves beside the relay socket (further
    // listening addresses, its own socket towards the server); null, as the
    // dialog has it, for the relay socket alone. Before Launch; they
    // outlive the run.
    void Serve(const RelaySockets* more) { m_more = more; }
    const RelaySockets* MoreSockets() const { return m_more; }

    // The resources for later launches; returns the ones they replace.
    Resources UseResources(const Resources& resources);

    // How later launches keep time while a delay is set. Keep (the
    // dialog's) leaves the worker's priority and turns as they are;
    // RaiseOrKeep (dulvet's) asks for a raised priority while the delay is
    // above 0, so that a pause ends on time beside a busy program, and
    // gives it back when Modify sets no delay.
    void KeepTimeWith(ThreadTiming::Priority priority) { m_pausePriority = priority; }
    // The worker's own call, at its start and before each pause.
    void KeepTimeFor(std::int32_t delayMs);

    // What the worker has done since its launch: any thread may read these.
    const RelayStats& Stats() const { return m_counters; }
    // The worker's own access, for counting.
    RelayStats& Counters() { return m_counters; }

private:
    // Waits at the start line, then runs RelayThreadProc.
    static unsigned ThreadEntry(void* worker);

    static PacketEndpoint SocketEndpoint(bool relay);
    std::vector<PacketEndpoint> SocketEndpoints() const;

    Resources m_resources;
    DatagramObserver* m_observer = nullptr;
    const RelaySockets* m_more = nullptr;
    std::unique_ptr<RelayEvents> m_events;
    ThreadTiming::Priority m_pausePriority = ThreadTiming::Priority::Keep;
    bool m_keepingTime = false;  // the worker's own: it asked for the raise
    LogHost* m_host = nullptr;
    LogHost* m_notices = nullptr;
    RelayStats m_counters;
    std::unique_ptr<StopSignal> m_stop;
    std::unique_ptr<CWinThread> m_thread;
    std::mutex m_startLine;  // held by Launch until the worker may begin
};

// Defined beside the relay state, after it, so that it stops first at exit.
extern RelayWorker g_relayWorker;
