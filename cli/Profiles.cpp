#include "cli/Profiles.h"

// The figures and where they come from are in the README ("Named links").
// Rates are to-server,to-client: what a client sends up, what it receives.

const std::vector<LinkProfile>& LinkProfiles()
{
    static const std::vector<LinkProfile> profiles{
        {"dsl", "--direction both --delay 5 --rate 256,2000",
         "home DSL: 2 Mbit/s down, 256 kbit/s up, 5 ms each way"},
        {"cable", "--direction both --delay 8 --jitter 2 --distribution normal --rate 10000,100000",
         "cable: 100 Mbit/s down, 10 up, 8 ms each way"},
        {"3g", "--direction both --delay 100 --jitter 20 --distribution normal --rate 330,780",
         "3G mobile: 780 kbit/s down, 330 up, 100 ms each way"},
        {"edge", "--direction both --delay 400 --jitter 40 --distribution normal --rate 200,240",
         "EDGE (2.5G) mobile: 240 kbit/s down, 200 up, 400 ms each way"},
        {"lte", "--direction both --delay 50 --jitter 5 --distribution normal --rate 10000,50000",
         "LTE (4G) mobile: 50 Mbit/s down, 10 up, 50 ms each way"},
        {"wifi-lossy",
         "--direction both --delay 5 --jitter 4 --distribution paretonormal --random-loss 1 --burst-loss 0.5,30 "
         "--rate 33000,40000",
         "a crowded wireless LAN: long-tailed delay, losses alone and in bursts"},
        {"satellite", "--direction both --delay 300 --jitter 10 --distribution normal --random-loss 0.1 --rate 3000,25000",
         "geostationary satellite: 25 Mbit/s down, 3 up, 300 ms each way"},
        {"very-bad", "--direction both --delay 500 --jitter 100 --distribution paretonormal --random-loss 10 --rate 1000",
         "a very bad network: 1 Mbit/s, 500 ms each way, 10 % lost"},
    };
    return profiles;
}

const LinkProfile* FindLinkProfile(std::string_view name)
{
    for (const auto& profile : LinkProfiles())
        if (profile.name == name)
            return &profile;
    return nullptr;
}

std::vector<std::string> ProfileArguments(const LinkProfile& profile)
{
    std::vector<std::string> words;
    std::string_view rest = profile.options;
    while (!rest.empty()) {
        const auto end = rest.find(' ');
        if (end != 0)
            words.emplace_back(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    }
    return words;
}

std::string ProfileListText()
{
    std::string text = "Profiles for --profile NAME (options given after it override its own):\n";
    for (const auto& profile : LinkProfiles()) {
        text.append("  ").append(profile.name).append(12 - profile.name.size(), ' ').append(profile.summary);
        text.append("\n              = ").append(profile.options).append("\n");
    }
    return text;
}
