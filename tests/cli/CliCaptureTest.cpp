// dulvet's capture and event log end to end on Linux: real sockets, the
// real tshark and capinfos reading the file, every line of --log-format
// json read by a JSON parser.

#include <atomic>
#include <cmath>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <unistd.h>

#include "tests/cli/CliRelayFixture.h"
#include "tests/support/Ipv6Loopback.h"

using namespace std::chrono_literals;

namespace {

// What the command writes on standard output; its standard error is dropped.
std::string Run(const std::string& command, int* status = nullptr)
{
    std::string text;
    if (FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r")) {
        char chunk[4096];
        for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
            text.append(chunk, got);
        const int result = pclose(pipe);
        if (status)
            *status = result;
    }
    return text;
}

struct Frame {
    std::string side;  // the interface's name
    int direction = 0;  // 1 inbound, 2 outbound
    double epoch = 0;   // seconds
    unsigned sourcePort = 0, destinationPort = 0;
    std::vector<std::string> comments;
};

// Every frame of the capture, as tshark reads it.
std::vector<Frame> Frames(const std::string& path)
{
    std::vector<Frame> frames;
    std::istringstream lines(Run("tshark -r " + path +
                                 " -T fields -E separator=/t -E aggregator=\\| -e frame.interface_name"
                                 " -e frame.packet_flags_direction -e frame.time_epoch -e udp.srcport"
                                 " -e udp.dstport -e frame.comment"));
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '\t');)
            fields.push_back(field);
        if (fields.size() < 6)
            continue;
        Frame frame{fields[0], std::stoi(fields[1], nullptr, 16), std::stod(fields[2]),
                    static_cast<unsigned>(std::stoul(fields[3])), static_cast<unsigned>(std::stoul(fields[4])), {}};
        std::istringstream comments(fields[5]);
        for (std::string comment; std::getline(comments, comment, '|');)
            frame.comments.push_back(comment);
        frames.push_back(frame);
    }
    return frames;
}

// The frames whose comments match the filter, as tshark counts them.
long long Matching(const std::string& path, const std::string& filter)
{
    return std::stoll("0" + Run("tshark -r " + path + " -Y '" + filter + "' -T fields -e frame.number | wc -l"));
}

std::string CapturePath(const char* name)
{
    return ::testing::TempDir() + "dulvet-cli-" + name + "-" + std::to_string(getpid()) + ".pcapng";
}

// "to-server #12 left after 5.123 ms ..." -> {"to-server", 12, "left after 5.123 ms ..."}
struct Told {
    std::string way;
    long long number = 0;
    std::string rest;
};
Told Parse(const std::string& comment)
{
    Told told;
    const size_t hash = comment.find(" #");
    const size_t space = comment.find(' ', hash + 2);
    told.way = comment.substr(0, hash);
    told.number = std::stoll(comment.substr(hash + 2, space - hash - 2));
    told.rest = comment.substr(space + 1);
    return told;
}

// Checks what must hold of any capture: time never goes backwards on an
// interface, a departure's "left after X ms" is its time stamp minus its
// arrival's (to 0.01 ms), arrivals are inbound and departures outbound on
// the right side. Returns the number of departures checked.
int CheckTimesAndSides(const std::vector<Frame>& frames)
{
    std::map<std::string, double> last;
    std::map<std::pair<std::string, long long>, double> arrivals;
    int departures = 0;
    for (const Frame& frame : frames) {
        EXPECT_GE(frame.epoch, last[frame.side]) << frame.side;
        last[frame.side] = frame.epoch;
        EXPECT_FALSE(frame.comments.empty());
        if (frame.comments.empty())
            continue;
        const Told told = Parse(frame.comments[0]);
        const bool fromClients = told.way == "to-server";
        if (told.rest == "arrived" || told.rest.starts_with("dropped: ")) {
            EXPECT_EQ(frame.direction, 1) << frame.comments[0];
            EXPECT_EQ(frame.side, fromClients ? "clients" : "server") << frame.comments[0];
            arrivals[{told.way, told.number}] = frame.epoch;
            continue;
        }
        double ms = 0;
        EXPECT_EQ(std::sscanf(told.rest.c_str(), "left after %lf ms", &ms), 1) << frame.comments[0];
        EXPECT_EQ(frame.direction, 2) << frame.comments[0];
        EXPECT_EQ(frame.side, fromClients ? "server" : "clients") << frame.comments[0];
        const auto arrival = arrivals.find({told.way, told.number});
        EXPECT_NE(arrival, arrivals.end()) << frame.comments[0];
        if (arrival != arrivals.end()) {
            EXPECT_NEAR((frame.epoch - arrival->second) * 1000, ms, 0.01) << frame.comments[0];
        }
        for (const std::string& comment : frame.comments)
            EXPECT_EQ(comment.rfind(told.way + " #" + std::to_string(told.number) + " ", 0), 0u) << comment;
        ++departures;
    }
    return departures;
}

