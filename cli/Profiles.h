#pragma once
// Named links: each stands for a few options of the link engine, read as if
// they were given where --profile is; options given after it override them.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct LinkProfile {
    std::string_view name;
    std::string_view options;  // as typed on the command line
    std::string_view summary;  // one line for the list
};

const std::vector<LinkProfile>& LinkProfiles();
const LinkProfile* FindLinkProfile(std::string_view name);

// The words of the profile's options, split at blanks.
std::vector<std::string> ProfileArguments(const LinkProfile& profile);

// "dulvet --profile help": every profile with what it stands for.
std::string ProfileListText();
