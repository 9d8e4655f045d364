// Datagrams of every awkward size from several clients at once, with server
// replies in between: what fits the relay's buffer reaches the server byte
// for byte (by the drop rule), nothing longer does, and the relay keeps going.

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "tests/relay/RelayFixture.h"

using namespace std::chrono_literals;

namespace {

constexpr size_t kSizes[] = {0, 1, 14999, 15000, 15001, 65507};
constexpr int kClients = 3;
constexpr int kPerSize = 50;  // per client: 300 datagrams, and a marker after each

bool Forwardable(size_t size) { return size >= 1 && size <= kRelayBufferSize; }

std::uint64_t Fnv1a(const unsigned char* bytes, size_t size)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ bytes[i]) * 1099511628211ull;
    return hash;
}

using Key = std::pair<size_t, std::uint64_t>;  // size and content hash
Key KeyOf(const std::vector<unsigned char>& bytes) { return {bytes.size(), Fnv1a(bytes.data(), bytes.size())}; }

// A server reply carries the low 32 bits of its body's hash in front, so a
// client can tell it arrived whole.
std::vector<unsigned char> MakeReply(std::uint32_t seed)
{
    auto reply = RandomBytes(8 + seed % 57, seed);
    const auto hash = static_cast<std::uint32_t>(Fnv1a(reply.data() + 4, reply.size() - 4));
    std::copy_n(reinterpret_cast<const unsigned char*>(&hash), 4, reply.begin());
    return reply;
}

bool IsWholeReply(const std::vector<unsigned char>& bytes)
{
    if (bytes.size() < 8 || bytes.size() > 64)
        return false;
    const auto hash = static_cast<std::uint32_t>(Fnv1a(bytes.data() + 4, bytes.size() - 4));
    return std::equal(bytes.begin(), bytes.begin() + 4, reinterpret_cast<const unsigned char*>(&hash));
}

// The relay takes datagrams from its socket in order, and its receive
// buffer holds about three of the longest. So each client sends one
// datagram and a small marker, then waits until the relay has dealt with
// every forwardable datagram sent so far and the server has received every
// one the relay forwarded; only one of the longest is out at a time.
// Nothing is then lost before the relay or at the server (however slow its
// thread), and any loss is the relay's own.
class OddDatagrams : public RelayFixture, public ::testing::WithParamInterface<std::int32_t> {
protected:
    class CountingHost : public LogHost {
    public:
        explicit CountingHost(TestLogHost& log) : m_log(log) {}
        void AppendLog(const CString& line) override
        {
            const bool forwarded = line.View().starts_with(L"count:");
            m_forwarded += forwarded;
            m_decisions += forwarded || line.View().starts_with(L"Miss");
            m_log.AppendLog(line);
        }
        void ScrollLogToEnd() override { m_log.ScrollLogToEnd(); }
        std::atomic<int> m_decisions{0};
        std::atomic<int> m_forwarded{0};

    private:
        TestLogHost& m_log;
    };

    void TearDown() override
    {
        StopServer();
        RelayFixture::TearDown();
    }

    // Datagrams the relay has dealt with: with loss, each gets a count or
    // miss line; without, each reaches the server.
    int Dealt() const { return GetParam() != 0 ? m_counting.m_decisions.load() : m_serverGot.load(); }

    void Fail(const std::string& what)
    {
        std::lock_guard lock(m_mutex);
        m_failures.push_back(what);
    }

    void RunServer()
    {
        m_serverThread = std::thread([this] {
            UdpPeer& server = m_server;
            for (std::uint32_t replies = 0; !m_stopServer;) {
                auto datagram = server.Receive(20ms);
                if (!datagram)
                    continue;
                {
                    std::lock_guard lock(m_mutex);
                    ++m_received[KeyOf(datagram->bytes)];
                }
                ++m_serverGot;
                server.SendTo(MakeReply(++replies), m_relayPort);
                if (replies % 16 == 0)  // now and then something the relay must not pass on
                    server.SendTo(RandomBytes(replies % 32 == 0 ? 0 : 15001, replies), m_relayPort);
            }
        });
    }

    void StopServer()
    {
        m_stopServer = true;
        if (m_serverThread.joinable())
            m_serverThread.join();
    }