// capinfos reads it whole, with no warning.
void ExpectCapinfosReadsIt(const std::string& path)
{
    int status = -1;
    const std::string info = Run("capinfos " + path + " 2>&1", &status);
    EXPECT_EQ(status, 0) << info;
    EXPECT_EQ(info.find("arning"), std::string::npos) << info;
    EXPECT_NE(info.find("Number of interfaces in file: 2"), std::string::npos) << info;
}

}  // namespace

TEST_F(CliRelay, DialogEngineCaptureAndJsonLogTellEachDatagramsFateAsTheCountersDo)
{
    const std::string path = CapturePath("dialog");
    const auto relay = StartRelay({"--loss", "50", "--delay", "20", "--capture", path, "--log-format", "json"});
    ASSERT_TRUE(relay);
    UdpPeer client;
    for (int i = 0; i < 6; ++i) {
        client.SendText("q" + std::to_string(i), m_relayPort);
        if (i % 2 == 0) {  // the second of each period is dropped
            const auto request = m_server.Receive(10s);
            ASSERT_TRUE(request);
            m_server.SendTo(request->bytes, m_relayPort);
            EXPECT_TRUE(client.ReceiveText(10s));
        }
    }
    ASSERT_TRUE(WaitForCounter(*relay, "dropped", 3));
    EXPECT_EQ(Counter(relay->Err(), "capture-dropped"), 0);
    Quit(*relay);

    const auto frames = Frames(path);
    EXPECT_EQ(frames.size(), 3u * 4 + 3u);  // 3 in, out, back and home; 3 dropped
    EXPECT_EQ(CheckTimesAndSides(frames), 6);
    EXPECT_EQ(Matching(path, "frame.comment contains \"dropped: dropped\""), 3);
    EXPECT_EQ(Matching(path, "frame.comment contains \"(delay 20)\""), 3);
    EXPECT_EQ(Matching(path, "frame.comment contains \"to-client\" && udp.dstport == " + std::to_string(client.Port())), 3);
    ExpectCapinfosReadsIt(path);
    std::remove(path.c_str());

    // One JSON object a line: the settings, then each fate.
    std::istringstream lines(relay->Out());
    std::vector<nlohmann::json> objects;
    for (std::string line; std::getline(lines, line);)
        objects.push_back(nlohmann::json::parse(line, nullptr, false));
    ASSERT_EQ(objects.size(), 1u + 6 + 3);
    EXPECT_EQ(objects[0]["event"], "settings");
    EXPECT_EQ(objects[0]["miss_count"], 2);
    EXPECT_EQ(objects[0]["delay_ms"], 20);
    std::map<std::string, int> byKind;
    double t = 0;
    for (const auto& object : objects) {
        ASSERT_FALSE(object.is_discarded());
        EXPECT_GE(object["t"].get<double>(), t);
        t = object["t"].get<double>();
        if (object["event"] == "settings")
            continue;
        const std::string kind = object["event"].get<std::string>() + " " + object["dir"].get<std::string>();
        ++byKind[kind];
        EXPECT_EQ(object["client"], "127.0.0.1:" + std::to_string(client.Port()));
        EXPECT_EQ(object["size"], 2);
        if (object["event"] == "dropped") {
            EXPECT_EQ(object["cause"], "dropped");
        } else if (object["dir"] == "to-server") {
            EXPECT_GE(object["delay_ms"].get<double>(), 20.0);
        }
    }
    EXPECT_EQ(byKind, (std::map<std::string, int>{{"dropped to-server", 3}, {"left to-client", 3}, {"left to-server", 3}}));
}

