#pragma once
// The capture of a run: every datagram's arrival and fate as a packet in a
// pcapng file (or on standard output), on two interfaces, the clients'
// side and the server's side. The engine's thread only copies each event
// and its bytes into a ring allocated once (no lock, no allocation); a
// thread of the writer's own turns them into blocks and writes them,
// woken only when it sleeps with nothing to do or the ring fills. What does not fit in the buffer is left out and
// counted, and a statistics block says so: the capture never slows the
// relay. A size limit ends the file with a statistics block saying so; a
// failed write is reported once and ends the capture, not the relay.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "capture/CaptureRing.h"
#include "relay/DatagramObserver.h"

struct CaptureSettings {
    std::string path;                        // "-": standard output
    std::optional<std::uint64_t> limitBytes;  // the file grows to at most this
    std::size_t bufferBytes = std::size_t{32} << 20;  // events and payloads waiting to be written
    std::string application;                 // named in the section header
};

class CaptureWriter final : public DatagramObserver {
public:
    // report receives, once, the line that says why the capture ended early
    // (a failed write), from the writer's thread.
    using Report = std::function<void(const std::string& line)>;
    CaptureWriter(CaptureSettings settings, Report report);
    ~CaptureWriter();
    CaptureWriter(const CaptureWriter&) = delete;
    CaptureWriter& operator=(const CaptureWriter&) = delete;

    // Opens the file, writes the section header and both interfaces and
    // starts the thread. False, with a one-line message, when it cannot.
    bool Open(std::string& error);
    // The engine's thread: never waits for the writer.
    void OnDatagram(const DatagramEvent& event) override;
    // Writes what waits and the closing statistics, then ends the thread.
    void Finish();
    // Records left out because the writer could not keep up.
    std::uint64_t LeftOut() const;

    static constexpr std::uint32_t kClientsSide = 0;
    static constexpr std::uint32_t kServerSide = 1;
    // The interface an event is recorded on, and in which direction.
    static std::uint32_t InterfaceOf(const DatagramEvent& event);

private:
    void Run();
    // Sleeps up to the gathering time, or until woken when nothing waits.
    void Wait();
    void Wake(std::atomic<bool>& flag);
    void Encode(const DatagramEvent& event, const unsigned char* bytes);
    void ReportLeftOut();
    // Adds a block to what is written next; false once the limit ended the file.
    bool Put(const std::string& block);
    void CloseAtLimit();
    void WriteOut();
    void Fail(int error);
    std::uint64_t WallTime(std::uint32_t interfaceId, std::int64_t steadyNs);

    CaptureSettings m_settings;
    Report m_report;
    std::FILE* m_file = nullptr;
    bool m_ownsFile = false;
    std::int64_t m_wallOffsetNs = 0;

    CaptureRing m_ring;
    std::mutex m_mutex;  // only to sleep and to wake
    std::condition_variable m_wake;
    std::atomic<bool> m_asleep{false};     // nothing waited: the next event wakes the writer
    std::atomic<bool> m_gathering{false};  // a ring filling past a share wakes it early
    std::atomic<bool> m_finishing{false};
    std::atomic<bool> m_closed{true};  // nothing more is taken
    std::array<std::atomic<std::uint64_t>, 2> m_leftOut{};
    std::thread m_thread;

    // The writer's thread's own.
    std::string m_out;
    std::string m_block;
    std::uint64_t m_written = 0;
    std::array<std::uint64_t, 2> m_lastTime{};
    std::array<std::uint64_t, 2> m_packets{};
    std::array<std::uint64_t, 2> m_leftOutSaid{};
    bool m_ended = false;  // by the limit or a failed write
};
