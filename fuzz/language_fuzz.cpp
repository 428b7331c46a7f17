// Language files: the encoding detection (UTF-8, with or without its mark; else GBK or Big5 by the
// file's language) and the lookup of texts in a file of any bytes.
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "platform/localisation.h"
#include "fuzz/require.h"

namespace fs = std::filesystem;

namespace {

fs::path g_file;

// Well-formed UTF-8 in the strict sense (no overlong forms, no surrogates, nothing above U+10FFFF):
// text the reader must take as it is.
bool valid_utf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = 0;
        unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
        if (c < 0x80) {
            n = 1;
        } else if (c >= 0xC2 && c <= 0xDF) {
            n = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 3;
            if (c == 0xE0) low = 0xA0;
            if (c == 0xED) high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 4;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if (k == 1 ? (b < low || b > high) : (b & 0xC0) != 0x80) return false;
        }
        i += n;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/language_fuzz.XXXXXX";
    if (::mkdtemp(pattern) == nullptr) std::abort();
    g_file = fs::path(pattern) / "English_zavo.ini";
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(g_file.parent_path(), ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    std::string_view body = raw;
    if (body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
    for (const std::string_view hint : {"Chinese_zavo_s", "Chinese_zavo_t", "English_zavo", ""}) {
        const std::string text = localisation::to_utf8(raw, hint);
        // Text that is UTF-8 already comes back as it is; anything else is converted when it can be.
        if (valid_utf8(body)) FUZZ_REQUIRE(text == body);
    }

    {
        std::ofstream out(g_file, std::ios::binary | std::ios::trunc);
        out << raw;
    }
    localisation::set_current_file(g_file);
    for (const std::string_view key :
         {"IDS_MESSAGE_LOCALE", "IDD143_Title", "IDD143_1001", "ZAVO_Language"}) {
        // A key written with an empty value is found and empty; a missing key gives the fallback text.
        const std::string found = localisation::lookup_or_empty(key);
        const std::string text = localisation::lookup(key);
        FUZZ_REQUIRE(found.empty() || text == found);
    }
    (void)localisation::locale_name();
    return 0;
}
