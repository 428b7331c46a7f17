#include "simulator/card_model.h"

#include <arpa/inet.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <system_error>

#include "common/screen_control.h"

namespace sim {
namespace {

constexpr std::uint64_t kConfigImageSize = 2'097'588;
constexpr std::string_view kConfigFileName = "Config.sys";
constexpr std::string_view kModulePictureName = "module.png";
constexpr std::string_view kScreenPictureName = "screen.png";
constexpr std::uint32_t kShownFileType = 5;

// Offsets inside the 52 ScreenParams bytes (record offsets 8..59) that the wizard's single settings change.
constexpr std::size_t kParamHubType = 0;
constexpr std::size_t kParamDecodeType = 4;
constexpr std::size_t kParamLineGroup = 20;
constexpr std::size_t kParamScanCode = 24;
constexpr std::size_t kParamLineInterval = 28;
constexpr std::size_t kParamDecodeOrder = 32;
constexpr std::size_t kParamDecodeWordA = 36;
constexpr std::size_t kParamDecodeWordB = 40;
constexpr std::size_t kParamPointFlags = 44;
static_assert(kParamPointFlags + 4 <= card_info::kScreenParamsSize);

bool valid_ipv4(const std::string& text) {
    in_addr a{};
    return text.size() <= card_info::kMaxAddressText && inet_pton(AF_INET, text.c_str(), &a) == 1;
}

std::string gateway_for(const std::string& address) {
    const auto dot = address.rfind('.');
    return dot == std::string::npos ? std::string() : address.substr(0, dot) + ".1";
}

std::string text_of(std::span<const std::uint8_t> data) {
    return std::string(data.begin(), std::find(data.begin(), data.end(), std::uint8_t{0}));
}

std::uint32_t word(std::span<const std::uint8_t> data, std::size_t i) {
    return 4 * i + 4 <= data.size() ? frame::get_u32le(data.data() + 4 * i) : 0;
}

}  // namespace

std::optional<std::uint32_t> parse_version_text(std::string_view text) {
    // "V9.121": the upper and lower 16 bits in hexadecimal, as the window shows them.
    if (!text.empty() && (text.front() == 'V' || text.front() == 'v')) text.remove_prefix(1);
    const auto dot = text.find('.');
    if (dot == std::string_view::npos) return std::nullopt;
    auto hex = [](std::string_view part) -> std::optional<std::uint32_t> {
        std::uint32_t v = 0;
        const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), v, 16);
        if (part.empty() || ec != std::errc{} || end != part.data() + part.size() || v > 0xFFFF)
            return std::nullopt;
        return v;
    };
    std::string_view low = text.substr(dot + 1);
    while (!low.empty() && (low.back() == '\n' || low.back() == '\r' || low.back() == ' '))
        low.remove_suffix(1);
    const auto hi = hex(text.substr(0, dot));
    const auto lo = hex(low);
    if (!hi || !lo) return std::nullopt;
    return *hi << 16 | *lo;
}

std::optional<std::uint32_t> upgrade_version(const std::filesystem::path& card_folder) {
    for (const char* sub : {"Application", "Kernel"}) {
        std::ifstream in(card_folder / sub / std::string(kVersionFileName));
        std::string line;
        if (in && std::getline(in, line)) return parse_version_text(line);
    }
    return std::nullopt;
}

CardModel::CardModel(const CardConfig& config, std::filesystem::path folder,
                     std::chrono::steady_clock::time_point started)
    : config_(config), folder_(std::move(folder)), started_(started) {
    auto& i = state_.info;
    i.card_id = config.id;
    i.ip_address = config.address;
    i.subnet_mask = config.subnet_mask;
    i.gateway = config.gateway.empty() ? gateway_for(config.address) : config.gateway;
    i.screen_width = config.screen_width;
    i.screen_height = config.screen_height;
    i.software_version = config.software_version;
    i.hardware_version = config.hardware_version;
    factory_restore();
    state_.factory_restores = 0;
    state_.bound_address = config.address;
    state_.faults = config.faults;
    render_module();
}

