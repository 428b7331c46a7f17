#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace kelvra_cli {
namespace {

// Offsets in the information block.
constexpr std::size_t kIdOffset = 0, kIdSize = 20;
constexpr std::size_t kIpOffset = 60, kMaskOffset = 92, kGatewayOffset = 164, kAddressSize = 16;
constexpr std::size_t kWidthOffset = 132, kHeightOffset = 136;
constexpr std::size_t kBrightnessOffset = 544, kScanClockOffset = 548, kDutyOffset = 552, kOeOffset = 556,
                      kDataPolarityOffset = 560, kGrayValueOffset = 572, kGammaOffset = 576;
constexpr std::size_t kClockOffset = 644, kProgrammeOffset = 672, kOutputsOffset = 676, kInputsOffset = 680;
constexpr std::size_t kSoftwareOffset = 1032, kHardwareOffset = 1036;
static_assert(kHardwareOffset + 4 <= kInfoBlockSize);
// Offsets in the extended block.
constexpr std::size_t kModelOffset = 20, kModelSize = 20, kMacOffset = 56, kMacSize = 20;
constexpr std::size_t kUptimeOffset = 84, kFilesOffset = 88, kFreeOffset = 92;
static_assert(kFreeOffset + 4 <= kMoreBlockSize);

std::uint32_t u32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::string text(const unsigned char* p, std::size_t size) {
    const auto* end = std::find(p, p + size, 0);
    std::string s(reinterpret_cast<const char*>(p), static_cast<std::size_t>(end - p));
    // Only printable ASCII reaches a terminal or a JSON document.
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
    return s;
}

float f32(const unsigned char* p) {
    const std::uint32_t bits = u32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

std::string format(const char* fmt, auto... args) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

const char* polarity(std::uint32_t v) {
    return v == 0 ? "positive" : "negative";
}

std::string scan_clock(std::uint32_t code) {
    static const char* const kClocks[] = {"15.0M", "12.5M", "11.2M", "9.4M",
                                          "8.0M",  "6.25M", "4.7M",  "3.12M"};
    if (code >= 2 && code <= 9) return kClocks[code - 2];
    return format("code %u", code);
}

}  // namespace

CardReport read_report(const std::array<unsigned char, kInfoBlockSize>& info,
                       const std::array<unsigned char, kMoreBlockSize>* more) {
    const unsigned char* b = info.data();
    CardReport r;
    r.id = text(b + kIdOffset, kIdSize);
    r.ip_address = text(b + kIpOffset, kAddressSize);
    r.subnet_mask = text(b + kMaskOffset, kAddressSize);
    r.gateway = text(b + kGatewayOffset, kAddressSize);
    r.screen_width = u32(b + kWidthOffset);
    r.screen_height = u32(b + kHeightOffset);
    r.brightness = u32(b + kBrightnessOffset);
    r.scan_clock_code = u32(b + kScanClockOffset);
    r.duty_cycle = u32(b + kDutyOffset);
    r.oe_polarity = u32(b + kOeOffset);
    r.data_polarity = u32(b + kDataPolarityOffset);
    r.gray_value = u32(b + kGrayValueOffset);
    for (int i = 0; i < 3; ++i) r.gamma[i] = f32(b + kGammaOffset + 4 * static_cast<std::size_t>(i));
    for (std::size_t i = 0; i < r.clock.size(); ++i) r.clock[i] = u32(b + kClockOffset + 4 * i);
    r.programme = u32(b + kProgrammeOffset);
    r.output_lines = u32(b + kOutputsOffset);
    r.input_lines = u32(b + kInputsOffset);
    r.software_version = u32(b + kSoftwareOffset);
    r.hardware_version = u32(b + kHardwareOffset);
    if (more != nullptr) {
        const unsigned char* m = more->data();
        r.has_more = true;
        r.model = text(m + kModelOffset, kModelSize);
        r.mac_address = text(m + kMacOffset, kMacSize);
        r.uptime_seconds = u32(m + kUptimeOffset);
        r.files_stored = u32(m + kFilesOffset);
        r.free_kib = u32(m + kFreeOffset);
    }
    return r;
}

std::string version_text(std::uint32_t word) {
    return format("V%X.%X", word >> 16, word & 0xFFFFu);
}

std::string json_string(const std::string& s) {
    std::string out = "\"";
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            out += format("\\u%04x", u);
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string cards_table(const std::vector<FoundCard>& cards) {
    std::size_t width = 7;  // "CARD ID"
    for (const auto& c : cards) width = std::max(width, c.id.size());
    std::string out = format("%-*s  %s\n", static_cast<int>(width), "CARD ID", "ADDRESS");
    for (const auto& c : cards)
        out += format("%-*s  %s\n", static_cast<int>(width), c.id.c_str(), c.address.c_str());
    return out;
}

std::string cards_json(const std::vector<FoundCard>& cards) {
    std::string out = "[";
    for (std::size_t i = 0; i < cards.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        out += "  {\"id\": " + json_string(cards[i].id) + ", \"address\": " + json_string(cards[i].address) +
               "}";
    }
    return out + (cards.empty() ? "]\n" : "\n]\n");
}

std::string report_table(const CardReport& r) {
    std::string out;
    auto row = [&out](const char* name, const std::string& value) {
        out += format("%-18s%s\n", name, value.c_str());
    };
    row("card id", r.id);
    row("address", r.ip_address);
    row("subnet mask", r.subnet_mask);
    row("gateway", r.gateway);
    row("screen", format("%u x %u", r.screen_width, r.screen_height));
    row("brightness", format("%u", r.brightness));
    row("scan clock", scan_clock(r.scan_clock_code));
    row("duty cycle", r.duty_cycle == 0 ? "50%" : "25%");
    row("OE polarity", polarity(r.oe_polarity));
    row("data polarity", polarity(r.data_polarity));
    row("gray value", format("%u", r.gray_value));
    row("gamma", format("%.2f %.2f %.2f", static_cast<double>(r.gamma[0]), static_cast<double>(r.gamma[1]),
                        static_cast<double>(r.gamma[2])));
    row("programme", format("%u", r.programme));
    row("output lines", format("0x%08X", r.output_lines));
    row("input lines", format("0x%08X", r.input_lines));
    row("software", version_text(r.software_version));
    row("hardware", version_text(r.hardware_version));
    if (r.has_more) {
        row("model", r.model);
        row("MAC address", r.mac_address);
        row("up", format("%u s", r.uptime_seconds));
        row("files stored", format("%u", r.files_stored));
        row("free space", format("%u KiB", r.free_kib));
    }
    return out;
}

std::string report_json(const CardReport& r) {
    std::string out = "{\n";
    auto field = [&out](const char* name, const std::string& json_value) {
        out += format("  \"%s\": ", name) + json_value + ",\n";
    };
    auto number = [](std::uint32_t v) { return format("%u", v); };
    field("id", json_string(r.id));
    field("ip_address", json_string(r.ip_address));
    field("subnet_mask", json_string(r.subnet_mask));
    field("gateway", json_string(r.gateway));
    field("screen_width", number(r.screen_width));
    field("screen_height", number(r.screen_height));
    field("brightness", number(r.brightness));
    field("scan_clock_code", number(r.scan_clock_code));
    field("duty_cycle", number(r.duty_cycle));
    field("oe_polarity", number(r.oe_polarity));
    field("data_polarity", number(r.data_polarity));
    field("gray_value", number(r.gray_value));
    // A card's float bytes may be anything: JSON has no NaN or infinity.
    auto real = [](float v) {
        return std::isfinite(v) ? format("%g", static_cast<double>(v)) : std::string("null");
    };
    field("gamma", "[" + real(r.gamma[0]) + ", " + real(r.gamma[1]) + ", " + real(r.gamma[2]) + "]");
    std::string clock = "[";
    for (std::size_t i = 0; i < r.clock.size(); ++i) clock += (i ? ", " : "") + number(r.clock[i]);
    field("clock", clock + "]");
    field("programme", number(r.programme));
    field("output_lines", number(r.output_lines));
    field("input_lines", number(r.input_lines));
    field("software_version", json_string(version_text(r.software_version)));
    field("hardware_version", json_string(version_text(r.hardware_version)));
    if (r.has_more) {
        field("model", json_string(r.model));
        field("mac_address", json_string(r.mac_address));
        field("uptime_seconds", number(r.uptime_seconds));
        field("files_stored", number(r.files_stored));
        field("free_kib", number(r.free_kib));
    }
    out.erase(out.size() - 2);  // the last ",\n"
    return out + "\n}\n";
}

}  // namespace kelvra_cli