    void RunClient(int id)
    {
        UdpPeer client;
        std::vector<size_t> sizes;
        for (size_t size : kSizes)
            sizes.insert(sizes.end(), kPerSize, size);
        std::shuffle(sizes.begin(), sizes.end(), std::mt19937(1000 + id));
        for (size_t i = 0; i < sizes.size(); ++i) {
            std::unique_lock<std::mutex> longest(m_longestOut, std::defer_lock);
            if (sizes[i] > 20000)
                longest.lock();
            const auto seed = static_cast<std::uint32_t>(id * 100000 + i);
            if (!Send(client, RandomBytes(sizes[i], seed)) || !Send(client, RandomBytes(9, seed + 50000)) ||
                !WaitUntilDealt(m_forwardableSent.load()))
                return;
            TakeReplies(client);
        }
    }

    bool Send(UdpPeer& client, const std::vector<unsigned char>& bytes)
    {
        if (Forwardable(bytes.size())) {
            std::lock_guard lock(m_mutex);
            ++m_sent[KeyOf(bytes)];
            ++m_forwardableSent;  // before it can arrive: a waiter counts it
        }
        if (client.SendTo(bytes, m_relayPort) == static_cast<int>(bytes.size()))
            return true;
        Fail("send of " + std::to_string(bytes.size()) + " bytes failed");
        return false;
    }

    // With loss on, the relay writes a datagram's count line after sending
    // it; so once the server has as many as there are count lines, it has
    // everything forwarded so far.
    bool WaitUntilDealt(int count)
    {
        const auto deadline = std::chrono::steady_clock::now() + kArrivalDeadline;
        while (Dealt() < count || m_serverGot < m_counting.m_forwarded) {
            if (std::chrono::steady_clock::now() > deadline) {
                Fail("the relay dealt with " + std::to_string(Dealt()) + " of " + std::to_string(count) +
                     " and forwarded " + std::to_string(m_counting.m_forwarded) + ", the server got " +
                     std::to_string(m_serverGot));
                return false;
            }
            std::this_thread::sleep_for(100us);
        }
        return true;
    }

    void TakeReplies(UdpPeer& client)
    {
        while (auto reply = client.Receive(0ms)) {
            if (!IsWholeReply(reply->bytes))
                Fail("a client got " + std::to_string(reply->bytes.size()) + " bytes that no reply was");
            ++m_repliesTaken;
        }
    }

    std::mutex m_mutex;
    std::map<Key, int> m_sent;      // guarded by m_mutex
    std::map<Key, int> m_received;  // guarded by m_mutex
    std::vector<std::string> m_failures;
    std::atomic<int> m_forwardableSent{0};
    std::atomic<int> m_serverGot{0};
    std::atomic<int> m_repliesTaken{0};
    std::mutex m_longestOut;
    std::atomic<bool> m_stopServer{false};
    std::thread m_serverThread;
    CountingHost m_counting{m_host};
};

}  // namespace

TEST_P(OddDatagrams, FitToTheBufferArriveExactlyTheRestNeverAndTheRelayGoesOn)
{
    const std::int32_t missCount = GetParam();
    g_relaySocket.m_nMissCount = missCount;
    ASSERT_TRUE(g_relayWorker.Launch(m_counting));
    RunServer();

    std::vector<std::thread> clients;
    for (int id = 0; id < kClients; ++id)
        clients.emplace_back([this, id] { RunClient(id); });
    for (auto& client : clients)
        client.join();
    // Every client waited until the relay had dealt with all it sent and
    // the server had received all the relay forwarded.
    StopServer();

    EXPECT_EQ(m_failures, std::vector<std::string>{});
    const int forwardable = m_forwardableSent.load();
    EXPECT_EQ(forwardable, kClients * (3 + 6) * kPerSize);  // sizes 1, 14999, 15000, and the markers
    if (missCount == 0) {
        EXPECT_TRUE(m_received == m_sent) << m_serverGot << " of " << forwardable << " arrived, or not as sent";
        EXPECT_TRUE(m_host.Text().IsEmpty());
    } else {
        for (const auto& [key, times] : m_received)
            EXPECT_LE(times, m_sent[key]) << "the server got " << key.first << " bytes that no client sent";
        EXPECT_EQ(m_counting.m_decisions, forwardable) << "one count or miss line per forwardable datagram";
        EXPECT_EQ(m_counting.m_forwarded, m_serverGot);
        EXPECT_NEAR(m_serverGot, forwardable * 2 / 3, 3);
    }
    EXPECT_GT(m_repliesTaken.load(), 0);

    // Still relaying.
    g_relaySocket.m_nMissCount = 0;
    UdpPeer late;
    ASSERT_GT(late.SendText("after", m_relayPort), 0);
    EXPECT_EQ(m_server.ReceiveText(), "after");
}

INSTANTIATE_TEST_SUITE_P(Loss, OddDatagrams, ::testing::Values(0, 3),
                         [](const auto& info) { return info.param == 0 ? "None" : "OneInThree"; });