void CardModel::factory_restore() {
    auto& i = state_.info;
    i.brightness = 8;
    i.scan_clock_code = 2;
    i.duty_cycle = 0;
    i.oe_polarity = 0;
    i.data_polarity = 0;
    i.gray_value = 256;
    i.gray_refresh_code = 11;
    i.gray_depth_code = 5;
    i.gamma_red = i.gamma_green = i.gamma_blue = 1.0f;
    i.horizontal_shift = 0;
    i.screen_params = {};
    ++state_.factory_restores;
}

CheckResult CardModel::check(std::span<const std::uint8_t> bytes, std::string_view frame_id) const {
    const auto family = frame::check_form_for_id(config_.id);
    const bool plain = frame::verify_check_byte(bytes, frame::CheckForm::PlainSum);
    const bool complement = frame::verify_check_byte(bytes, frame::CheckForm::Complement);
    if (plain) return {frame::CheckForm::PlainSum, true};
    if (complement)
        return {frame::CheckForm::Complement,
                family == frame::CheckForm::Complement ||
                    frame::check_form_for_id(frame_id) == frame::CheckForm::Complement};
    return {};
}

bool CardModel::faulted(std::uint8_t command) const {
    return state_.faults.only_command == 0 || state_.faults.only_command == command;
}

std::vector<std::uint8_t> CardModel::answer(std::uint8_t code, std::vector<std::uint8_t> data) const {
    const frame::Packet p{code, config_.id, 0, std::move(data)};
    const auto form = frame::check_form_for_id(config_.id);
    switch (config_.answer_form) {
        case WireForm::Stream:
            return frame::encode_stream(p, form);
        case WireForm::Fixed:
            return frame::encode_fixed(p, form);
        case WireForm::Exact:
            break;
    }
    return frame::encode_exact(p, form);
}

std::vector<std::uint8_t> CardModel::status_answer(std::uint8_t code, bool success) const {
    // The text goes out NUL-terminated, so readers that take it as a C string stop before the check byte.
    const std::string_view text = success ? "Success!" : "Error!";
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return answer(code, std::move(data));
}

bool CardModel::change_address(const std::string& text) {
    if (!valid_ipv4(text)) return false;
    state_.info.ip_address = text;
    return true;
}

CardModel::Handler CardModel::handler_for(std::uint8_t command) {
    switch (command) {
        case frame::CMD_DISCOVER:
            return &CardModel::on_discover;
        case frame::CMD_GET_CARD_INFO:
            return &CardModel::on_get_card_info;
        case frame::CMD_GET_CARD_MORE_INFO:
            return &CardModel::on_get_card_more_info;
        case frame::CMD_GET_IO:
            return &CardModel::on_get_io;
        case frame::CMD_SET_IO:
            return &CardModel::on_set_io;
        case frame::CMD_SET_CLOCK:
            return &CardModel::on_set_clock;
        case frame::CMD_SELECT_PROGRAM:
            return &CardModel::on_select_program;
        case frame::CMD_RESET_CARD:
            return &CardModel::on_reset_card;
        case frame::CMD_SCREEN_CONTROL:
            return &CardModel::on_screen_control;
        case frame::CMD_SAVE_VALUE:
            return &CardModel::on_save_value;
        case frame::CMD_SAVE_SETTINGS:
            return &CardModel::on_save_settings;
        case frame::CMD_RESTORE_IP:
            return &CardModel::on_restore_ip;
        case frame::CMD_UPGRADE_START:
        case frame::CMD_UPGRADE_BEGIN:
            return &CardModel::on_upgrade_begin;
        case frame::CMD_UPGRADE_END:
            return &CardModel::on_upgrade_end;
        case frame::CMD_FILE_HEADER:
            return &CardModel::on_file_header;
        case frame::CMD_FILE_DATA:
            return &CardModel::on_file_data;
        case frame::CMD_WINDOW:
        case frame::CMD_GLINT_WINDOW:
        case frame::CMD_EXIT_STUNT:
            return &CardModel::on_window;
        default:
            return nullptr;
    }
}

