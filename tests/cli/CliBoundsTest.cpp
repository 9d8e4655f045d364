// What the console program holds while nobody takes its output or its
// commands come faster than they are carried out: bounded, and what was
// left out is said.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "cli/ControlQueue.h"
#include "cli/LineWriter.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

#ifndef _WIN32
// Standard output into a pipe that is full before the first line comes
// (whatever size the system gave it), read when the test likes. What filled
// it is not part of what is read back.
class StdoutIntoPipe {
public:
    StdoutIntoPipe()
    {
        if (pipe(m_fds) != 0)
            return;
        m_filler = Fill(m_fds[1]);
        std::fflush(stdout);
        m_saved = dup(STDOUT_FILENO);
        dup2(m_fds[1], STDOUT_FILENO);
    }
    ~StdoutIntoPipe() { Restore(); }

    // From now on read everything until the end, on a thread.
    void ReadToEnd()
    {
        m_reader = std::thread([this] {
            char chunk[4096];
            for (ssize_t got; (got = read(m_fds[0], chunk, sizeof chunk)) > 0;)
                m_text.append(chunk, static_cast<size_t>(got));
            m_text.erase(0, m_filler);
        });
    }
    // Standard output as it was; what was read.
    std::string Restore()
    {
        if (m_saved >= 0) {
            dup2(m_saved, STDOUT_FILENO);
            close(m_saved);
            close(m_fds[1]);
            m_saved = -1;
        }
        if (m_reader.joinable())
            m_reader.join();
        return m_text;
    }

private:
    // Writes into the pipe until it takes no more; how much that was.
    static size_t Fill(int fd)
    {
        const int flags = fcntl(fd, F_GETFL);
        fcntl(fd, F_SETFL, flags | O_NONBLOCK);
        const std::string block(4096, '#');
        size_t filled = 0;
        for (size_t size : {block.size(), size_t{1}}) {
            for (ssize_t put; (put = write(fd, block.data(), size)) > 0;)
                filled += static_cast<size_t>(put);
        }
        fcntl(fd, F_SETFL, flags);
        return filled;
    }

    int m_fds[2] = {-1, -1};
    size_t m_filler = 0;
    int m_saved = -1;
    std::thread m_reader;
    std::string m_text;
};

TEST(LineWriterBound, AStalledStreamHoldsAtMostTheBoundAndTheGapIsSaidWhereItWas)
{
    constexpr int kLines = 20000;       // about 230 KB
    constexpr size_t kBound = 16 << 10;  // what may wait
    StdoutIntoPipe pipe;
    std::string text;
    {
        LineWriter out(StdStream::Out, kBound);
        for (int i = 0; i < kLines; ++i)
            out.Write("line " + std::to_string(i) + "\n");
        pipe.ReadToEnd();
        out.Finish(std::chrono::seconds(30));
        text = pipe.Restore();
    }
    // Every line kept comes in order from the first; then the count of the
    // rest, which makes the whole.
    size_t at = 0;
    int kept = 0;
    while (text.compare(at, 5, "line ") == 0) {
        ASSERT_EQ(text.substr(at, text.find('\n', at) + 1 - at), "line " + std::to_string(kept) + "\n");
        at = text.find('\n', at) + 1;
        ++kept;
    }
    EXPECT_GT(kept, 0);
    EXPECT_LE(at, kBound);  // no more than the bound waited
    EXPECT_EQ(text.substr(at), "... " + std::to_string(kLines - kept) + " lines not written: output blocked\n");
}
#endif

TEST(ControlQueueBound, CommandsWaitForRoomButAnEndRequestNeverDoes)
{
    ControlQueue queue;
    constexpr size_t kCommands = ControlQueue::kMostWaiting + 100;
    std::atomic<bool> allIn{false};
    std::thread reader([&] {
        for (size_t i = 0; i < kCommands; ++i)
            queue.Push(CommandParse{std::nullopt, std::to_string(i)});
        allIn = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (queue.Size() < ControlQueue::kMostWaiting && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_EQ(queue.Size(), ControlQueue::kMostWaiting);
    EXPECT_FALSE(allIn);  // it waits for room
    queue.Push(EndRequest{"signal"});
    EXPECT_EQ(queue.Size(), ControlQueue::kMostWaiting + 1);
    // Taken in order as room is made, the end request where it came.
    std::vector<std::string> taken;
    while (taken.size() < kCommands + 1) {
        const auto event = queue.WaitUntil(deadline);
        ASSERT_TRUE(event);
        const auto* command = std::get_if<CommandParse>(&*event);
        taken.push_back(command ? command->error : std::get<EndRequest>(*event).reason);
    }
    reader.join();
    EXPECT_EQ(taken[ControlQueue::kMostWaiting], "signal");
    EXPECT_EQ(taken.front(), "0");
    EXPECT_EQ(taken.back(), std::to_string(kCommands - 1));
}

}  // namespace
