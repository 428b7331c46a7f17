// The INI reader and writer over any text: the settings files and "default.ini" are files a user may
// edit or damage. Reads in memory and from a file, writes, and whole numbers.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/ini.h"
#include "fuzz/require.h"

namespace fs = std::filesystem;

namespace {

fs::path g_file;

// A name or value that every INI file keeps as it is: letters and digits only.
bool plain(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(),
                                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/ini_fuzz.XXXXXX";
    if (::mkdtemp(pattern) == nullptr) std::abort();
    g_file = fs::path(pattern) / "default.ini";
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(g_file.parent_path(), ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string section = in.ConsumeRandomLengthString(24);
    const std::string key = in.ConsumeRandomLengthString(24);
    const std::string value = in.ConsumeRandomLengthString(48);
    const std::string text = in.ConsumeRemainingBytesAsString();

    const auto found = ini::find_in_text(text, section, key);
    (void)ini::whole_number(found.value_or(text));

    const std::string written = ini::write_in_text(text, section, key, value);
    if (plain(section) && plain(key) && plain(value))
        FUZZ_REQUIRE(ini::find_in_text(written, section, key) == value);
    const std::string removed = ini::write_in_text(written, section, key, std::nullopt);
    // A key the text did not hold is gone again once removed. (A file with the key twice keeps its
    // second copy: a removal, like a write, touches the first.)
    if (plain(section) && plain(key) && plain(value) && !found)
        FUZZ_REQUIRE(!ini::find_in_text(removed, section, key).has_value());

    {
        std::ofstream out(g_file, std::ios::binary | std::ios::trunc);
        out << text;
    }
    const auto names = ini::keys(g_file, section);
    const std::string got = ini::get_string(g_file, section, key, "fallback", 16);
    FUZZ_REQUIRE(got.size() <= 15);
    (void)ini::get_int(g_file, section, key, -7);
    (void)names;
    return 0;
}
