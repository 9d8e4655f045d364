// dulvet with host names and IPv6, end to end on Linux. Names resolve
// through a hosts file of the test's own, mounted over /etc/hosts in a
// private mount namespace (unshare -m, as root), with a resolv.conf that
// points at the loopback: no test asks a DNS server anything. Then a real
// DNS server and client nobody here wrote (dnsmasq, dig) talk through
// dulvet over ::1.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/cli/CliRelayFixture.h"
#include "tests/support/Ipv6Loopback.h"

using namespace std::chrono_literals;

namespace {

class TempDir {
public:
    TempDir()
        : m_path(std::filesystem::temp_directory_path() /
                 ("dulvet-names-" + std::to_string(getpid()) + "-" + std::to_string(++s_count)))
    {
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() { std::filesystem::remove_all(m_path); }
    std::string Write(const std::string& name, const std::string& text) const
    {
        std::ofstream(m_path / name) << text;
        return (m_path / name).string();
    }
    std::string Path(const std::string& name) const { return (m_path / name).string(); }

private:
    static inline int s_count = 0;
    std::filesystem::path m_path;
};

const char* const kHosts = "127.0.0.1 localhost\n"
                           "127.0.0.1 dualname\n"
                           "::1 dualname\n"
                           "::1 sixname\n"
                           "192.0.2.1 farname\n";

class CliNames : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "a private /etc/hosts needs a mount namespace, which only root may make here";
        if (!HasIpv6Loopback())
            GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
        AfxSocketInit();
    }

    // dulvet with the test's hosts file and a resolver that asks nobody.
    std::unique_ptr<CliProcess> Dulvet(const std::vector<std::string>& arguments)
    {
        const std::string hosts = m_dir.Write("hosts", kHosts);
        const std::string resolv = m_dir.Write("resolv.conf", "nameserver 127.0.0.1\noptions timeout:1 attempts:1\n");
        CliProcess::Setup setup;
        setup.command = {"unshare", "-m", "--", "/bin/sh", "-c",
                         "mount --bind \"$HOSTS\" /etc/hosts && mount --bind \"$RESOLV\" /etc/resolv.conf && "
                         "exec \"$0\" \"$@\"",
                         DULVET_CLI_EXE};
        setenv("HOSTS", hosts.c_str(), 1);
        setenv("RESOLV", resolv.c_str(), 1);
        setup.command[0] = "/usr/bin/unshare";
        return std::make_unique<CliProcess>(arguments, setup);
    }

    static unsigned FreePort()
    {
        UdpPeer probe;
        return probe.Port();
    }

    TempDir m_dir;
};

}  // namespace

TEST_F(CliNames, ListensOnEachAddressOfANameAndSaysWhichAddressTheServerIs)
{
    // The link engine, then the dialog's engine.
    for (const std::vector<std::string>& engine : {std::vector<std::string>{"--clients", "last"}, std::vector<std::string>{}}) {
        SCOPED_TRACE(engine.empty() ? "relay engine" : "link engine");
        UdpPeer server(L"::1");
        UdpPeer v4(L"127.0.0.1"), v6(L"::1");
        std::unique_ptr<CliProcess> relay;
        unsigned port = 0;
        for (int attempt = 0; attempt < 5 && !relay; ++attempt) {
            port = FreePort();  // free on 127.0.0.1 a moment ago; another on a clash at ::1
            std::vector<std::string> arguments{"--listen", "dualname:" + std::to_string(port), "--server",
                                               "sixname:" + std::to_string(server.Port())};
            arguments.insert(arguments.end(), engine.begin(), engine.end());
            relay = Dulvet(arguments);
            relay->Send("stats\n");
            if (!relay->WaitForErr("{\"seconds\"", 30s)) {
                ASSERT_EQ(relay->WaitForExit(), 1) << relay->Err();
                relay.reset();
            }
        }
        ASSERT_TRUE(relay);
        EXPECT_NE(relay->Err().find("dulvet: Server sixname:" + std::to_string(server.Port()) + " is [::1]:" +
                                    std::to_string(server.Port()) + "."),
                  std::string::npos)
            << relay->Err();
        for (auto [client, address] : {std::pair{&v4, L"127.0.0.1"}, std::pair{&v6, L"::1"}}) {
            const std::string text = "via " + CString(address).ToUtf8();
            ASSERT_GT(client->SendText(text, port, address), 0);
            auto atServer = server.Receive();
            ASSERT_TRUE(atServer) << text;
            EXPECT_EQ(std::string(atServer->bytes.begin(), atServer->bytes.end()), text);
            ASSERT_GT(server.SendText("re " + text, atServer->fromPort, atServer->fromAddress), 0);
            EXPECT_EQ(client->ReceiveText(), "re " + text);
        }
        relay->Send("quit\n");
        EXPECT_EQ(relay->WaitForExit(10s), 0);
        EXPECT_TRUE(relay->WaitForErr("dulvet: ended by ")) << relay->Err();  // read to its end
        EXPECT_EQ(relay->Err().find("::ffff:"), std::string::npos) << relay->Err();
    }
}