TEST_F(CliRelay, ACaptureOnStandardOutputSendsTheLinesToStandardError)
{
    const auto relay = StartRelay({"--capture", "-"});
    ASSERT_TRUE(relay);
    UdpPeer client;
    client.SendText("x", m_relayPort);
    EXPECT_EQ(m_server.ReceiveText(10s), "x");
    Quit(*relay);
    const std::string out = relay->Out();
    EXPECT_EQ(out.substr(0, 4), std::string("\x0a\x0d\x0d\x0a", 4));
    EXPECT_NE(out.find("to-server #1 left after "), std::string::npos);
    EXPECT_NE(relay->Err().find(Lines({"Dulvet Ready!", "Misscount :0 .", "Delay :0 ms ."})), std::string::npos);
}

TEST_F(CliRelay, LinkEngineCaptureCountsEveryFateInBothDirectionsAsItsCountersDo)
{
    const std::string path = CapturePath("link");
    const auto relay = StartRelay({"--direction", "both", "--loss", "10", "--random-loss", "10", "--burst-loss", "5,50",
                                   "--rate", "400", "--queue", "3", "--duplicate", "15", "--reorder", "15", "--delay",
                                   "5", "--jitter", "1", "--seed", "11", "--quiet", "--capture", path});
    ASSERT_TRUE(relay);
    // The server returns whatever reaches it.
    std::atomic<bool> serving{true};
    std::atomic<int> echoed{0};
    std::thread server([&] {
        while (serving)
            if (const auto request = m_server.Receive(50ms)) {
                m_server.SendTo(request->bytes, m_relayPort);
                ++echoed;
            }
    });
    UdpPeer client;
    constexpr int kSent = 120;
    for (int i = 0; i < kSent; ++i) {
        client.SendTo(RandomBytes(100, i), m_relayPort);
        if (i % 8 == 7)  // bursts of 8 fill the queue of 3 on a 400 kbit/s link
            std::this_thread::sleep_for(10ms);
    }
    const auto settled = [&](const std::string& err) {
        return Counter(err, "to-server.received") == kSent && Counter(err, "waiting") == 0 &&
               Counter(err, "to-client.received") == echoed.load();
    };
    EXPECT_TRUE(WaitForStats(*relay, settled));
    // An echo may still be on its way out of the server: stop it, then wait
    // until the relay has taken every echo it sent.
    serving = false;
    server.join();
    EXPECT_TRUE(WaitForStats(*relay, settled));
    const std::string err = relay->Err();
    Quit(*relay);

    const auto frames = Frames(path);
    EXPECT_GT(CheckTimesAndSides(frames), 60);
    // Comments that start with the way and a number, then the words.
    const auto told = [&](const std::string& way, const std::string& words) {
        long long count = 0;
        for (const Frame& frame : frames)
            for (const std::string& comment : frame.comments)
                count += comment.starts_with(way + " #") && Parse(comment).rest.starts_with(words);
        return count;
    };
    for (const std::string way : {"to-server", "to-client"}) {
        for (const std::string cause : {"periodic-loss", "burst-loss", "random-loss", "queue-full"})
            EXPECT_EQ(told(way, "dropped: " + cause), Counter(err, way + "." + cause)) << way << " " << cause;
        EXPECT_EQ(told(way, "arrived"), Counter(err, way + ".sent") - Counter(err, way + ".duplicated")) << way;
        EXPECT_EQ(told(way, "left after"), Counter(err, way + ".sent")) << way;
        EXPECT_EQ(told(way, "copy 2 of 2 (duplicate)"), Counter(err, way + ".duplicated")) << way;
        EXPECT_EQ(told(way, "reordered"), Counter(err, way + ".reordered")) << way;
        for (const std::string counter : {"periodic-loss", "burst-loss", "random-loss", "duplicated", "reordered"})
            EXPECT_GT(Counter(err, way + "." + counter), 0) << way << " " << counter;
    }
    // tshark's own filter counts the same.
    EXPECT_EQ(Matching(path, "frame.comment contains \"random-loss\""),
              Counter(err, "to-server.random-loss") + Counter(err, "to-client.random-loss"));
    EXPECT_GT(Counter(err, "to-server.queue-full"), 0);
    EXPECT_EQ(Matching(path, "frame.comment contains \"queue-full (\" && frame.comment contains \" waiting)\""),
              Counter(err, "to-server.queue-full") + Counter(err, "to-client.queue-full"));
    ExpectCapinfosReadsIt(path);
    std::remove(path.c_str());
}

