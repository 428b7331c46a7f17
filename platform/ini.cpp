#include "platform/ini.h"

#include <cctype>
#include <fstream>
#include <mutex>
#include <sstream>

namespace ini {
namespace {

std::mutex& write_mutex() {
    static std::mutex m;
    return m;
}

std::string_view trim(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// One physical line of the file, with its line ending kept apart so rewrites keep it.
struct Line {
    std::string_view text;
    std::string_view ending;
};

std::vector<Line> split_lines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        std::size_t end = nl == std::string_view::npos ? text.size() : nl;
        std::size_t body_end = (end > pos && text[end - 1] == '\r') ? end - 1 : end;
        std::size_t next = nl == std::string_view::npos ? text.size() : nl + 1;
        lines.push_back({text.substr(pos, body_end - pos), text.substr(body_end, next - body_end)});
        pos = next;
    }
    return lines;
}

// "[name]" gives name; anything else nothing.
std::optional<std::string_view> section_name(std::string_view line) {
    line = trim(line);
    if (line.size() < 2 || line.front() != '[') return std::nullopt;
    std::size_t close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return trim(line.substr(1, close - 1));
}

struct KeyValue {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyValue> key_value(std::string_view line) {
    std::string_view t = trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
    std::size_t eq = t.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return KeyValue{trim(t.substr(0, eq)), trim(t.substr(eq + 1))};
}

std::string_view unquote(std::string_view v) {
    if (v.size() >= 2 && ((v.front() == '"' && v.back() == '"') || (v.front() == '\'' && v.back() == '\'')))
        return v.substr(1, v.size() - 2);
    return v;
}

std::optional<std::string> read_file(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream ss;
    ss << in.rdbuf();
    return std::move(ss).str();
}

}  // namespace

std::optional<std::string> find_in_text(std::string_view text, std::string_view section,
                                        std::string_view key) {
    bool in_section = false;
    for (const Line& line : split_lines(text)) {
        if (auto name = section_name(line.text)) {
            in_section = same_name(*name, section);
            continue;
        }
        if (!in_section) continue;
        if (auto kv = key_value(line.text); kv && same_name(kv->key, key))
            return std::string(unquote(kv->value));
    }
    return std::nullopt;
}

std::string write_in_text(std::string_view text, std::string_view section, std::string_view key,
                          std::optional<std::string_view> value) {
    std::vector<Line> lines = split_lines(text);
    std::string newline = "\r\n";
    if (!lines.empty() && lines.front().ending == "\n") newline = "\n";

    std::string out;
    out.reserve(text.size() + key.size() + (value ? value->size() : 0) + 8);
    bool in_section = false, section_seen = false, done = false;
    std::size_t last_content_in_section = std::string::npos;  // offset in `out` after the last key line

    auto insert_at_section_end = [&]() {
        if (done || !value || !in_section) return;
        std::string entry = std::string(key) + "=" + std::string(*value) + newline;
        std::size_t at = last_content_in_section == std::string::npos ? out.size() : last_content_in_section;
        out.insert(at, entry);
        done = true;
    };

    for (const Line& line : lines) {
        if (auto name = section_name(line.text)) {
            insert_at_section_end();
            in_section = !done && same_name(*name, section);
            if (in_section) section_seen = true;
            out.append(line.text).append(line.ending);
            if (in_section) {
                // A header on the last line without a line break: the key goes on a line of its own.
                if (line.ending.empty()) out.append(newline);
                last_content_in_section = out.size();
            }
            continue;
        }
        if (in_section && !done) {
            if (auto kv = key_value(line.text); kv && same_name(kv->key, key)) {
                done = true;
                if (value) out.append(std::string(kv->key)).append("=").append(*value).append(line.ending);
                continue;
            }
        }
        out.append(line.text).append(line.ending);
        if (in_section && !trim(line.text).empty()) {
            if (line.ending.empty()) out.append(newline);  // the last line had no line break
            last_content_in_section = out.size();
        }
    }
    insert_at_section_end();
    if (!done && !section_seen && value) {
        if (!out.empty() && out.back() != '\n') out.append(newline);
        out.append("[").append(section).append("]").append(newline);
        out.append(key).append("=").append(*value).append(newline);
    }
    return out;
}

std::string get_string(const std::filesystem::path& file, std::string_view section, std::string_view key,
                       std::string_view fallback, std::size_t buffer_size) {
    std::string result;
    if (auto text = read_file(file)) {
        if (auto v = find_in_text(*text, section, key))
            result = std::move(*v);
        else
            result = std::string(fallback);
    } else {
        result = std::string(fallback);
    }
    if (buffer_size > 0 && result.size() > buffer_size - 1) result.resize(buffer_size - 1);
    return result;
}

int get_int(const std::filesystem::path& file, std::string_view section, std::string_view key, int fallback) {
    auto text = read_file(file);
    if (!text) return fallback;
    auto v = find_in_text(*text, section, key);
    if (!v) return fallback;
    const auto n = whole_number(*v);
    return n ? static_cast<int>(*n) : fallback;  // the 32-bit form read as signed: defined in C++20
}

std::optional<std::uint32_t> whole_number(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    constexpr std::uint64_t kLargest = 0xFFFFFFFFu;       // above it no 32-bit field holds the value
    constexpr std::uint64_t kMostNegative = 0x80000000u;  // -2147483648
    std::uint64_t n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') break;
        n = n * 10 + static_cast<std::uint64_t>(c - '0');
        if (n > kLargest) return std::nullopt;  // checked at every digit, so n never overflows
    }
    if (!negative) return static_cast<std::uint32_t>(n);
    if (n > kMostNegative) return std::nullopt;
    return static_cast<std::uint32_t>((std::uint64_t{1} << 32) - n);  // two's complement, 0 stays 0
}

bool write_string(const std::filesystem::path& file, std::string_view section, std::string_view key,
                  std::optional<std::string_view> value) {
    std::lock_guard lock(write_mutex());
    std::string text = read_file(file).value_or(std::string());
    std::string updated = write_in_text(text, section, key, value);
    if (updated == text && std::filesystem::exists(file)) return true;
    // Write to a sibling and rename, so a failed write never leaves a half-written settings file.
    std::filesystem::path tmp = file;
    tmp += ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(updated.data(), static_cast<std::streamsize>(updated.size()));
        if (!out.flush()) return false;
    }
    std::error_code ec;
    std::filesystem::rename(tmp, file, ec);
    if (ec) {
        std::filesystem::remove(tmp, ec);
        return false;
    }
    return true;
}

std::vector<std::string> keys(const std::filesystem::path& file, std::string_view section) {
    std::vector<std::string> result;
    auto text = read_file(file);
    if (!text) return result;
    bool in_section = false;
    for (const Line& line : split_lines(*text)) {
        if (auto name = section_name(line.text)) {
            in_section = same_name(*name, section);
            continue;
        }
        if (in_section)
            if (auto kv = key_value(line.text)) result.emplace_back(kv->key);
    }
    return result;
}

}  // namespace ini
