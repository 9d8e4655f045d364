#pragma once
// The load generator's command line: a mode, then "--name value" pairs.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "framework/core/IpEndpoint.h"

// Where the load goes: an IPv4 or IPv6 address and a port.
using Target = IpEndpoint;

class LoadGenOptions {
public:
    // Nothing when the words do not pair up as "--name value".
    static std::optional<LoadGenOptions> Parse(int argc, char** argv);

    const std::string& Mode() const { return m_mode; }
    bool Has(const std::string& name) const { return m_values.count(name) != 0; }
    double Number(const std::string& name, double fallback) const;
    // The value as given; empty when missing.
    std::string Text(const std::string& name) const;
    // "A.B.C.D:PORT" or "[IPv6]:PORT"; nothing when missing or malformed.
    std::optional<Target> TargetOf(const std::string& name) const;
    // --address: 127.0.0.1 (the default) or ::1, whether IPv6; nothing for
    // anything else.
    std::optional<bool> LoopbackV6() const;

private:
    std::string m_mode;
    std::map<std::string, std::string> m_values;
};
