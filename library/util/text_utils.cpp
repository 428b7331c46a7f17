#include "library/util/text_utils.h"

#include <sys/utsname.h>

#include <cstdio>
#include <cstdlib>

namespace kelvra::files {

std::string size_text(std::uint64_t bytes) {
    constexpr std::uint64_t kKi = 1024;
    constexpr std::uint64_t kMi = kKi * kKi;
    char text[48];
    if (bytes < kKi) {
        std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(bytes));
    } else if (bytes < kMi) {
        std::snprintf(text, sizeof text, "%llu.%lluK", static_cast<unsigned long long>(bytes / kKi),
                      static_cast<unsigned long long>(bytes % kKi * 10 / kKi));
    } else {
        std::snprintf(text, sizeof text, "%llu.%lluM", static_cast<unsigned long long>(bytes / kMi),
                      static_cast<unsigned long long>(bytes % kMi * 10 / kMi));
    }
    return text;
}

std::string version_text(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "V%x.%x", static_cast<unsigned>(value >> 16),
                  static_cast<unsigned>(value & 0xFFFF));
    return text;
}

std::uint32_t decimal_text_to_number(std::string_view text) {
    if (text.empty() || text.size() > 8) return 0;
    std::uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value;
}

std::string windows_folder() {
    const char* value = std::getenv("windir");
    if (value == nullptr) return {};
    return std::string(value).substr(0, 100);
}

int windows_version_code() {
    return 1;
}

std::string windows_version_name() {
    utsname u{};
    if (::uname(&u) != 0) return "Linux";
    return std::string(u.sysname) + " " + u.release;
}

}  // namespace kelvra::files
