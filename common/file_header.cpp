#include "common/file_header.h"

#include <algorithm>

#include "common/frame.h"

namespace file_header {
namespace {

void put_text(std::uint8_t* field, const std::string& text) {
    const std::size_t n = std::min({text.find('\0'), text.size(), kTextSize - 1});
    std::copy_n(text.begin(), n, field);
}

std::string get_text(std::span<const std::uint8_t> bytes, std::size_t offset) {
    const auto field = bytes.subspan(offset, kTextSize);
    return std::string(field.begin(), std::find(field.begin(), field.end(), std::uint8_t{0}));
}

}  // namespace

std::array<std::uint8_t, kSize> encode(const FileHeader& header) {
    std::array<std::uint8_t, kSize> out{};
    frame::put_u32le(out.data() + kTypeOffset, header.file_type);
    frame::put_u32le(out.data() + kLengthOffset, header.file_length);
    frame::put_u32le(out.data() + kBlocksOffset, header.blocks);
    put_text(out.data() + kFolderOffset, header.folder);
    put_text(out.data() + kNameOffset, header.file_name);
    return out;
}

std::optional<FileHeader> decode(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kSize) return std::nullopt;
    FileHeader h;
    h.file_type = frame::get_u32le(bytes.data() + kTypeOffset);
    h.file_length = frame::get_u32le(bytes.data() + kLengthOffset);
    h.blocks = frame::get_u32le(bytes.data() + kBlocksOffset);
    h.folder = get_text(bytes, kFolderOffset);
    h.file_name = get_text(bytes, kNameOffset);
    return h;
}

}  // namespace file_header
