#pragma once
// Whether an address is one of this machine's: a loopback address, or one
// the system lets a socket be bound to. Asked of the system once per
// address; the answers are kept (a bounded number).

#include <unordered_map>

#include "framework/core/IpEndpoint.h"

class ThisMachine {
public:
    // The port is not looked at.
    bool Has(const IpEndpoint& address);

private:
    std::unordered_map<IpEndpoint, bool> m_known;
};