HandleResult CardModel::handle(const frame::Received& f, std::optional<IncomingFile>& slot,
                               std::size_t self) {
    const bool hit = faulted(f.command);
    Exchange x{f, slot, self, !(hit && state_.faults.answer_error), std::nullopt, {}};
    if (const Handler h = handler_for(f.command)) {
        (this->*h)(x);
    } else {
        x.r.note = "unknown command";
        x.r.accepted = false;
    }
    if (x.status) x.r.answer = status_answer(*x.status, x.ok);
    if (hit) apply_faults(f.command, x.r);
    return std::move(x.r);
}

void CardModel::apply_faults(std::uint8_t, HandleResult& r) const {
    if (!r.answer) return;
    const auto& faults = state_.faults;
    if (faults.silent) {
        r.answer.reset();
        return;
    }
    r.delay_ms = faults.delay_ms;
    auto& a = *r.answer;
    switch (faults.malformed) {
        case Malformed::Short:
            a.resize(std::min<std::size_t>(a.size(), 20));
            break;
        case Malformed::NoLeadIn:
            a[0] = a[1] = a[2] = 0;
            break;
        case Malformed::BogusLength:
            frame::put_u32le(a.data() + frame::kLengthOffset, 0xFFFFFFFFu);
            break;
        case Malformed::Garbage:
            // A fixed pattern, so a failing test sees the same bytes again; 0x7E never occurs.
            for (std::size_t i = 0; i < a.size(); ++i)
                a[i] = static_cast<std::uint8_t>(0x21 + (i * 37) % 0x5D);
            break;
        case Malformed::OtherCommand: {
            // The information block's code for every other answer, the discovery answer's for it.
            a[3] = a[3] == frame::ANS_CARD_INFO ? frame::ANS_DISCOVER : frame::ANS_CARD_INFO;
            const std::size_t n = frame::get_u32le(a.data() + frame::kLengthOffset);
            if (frame::kHeaderSize + n < a.size())
                a[frame::kHeaderSize + n] = frame::check_byte(a, n, frame::check_form_for_id(config_.id));
            break;
        }
        case Malformed::None:
            break;
    }
}

void CardModel::on_discover(Exchange& x) {
    const auto& info = state_.info;
    std::vector<std::uint8_t> ip(card_info::kAddressTextSize, 0);
    std::memcpy(ip.data(), info.ip_address.data(), std::min(info.ip_address.size(), ip.size() - 1));
    x.r.answer = answer(frame::ANS_DISCOVER, std::move(ip));
}

void CardModel::on_get_card_info(Exchange& x) {
    const auto block = card_info::encode_card_info(state_.info);
    x.r.answer = answer(frame::ANS_CARD_INFO, {block.begin(), block.end()});
}

void CardModel::on_get_card_more_info(Exchange& x) {
    const auto& info = state_.info;
    card_info::CardMoreInfo more;
    more.card_id = config_.id;
    more.model = "LEDSIM";
    more.ip_address = info.ip_address;
    in_addr a{};
    inet_pton(AF_INET, info.ip_address.c_str(), &a);
    const auto* o = reinterpret_cast<const std::uint8_t*>(&a.s_addr);
    char mac[20];
    std::snprintf(mac, sizeof mac, "02:00:%02x:%02x:%02x:%02x", o[0], o[1], o[2], o[3]);
    more.mac_address = mac;
    more.software_version = info.software_version;
    more.hardware_version = info.hardware_version;
    more.uptime_seconds = static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started_)
            .count());
    more.stored_files = static_cast<std::uint32_t>(
        std::count_if(files_.begin(), files_.end(), [](const auto& s) { return s.second.complete; }));
    more.free_space_kib = 65536;
    const auto block = card_info::encode_card_more_info(more);
    x.r.answer = answer(frame::ANS_CARD_MORE_INFO, {block.begin(), block.end()});
}