// Each datagram as it really travelled, in each family: a relay on [::1]
// in front of a server on 127.0.0.1 captures IPv6 headers on the clients'
// side and IPv4 ones on the server's, with the real addresses and ports.
TEST(CliCaptureFamilies, HeadersCarryTheRealAddressesOfEachSideForBothEngines)
{
    SKIP_WITHOUT_IPV6();
    // The relay engine, the link engine without sessions and with them.
    for (const char* clients : {"", "last", "each"}) {
        SCOPED_TRACE(*clients ? std::string("--clients ") + clients : "relay engine");
        const std::vector<std::string> engine =
            *clients ? std::vector<std::string>{"--clients", clients} : std::vector<std::string>{};
        UdpPeer server(L"127.0.0.1"), client(L"::1");
        const std::string path = CapturePath((std::string("v6-") + clients).c_str());
        std::unique_ptr<CliProcess> relay;
        unsigned port = 0;
        for (int attempt = 0; attempt < 5 && !relay; ++attempt) {
            port = UdpPeer(L"::1").Port();  // free a moment ago; another on a clash
            std::vector<std::string> arguments{"--listen", "[::1]:" + std::to_string(port), "--server",
                                               "127.0.0.1:" + std::to_string(server.Port()), "--capture", path};
            arguments.insert(arguments.end(), engine.begin(), engine.end());
            relay = std::make_unique<CliProcess>(arguments);
            relay->Send("stats\n");
            if (!relay->WaitForErr("{\"seconds\"", 30s)) {
                ASSERT_EQ(relay->WaitForExit(), 1) << relay->Err();
                relay.reset();
            }
        }
        ASSERT_TRUE(relay);
        ASSERT_GT(client.SendText("ping", port, L"::1"), 0);
        const auto request = server.Receive();
        ASSERT_TRUE(request);
        ASSERT_GT(server.SendText("pong", request->fromPort, request->fromAddress), 0);
        EXPECT_EQ(client.ReceiveText(), "pong");
        relay->Send("quit\n");
        EXPECT_EQ(relay->WaitForExit(10s), 0);
        EXPECT_TRUE(relay->WaitForErr("dulvet: ended by ")) << relay->Err();

        const std::string c = std::to_string(client.Port()), r = std::to_string(port);
        const std::string s = std::to_string(server.Port()), o = std::to_string(request->fromPort);
        // side, direction, IPv6 source and destination, IPv4 ones, UDP ports
        EXPECT_EQ(::Run("tshark -r " + path + " -T fields -E separator=/s -e frame.interface_name"
                      " -e frame.packet_flags_direction -e ipv6.src -e ipv6.dst -e ip.src -e ip.dst -e udp.srcport"
                      " -e udp.dstport"),
                  "clients 0x00000001 ::1 ::1   " + c + " " + r + "\n" +
                  "server 0x00000002   127.0.0.1 127.0.0.1 " + o + " " + s + "\n" +
                  "server 0x00000001   127.0.0.1 127.0.0.1 " + s + " " + o + "\n" +
                  "clients 0x00000002 ::1 ::1   " + r + " " + c + "\n");
        ExpectCapinfosReadsIt(path);
        std::remove(path.c_str());
    }
}