TEST_F(CliNames, ANameNoneResolvesIsBadInputAndOneThatCannotBeBoundFailsToOpen)
{
    auto unknown = Dulvet({"--listen", "nosuch.test:5000", "--server", "127.0.0.1:6000"});
    EXPECT_EQ(unknown->WaitForExit(20s), 2);
    EXPECT_TRUE(unknown->WaitForErr("\n"));  // its output may still be in the pipe
    EXPECT_EQ(unknown->Err().rfind("dulvet: --listen cannot resolve 'nosuch.test': ", 0), 0u) << unknown->Err();

    auto far = Dulvet({"--listen", "farname:5000", "--server", "sixname:6000", "--clients", "last"});
    EXPECT_EQ(far->WaitForExit(20s), 1);
    EXPECT_TRUE(far->WaitForErr("\n"));
    EXPECT_EQ(far->Err().rfind("dulvet: cannot open relay port 192.0.2.1:5000: ", 0), 0u) << far->Err();
}

// A program nobody here wrote, over IPv6: dig asks dnsmasq through dulvet.
TEST(CliDnsOverIpv6, DigGetsDnsmasqsAnswerThroughDulvet)
{
    if (!HasIpv6Loopback())
        GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
    for (const char* program : {"/usr/sbin/dnsmasq", "/usr/bin/dig"})
        if (access(program, X_OK) != 0)
            GTEST_SKIP() << program << " is not installed (Debian: dnsmasq-base, bind9-dnsutils)";
    AfxSocketInit();
    TempDir dir;
    const auto freePort = [] {
        UdpPeer probe(L"::1");
        return std::to_string(probe.Port());
    };
    const std::string dnsPort = freePort();
    CliProcess::Setup dnsSetup;
    dnsSetup.command = {"/usr/sbin/dnsmasq", "--no-daemon", "--no-resolv", "--no-hosts",
                        "--conf-file=" + dir.Write("dnsmasq.conf", ""),
                        "--log-facility=-", "--address=/dulvet.test/192.0.2.7", "--listen-address=::1",
                        "--bind-interfaces", "--port=" + dnsPort, "--pid-file=" + dir.Path("dnsmasq.pid")};
    CliProcess dns({}, dnsSetup);
    ASSERT_TRUE(dns.WaitForErr("started", 30s)) << dns.Err();

    const std::string relayPort = freePort();
    CliProcess relay({"--listen", "[::1]:" + relayPort, "--server", "[::1]:" + dnsPort});
    ASSERT_TRUE(relay.WaitForOut("Delay :0 ms .", 30s)) << relay.Err();

    CliProcess::Setup digSetup;
    digSetup.command = {"/usr/bin/dig", "@::1", "-p", relayPort, "+short", "+time=2", "+tries=5", "dulvet.test", "A"};
    CliProcess dig({}, digSetup);
    ASSERT_EQ(dig.WaitForExit(60s), 0) << dig.Err();
    // Its output may still be on its way through the pipe when it has ended.
    EXPECT_TRUE(dig.WaitForOut("\n", 10s));
    EXPECT_EQ(dig.Out(), "192.0.2.7\n") << dig.Err();
    relay.Send("quit\n");
    EXPECT_EQ(relay.WaitForExit(10s), 0);
    ASSERT_TRUE(relay.WaitForErr(" from clients")) << relay.Err();
    EXPECT_EQ(relay.Err().find(" 0 from clients"), std::string::npos) << relay.Err();
}