void CardModel::on_get_io(Exchange& x) {
    const auto& info = state_.info;
    const std::uint32_t line = word(x.f.data, 0);
    std::vector<std::uint8_t> out(16, 0);
    frame::put_u32le(out.data(), line);
    frame::put_u32le(out.data() + 4, line < 32 ? (info.output_lines >> line) & 1u : 0u);
    frame::put_u32le(out.data() + 8, info.output_lines);
    frame::put_u32le(out.data() + 12, info.input_lines);
    x.r.answer = answer(frame::ANS_GET_IO, std::move(out));
}

void CardModel::on_set_io(Exchange& x) {
    auto& info = state_.info;
    const std::uint32_t line = word(x.f.data, 0);
    if (line >= 32) {
        x.r.note = "line out of range";
        return;
    }
    if (word(x.f.data, 1) != 0)
        info.output_lines |= 1u << line;
    else
        info.output_lines &= ~(1u << line);
}

void CardModel::on_set_clock(Exchange& x) {
    for (std::size_t i = 0; i < card_info::kClockWords; ++i) state_.info.clock[i] = word(x.f.data, i);
}

void CardModel::on_select_program(Exchange& x) {
    state_.info.programme = word(x.f.data, 0);
}

void CardModel::on_reset_card(Exchange&) {
    ++state_.resets;
}

void CardModel::on_save_value(Exchange& x) {
    ++state_.save_values;
    x.status = frame::ANS_STATUS_SAVE_VALUE;
}

void CardModel::on_save_settings(Exchange& x) {
    auto& info = state_.info;
    x.status = frame::ANS_SAVE_SETTINGS;
    if (x.f.data.size() < card_info::kSettingsSize) {
        x.r.note = "settings block too short";
        x.ok = false;
        return;
    }
    const auto s = card_info::decode_settings_block(x.f.data);
    if (!valid_ipv4(s.ip_address) || !valid_ipv4(s.subnet_mask) ||
        (!s.gateway.empty() && !valid_ipv4(s.gateway))) {
        x.r.note = "bad address in settings block";
        x.ok = false;
        return;
    }
    if (!x.ok) return;
    change_address(s.ip_address);
    info.subnet_mask = s.subnet_mask;
    info.gateway = s.gateway;
    info.screen_width = s.screen_width;
    info.screen_height = s.screen_height;
    ++state_.save_settings;
}

void CardModel::on_restore_ip(Exchange& x) {
    if (!change_address(text_of(x.f.data))) x.r.note = "bad address";
}

void CardModel::on_upgrade_begin(Exchange& x) {
    x.status = x.f.command == frame::CMD_UPGRADE_START ? frame::ANS_UPGRADE_START : frame::ANS_UPGRADE_BEGIN;
    if (!x.ok) return;
    state_.upgrade_running = true;
    state_.upgrade_announced = word(x.f.data, 0);
}

void CardModel::on_upgrade_end(Exchange& x) {
    if (!state_.upgrade_running) return;
    ++state_.upgrades_finished;
    state_.upgrade_running = false;
    // The card restarts with the firmware it stored; the package names its version.
    if (const auto version = upgrade_version(folder_)) {
        state_.info.software_version = *version;
        x.r.note = "restarted with the new firmware";
    } else {
        x.r.note = "restarted; no version file in the firmware";
    }
}

void CardModel::on_window(Exchange& x) {
    ++state_.window_commands;
    const auto outcome = display_.on_command(x.f.command, x.f.data, folder_);
    x.r.note = outcome.note;
    x.r.accepted = outcome.accepted;
    if (outcome.accepted) screen_changed();
}

