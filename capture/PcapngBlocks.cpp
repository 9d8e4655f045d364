#include "capture/PcapngBlocks.h"

#include <array>

namespace pcapng {
namespace {

constexpr std::uint32_t kSectionHeaderType = 0x0A0D0D0A;
constexpr std::uint32_t kInterfaceType = 0x00000001;
constexpr std::uint32_t kStatisticsType = 0x00000005;
constexpr std::uint32_t kPacketType = 0x00000006;
constexpr std::uint32_t kByteOrderMagic = 0x1A2B3C4D;

constexpr std::uint16_t kEndOfOptions = 0;
constexpr std::uint16_t kComment = 1;
constexpr std::uint16_t kUserApplication = 4;  // section header
constexpr std::uint16_t kInterfaceName = 2;
constexpr std::uint16_t kInterfaceDescription = 3;
constexpr std::uint16_t kTimeResolution = 9;
constexpr std::uint16_t kPacketFlags = 2;

std::size_t Padded(std::size_t length) { return (length + 3) & ~std::size_t{3}; }

// An enhanced packet block's fixed part: type, length, interface, time
// stamp (high, low), captured and original length.
constexpr std::size_t kPacketHeader = 28;

void PutLe16(char* at, std::uint16_t value)
{
    at[0] = static_cast<char>(value & 0xFF);
    at[1] = static_cast<char>(value >> 8);
}

void PutLe32(char* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// One block: its type and length first, the same length again last.
class Block {
public:
    Block(std::string& out, std::uint32_t type) : m_out(out), m_start(out.size())
    {
        U32(type);
        U32(0);  // the length, once known
    }
    ~Block()
    {
        U32(0);
        const auto length = static_cast<std::uint32_t>(m_out.size() - m_start);
        PutLe32(m_out.data() + m_start + 4, length);
        PutLe32(m_out.data() + m_out.size() - 4, length);
    }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    void U16(std::uint16_t value)
    {
        m_out += static_cast<char>(value & 0xFF);
        m_out += static_cast<char>(value >> 8);
    }
    void U32(std::uint32_t value)
    {
        U16(static_cast<std::uint16_t>(value & 0xFFFF));
        U16(static_cast<std::uint16_t>(value >> 16));
    }
    void Time(std::uint64_t ns)
    {
        U32(static_cast<std::uint32_t>(ns >> 32));
        U32(static_cast<std::uint32_t>(ns & 0xFFFFFFFF));
    }
    void Bytes(std::string_view bytes)
    {
        m_out.append(bytes);
        m_out.append(Padded(bytes.size()) - bytes.size(), '\0');
    }
    void Option(std::uint16_t code, std::string_view value)
    {
        U16(code);
        U16(static_cast<std::uint16_t>(value.size()));
        Bytes(value);
    }
    void EndOptions() { U32(kEndOfOptions); }

private:
    std::string& m_out;
    std::size_t m_start;
};

}  // namespace

void AppendSectionHeader(std::string& out, std::string_view application)
{
    Block block(out, kSectionHeaderType);
    block.U32(kByteOrderMagic);
    block.U16(1);  // version 1.0
    block.U16(0);
    block.U32(0xFFFFFFFF);  // section length: not given
    block.U32(0xFFFFFFFF);
    block.Option(kUserApplication, application);
    block.EndOptions();
}

void AppendInterface(std::string& out, std::string_view name, std::string_view description)
{
    Block block(out, kInterfaceType);
    block.U16(kLinkTypeRaw);
    block.U16(0);
    block.U32(kSnapLength);
    block.Option(kInterfaceName, name);
    block.Option(kInterfaceDescription, description);
    block.Option(kTimeResolution, std::string_view("\x09", 1));  // 10^-9 s
    block.EndOptions();
}

std::size_t BeginPacket(std::string& out, std::uint32_t interfaceId, std::uint64_t timeNs)
{
    // Its lengths are filled in by EndPacket.
    const std::size_t start = out.size();
    std::array<char, kPacketHeader> header{};
    PutLe32(header.data(), kPacketType);
    PutLe32(header.data() + 8, interfaceId);
    PutLe32(header.data() + 12, static_cast<std::uint32_t>(timeNs >> 32));
    PutLe32(header.data() + 16, static_cast<std::uint32_t>(timeNs & 0xFFFFFFFF));
    out.append(header.data(), header.size());
    return start;
}

void EndPacket(std::string& out, std::size_t start, Direction direction, const std::string_view* comments,
               std::size_t commentCount)
{
    const auto captured = static_cast<std::uint32_t>(out.size() - start - kPacketHeader);
    out.append(Padded(captured) - captured, '\0');
    for (std::size_t i = 0; i < commentCount; ++i) {
        const std::string_view comment = comments[i];
        if (comment.empty())
            continue;
        char option[4];
        PutLe16(option, kComment);
        PutLe16(option + 2, static_cast<std::uint16_t>(comment.size()));
        out.append(option, sizeof option);
        out.append(comment);
        out.append(Padded(comment.size()) - comment.size(), '\0');
    }
    // The direction flag, the end of options, the length again.
    char tail[16];
    PutLe16(tail, kPacketFlags);
    PutLe16(tail + 2, 4);
    PutLe32(tail + 4, static_cast<std::uint32_t>(direction));
    PutLe32(tail + 8, kEndOfOptions);
    const auto length = static_cast<std::uint32_t>(out.size() + sizeof tail - start);
    PutLe32(tail + 12, length);
    out.append(tail, sizeof tail);
    char* block = out.data() + start;
    PutLe32(block + 4, length);
    PutLe32(block + 20, captured);
    PutLe32(block + 24, captured);
}

void AppendPacket(std::string& out, std::uint32_t interfaceId, std::uint64_t timeNs, Direction direction,
                  std::string_view packet, const std::vector<std::string>& comments)
{
    const std::size_t start = BeginPacket(out, interfaceId, timeNs);
    out.append(packet);
    std::vector<std::string_view> views(comments.begin(), comments.end());
    EndPacket(out, start, direction, views.data(), views.size());
}

void AppendStatistics(std::string& out, std::uint32_t interfaceId, std::uint64_t timeNs, std::string_view comment)
{
    Block block(out, kStatisticsType);
    block.U32(interfaceId);
    block.Time(timeNs);
    block.Option(kComment, comment);
    block.EndOptions();
}

}  // namespace pcapng
