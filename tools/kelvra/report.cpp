#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

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

// A text field as the card sent it, up to its first NUL.
std::string text(const unsigned char* p, std::size_t size) {
    const auto* end = std::find(p, p + size, 0);
    return std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(end - p));
}

// A card's text for a terminal: control bytes (which could move the cursor or clear the screen) shown
// as '?'. JSON escapes them instead.
std::string printable(const std::string& s) {
    std::string out = s;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
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
    r.address = text(b + kIpOffset, kAddressSize);
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

std::string cards_table(const std::vector<FoundCard>& cards) {
    std::size_t width = 7;  // "CARD ID"
    for (const auto& c : cards) width = std::max(width, c.id.size());
    std::string out = format("%-*s  %s\n", static_cast<int>(width), "CARD ID", "ADDRESS");
    for (const auto& c : cards)
        out += format("%-*s  %s\n", static_cast<int>(width), printable(c.id).c_str(), c.address.c_str());
    return out;
}

std::string report_table(const CardReport& r) {
    std::string out;
    auto row = [&out](const char* name, const std::string& value) {
        out += format("%-18s%s\n", name, value.c_str());
    };
    row("card id", printable(r.id));
    row("address", printable(r.address));
    row("subnet mask", printable(r.subnet_mask));
    row("gateway", printable(r.gateway));
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
        row("model", printable(r.model));
        row("MAC address", printable(r.mac_address));
        row("up", format("%u s", r.uptime_seconds));
        row("files stored", format("%u", r.files_stored));
        row("free space", format("%u KiB", r.free_kib));
    }
    return out;
}

nlohmann::json card_json(const FoundCard& card) {
    return {{"id", card.id}, {"address", card.address}};
}

nlohmann::json card_json(const CardReport& r) {
    // A card's float bytes may be anything: JSON has no NaN or infinity.
    auto real = [](float v) -> nlohmann::json {
        if (!std::isfinite(v)) return nullptr;
        return std::stod(format("%g", static_cast<double>(v)));
    };
    nlohmann::json card = {
        {"id", r.id},
        {"address", r.address},
        {"subnet_mask", r.subnet_mask},
        {"gateway", r.gateway},
        {"screen_width", r.screen_width},
        {"screen_height", r.screen_height},
        {"brightness", r.brightness},
        {"scan_clock_code", r.scan_clock_code},
        {"duty_cycle", r.duty_cycle},
        {"oe_polarity", r.oe_polarity},
        {"data_polarity", r.data_polarity},
        {"gray_value", r.gray_value},
        {"gamma", {real(r.gamma[0]), real(r.gamma[1]), real(r.gamma[2])}},
        {"clock", r.clock},
        {"programme", r.programme},
        {"output_lines", r.output_lines},
        {"input_lines", r.input_lines},
        {"software_version", version_text(r.software_version)},
        {"hardware_version", version_text(r.hardware_version)},
    };
    if (r.has_more) {
        card["model"] = r.model;
        card["mac_address"] = r.mac_address;
        card["uptime_seconds"] = r.uptime_seconds;
        card["files_stored"] = r.files_stored;
        card["free_kib"] = r.free_kib;
    }
    return card;
}

std::string dump(const nlohmann::json& document) {
    return document.dump(4, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::vector<SerialPort> serial_ports(const std::string& sys_class_tty) {
    namespace fs = std::filesystem;
    std::vector<SerialPort> ports;
    std::error_code ec;
    for (fs::directory_iterator it(sys_class_tty, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path entry = it->path();
        // Virtual terminals and pseudo-terminals have no device behind them.
        if (!fs::exists(entry / "device", ec)) continue;
        // Newer kernels put serial-base "port" and "ctrl" devices between the tty and the device that
        // carries the UART's own driver: the first driver not on that bus names the hardware.
        std::string driver;
        fs::path device = fs::canonical(entry / "device", ec);
        for (int up = 0; !ec && up < 4 && !device.empty(); ++up, device = device.parent_path()) {
            std::error_code link_ec;
            const fs::path link = fs::read_symlink(device / "driver", link_ec);
            if (link_ec) break;
            driver = link.filename().string();
            if (link.string().find("/serial-base/") == std::string::npos) break;
        }
        // The kernel lists the legacy 8250 ports whether or not a UART answers there: "type" 0 is
        // none.
        if (std::ifstream type(entry / "type"); type) {
            int t = -1;
            if (type >> t && t == 0) continue;
        }
        ports.push_back({"/dev/" + entry.filename().string(), driver});
    }
    std::sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
    return ports;
}

std::string ports_table(const std::vector<SerialPort>& ports) {
    std::string out = format("%-20s %s\n", "PORT", "DRIVER");
    for (const auto& p : ports) out += format("%-20s %s\n", p.path.c_str(), p.driver.c_str());
    return out;
}

nlohmann::json port_json(const SerialPort& port) {
    return {{"path", port.path}, {"driver", port.driver}};
}

}  // namespace kelvra_cli
