#include "common/row_decode.h"

#include <algorithm>
#include <array>

namespace row_decode {
namespace {

constexpr Entry kG16[] = {
    {"dcba9876543210", 0, "IDS_MESSAGE_STEP7_16_1"},
};

constexpr Entry kG8S16[] = {
    {"cba9876543d210", 0, "IDS_MESSAGE_STEP7_8_16_1"}, {"cba987654d3210", 0, "IDS_MESSAGE_STEP7_8_16_2"},
    {"cba98765432d10", 0, "IDS_MESSAGE_STEP7_8_16_3"}, {"cba9876543d210", 2, "IDS_MESSAGE_STEP7_8_16_4"},
    {"cba987654d3210", 1, "IDS_MESSAGE_STEP7_8_16_5"}, {"cba98765432d10", 3, "IDS_MESSAGE_STEP7_8_16_6"},
    {"cba987654d3210", 2, "IDS_MESSAGE_STEP7_8_16_7"},
};

constexpr Entry kG8S8[] = {
    {"dcba9876543210", 0, "IDS_MESSAGE_STEP7_8_8_1"},
};

constexpr Entry kG4S16[] = {
    {"ba98765432dc10", 0, "IDS_MESSAGE_STEP7_4_16_1"}, {"ba9876543dc210", 0, "IDS_MESSAGE_STEP7_4_16_2"},
    {"ba987654dc3210", 0, "IDS_MESSAGE_STEP7_4_16_3"}, {"ba98765432dc10", 3, "IDS_MESSAGE_STEP7_4_16_4"},
    {"ba9876543dc210", 2, "IDS_MESSAGE_STEP7_4_16_5"}, {"ba987654dc3210", 1, "IDS_MESSAGE_STEP7_4_16_6"},
    {"ba987654d3c210", 0, "IDS_MESSAGE_STEP7_4_16_7"}, {"ba987654d3c210", 2, "IDS_MESSAGE_STEP7_4_16_8"},
    {"ba98765d43c210", 2, "IDS_MESSAGE_STEP7_4_16_9"}, {"ba98765d43c210", 0, "IDS_MESSAGE_STEP7_4_16_10"},
};

constexpr Entry kG4S8[] = {
    {"dba9876543c210", 0, "IDS_MESSAGE_STEP7_4_8_1"}, {"dba98765432c10", 0, "IDS_MESSAGE_STEP7_4_8_2"},
    {"dba987654c3210", 0, "IDS_MESSAGE_STEP7_4_8_3"}, {"dba9876543c210", 2, "IDS_MESSAGE_STEP7_4_8_4"},
    {"dba98765432c10", 3, "IDS_MESSAGE_STEP7_4_8_5"}, {"dba987654c3210", 1, "IDS_MESSAGE_STEP7_4_8_6"},
    {"dba98765c43210", 0, "IDS_MESSAGE_STEP7_4_8_7"},
};

constexpr Entry kG4S4[] = {
    {"dcba9876543210", 0, "IDS_MESSAGE_STEP7_4_4_1"},
};

constexpr Entry kG2S16[] = {
    {"a98765432dcb10", 0, "IDS_MESSAGE_STEP7_2_16_1"}, {"a9876543dcb210", 0, "IDS_MESSAGE_STEP7_2_16_2"},
    {"a987654dcb3210", 0, "IDS_MESSAGE_STEP7_2_16_3"}, {"a98765432dcb10", 3, "IDS_MESSAGE_STEP7_2_16_4"},
    {"a9876543dcb210", 2, "IDS_MESSAGE_STEP7_2_16_5"}, {"a987654dcb3210", 1, "IDS_MESSAGE_STEP7_2_16_6"},
};

constexpr Entry kG2S8[] = {
    {"da9876543cb210", 0, "IDS_MESSAGE_STEP7_2_8_1"}, {"da98765432cb10", 0, "IDS_MESSAGE_STEP7_2_8_2"},
    {"da987654cb3210", 0, "IDS_MESSAGE_STEP7_2_8_3"}, {"da9876543cb210", 2, "IDS_MESSAGE_STEP7_2_8_4"},
    {"da98765432cb10", 3, "IDS_MESSAGE_STEP7_2_8_5"}, {"da987654cb3210", 1, "IDS_MESSAGE_STEP7_2_8_6"},
    {"da987654c3b210", 2, "IDS_MESSAGE_STEP7_2_8_7"}, {"da9876543c2b10", 0, "IDS_MESSAGE_STEP7_2_8_8"},
};

constexpr Entry kG2S4[] = {
    {"dca9876543b210", 0, "IDS_MESSAGE_STEP7_2_4_1"}, {"dca98765432b10", 0, "IDS_MESSAGE_STEP7_2_4_2"},
    {"dca987654b3210", 0, "IDS_MESSAGE_STEP7_2_4_3"}, {"dca9876543b210", 2, "IDS_MESSAGE_STEP7_2_4_4"},
    {"dca98765432b10", 3, "IDS_MESSAGE_STEP7_2_4_5"}, {"dca987654b3210", 1, "IDS_MESSAGE_STEP7_2_4_6"},
};

// Line group 2 with scan 2 shows the same single text as line group 16.
constexpr Entry kG2S2[] = {
    {"dcba9876543210", 0, "IDS_MESSAGE_STEP7_16_1"},
};

constexpr Entry kG1S16[] = {
    {"9876543210dcba", 0, "IDS_MESSAGE_STEP7_116_1"}, {"98765432dcba10", 0, "IDS_MESSAGE_STEP7_116_2"},
    {"98765dcb432a10", 0, "IDS_MESSAGE_STEP7_116_3"}, {"98765cba4d3210", 0, "IDS_MESSAGE_STEP7_116_4"},
    {"987654dc32ba10", 0, "IDS_MESSAGE_STEP7_116_5"}, {"987654d3cba210", 0, "IDS_MESSAGE_STEP7_116_6"},
};

constexpr Entry kG1S8[] = {
    {"d98765432cba10", 0, "IDS_MESSAGE_STEP7_18_1"},  {"d9876543cba210", 0, "IDS_MESSAGE_STEP7_18_2"},
    {"d9876543210cba", 0, "IDS_MESSAGE_STEP7_18_3"},  {"d98765432cba10", 3, "IDS_MESSAGE_STEP7_18_4"},
    {"d9876543cba210", 2, "IDS_MESSAGE_STEP7_18_5"},  {"d9876543210cba", 2, "IDS_MESSAGE_STEP7_18_6"},
    {"d9876543cab210", 2, "IDS_MESSAGE_STEP7_18_7"},  {"d987654cb32a10", 0, "IDS_MESSAGE_STEP7_18_8"},
    {"d987654cb3a210", 2, "IDS_MESSAGE_STEP7_18_9"},  {"d987654c32ba10", 0, "IDS_MESSAGE_STEP7_18_10"},
    {"d9876543c2ba10", 0, "IDS_MESSAGE_STEP7_18_11"}, {"d987654cb3a210", 0, "IDS_MESSAGE_STEP7_18_12"},
};

constexpr Entry kG1S4[] = {
    {"dc98765432ba10", 0, "IDS_MESSAGE_STEP7_14_1"},  {"dc987654b3a210", 0, "IDS_MESSAGE_STEP7_14_2"},
    {"dc9876543b2a10", 0, "IDS_MESSAGE_STEP7_14_3"},  {"dc9876543ba210", 0, "IDS_MESSAGE_STEP7_14_4"},
    {"dc9876543ba210", 3, "IDS_MESSAGE_STEP7_14_5"},  {"dc9876543210ba", 0, "IDS_MESSAGE_STEP7_14_6"},
    {"dc9876543210ba", 3, "IDS_MESSAGE_STEP7_14_7"},  {"dc9876543b210a", 0, "IDS_MESSAGE_STEP7_14_8"},
    {"dc9876543b210a", 2, "IDS_MESSAGE_STEP7_14_9"},  {"dc98765432ba10", 3, "IDS_MESSAGE_STEP7_14_10"},
    {"dc98765432b10a", 0, "IDS_MESSAGE_STEP7_14_11"}, {"dc98765432ba10", 2, "IDS_MESSAGE_STEP7_14_12"},
    {"dc98765432b10a", 2, "IDS_MESSAGE_STEP7_14_13"},
};

constexpr Entry kG1S2[] = {
    {"dcb9876543a210", 0, "IDS_MESSAGE_STEP7_12_1"},
};

struct ListOf {
    std::uint32_t line_group;
    std::uint32_t scan_count;  // 0: any scan
    std::span<const Entry> entries;
};

constexpr std::array kLists = {
    ListOf{16, 0, kG16}, ListOf{8, 16, kG8S16}, ListOf{8, 8, kG8S8},   ListOf{4, 16, kG4S16},
    ListOf{4, 8, kG4S8}, ListOf{4, 4, kG4S4},   ListOf{2, 16, kG2S16}, ListOf{2, 8, kG2S8},
    ListOf{2, 4, kG2S4}, ListOf{2, 2, kG2S2},   ListOf{1, 16, kG1S16}, ListOf{1, 8, kG1S8},
    ListOf{1, 4, kG1S4}, ListOf{1, 2, kG1S2},
};

std::uint32_t digit_of(char c) {
    if (c >= '0' && c <= '9') return static_cast<std::uint32_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<std::uint32_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<std::uint32_t>(c - 'A' + 10);
    return 255;
}

}  // namespace

std::span<const Entry> standard_list(std::uint32_t line_group, std::uint32_t scan_count) {
    const auto* found = std::find_if(kLists.begin(), kLists.end(), [&](const ListOf& l) {
        return l.line_group == line_group && (l.scan_count == 0 || l.scan_count == scan_count);
    });
    return found == kLists.end() ? std::span<const Entry>{} : found->entries;
}

Entry entry_at(std::uint32_t line_group, std::uint32_t scan_count, std::size_t index) {
    const auto list = standard_list(line_group, scan_count);
    return index < list.size() ? list[index] : Entry{};
}

std::uint32_t hex_reading(std::string_view text) {
    text = text.substr(0, std::min<std::size_t>(text.size(), 8));
    std::uint32_t value = 0;
    for (const char c : text) value = value * 16 + digit_of(c);  // wraps modulo 2^32, as a u32 does
    return value;
}

Words words_of(std::string_view order) {
    const std::size_t n = order.size();
    return {hex_reading(order.substr(n > 8 ? n - 8 : 0)),
            hex_reading(order.substr(0, std::min<std::size_t>(n, 6)))};
}

}  // namespace row_decode
