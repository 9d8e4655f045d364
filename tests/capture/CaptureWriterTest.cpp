// The capture's writer against real files and pipes: a reader that stalls
// makes it leave records out, count them and say so, never wait; the size
// limit ends the file with a statistics block; a failed write is said once.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <thread>
#include <unistd.h>

#include "capture/CaptureWriter.h"

namespace {

struct Block {
    std::uint32_t type = 0;
    std::string body;
};

std::uint32_t U32(const std::string& bytes, size_t at)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// The file's blocks; an empty list when one is cut short.
std::vector<Block> Blocks(const std::string& file)
{
    std::vector<Block> blocks;
    for (size_t at = 0; at < file.size();) {
        if (file.size() - at < 12)
            return {};
        const std::uint32_t length = U32(file, at + 4);
        if (length < 12 || length > file.size() - at || U32(file, at + length - 4) != length)
            return {};
        blocks.push_back({U32(file, at), file.substr(at + 8, length - 12)});
        at += length;
    }
    return blocks;
}

constexpr std::uint32_t kPacketBlock = 6;
constexpr std::uint32_t kStatisticsBlock = 5;

size_t CountOf(const std::vector<Block>& blocks, std::uint32_t type)
{
    size_t count = 0;
    for (const Block& block : blocks)
        count += block.type == type;
    return count;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

DatagramEvent Event(std::uint64_t number, const std::vector<unsigned char>& payload)
{
    DatagramEvent event;
    event.step = DatagramStep::Arrived;
    event.number = number;
    event.timeNs = static_cast<std::int64_t>(number) * 1000;
    event.source = PacketEndpoint::V4(0x7F000001, 40000);
    event.destination = PacketEndpoint::V4(0x7F000001, 5000);
    event.bytes = payload.data();
    event.size = static_cast<std::uint32_t>(payload.size());
    return event;
}

std::string TempPath(const char* name) { return ::testing::TempDir() + "dulvet-capture-" + name + "-" + std::to_string(getpid()); }

}  // namespace

TEST(CaptureWriter, AStalledReaderMakesItLeaveRecordsOutCountedAndSaidNeverWait)
{
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    CaptureSettings settings;
    settings.path = "/dev/fd/" + std::to_string(pipeEnds[1]);
    settings.bufferBytes = 100'000;
    CaptureWriter writer(settings, {});
    std::string error;
    ASSERT_TRUE(writer.Open(error)) << error;
    close(pipeEnds[1]);  // the writer holds its own

    // Nobody reads yet: the pipe (64 KiB) and the buffer (100 kB) fill, the
    // rest of 1 MB is left out.
    const std::vector<unsigned char> payload(1000, 0x5A);
    constexpr int kEvents = 1000;
    for (int n = 1; n <= kEvents; ++n)
        writer.OnDatagram(Event(n, payload));
    EXPECT_GT(writer.LeftOut(), 500u);

    std::string file;
    std::thread reader([&] {
        char chunk[65536];
        for (ssize_t got; (got = read(pipeEnds[0], chunk, sizeof chunk)) > 0;)
            file.append(chunk, static_cast<size_t>(got));
    });
    writer.Finish();
    reader.join();
    close(pipeEnds[0]);

    const auto blocks = Blocks(file);
    ASSERT_FALSE(blocks.empty());
    EXPECT_EQ(CountOf(blocks, kPacketBlock) + writer.LeftOut(), size_t{kEvents});
    EXPECT_NE(file.find("capture-dropped: " + std::to_string(writer.LeftOut()) + " records left out here"),
              std::string::npos);
    EXPECT_NE(file.find("end of capture: " + std::to_string(CountOf(blocks, kPacketBlock)) + " packets, " +
                        std::to_string(writer.LeftOut()) + " left out"),
              std::string::npos);
}

TEST(CaptureWriter, ARecordReachesALiveReaderWithoutWaitingForTheEnd)
{
    // As `--capture - | wireshark -k -i -` reads it: each record shows up
    // while the run goes on, also one told after the writer fell asleep.
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    CaptureSettings settings;
    settings.path = "/dev/fd/" + std::to_string(pipeEnds[1]);
    CaptureWriter writer(settings, {});
    std::string error;
    ASSERT_TRUE(writer.Open(error)) << error;
    close(pipeEnds[1]);
    std::string file;
    const auto readUntilPackets = [&](size_t wanted) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (CountOf(Blocks(file), kPacketBlock) < wanted && std::chrono::steady_clock::now() < deadline) {
            pollfd ready{pipeEnds[0], POLLIN, 0};
            char chunk[65536];
            if (poll(&ready, 1, 100) > 0)
                if (const ssize_t got = read(pipeEnds[0], chunk, sizeof chunk); got > 0)
                    file.append(chunk, static_cast<size_t>(got));
        }
        return CountOf(Blocks(file), kPacketBlock);
    };
    const std::vector<unsigned char> payload(64, 3);
    writer.OnDatagram(Event(1, payload));
    EXPECT_EQ(readUntilPackets(1), 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // nothing comes: it sleeps
    writer.OnDatagram(Event(2, payload));
    EXPECT_EQ(readUntilPackets(2), 2u);
    writer.Finish();
    close(pipeEnds[0]);
}

TEST(CaptureWriter, TheSizeLimitEndsTheFileWithAStatisticsBlockThatSaysSo)
{
    const std::string path = TempPath("limit");
    CaptureSettings settings;
    settings.path = path;
    settings.limitBytes = 10'000;
    {
        CaptureWriter writer(settings, {});
        std::string error;
        ASSERT_TRUE(writer.Open(error)) << error;
        const std::vector<unsigned char> payload(500, 1);
        for (int n = 1; n <= 100; ++n) {
            writer.OnDatagram(Event(n, payload));
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        writer.Finish();
        EXPECT_EQ(writer.LeftOut(), 0u);  // ended, not overrun
    }
    const std::string file = ReadFile(path);
    std::remove(path.c_str());
    EXPECT_LE(file.size(), 10'000u);
    EXPECT_GT(file.size(), 9'000u);
    const auto blocks = Blocks(file);
    ASSERT_GE(blocks.size(), 2u);
    EXPECT_EQ(blocks.back().type, kStatisticsBlock);
    EXPECT_NE(blocks.back().body.find("capture limit of 0.01 MB reached"), std::string::npos);
    EXPECT_EQ(file.find("end of capture"), std::string::npos);
}

TEST(CaptureWriter, AFailedWriteIsSaidOnceAndTheEventsStillCostNothing)
{
    std::signal(SIGPIPE, SIG_IGN);
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    CaptureSettings settings;
    settings.path = "/dev/fd/" + std::to_string(pipeEnds[1]);
    std::vector<std::string> said;
    std::mutex saidMutex;
    CaptureWriter writer(settings, [&](const std::string& line) {
        std::lock_guard lock(saidMutex);
        said.push_back(line);
    });
    std::string error;
    ASSERT_TRUE(writer.Open(error)) << error;
    close(pipeEnds[1]);
    close(pipeEnds[0]);  // the reader has gone: every write fails
    const std::vector<unsigned char> payload(100, 2);
    for (int n = 1; n <= 200; ++n) {
        writer.OnDatagram(Event(n, payload));
        if (n % 50 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    writer.Finish();
    std::lock_guard lock(saidMutex);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find("ends here: Broken pipe; the relay goes on"), std::string::npos) << said[0];
}

TEST(CaptureWriter, AFileThatCannotBeWrittenIsSaidAtOpen)
{
    CaptureSettings settings;
    settings.path = "/nonexistent-folder/x.pcapng";
    CaptureWriter writer(settings, {});
    std::string error;
    EXPECT_FALSE(writer.Open(error));
    EXPECT_EQ(error, "cannot write the capture to /nonexistent-folder/x.pcapng: No such file or directory");
}