std::optional<CardModel::ScreenJob> CardModel::take_screen_job() {
    if (!screen_dirty_) return std::nullopt;
    screen_dirty_ = false;
    return ScreenJob{display_, folder_, config_.screen_width, config_.screen_height};
}

std::vector<StoredFile> CardModel::stored_files() const {
    std::vector<StoredFile> out;
    out.reserve(files_.size());
    for (const auto& [key, file] : files_) out.push_back(file);
    return out;
}

void CardModel::put_screen(ModulePicture picture) {
    if (state_.screen_picture == picture) return;
    state_.screen_picture = std::move(picture);
    if (write_picture_file(folder_ / std::string(kScreenPictureName), encode_png(*state_.screen_picture, 4)))
        ++state_.screen_pictures_written;
}

void CardModel::on_screen_control(Exchange& x) {
    using screen_control::SmartStep;
    using screen_control::Sub;
    using screen_control::TestOp;
    auto& info = state_.info;
    const auto data = x.f.data;
    if (data.size() < 4) {
        x.r.note = "no sub-command";
        return;
    }
    const auto w = screen_control::decode(data);
    const auto present = std::min(screen_control::kWords, data.size() / 4);
    const auto sub = static_cast<Sub>(w[0]);
    auto set_param = [&](std::size_t offset, std::uint32_t v) {
        frame::put_u32le(info.screen_params.data() + offset, v);
    };
    bool known = true;
    switch (sub) {
        case Sub::Test:
            if (w[1] == static_cast<std::uint32_t>(TestOp::SmartSetup) &&
                w[2] == static_cast<std::uint32_t>(SmartStep::TracePoint)) {
                trace_point(w[3], w[4], w[5] == 1);
            } else if (w[1] == static_cast<std::uint32_t>(TestOp::SmartSetup) &&
                       w[2] != static_cast<std::uint32_t>(SmartStep::ScreenParams)) {
                state_.smart_pattern = w[2];
                state_.smart_value = w[3];
                state_.smart_value2 = w[4];
                state_.point_on = false;
                state_.test_pattern.clear();
            }
            if (w[1] == static_cast<std::uint32_t>(TestOp::Grid) ||
                w[1] == static_cast<std::uint32_t>(TestOp::Gray))
                state_.test_pattern.assign(w.begin() + 1, w.begin() + 10);
            if (w[1] == static_cast<std::uint32_t>(TestOp::Stop)) state_.test_pattern.clear();
            if (w[1] == static_cast<std::uint32_t>(TestOp::SmartSetup) &&
                w[2] == static_cast<std::uint32_t>(SmartStep::ScreenParams)) {
                if (data.size() < screen_control::kScreenParamsOffset + card_info::kScreenParamsSize) {
                    x.r.note = "screen parameters too short";
                    break;
                }
                std::copy_n(data.begin() + screen_control::kScreenParamsOffset, card_info::kScreenParamsSize,
                            info.screen_params.begin());
            }
            break;
        case Sub::Brightness:
            info.brightness = w[2];
            break;
        case Sub::Gamma:
            info.gamma_red = std::bit_cast<float>(w[2]);
            info.gamma_green = std::bit_cast<float>(w[3]);
            info.gamma_blue = std::bit_cast<float>(w[4]);
            break;
        case Sub::FactoryRestore:
            factory_restore();
            break;
        case Sub::GrayLevel:
            info.gray_value = w[2];
            info.gray_refresh_code = w[3];
            info.gray_depth_code = w[4];
            break;
        case Sub::OePolarity:
            info.oe_polarity = w[2];
            break;
        case Sub::ScanClock:
            info.scan_clock_code = w[2];
            break;
        case Sub::DutyCycle:
            info.duty_cycle = w[2];
            break;
        case Sub::DataPolarity:
            info.data_polarity = w[2];
            break;
        case Sub::HorizontalShift:
            info.horizontal_shift = w[2];
            break;
        case Sub::LineGroup:
            set_param(kParamLineGroup, w[2]);
            break;
        case Sub::LineInterval:
            set_param(kParamLineInterval, w[2]);
            break;
        case Sub::DecoderType:
            set_param(kParamDecodeType, w[2]);
            break;
        case Sub::ScanCode:
            set_param(kParamScanCode, w[2]);
            break;
        case Sub::DecodeOrderWords:
            set_param(kParamDecodeWordA, w[2]);
            set_param(kParamDecodeWordB, w[3]);
            break;
        case Sub::HubType:
            set_param(kParamHubType, w[2]);
            break;
        case Sub::DecodeOrderClass:
            set_param(kParamDecodeOrder, w[2]);
            break;
        case Sub::LitPoint:
            set_param(kParamPointFlags, w[2]);
            break;
        case Sub::WizardHiddenControl:
            break;
        case Sub::ApplyConfig:
            ++state_.config_applied;
            check_config_image();
            if (config_.answer_apply) {
                x.status = frame::ANS_SCREEN_CONTROL;
                x.ok = x.ok && state_.config_valid;
            }
            break;
        default:
            known = false;
            x.r.note = "unknown sub-command";
            break;
    }
    // Only the sub-commands a card knows are remembered: a stream of made-up ones cannot grow the map.
    if (known) state_.last_screen_control[w[0]] = std::vector<std::uint32_t>(w.begin(), w.begin() + present);
    if (screen_control::answered(w)) x.status = frame::ANS_SCREEN_CONTROL;
    render_module();
}

