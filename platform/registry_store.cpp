#include "platform/registry_store.h"

#include <array>
#include <fstream>
#include <mutex>

#include "platform/paths.h"

namespace registry {
namespace {
std::mutex& store_mutex() {
    static std::mutex m;
    return m;
}
}  // namespace

std::filesystem::path store_folder() {
    return paths::xdg_folder("XDG_CONFIG_HOME", ".config") / "vantor" / "registry";
}

std::uint8_t read_value(std::string_view key, std::string_view value_name) {
    std::lock_guard lock(store_mutex());
    std::ifstream in(store_folder() / key / value_name, std::ios::binary);
    if (!in) return 0;
    std::array<char, 200> buffer{};  // the value is read into a 200-byte buffer; its first byte counts
    in.read(buffer.data(), buffer.size());
    if (in.gcount() < 1) return 0;
    return static_cast<std::uint8_t>(buffer[0]);
}

int write_value(std::string_view key, std::string_view value_name, std::uint32_t value) {
    std::lock_guard lock(store_mutex());
    std::error_code ec;
    std::filesystem::path folder = store_folder() / key;
    std::filesystem::create_directories(folder, ec);
    std::ofstream out(folder / value_name, std::ios::binary | std::ios::trunc);
    const std::array<char, 4> bytes = {
        static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
        static_cast<char>((value >> 16) & 0xFF), static_cast<char>((value >> 24) & 0xFF)};
    if (out) out.write(bytes.data(), bytes.size());
    return 0;
}

}  // namespace registry
