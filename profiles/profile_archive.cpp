#include "profiles/profile_archive.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace profiles {

namespace {

// ustar header fields: offset and width.
constexpr std::size_t kName = 0, kNameWidth = 100;
constexpr std::size_t kMode = 100, kUid = 108, kGid = 116, kSize = 124, kSizeWidth = 12, kMtime = 136;
constexpr std::size_t kChecksum = 148, kChecksumWidth = 8, kType = 156, kMagic = 257, kVersion = 263;
static_assert(kMagic + 8 + 32 + 32 + 8 + 8 + 155 + 12 == kTarBlock);

void put_octal(std::span<std::uint8_t> block, std::size_t offset, std::size_t width, std::uint64_t value) {
    // width - 1 octal digits and a NUL
    for (std::size_t i = width - 1; i-- > 0;) {
        block[offset + i] = static_cast<std::uint8_t>('0' + (value & 7));
        value >>= 3;
    }
    block[offset + width - 1] = 0;
}

std::uint32_t header_sum(std::span<const std::uint8_t> block) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < kTarBlock; ++i)
        sum += (i >= kChecksum && i < kChecksum + kChecksumWidth) ? ' ' : block[i];
    return sum;
}

bool read_octal(std::span<const std::uint8_t> field, std::uint64_t& value) {
    value = 0;
    std::size_t i = 0;
    while (i < field.size() && field[i] == ' ') ++i;
    bool digits = false;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '7'; ++i) {
        if (value > (std::uint64_t{1} << 60)) return false;
        value = value * 8 + (field[i] - '0');
        digits = true;
    }
    for (; i < field.size(); ++i)
        if (field[i] != ' ' && field[i] != 0) return false;
    return digits;
}

ReadArchive failed(ArchiveError error, std::string detail) {
    ReadArchive r;
    r.error = error;
    r.detail = std::move(detail);
    return r;
}

}  // namespace

std::vector<std::uint8_t> write_archive(const std::vector<ArchiveMember>& members) {
    std::vector<std::uint8_t> out;
    for (const ArchiveMember& m : members) {
        std::array<std::uint8_t, kTarBlock> block{};
        const std::size_t n = std::min(m.name.size(), kMaxMemberName);
        std::memcpy(block.data() + kName, m.name.data(), n);
        put_octal(block, kMode, 8, 0644);
        put_octal(block, kUid, 8, 0);
        put_octal(block, kGid, 8, 0);
        put_octal(block, kSize, kSizeWidth, m.bytes.size());
        put_octal(block, kMtime, 12, 0);
        block[kType] = '0';
        std::memcpy(block.data() + kMagic, "ustar", 6);
        std::memcpy(block.data() + kVersion, "00", 2);
        const std::uint32_t sum = header_sum(block);
        put_octal(block, kChecksum, 7, sum);  // six digits, NUL, then the space the field ends with
        block[kChecksum + 7] = ' ';
        out.insert(out.end(), block.begin(), block.end());
        out.insert(out.end(), m.bytes.begin(), m.bytes.end());
        out.resize(out.size() + (kTarBlock - m.bytes.size() % kTarBlock) % kTarBlock, 0);
    }
    out.resize(out.size() + 2 * kTarBlock, 0);
    return out;
}

ReadArchive read_archive(std::span<const std::uint8_t> bytes) {
    ReadArchive result;
    std::size_t at = 0;
    bool first = true;
    while (true) {
        if (at + kTarBlock > bytes.size())
            return failed(first ? ArchiveError::NotAnArchive : ArchiveError::Truncated,
                          "the archive ends before its end blocks");
        const auto block = bytes.subspan(at, kTarBlock);
        if (std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == 0; })) {
            if (first) return failed(ArchiveError::NotAnArchive, "an empty first block");
            return result;  // the end: a second empty block may follow, or the file may stop here
        }
        if (std::memcmp(block.data() + kMagic, "ustar", 5) != 0)
            return failed(first ? ArchiveError::NotAnArchive : ArchiveError::BadHeader,
                          "a header without the ustar mark at byte " + std::to_string(at));
        first = false;
        std::uint64_t stored_sum = 0, size = 0;
        if (!read_octal(block.subspan(kChecksum, kChecksumWidth), stored_sum) ||
            stored_sum != header_sum(block))
            return failed(ArchiveError::BadHeader,
                          "a header's check sum does not match at byte " + std::to_string(at));
        if (!read_octal(block.subspan(kSize, kSizeWidth), size))
            return failed(ArchiveError::BadHeader,
                          "a header's size is not a number at byte " + std::to_string(at));
        at += kTarBlock;
        if (size > bytes.size() - at)
            return failed(ArchiveError::Truncated, "a member ends beyond the archive");
        const char type = static_cast<char>(block[kType]);
        if (type == '0' || type == '\0') {
            std::size_t len = 0;
            while (len < kNameWidth && block[kName + len] != 0) ++len;
            std::string name(reinterpret_cast<const char*>(block.data() + kName), len);
            if (const auto slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
            if (!name.empty())
                result.members.push_back(
                    {std::move(name),
                     std::vector<std::uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                               bytes.begin() + static_cast<std::ptrdiff_t>(at + size))});
        }
        const std::uint64_t padded = (size + kTarBlock - 1) / kTarBlock * kTarBlock;
        if (padded > bytes.size() - at)
            return failed(ArchiveError::Truncated, "a member ends beyond the archive");
        at += padded;
    }
}

}  // namespace profiles