// The card shows one traced point at a time: switching one on replaces whatever was shown; switching
// off the point that is lit darkens the module, switching off any other point changes nothing.
void CardModel::trace_point(std::uint32_t along, std::uint32_t row, bool on) {
    const bool lit_now =
        state_.smart_pattern == static_cast<std::uint32_t>(screen_control::SmartStep::TracePoint) &&
        state_.point_on && state_.smart_value == along && state_.smart_value2 == row;
    if (!on && !lit_now) return;
    state_.smart_pattern = static_cast<std::uint32_t>(screen_control::SmartStep::TracePoint);
    state_.smart_value = along;
    state_.smart_value2 = row;
    state_.point_on = on;
    state_.test_pattern.clear();
}

void CardModel::render_module() {
    if (!config_.module) return;
    const auto& params = state_.info.screen_params;
    auto param = [&](std::size_t offset) { return frame::get_u32le(params.data() + offset); };
    ModuleInputs in;
    in.hub_type = param(kParamHubType);
    in.decode_type = param(kParamDecodeType);
    in.pattern = state_.smart_pattern;
    in.value = state_.smart_value;
    in.value2 = state_.smart_value2;
    in.point_on = state_.point_on;
    in.rows = {param(kParamDecodeWordA), param(kParamDecodeWordB), param(kParamDecodeOrder),
               param(kParamLineInterval), param(kParamPointFlags)};
    in.test = state_.test_pattern;
    auto picture = sim::render_module(*config_.module, in);
    if (state_.module_picture == picture) return;
    state_.module_picture = std::move(picture);
    const auto png = encode_png(*state_.module_picture);
    // Written beside and renamed over, so a viewer never reads half a file.
    const auto tmp = folder_ / (std::string(kModulePictureName) + ".part");
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
        if (!out) return;
    }
    std::error_code ec;
    std::filesystem::rename(tmp, folder_ / std::string(kModulePictureName), ec);
    if (!ec) ++state_.module_pictures_written;
}

void CardModel::check_config_image() {
    state_.config_valid = false;
    std::ifstream in(folder_ / std::string(kConfigFileName), std::ios::binary);
    std::vector<std::uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (image.size() != kConfigImageSize || std::memcmp(image.data(), "LED", 4) != 0) return;
    std::uint32_t sum = 0;
    for (std::size_t off = 0; off + 4 < image.size(); off += 4) sum += frame::get_u32le(image.data() + off);
    state_.config_valid = sum == frame::get_u32le(image.data() + image.size() - 4);
}

