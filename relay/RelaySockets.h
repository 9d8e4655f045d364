#pragma once
// The sockets dulvet's worker serves beside the relay socket: one on each
// further address a listening name gives (localhost: 127.0.0.1 and ::1),
// and one of its own towards a server that no listening socket reaches (a
// server of the other family). The dialog has none of them: its worker
// serves g_relaySocket alone, as it always has.

#include <cstddef>
#include <memory>
#include <vector>

#include "framework/core/CAsyncSocket.h"
#include "framework/core/IpEndpoint.h"

class RelaySockets {
public:
    struct Extra {
        std::unique_ptr<CAsyncSocket> socket;
        // Where it is bound, with its port; for the socket towards the
        // server, the address the system sends from to the server.
        IpEndpoint at;
        bool towardsServerOnly = false;  // takes nothing but the server's datagrams
    };

    // Whether a socket bound at `at` (taking both families when
    // takesBoth) can send to the server.
    static bool Reaches(const IpEndpoint& at, bool takesBoth, const IpEndpoint& server)
    {
        return server.IsV4() ? at.IsV4() || takesBoth : !at.IsV4();
    }

    // One more listening socket at `at`. False, with the system's code in
    // `error`, when it cannot be opened.
    bool Listen(const IpEndpoint& at, int& error);
    // Picks the way to the server: the relay socket (bound at relayAt), or
    // the first further listening socket that reaches it, else a socket of
    // its own of the server's family. False, with the system's code, when
    // that cannot be opened.
    bool ReachServer(const IpEndpoint& server, const IpEndpoint& relayAt, bool relayTakesBoth, int& error);
    void Close();

    const std::vector<Extra>& Extras() const { return m_extras; }
    // 0: the relay socket; k: Extras()[k - 1].
    std::size_t TowardsServer() const { return m_towardsServer; }

private:
    std::vector<Extra> m_extras;
    std::size_t m_towardsServer = 0;
};
