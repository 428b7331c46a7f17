// A fresh folder under /tmp for one test, removed with everything in it at the end (read-only folders
// are given back their write bit first), and whole-file reads and writes. The folder's path holds no
// "." (folder transfers refuse such paths).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace support {

using Bytes = std::vector<std::uint8_t>;

inline void write_file(const std::filesystem::path& file, std::string_view bytes) {
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline void write_file(const std::filesystem::path& file, const Bytes& bytes) {
    write_file(file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

inline Bytes read_bytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string read_text(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Bytes that differ from piece to piece, so a lost, doubled or swapped piece of a transfer shows.
inline Bytes pattern(std::size_t n, std::uint32_t seed = 1) {
    Bytes v(n);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : v) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return v;
}

class TempDir {
  public:
    TempDir() {
        std::string pattern = "/tmp/vantor-test-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a test folder");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }
    std::string text(std::string_view name) const { return (path_ / name).string(); }

    // Writes `bytes` to the folder's `name`, making the folders on the way; returns the full path.
    std::filesystem::path write(std::string_view name, std::string_view bytes) const {
        write_file(path_ / name, bytes);
        return path_ / name;
    }
    std::filesystem::path write(std::string_view name, const Bytes& bytes) const {
        write_file(path_ / name, bytes);
        return path_ / name;
    }
    std::string read(std::string_view name) const { return read_text(path_ / name); }

  private:
    std::filesystem::path path_;
};

}  // namespace support