void CardModel::abandon(IncomingFile& file) {
    if (file.out.is_open()) file.out.close();
}

void CardModel::on_file_header(Exchange& x) {
    const auto& f = x.f;
    auto& slot = x.slot;
    const std::size_t self = x.self;
    auto& r = x.r;
    if (slot) {
        if (!slot->refused && slot->remaining > 0) r.note = "previous file cut short; ";
        slot->out.close();
        slot.reset();
    }
    const auto header = file_header::decode(f.data);
    if (!header) {
        r.note += "file header too short";
        r.accepted = false;
        return;
    }
    std::string card_path = card_path_of(*header);
    // The header's own path is checked first, upgrade or not: below the firmware folder a "\\server"
    // or drive path would otherwise pass as an ordinary sub-folder.
    const bool acceptable = resolve_card_path(folder_, card_path).has_value();
    // Upgrade files (kind 1 and 2 during an upgrade) land below the two firmware folders.
    if (state_.upgrade_running && (header->file_type == 1 || header->file_type == 2))
        card_path = std::string(header->file_type == 1 ? "Kernel" : "Application") +
                    (card_path.starts_with("\\") ? "" : "\\") + card_path;
    IncomingFile in;
    in.card = self;
    in.remaining = header->file_length;
    const auto local = acceptable ? resolve_card_path(folder_, card_path) : std::nullopt;
    if (!local) {
        r.note += "refused card path";
        r.accepted = false;
        in.refused = true;
        slot.emplace(std::move(in));
        return;
    }
    std::error_code ec;
    std::filesystem::create_directories(local->parent_path(), ec);
    in.out.open(*local, std::ios::binary | std::ios::trunc);
    if (!in.out) {
        r.note += "cannot create file";
        in.refused = true;
        slot.emplace(std::move(in));
        return;
    }
    StoredFile rec{card_path, *local, header->file_type, header->file_length, 0, header->file_length == 0};
    // One record per file: a file stored again is the newest record. The oldest records go beyond
    // the bound (the files stay in the folder), so a card that is sent file after file keeps its size.
    if (const auto old = record_of_.find(*local); old != record_of_.end()) {
        files_.erase(old->second);
        record_of_.erase(old);
    }
    in.record = next_record_++;
    in.file_type = header->file_type;
    in.card_path = card_path;
    record_of_.emplace(*local, in.record);
    files_.emplace(in.record, std::move(rec));
    while (files_.size() > kMaxStoredFileRecords) {
        record_of_.erase(files_.begin()->second.local_path);
        files_.erase(files_.begin());
    }
    if (header->file_length == 0) in.out.close();
    slot.emplace(std::move(in));
}

void CardModel::on_file_data(Exchange& x) {
    const auto& f = x.f;
    auto& slot = x.slot;
    auto& r = x.r;
    if (!slot) {
        r.note = "file data without header";
        r.accepted = false;
        return;
    }
    if (slot->refused) {
        r.note = "file data dropped";
        r.accepted = false;
        return;
    }
    const auto rec = files_.find(slot->record);
    const std::uint64_t take = std::min<std::uint64_t>(f.data.size(), slot->remaining);
    if (take < f.data.size()) r.note = "data beyond the announced length dropped";
    if (take > 0) {
        slot->out.write(reinterpret_cast<const char*>(f.data.data()), static_cast<std::streamsize>(take));
        slot->remaining -= take;
        if (rec != files_.end()) rec->second.received += take;
    }
    if (slot->remaining == 0 && slot->out.is_open()) {
        slot->out.close();
        if (rec != files_.end()) rec->second.complete = true;
        // A picture of type 5 in the card's own folder is shown at once.
        if (slot->file_type == kShownFileType && slot->card_path.find('\\') == std::string::npos) {
            display_.on_shown_file(slot->card_path);
            screen_changed();
        }
    }
}

}  // namespace sim
