#include "link/LinkOptions.h"

std::optional<std::string> ValidateLinkOptions(const LinkOptions& o)
{
    if (auto bad = ValidateLinkSettings(o))
        return bad;
    if (!(o.sessionIdleSeconds >= kLeastSessionIdleSeconds) || o.sessionIdleSeconds > 31536000)
        return std::string("--session-idle must be at least 0.1 seconds (and at most a year)");
    if (o.maxSessions < 1)
        return std::string("the session bound must be at least 1");
    if (o.sessionsPerAddress < 1 || o.sessionsPerAddress > o.maxSessions)
        return "--sessions-per-address must be from 1 to " + std::to_string(o.maxSessions);
    return std::nullopt;
}

std::optional<ClientsMode> ParseClientsMode(std::string_view text)
{
    if (text == "last")
        return ClientsMode::Last;
    if (text == "each")
        return ClientsMode::Each;
    return std::nullopt;
}
