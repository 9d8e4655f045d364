// The control API of a running dulvet over a real TCP socket: changes
// that meet the next datagram, refusals (400, 401, 409, 413) that change
// nothing, an outage, and the metrics (through promtool where it runs).
// Natively and, in the Windows build, as dulvet.exe under Wine.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "tests/cli/CliProcess.h"
#include "tests/support/UdpPeer.h"

using namespace std::chrono_literals;
namespace http = boost::beast::http;

namespace {

struct Reply {
    int status = 0;
    std::string body;
};

// announced: a body of this many bytes is announced and none is sent (the answer comes first).
Reply Call(unsigned port, http::verb method, const std::string& path, const std::string& body = "",
           const std::string& token = "", std::size_t announced = 0)
{
    try {
        boost::asio::io_context io;
        boost::beast::tcp_stream stream(io);
        stream.expires_after(30s);
        stream.connect(boost::asio::ip::tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"),
                                                      static_cast<unsigned short>(port)));
        http::request<http::string_body> request(method, path, 11);
        request.set(http::field::host, "127.0.0.1");
        if (!token.empty())
            request.set(http::field::authorization, "Bearer " + token);
        request.body() = body;
        request.prepare_payload();
        if (announced) {
            request.content_length(announced);
            http::request_serializer<http::string_body> serializer(request);
            http::write_header(stream, serializer);
        } else {
            http::write(stream, request);
        }
        boost::beast::flat_buffer buffer;
        http::response_parser<http::string_body> parser;
        parser.body_limit(16 << 20);
        http::read(stream, buffer, parser);
        return {static_cast<int>(parser.get().result_int()), parser.get().body()};
    } catch (const std::exception& problem) {
        return {-1, problem.what()};
    }
}

class ControlApi : public ::testing::Test {
protected:
    // Starts dulvet with the API on a port of the system's choosing; its port, or 0.
    unsigned Start(std::vector<std::string> arguments)
    {
        m_relayPort = UdpPeer().Port();  // free a moment ago
        std::vector<std::string> all{"--listen", "127.0.0.1:" + std::to_string(m_relayPort), "--server",
                                     "127.0.0.1:" + std::to_string(m_server.Port()), "--control", "127.0.0.1:0"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        m_relay = std::make_unique<CliProcess>(all);
        const std::string head = "control API on http://127.0.0.1:";
        if (!m_relay->WaitForErr(head, 30s))
            return 0;
        const std::string err = m_relay->Err();
        return static_cast<unsigned>(std::stoul(err.substr(err.find(head) + head.size())));
    }

    long long Counter(unsigned port, const std::string& name)
    {
        const std::string body = Call(port, http::verb::get, "/stats").body;
        const size_t at = body.find("\"" + name + "\":");
        return at == std::string::npos ? -1 : std::stoll(body.substr(at + name.size() + 3));
    }

    bool WaitForCounter(unsigned port, const std::string& name, long long value)
    {
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (Counter(port, name) < value)
            if (std::chrono::steady_clock::now() > deadline)
                return false;
        return true;
    }

    void TearDown() override
    {
        if (!m_relay || m_relay->WaitForExit(0ms))
            return;
        m_relay->Send("quit\n");
        EXPECT_EQ(m_relay->WaitForExit(30s), 0) << m_relay->Err();
    }

    UdpPeer m_server;
    unsigned m_relayPort = 0;
    std::unique_ptr<CliProcess> m_relay;
};

}  // namespace

TEST_F(ControlApi, ChangesTheLinkOrRefusesChangingNothing)
{
    const unsigned port = Start({"--pipeline", "--seed", "3"});
    ASSERT_NE(port, 0u) << m_relay->Err();
    struct Case {
        const char* body;
        int status;
        const char* answer;  // a part of the answer
    };
    const Case cases[] = {
        {R"({"jitter": 20, "random-loss": 5})", 200, R"("jitter":20)"},
        {R"({"keep-order": true, "rate": 512.5, "queue": 10})", 200, R"("keep-order":true)"},
        {R"({"rate": null, "queue": null})", 200, R"("rate":null)"},
        {R"({"burst-loss": "5,50", "direction": "both"})", 200, R"("burst-loss":"5,50")"},
        {R"({"listen": "127.0.0.1:1", "jitter": 1})", 409, "--listen is fixed at start"},
        {R"({"seed": 4})", 409, "--seed is fixed at start"},
        {R"({"seed": 3, "jitter": 0})", 200, R"("jitter":null)"},  // a fixed option as it is passes
        {R"({"jitter": -1, "delay": 5})", 400, "--jitter must not be negative"},
        {R"({"jitter": "soon"})", 400, "--jitter expects a jitter in milliseconds"},
        {R"({"queue": 5})", 400, "--queue bounds the queue of a rate-limited link"},
        {R"({"bogus": 1})", 400, "unknown option 'bogus'"},
        {R"([1, 2])", 400, "expected a JSON object"},
        {R"({"jitter": )", 400, "expected a JSON object"},
    };
    for (const Case& c : cases) {
        const std::string before = Call(port, http::verb::get, "/settings").body;
        const Reply reply = Call(port, http::verb::patch, "/settings", c.body);
        EXPECT_EQ(reply.status, c.status) << c.body << ": " << reply.body;
        EXPECT_NE(reply.body.find(c.answer), std::string::npos) << c.body << ": " << reply.body;
        if (c.status != 200) {
            EXPECT_EQ(Call(port, http::verb::get, "/settings").body, before) << c.body;
        }
    }
    EXPECT_EQ(Call(port, http::verb::get, "/nowhere").status, 404);
    EXPECT_EQ(Call(port, http::verb::delete_, "/settings").status, 405);
    EXPECT_EQ(Call(port, http::verb::patch, "/settings", "", "", (1 << 20) + 1).status, 413);

    // The answer comes once the engine has the change: the next datagram meets it.
    UdpPeer client;
    ASSERT_EQ(Call(port, http::verb::patch, "/settings", R"({"random-loss": 100, "direction": null})").status, 200);
    client.SendText("lost", m_relayPort);
    ASSERT_TRUE(WaitForCounter(port, "to-server.random-loss", 1));
    EXPECT_EQ(Counter(port, "to-server.sent"), 0);

    ASSERT_EQ(Call(port, http::verb::patch, "/settings", R"({"random-loss": 0})").status, 200);
    ASSERT_EQ(Call(port, http::verb::post, "/down", R"({"direction": "to-server", "seconds": 60})").status, 200);
    client.SendText("down", m_relayPort);
    ASSERT_TRUE(WaitForCounter(port, "to-server.outage", 1));
    EXPECT_EQ(Call(port, http::verb::post, "/down", R"({"direction": "sideways"})").status, 400);
    ASSERT_EQ(Call(port, http::verb::post, "/up").status, 200);
    client.SendText("up", m_relayPort);
    EXPECT_EQ(m_server.ReceiveText(30s), "up");
}

