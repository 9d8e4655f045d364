#include "framework/core/KernelDrops.h"

#ifdef __linux__
#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unordered_set>

namespace {

// The inodes of the process's own sockets, from the names of its descriptors.
std::unordered_set<std::uint64_t> OwnSocketInodes()
{
    std::unordered_set<std::uint64_t> inodes;
    const std::unique_ptr<DIR, int (*)(DIR*)> fds(opendir("/proc/self/fd"), closedir);
    if (!fds)
        return inodes;
    char target[64];
    while (const dirent* entry = readdir(fds.get())) {
        const std::string path = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
        if (length <= 0)
            continue;
        const std::string_view name(target, static_cast<size_t>(length));
        if (name.starts_with("socket:[") && name.ends_with("]"))
            inodes.insert(std::stoull(std::string(name.substr(8, name.size() - 9))));
    }
    return inodes;
}

// The last column of a table of /proc/net/udp's form is the socket's drops,
// the tenth its inode.
void AddDrops(const char* table, const std::unordered_set<std::uint64_t>& inodes, std::uint64_t& drops)
{
    std::ifstream file(table);
    std::string line;
    std::getline(file, line);  // the heading
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string field;
        std::uint64_t inode = 0, dropped = 0;
        for (int column = 0; fields >> field; ++column) {
            if (column == 9)
                inode = std::strtoull(field.c_str(), nullptr, 10);
            dropped = std::strtoull(field.c_str(), nullptr, 10);
        }
        if (inodes.contains(inode))
            drops += dropped;
    }
}

}  // namespace

std::optional<std::uint64_t> KernelDropsAtOwnSockets()
{
    const auto inodes = OwnSocketInodes();
    std::uint64_t drops = 0;
    AddDrops("/proc/net/udp", inodes, drops);
    AddDrops("/proc/net/udp6", inodes, drops);
    return drops;
}

#else

std::optional<std::uint64_t> KernelDropsAtOwnSockets() { return std::nullopt; }

#endif
