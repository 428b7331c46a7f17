#include "platform/paths.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <optional>

namespace paths {
namespace {
std::mutex& folder_mutex() {
    static std::mutex m;
    return m;
}
std::optional<std::filesystem::path>& override_folder() {
    static std::optional<std::filesystem::path> folder;
    return folder;
}
std::filesystem::path with_trailing_slash(std::filesystem::path p) {
    std::string s = p.string();
    if (s.empty() || s.back() != '/') s.push_back('/');
    return s;
}
}  // namespace

std::filesystem::path program_folder() {
    {
        std::lock_guard lock(folder_mutex());
        if (override_folder()) return *override_folder();
    }
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return with_trailing_slash(std::filesystem::current_path(ec));
    return with_trailing_slash(exe.parent_path());
}

std::optional<std::filesystem::path> installed_data_folder(const std::filesystem::path& program_folder) {
    std::filesystem::path bin = program_folder;
    if (bin.filename().empty()) bin = bin.parent_path();  // "/usr/bin/" names "/usr/bin"
    if (bin.filename() != "bin") return std::nullopt;
    const std::filesystem::path data = bin.parent_path() / "share" / "vantor";
    std::error_code ec;
    if (!std::filesystem::is_directory(data, ec)) return std::nullopt;
    return with_trailing_slash(data);
}

namespace {
// The installation's data folder of the running program; none when tests set the program folder.
std::optional<std::filesystem::path> running_installation() {
    {
        std::lock_guard lock(folder_mutex());
        if (override_folder()) return std::nullopt;
    }
    return installed_data_folder(program_folder());
}
}  // namespace

std::filesystem::path shared_data_folder() {
    if (auto data = running_installation()) return *data;
    return program_folder();
}

std::filesystem::path settings_folder() {
    if (!running_installation()) return program_folder();
    std::filesystem::path folder = xdg_folder("XDG_CONFIG_HOME", ".config") / "vantor";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return with_trailing_slash(folder);
}

void set_program_folder(const std::filesystem::path& folder) {
    std::lock_guard lock(folder_mutex());
    override_folder() = with_trailing_slash(folder);
}

std::filesystem::path xdg_folder(const char* variable, const char* home_relative) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') return value;
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home != nullptr ? home : "/tmp") / home_relative;
}

std::filesystem::path user_data_folder() {
    std::filesystem::path folder = xdg_folder("XDG_DATA_HOME", ".local/share") / "vantor";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder;
}

std::filesystem::path from_local_text(std::string text) {
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

}  // namespace paths
