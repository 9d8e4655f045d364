// The least a Windows UDP relay can do, as the yardstick for dulvet.exe
// under Wine: blocking receive, one comparison, one send; no log, no
// pause, no drop rule (loss and delay are ignored):
//
//   dulvet_minimal_relay RELAY_ADDR RELAY_PORT SERVER_ADDR SERVER_PORT LOSS DELAY [SECONDS]
//
// Prints "ready <port>" and ends when its standard input closes or SECONDS
// pass.

#include <winsock2.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

sockaddr_in Address(const char* dotted, int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr(dotted);
    address.sin_port = htons(static_cast<u_short>(port));
    return address;
}

[[noreturn]] void Relay(SOCKET relay, sockaddr_in server)
{
    static char buffer[15000];
    sockaddr_in client{};
    for (;;) {
        sockaddr_in from{};
        int fromLength = sizeof from;
        const int length = recvfrom(relay, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (length <= 0)
            continue;
        const bool fromServer = from.sin_addr.s_addr == server.sin_addr.s_addr && from.sin_port == server.sin_port;
        if (!fromServer)
            client = from;
        const sockaddr_in& to = fromServer ? client : server;
        sendto(relay, buffer, length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 7 && argc != 8) {
        std::fprintf(stderr, "usage: dulvet_minimal_relay RELAY_ADDR RELAY_PORT SERVER_ADDR SERVER_PORT LOSS DELAY "
                             "[SECONDS]\n");
        return 2;
    }
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return 1;
    const SOCKET relay = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in local = Address(argv[1], std::atoi(argv[2]));
    int localLength = sizeof local;
    if (relay == INVALID_SOCKET || bind(relay, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        getsockname(relay, reinterpret_cast<sockaddr*>(&local), &localLength) != 0) {
        std::fprintf(stderr, "cannot open the relay socket\n");
        return 1;
    }
    std::printf("ready %u\n", ntohs(local.sin_port));
    std::fflush(stdout);
    std::thread(Relay, relay, Address(argv[3], std::atoi(argv[4]))).detach();

    // Ends with its input or its time, whichever comes first.
    const DWORD seconds = argc == 8 ? static_cast<DWORD>(std::atoi(argv[7])) : 600;
    std::thread([] {
        while (std::getchar() != EOF) {
        }
        ExitProcess(0);
    }).detach();
    Sleep(seconds * 1000);
    ExitProcess(0);
}
