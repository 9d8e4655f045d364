#pragma once
// The load generator's command line: a mode, then "--name value" pairs.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

struct Target {
    std::uint32_t hostOrderAddress = 0;
    std::uint16_t port = 0;
};

class LoadGenOptions {
public:
    // Nothing when the words do not pair up as "--name value".
    static std::optional<LoadGenOptions> Parse(int argc, char** argv);

    const std::string& Mode() const { return m_mode; }
    bool Has(const std::string& name) const { return m_values.count(name) != 0; }
    double Number(const std::string& name, double fallback) const;
    // The value as given; empty when missing.
    std::string Text(const std::string& name) const;
    // "A.B.C.D:PORT"; nothing when missing or malformed.
    std::optional<Target> TargetOf(const std::string& name) const;

private:
    std::string m_mode;
    std::map<std::string, std::string> m_values;
};
