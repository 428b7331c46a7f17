#include "profiles/profile_format.h"

#include <array>
#include <charconv>
#include <map>
#include <optional>

#include "screenconfig/screen_config.h"

namespace profiles {

namespace {

using screenconfig::ParamsField;
using screenconfig::ScreenParams;

constexpr std::array<const char*, 6> kColourOrders = {"RGB", "BGR", "GRB", "GBR", "BRG", "RBG"};
constexpr std::array<std::uint32_t, 5> kScanOfCode = {16, 8, 4, 2, 1};  // the scan code is the index

// Control characters are kept out of single-line fields; notes keep their line breaks escaped.
bool has_control(std::string_view text) {
    for (const unsigned char c : text)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

bool valid_utf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        const std::uint32_t min[] = {0, 0x80, 0x800, 0x10000};
        if (cp < min[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

std::string escape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            continue;
        else
            out += c;
    }
    return out;
}

std::optional<std::string> unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) return std::nullopt;
        if (text[i] == 'n')
            out += '\n';
        else if (text[i] == '\\')
            out += '\\';
        else
            return std::nullopt;
    }
    return out;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::optional<std::uint32_t> number(std::string_view text) {
    std::uint32_t v = 0;
    if (text.empty()) return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return v;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

constexpr char kHex[] = "0123456789abcdef";

ParsedProfile failed(ProfileError error, std::string detail) {
    ParsedProfile p;
    p.error = error;
    p.detail = std::move(detail);
    return p;
}

}  // namespace

std::string_view error_name(ProfileError error) {
    switch (error) {
        case ProfileError::None:
            return "none";
        case ProfileError::NotAProfile:
            return "not_a_profile";
        case ProfileError::UnknownVersion:
            return "unknown_version";
        case ProfileError::Truncated:
            return "truncated";
        case ProfileError::MissingField:
            return "missing_field";
        case ProfileError::BadLine:
            return "bad_line";
        case ProfileError::BadValue:
            return "bad_value";
        case ProfileError::BadName:
            return "bad_name";
        case ProfileError::BadRecord:
            return "bad_record";
        case ProfileError::BadWordSum:
            return "bad_word_sum";
        case ProfileError::WordsDisagree:
            return "words_disagree";
    }
    return "unknown";
}

bool valid_name(std::string_view name) {
    return !name.empty() && name.size() <= kMaxNameLength && !has_control(name) && valid_utf8(name) &&
           trim(name) == name;
}

std::string scan_words(const ScreenParams& record) {
    const std::uint32_t code = record.get(ParamsField::scanCode);
    if (code < kScanOfCode.size()) return "1/" + std::to_string(kScanOfCode[code]);
    return "code " + std::to_string(code);
}

std::string colour_order_words(const ScreenParams& record) {
    const std::uint32_t code = record.get(ParamsField::colourOrder);
    if (code < kColourOrders.size()) return kColourOrders[code];
    return "code " + std::to_string(code);
}

std::string polarity_words(std::uint32_t value) {
    if (value == 0) return "positive";
    if (value == 1) return "negative";
    return "code " + std::to_string(value);
}

Profile make_profile(const ScreenParams& record, std::string name) {
    Profile p;
    p.name = std::move(name);
    p.record = record;
    p.record.seal();
    return p;
}

std::string proposed_name(std::uint32_t width, std::uint32_t height, const ScreenParams& record) {
    const bool scan_known = record.get(ParamsField::scanCode) < kScanOfCode.size();
    const std::string scan = scan_words(record);
    if (width > 0 && height > 0)
        return std::to_string(width) + "x" + std::to_string(height) + (scan_known ? " " + scan : "");
    return scan_known ? scan + " scan" : "module";
}

std::string serialise_profile(const Profile& p) {
    std::string out;
    out += "format = " + std::to_string(kFormatVersion) + "\n";
    out += "# Vantor module profile (docs/module-profiles.md). The record is the \".hcp\" file's 72 bytes;\n";
    out += "# the words below it are read from the record and must agree with it.\n";
    auto line = [&out](const char* key, std::string_view value) {
        out += key;
        out += " = ";
        out += escape(value);
        out += '\n';
    };
    line("name", p.name);
    line("maker", p.maker);
    line("model", p.model);
    line("pitch", p.pitch);
    line("width", std::to_string(p.width));
    line("height", std::to_string(p.height));
    line("scan", scan_words(p.record));
    line("colour_order", colour_order_words(p.record));
    line("data_polarity", polarity_words(p.record.get(ParamsField::dataPolarity)));
    line("oe_polarity", polarity_words(p.record.get(ParamsField::oePolarity)));
    line("notes", p.notes);
    line("date", p.date);
    line("picture", p.picture);
    std::string hex;
    const auto bytes = p.record.bytes();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0 && i % 4 == 0) hex += ' ';
        hex += kHex[bytes[i] >> 4];
        hex += kHex[bytes[i] & 15];
    }
    line("record", hex);
    out += "end\n";
    return out;
}

