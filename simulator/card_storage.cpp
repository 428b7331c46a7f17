#include "simulator/card_storage.h"

#include <algorithm>
#include <vector>

#include "common/frame.h"

namespace sim {
namespace {

std::vector<std::string_view> split(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t begin = 0;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\' || path[i] == '/') {
            if (i > begin) parts.push_back(path.substr(begin, i - begin));
            begin = i + 1;
        }
    }
    return parts;
}

}  // namespace

std::string card_path_of(const FileHeader& header) {
    if (header.file_name.empty()) return {};
    const auto parts = split(header.folder);
    if (!parts.empty() && parts.back() == header.file_name) return header.folder;
    if (header.folder.empty()) return header.file_name;
    return header.folder + "\\" + header.file_name;
}

std::optional<std::filesystem::path> resolve_card_path(const std::filesystem::path& root,
                                                       std::string_view card_path) {
    if (card_path.empty() || card_path.front() == '/') return std::nullopt;
    if (card_path.size() >= 2 && (card_path[0] == '\\' || card_path[0] == '/') &&
        (card_path[1] == '\\' || card_path[1] == '/'))
        return std::nullopt;
    std::filesystem::path out = root;
    bool any = false;
    for (const auto part : split(card_path)) {
        if (part == ".") continue;
        if (part == "..") return std::nullopt;
        for (const char c : part)
            if (static_cast<unsigned char>(c) < 0x20 || c == ':') return std::nullopt;
        out /= std::string(part);
        any = true;
    }
    if (!any) return std::nullopt;
    return out;
}

}  // namespace sim
