#include "bench/LoadGenOptions.h"

#include <cstdlib>

std::optional<LoadGenOptions> LoadGenOptions::Parse(int argc, char** argv)
{
    if (argc < 2 || (argc - 2) % 2 != 0)
        return std::nullopt;
    LoadGenOptions options;
    options.m_mode = argv[1];
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name.size() < 3 || name.compare(0, 2, "--") != 0)
            return std::nullopt;
        options.m_values[name.substr(2)] = argv[i + 1];
    }
    return options;
}

double LoadGenOptions::Number(const std::string& name, double fallback) const
{
    const auto found = m_values.find(name);
    if (found == m_values.end())
        return fallback;
    char* end = nullptr;
    const double value = std::strtod(found->second.c_str(), &end);
    return end != found->second.c_str() && *end == '\0' ? value : fallback;
}

std::string LoadGenOptions::Text(const std::string& name) const
{
    const auto found = m_values.find(name);
    return found == m_values.end() ? std::string() : found->second;
}

std::optional<Target> LoadGenOptions::TargetOf(const std::string& name) const
{
    const auto found = m_values.find(name);
    if (found == m_values.end())
        return std::nullopt;
    const std::string& text = found->second;
    const auto colon = text.rfind(':');
    if (colon == std::string::npos)
        return std::nullopt;
    char* end = nullptr;
    const long port = std::strtol(text.c_str() + colon + 1, &end, 10);
    if (*end != '\0' || port <= 0 || port > 65535)
        return std::nullopt;
    const std::string host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        const auto v6 = ParseIpv6Literal(CString::FromUtf8(host.substr(1, host.size() - 2)).View());
        return v6 ? std::optional(IpEndpoint::V6(*v6, static_cast<std::uint16_t>(port))) : std::nullopt;
    }
    const auto v4 = ParseIpv4Literal(CString::FromUtf8(host).View());
    return v4 ? std::optional(IpEndpoint::V4(*v4, static_cast<std::uint16_t>(port))) : std::nullopt;
}

std::optional<bool> LoadGenOptions::LoopbackV6() const
{
    const std::string address = Has("address") ? Text("address") : "127.0.0.1";
    if (address == "127.0.0.1")
        return false;
    if (address == "::1")
        return true;
    return std::nullopt;
}