ParsedProfile parse_profile(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > kMaxFileSize) return failed(ProfileError::NotAProfile, "larger than a profile can be");
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::map<std::string, std::string, std::less<>> fields;
    bool seen_format = false;
    bool ended = false;
    std::size_t line_number = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t nl = text.find('\n', at);
        const std::string_view raw =
            text.substr(at, nl == std::string_view::npos ? text.size() - at : nl - at);
        at = nl == std::string_view::npos ? text.size() : nl + 1;
        ++line_number;
        const std::string where = "line " + std::to_string(line_number);
        const std::string_view line = trim(raw);
        if (ended) {
            if (!line.empty()) return failed(ProfileError::BadLine, where + ": text after \"end\"");
            continue;
        }
        if (line.empty() || line.front() == '#') continue;
        if (line == "end") {
            if (!seen_format) return failed(ProfileError::NotAProfile, "no \"format\" line first");
            ended = true;
            continue;
        }
        const std::size_t eq = line.find('=');
        // A last line without its line break is where a cut file ends, whatever part of a line it holds.
        if (eq == std::string_view::npos && nl == std::string_view::npos && seen_format)
            return failed(ProfileError::Truncated, where + ": the file ends inside a line");
        if (eq == std::string_view::npos) {
            if (!seen_format) return failed(ProfileError::NotAProfile, "no \"format\" line first");
            return failed(ProfileError::BadLine, where + ": not \"key = value\"");
        }
        const std::string_view key = trim(line.substr(0, eq));
        const std::string_view value = trim(line.substr(eq + 1));
        if (!seen_format) {
            if (key != "format") return failed(ProfileError::NotAProfile, "no \"format\" line first");
            const auto version = number(value);
            if (!version) return failed(ProfileError::BadValue, where + ": the format is not a number");
            if (*version != kFormatVersion)
                return failed(ProfileError::UnknownVersion, "format " + std::string(value) +
                                                                " (this program reads format " +
                                                                std::to_string(kFormatVersion) + ")");
            seen_format = true;
            continue;
        }
        if (!valid_utf8(value)) return failed(ProfileError::BadValue, where + ": not UTF-8 text");
        // Line breaks come only as "\n"; other control characters have no place in a value.
        if (has_control(value)) return failed(ProfileError::BadValue, where + ": a control character");
        auto unescaped = unescape(value);
        if (!unescaped) return failed(ProfileError::BadValue, where + ": a backslash other than \\n or \\\\");
        if (!fields.emplace(std::string(key), std::move(*unescaped)).second)
            return failed(ProfileError::BadLine, where + ": \"" + std::string(key) + "\" given twice");
    }
    if (!seen_format) return failed(ProfileError::NotAProfile, "no \"format\" line first");
    if (!ended) return failed(ProfileError::Truncated, "the file ends before its \"end\" line");

    auto field = [&fields](std::string_view key) -> const std::string* {
        const auto it = fields.find(key);
        return it == fields.end() ? nullptr : &it->second;
    };
    ParsedProfile result;
    Profile& p = result.profile;
    const std::string* name = field("name");
    if (!name) return failed(ProfileError::MissingField, "no name");
    if (!valid_name(*name))
        return failed(ProfileError::BadName, "the name \"" + *name + "\" cannot name a profile");
    p.name = *name;
    for (const auto& [key, target] :
         {std::pair{"maker", &p.maker}, std::pair{"model", &p.model}, std::pair{"pitch", &p.pitch},
          std::pair{"date", &p.date}, std::pair{"picture", &p.picture}}) {
        if (const std::string* v = field(key)) {
            if (has_control(*v)) return failed(ProfileError::BadValue, std::string(key) + ": a line break");
            *target = *v;
        }
    }
    if (const std::string* v = field("notes")) p.notes = *v;
    if (p.picture.find('/') != std::string::npos || p.picture == "." || p.picture == "..")
        return failed(ProfileError::BadValue, "picture: a file name beside the profile, without a folder");
    for (const auto& [key, target] : {std::pair{"width", &p.width}, std::pair{"height", &p.height}}) {
        if (const std::string* v = field(key)) {
            const auto n = number(*v);
            if (!n || *n > 65535)
                return failed(ProfileError::BadValue, std::string(key) + ": not a size in LEDs");
            *target = *n;
        }
    }

    const std::string* record = field("record");
    if (!record) return failed(ProfileError::MissingField, "no record");
    std::array<std::uint8_t, screenconfig::kParamsSize> raw{};
    std::size_t count = 0;
    int high = -1;
    for (const char c : *record) {
        if (c == ' ') continue;
        const int d = hex_digit(c);
        if (d < 0) return failed(ProfileError::BadValue, "record: not hexadecimal");
        if (high < 0) {
            high = d;
            continue;
        }
        if (count == raw.size()) return failed(ProfileError::BadValue, "record: more than 72 bytes");
        raw[count++] = static_cast<std::uint8_t>(high << 4 | d);
        high = -1;
    }
    if (count < raw.size() || high >= 0)
        return failed(ProfileError::Truncated, "record: " + std::to_string(count) + " of 72 bytes");
    p.record = ScreenParams(raw);
    if (p.record.get(ParamsField::magic) != screenconfig::kLedMarker ||
        p.record.get(ParamsField::endMarker) != screenconfig::kEndMarker)
        return failed(ProfileError::BadRecord, "record: no \"LED\" or \"END\" marker");
    if (!p.record.sum_matches())
        return failed(ProfileError::BadWordSum, "record: the word sum does not match");

    for (const auto& [key, words] :
         {std::pair{"scan", scan_words(p.record)}, std::pair{"colour_order", colour_order_words(p.record)},
          std::pair{"data_polarity", polarity_words(p.record.get(ParamsField::dataPolarity))},
          std::pair{"oe_polarity", polarity_words(p.record.get(ParamsField::oePolarity))}}) {
        const std::string* v = field(key);
        if (v && *v != words)
            return failed(ProfileError::WordsDisagree,
                          std::string(key) + " = " + *v + ", but the record says " + words);
    }
    return result;
}

}  // namespace profiles