TEST_F(ControlApi, ATokenGuardsEveryRequest)
{
    const unsigned port = Start({"--control-token", "s3cret"});
    ASSERT_NE(port, 0u) << m_relay->Err();
    EXPECT_EQ(Call(port, http::verb::get, "/stats").status, 401);
    EXPECT_EQ(Call(port, http::verb::get, "/stats", "", "wrong").status, 401);
    const Reply stats = Call(port, http::verb::get, "/stats", "", "s3cret");
    EXPECT_EQ(stats.status, 200);
    EXPECT_NE(stats.body.find("\"from_clients\":0"), std::string::npos) << stats.body;
    // The dialog's relay takes loss and delay, as modify, and nothing else.
    EXPECT_EQ(Call(port, http::verb::patch, "/settings", R"({"delay": 5})", "s3cret").status, 200);
    EXPECT_TRUE(m_relay->WaitForOut("Delay :5 ms ."));
    const Reply jitter = Call(port, http::verb::patch, "/settings", R"({"jitter": 5})", "s3cret");
    EXPECT_EQ(jitter.status, 409);
    EXPECT_NE(jitter.body.find("link option"), std::string::npos) << jitter.body;
}

TEST_F(ControlApi, AScenarioStartsOrSaysItsMistakeAndStops)
{
    const unsigned port = Start({"--pipeline"});
    ASSERT_NE(port, 0u) << m_relay->Err();
    const Reply bad = Call(port, http::verb::post, "/scenario", "0s set --jitter 1\n1s set --jitter soon\n");
    EXPECT_EQ(bad.status, 400);
    EXPECT_NE(bad.body.find("scenario:2: set: --jitter expects"), std::string::npos) << bad.body;
    EXPECT_EQ(Call(port, http::verb::get, "/settings").body.find(R"("jitter":1)"), std::string::npos);

    const Reply started = Call(port, http::verb::post, "/scenario", "0s set --jitter 1\n+100ms set --jitter 2\n"
                                                                    "600s set --jitter 3\n");
    EXPECT_EQ(started.status, 200) << started.body;
    const auto jitterIs = [&](const char* value) {
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (Call(port, http::verb::get, "/settings").body.find(std::string("\"jitter\":") + value) ==
               std::string::npos)
            if (std::chrono::steady_clock::now() > deadline)
                return false;
        return true;
    };
    EXPECT_TRUE(jitterIs("2"));
    EXPECT_TRUE(m_relay->WaitForOut("Scenario line 2 at 100ms: set --jitter 2"));
    EXPECT_EQ(Call(port, http::verb::delete_, "/scenario").body, R"({"stopped":true})");
    EXPECT_EQ(Call(port, http::verb::delete_, "/scenario").body, R"({"stopped":false})");
    EXPECT_EQ(Call(port, http::verb::get, "/scenario").status, 405);
}

#ifndef _WIN32
TEST_F(ControlApi, MetricsPassPromtool)
{
    const unsigned port = Start({"--pipeline"});
    ASSERT_NE(port, 0u) << m_relay->Err();
    UdpPeer client;
    client.SendText("x", m_relayPort);
    ASSERT_TRUE(WaitForCounter(port, "to-server.sent", 1));
    const Reply metrics = Call(port, http::verb::get, "/metrics");
    ASSERT_EQ(metrics.status, 200);
    EXPECT_NE(metrics.body.find("dulvet_datagrams_total{direction=\"to-server\",event=\"sent\"} 1"), std::string::npos)
        << metrics.body;
    const std::string path = testing::TempDir() + "dulvet_metrics.txt";
    std::ofstream(path) << metrics.body;
    EXPECT_EQ(std::system(("promtool check metrics < " + path + " > " + path + ".out 2>&1").c_str()), 0)
        << std::ifstream(path + ".out").rdbuf();
    std::remove(path.c_str());
}

TEST(ControlApiOptions, ANonLoopbackAddressNeedsAToken)
{
    CliProcess relay({"--listen", "127.0.0.1:5000", "--server", "127.0.0.1:6000", "--control", "0.0.0.0:0"});
    EXPECT_EQ(relay.WaitForExit(30s), 2);
    EXPECT_NE(relay.Err().find("--control 0.0.0.0 is not a loopback address"), std::string::npos) << relay.Err();
}
#endif
