// A temporary local folder for transfer tests: its path holds no "." (folder transfers refuse such
// paths), and it is removed with everything in it when the fixture ends.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace temp_tree {

class Folder {
  public:
    Folder() {
        char pattern[] = "/tmp/kelvra-transfers-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        if (made != nullptr) root_ = made;
    }
    ~Folder() {
        std::error_code ec;
        if (!root_.empty()) std::filesystem::remove_all(root_, ec);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    const std::filesystem::path& root() const { return root_; }
    bool ok() const { return !root_.empty(); }

    // Writes `data` to root/relative, creating the folders on the way; returns the full path.
    std::filesystem::path write(const std::string& relative, const std::vector<std::uint8_t>& data) const {
        const auto path = root_ / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        return path;
    }

  private:
    std::filesystem::path root_;
};

// Bytes that differ from piece to piece, so a lost, doubled or swapped piece shows.
inline std::vector<std::uint8_t> pattern(std::size_t n, std::uint32_t seed = 1) {
    std::vector<std::uint8_t> v(n);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : v) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return v;
}

inline std::vector<std::uint8_t> read_all(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace temp_tree
