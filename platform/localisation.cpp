#include "platform/localisation.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>

#include "platform/ini.h"

namespace localisation {
namespace {

constexpr std::size_t kLookupBuffer = 1000;

std::mutex& current_mutex() {
    static std::mutex m;
    return m;
}
std::filesystem::path& current() {
    static std::filesystem::path p;
    return p;
}

bool valid_utf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra;
        if (c < 0x80)
            extra = 0;
        else if ((c & 0xE0) == 0xC0 && c >= 0xC2)
            extra = 1;
        else if ((c & 0xF0) == 0xE0)
            extra = 2;
        else if ((c & 0xF8) == 0xF0 && c <= 0xF4)
            extra = 3;
        else
            return false;
        if (extra > 0 && i + extra >= s.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        }
        i += extra + 1;
    }
    return true;
}

std::optional<std::string> convert(std::string_view in, const char* from) {
    iconv_t cd = iconv_open("UTF-8", from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(in.size() * 3 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t src_left = in.size();
    char* dst = out.data();
    std::size_t dst_left = out.size();
    bool ok = true;
    while (src_left > 0) {
        if (iconv(cd, &src, &src_left, &dst, &dst_left) == static_cast<std::size_t>(-1)) {
            if (errno == EILSEQ || errno == EINVAL) {
                // An undecodable byte: keep going with a replacement mark rather than losing the text.
                if (dst_left < 3) break;
                *dst++ = '?';
                --dst_left;
                ++src;
                --src_left;
                continue;
            }
            ok = false;
            break;
        }
    }
    iconv_close(cd);
    if (!ok) return std::nullopt;
    out.resize(out.size() - dst_left);
    return out;
}

std::string read_all(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return {};
    std::ostringstream ss;
    ss << in.rdbuf();
    return std::move(ss).str();
}

// The file's text as UTF-8, with its own ZAVO_Language as the code-page hint. A dialog looks up dozens
// of keys in a row, so the converted text is kept while the file's time stamp and size stay the same.
std::optional<std::string> read_language_file(const std::filesystem::path& file) {
    struct Cached {
        std::filesystem::path file;
        std::filesystem::file_time_type time;
        std::uintmax_t size = 0;
        std::string text;
    };
    static std::mutex cache_mutex;
    static Cached cache;

    std::error_code ec;
    const auto time = std::filesystem::last_write_time(file, ec);
    if (ec) return std::nullopt;
    const auto size = std::filesystem::file_size(file, ec);
    if (ec) return std::nullopt;
    {
        std::lock_guard lock(cache_mutex);
        if (cache.file == file && cache.time == time && cache.size == size) return cache.text;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string raw{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::string hint = ini::find_in_text(raw, "Setting", "ZAVO_Language").value_or("");
    std::string text = to_utf8(raw, hint);
    std::lock_guard lock(cache_mutex);
    cache = Cached{file, time, size, text};
    return text;
}

std::string expand_line_breaks(std::string text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            out.push_back('\n');
            ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// Cut to what a buffer of `size` bytes holds, without splitting a UTF-8 sequence.
void cut_to_buffer(std::string& text, std::size_t size) {
    if (text.size() <= size - 1) return;
    std::size_t n = size - 1;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    text.resize(n);
}

bool has_ini_extension(const std::filesystem::path& p) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".ini";
}

std::optional<std::string> find_text(std::string_view key) {
    std::filesystem::path file = current_file();
    if (file.empty()) return std::nullopt;
    auto text = read_language_file(file);
    if (!text) return std::nullopt;
    auto value = ini::find_in_text(*text, "String", key);
    if (!value) return std::nullopt;
    cut_to_buffer(*value, kLookupBuffer);
    return expand_line_breaks(std::move(*value));
}

}  // namespace

std::string to_utf8(std::string_view raw, std::string_view language_hint) {
    std::string_view body = raw;
    if (body.size() >= 3 && static_cast<unsigned char>(body[0]) == 0xEF &&
        static_cast<unsigned char>(body[1]) == 0xBB && static_cast<unsigned char>(body[2]) == 0xBF)
        body.remove_prefix(3);  // UTF-8 byte-order mark
    if (valid_utf8(body)) return std::string(body);
    // Legacy Windows language files: Big5 for traditional Chinese, GBK (read as its superset GB18030)
    // for everything else.
    bool traditional = language_hint.size() >= 2 && language_hint.substr(language_hint.size() - 2) == "_t";
    if (auto text = convert(body, traditional ? "BIG5" : "GB18030")) return *text;
    return std::string(body);
}

Choice choose_language(const std::filesystem::path& program_folder,
                       const std::filesystem::path& settings_file, std::string_view requested,
                       const DefaultWriter& write_defaults, const std::filesystem::path& shared_folder) {
    Choice choice;
    choice.language = !requested.empty()
                          ? std::string(requested)
                          : ini::get_string(settings_file, "Setting", "ZAVO_Language", kDefaultLanguage);
    std::filesystem::path folder = program_folder / "Language";
    std::vector<std::filesystem::path> folders{folder};
    if (!shared_folder.empty() && shared_folder != program_folder)
        folders.push_back(shared_folder / "Language");
    std::error_code ec;
    for (const auto& search : folders) {
        ec.clear();
        for (std::filesystem::directory_iterator it(search, ec), end; !ec && it != end; it.increment(ec)) {
            if (it->is_directory(ec) || !has_ini_extension(it->path())) continue;
            std::string raw = read_all(it->path());
            if (ini::find_in_text(raw, "Setting", "ZAVO_Language").value_or("") == choice.language) {
                choice.file = it->path();
                break;
            }
        }
        if (!choice.file.empty()) break;
    }
    if (choice.file.empty()) {
        std::filesystem::create_directories(folder, ec);
        if (write_defaults) write_defaults(folder);
        choice.file = folder / "Multi_ch_zavo_s.ini";
        choice.language = std::string(kDefaultLanguage);
    }
    ini::write_string(settings_file, "Setting", "ZAVO_Language", choice.language);
    set_current_file(choice.file);
    return choice;
}

std::filesystem::path current_file() {
    std::lock_guard lock(current_mutex());
    return current();
}

void set_current_file(const std::filesystem::path& file) {
    std::lock_guard lock(current_mutex());
    current() = file;
}

std::string lookup(std::string_view key) {
    return find_text(key).value_or(std::string(kNotFound));
}

std::string lookup_or_empty(std::string_view key) {
    return find_text(key).value_or(std::string());
}

std::string dialog_title_key(int dialog) {
    return "IDD" + std::to_string(dialog) + "_Title";
}

std::string control_key(int dialog, int control) {
    return "IDD" + std::to_string(dialog) + "_" + std::to_string(control);
}

std::string locale_name() {
    std::string locale = lookup_or_empty("IDS_MESSAGE_LOCALE");
    return locale.empty() ? std::string("en") : locale;
}

}  // namespace localisation
