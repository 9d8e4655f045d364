#include "capture/CaptureWriter.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "capture/CaptureComments.h"
#include "capture/PcapngBlocks.h"
#include "capture/UdpPacket.h"
#include "framework/core/ThreadTiming.h"

namespace {

// The writer gathers what comes within this long into one write.
constexpr auto kGatherTime = std::chrono::milliseconds(10);
// ... unless this much waits first: the writer takes it while the
// caches still hold it.
constexpr std::size_t kHurryBytes = CaptureRing::kHotBytes / 4;
// Written out once this much has gathered.
constexpr std::size_t kWriteChunk = std::size_t{256} << 10;
// Room for the largest packet block beyond a chunk: m_out never grows.
constexpr std::size_t kLargestBlock = 70'000;
// Kept free below the limit for the closing statistics blocks.
constexpr std::size_t kClosingRoom = 2 * pcapng::StatisticsSize(120);

std::int64_t SteadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string Plural(std::uint64_t n, const char* word)
{
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

std::string LimitText(std::uint64_t bytes)
{
    // As it was given: MB of 10^6 bytes.
    char text[64];
    std::snprintf(text, sizeof text, "%g MB", static_cast<double>(bytes) / 1e6);
    return text;
}

}  // namespace

CaptureWriter::CaptureWriter(CaptureSettings settings, Report report)
    : m_settings(std::move(settings)), m_report(std::move(report)), m_ring(m_settings.bufferBytes)
{
    m_out.reserve(kWriteChunk + kLargestBlock);
    const auto wall = std::chrono::duration_cast<std::chrono::nanoseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
    m_wallOffsetNs = wall - SteadyNs();
}

CaptureWriter::~CaptureWriter() { Finish(); }

std::uint32_t CaptureWriter::InterfaceOf(const DatagramEvent& event)
{
    // Arrivals are inbound on the side they came from; departures outbound
    // on the side they went to.
    const bool clientsSide = (event.way == DatagramWay::ToServer) == (event.step != DatagramStep::Left);
    return clientsSide ? kClientsSide : kServerSide;
}

bool CaptureWriter::Open(std::string& error)
{
    if (m_settings.path == "-") {
#ifdef _WIN32
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        m_file = stdout;
    } else {
        m_file = std::fopen(m_settings.path.c_str(), "wb");
        if (!m_file) {
            error = "cannot write the capture to " + m_settings.path + ": " + std::strerror(errno);
            return false;
        }
        m_ownsFile = true;
    }
    pcapng::AppendSectionHeader(m_out, m_settings.application);
    pcapng::AppendInterface(m_out, "clients", "the clients' side: what arrived from clients and what left to them");
    pcapng::AppendInterface(m_out, "server", "the server's side: what left to the server and what came from it");
    m_written = m_out.size();
    m_lastTime.fill(static_cast<std::uint64_t>(SteadyNs() + m_wallOffsetNs));
    WriteOut();
    if (m_ended) {
        error = "cannot write the capture to " + m_settings.path;
        return false;
    }
    m_closed = false;
    m_thread = std::thread([this] { Run(); });
    return true;
}

void CaptureWriter::OnDatagram(const DatagramEvent& event)
{
    if (m_closed.load(std::memory_order_relaxed))
        return;
    if (!m_ring.Put(event)) {
        // Only this thread adds: no read-modify-write needed.
        auto& leftOut = m_leftOut[InterfaceOf(event)];
        leftOut.store(leftOut.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        return;
    }
    // The ring's sequentially consistent publication orders this load after it.
    if (m_asleep.load(std::memory_order_seq_cst))
        Wake(m_asleep);
    else if (m_gathering.load(std::memory_order_relaxed) && m_ring.Waiting() > kHurryBytes)
        Wake(m_gathering);
}

void CaptureWriter::Wake(std::atomic<bool>& flag)
{
    if (!flag.exchange(false))
        return;  // someone else woke it
    // Taking the lock makes sure the writer is waiting, or will see the flag.
    { std::lock_guard lock(m_mutex); }
    m_wake.notify_one();
}

std::uint64_t CaptureWriter::LeftOut() const
{
    return m_leftOut[0].load(std::memory_order_relaxed) + m_leftOut[1].load(std::memory_order_relaxed);
}

void CaptureWriter::Run()
{
    // Like the line writers: the relay's thread keeps the processor.
    ThreadTiming::ForThisBackgroundThread();
    for (;;) {
        m_ring.TakeAll([this](const DatagramEvent& event, const unsigned char* bytes) { Encode(event, bytes); });
        ReportLeftOut();
        WriteOut();
        if (m_finishing.load() && m_ring.Empty())
            break;
        Wait();
    }
}

void CaptureWriter::Wait()
{
    std::unique_lock lock(m_mutex);
    if (m_finishing.load())
        return;
    m_gathering = true;
    m_wake.wait_for(lock, kGatherTime, [&] { return !m_gathering.load() || m_finishing.load(); });
    m_gathering = false;
    if (!m_ring.Empty() || m_finishing.load())
        return;
    // Nothing came while gathering: sleep until something does. Said
    // first, then looked again, so that an event put in meanwhile is
    // either seen here or wakes the writer.
    m_asleep.store(true, std::memory_order_seq_cst);
    if (!m_ring.Empty()) {
        m_asleep = false;
        return;
    }
    m_wake.wait(lock, [&] { return !m_asleep.load() || m_finishing.load(); });
    m_asleep = false;
}

std::uint64_t CaptureWriter::WallTime(std::uint32_t interfaceId, std::int64_t steadyNs)
{
    // Never backwards on an interface, whatever order the events came in.
    const auto wall = static_cast<std::uint64_t>(steadyNs + m_wallOffsetNs);
    m_lastTime[interfaceId] = std::max(m_lastTime[interfaceId], wall);
    return m_lastTime[interfaceId];
}

void CaptureWriter::Encode(const DatagramEvent& event, const unsigned char* bytes)
{
    if (m_ended)
        return;
    const std::uint32_t side = InterfaceOf(event);
    const FateText comments(event);
    const std::string_view texts[2] = {comments[0], comments[1]};
    // Straight into what is written next; taken back if it passes the limit.
    const std::size_t before = pcapng::BeginPacket(m_out, side, WallTime(side, event.timeNs));
    AppendUdpPacket(m_out, event.source, event.destination, bytes, event.size);
    pcapng::EndPacket(m_out, before,
                      event.step == DatagramStep::Left ? pcapng::Direction::Outbound : pcapng::Direction::Inbound,
                      texts, comments.Count());
    const std::size_t size = m_out.size() - before;
    if (m_settings.limitBytes && m_written + size + kClosingRoom > *m_settings.limitBytes) {
        m_out.resize(before);
        CloseAtLimit();
        return;
    }
    m_written += size;
    ++m_packets[side];
    if (m_out.size() >= kWriteChunk)
        WriteOut();
}

void CaptureWriter::ReportLeftOut()
{
    for (std::uint32_t side : {kClientsSide, kServerSide}) {
        const std::uint64_t leftOut = m_leftOut[side].load(std::memory_order_relaxed);
        if (leftOut == m_leftOutSaid[side] || m_ended)
            continue;
        m_block.clear();
        pcapng::AppendStatistics(m_block, side, m_lastTime[side],
                                 "capture-dropped: " + Plural(leftOut - m_leftOutSaid[side], "record") +
                                     " left out here (" + std::to_string(leftOut) +
                                     " in all): the capture could not keep up");
        if (Put(m_block))
            m_leftOutSaid[side] = leftOut;
    }
}

bool CaptureWriter::Put(const std::string& block)
{
    if (m_ended)
        return false;
    if (m_settings.limitBytes && m_written + block.size() + kClosingRoom > *m_settings.limitBytes) {
        CloseAtLimit();
        return false;
    }
    m_out += block;
    m_written += block.size();
    if (m_out.size() >= kWriteChunk)
        WriteOut();
    return true;
}

void CaptureWriter::CloseAtLimit()
{
    m_closed = true;
    for (std::uint32_t side : {kClientsSide, kServerSide}) {
        m_block.clear();
        pcapng::AppendStatistics(m_block, side, m_lastTime[side],
                                 "capture limit of " + LimitText(*m_settings.limitBytes) +
                                     " reached: nothing more is recorded");
        m_out += m_block;
        m_written += m_block.size();
    }
    WriteOut();
    m_ended = true;
}

void CaptureWriter::WriteOut()
{
    if (m_out.empty() || !m_file)
        return;
    if (std::fwrite(m_out.data(), 1, m_out.size(), m_file) != m_out.size() || std::fflush(m_file) != 0)
        Fail(errno);
    m_out.clear();
}

void CaptureWriter::Fail(int error)
{
    if (std::exchange(m_ended, true))
        return;
    m_closed = true;
    if (m_report)
        m_report("the capture to " + (m_settings.path == "-" ? std::string("standard output") : m_settings.path) +
                 " ends here: " + std::strerror(error) + "; the relay goes on");
}

void CaptureWriter::Finish()
{
    m_closed = true;
    if (m_thread.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_finishing = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    m_closed = true;
    if (!m_ended && m_file) {
        ReportLeftOut();
        for (std::uint32_t side : {kClientsSide, kServerSide}) {
            m_block.clear();
            pcapng::AppendStatistics(m_block, side, m_lastTime[side],
                                     "end of capture: " + Plural(m_packets[side], "packet") + ", " +
                                         std::to_string(m_leftOut[side].load()) + " left out (capture-dropped)");
            Put(m_block);
        }
        WriteOut();
        m_ended = true;
    }
    if (m_file && m_ownsFile)
        std::fclose(m_file);
    else if (m_file)
        std::fflush(m_file);
    m_file = nullptr;
}
