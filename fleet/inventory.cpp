#include "fleet/inventory.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <mutex>
#include <set>
#include <thread>

#include "common/bytes.h"
#include "common/frame.h"
#include "fleet/digest.h"
#include "screenconfig/screen_params.h"

namespace fleet {
namespace {

using Clock = std::chrono::steady_clock;
using screenconfig::ParamsField;

constexpr std::size_t kTextLength = 32;
constexpr std::string_view kTextData = "255.0.0.0";

// A request as the desktop program sends it: the text NUL-terminated in a 32-byte field, the wide id.
std::vector<std::uint8_t> text_frame(std::uint8_t command, std::string_view id, frame::CheckForm form) {
    frame::Packet p;
    p.command = command;
    p.card_id = std::string(id);
    p.wide_id = true;
    p.data.assign(kTextLength, 0);
    std::copy(kTextData.begin(), kTextData.end(), p.data.begin());
    return frame::encode_exact(p, form);
}

class Udp {
  public:
    Udp() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
    ~Udp() {
        if (fd_ >= 0) ::close(fd_);
    }
    Udp(const Udp&) = delete;
    Udp& operator=(const Udp&) = delete;
    int fd() const { return fd_; }

  private:
    int fd_;
};

bool send_pair(int fd, const sockaddr_in& to) {
    bool sent = false;
    for (const auto form : {frame::CheckForm::PlainSum, frame::CheckForm::Complement}) {
        const auto bytes = text_frame(frame::CMD_DISCOVER, frame::kBroadcastId, form);
        sent |= ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                         sizeof to) == static_cast<ssize_t>(bytes.size());
    }
    return sent;
}

}  // namespace

Discovery discover(const std::string& address, std::chrono::milliseconds time) {
    Discovery result;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(frame::kDiscoveryPort);
    if (::inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1) return result;
    Udp udp;
    if (udp.fd() < 0) return result;
    const int on = 1;
    // Hundreds of answers arrive at once: as much room for them as the system gives.
    const int room = 8 << 20;
    ::setsockopt(udp.fd(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    ::setsockopt(udp.fd(), SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    if (::bind(udp.fd(), reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) return result;
    if (!send_pair(udp.fd(), to)) return result;
    result.socket_opened = true;

    std::set<std::string> known;
    const auto start = Clock::now();
    const auto end = start + time;
    int repeats_sent = 0;
    std::uint8_t buffer[2048];
    for (auto now = start; now < end; now = Clock::now()) {
        if (repeats_sent < 2 && now >= start + time * (repeats_sent + 1) / 3) {
            send_pair(udp.fd(), to);
            ++repeats_sent;
        }
        pollfd p{udp.fd(), POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count();
        if (::poll(&p, 1, static_cast<int>(std::clamp<long long>(left, 1, 20))) <= 0) continue;
        sockaddr_in from{};
        socklen_t from_size = sizeof from;
        const ssize_t n = ::recvfrom(udp.fd(), buffer, sizeof buffer, MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&from), &from_size);
        if (n <= 0) continue;
        const auto frame = frame::decode(std::span(buffer, static_cast<std::size_t>(n)));
        if (!frame || !frame->lead_in_ok || frame->command != frame::ANS_DISCOVER) continue;
        if (frame->card_id.empty() || frame->card_id == frame::kBroadcastId) continue;
        if (!known.insert(frame->card_id).second) continue;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        result.cards.push_back({frame->card_id, text});
    }
    return result;
}

CardReading read_card(const FoundCard& card, const ReadSettings& settings) {
    CardReading reading;
    reading.card = card;
    platform::TcpStream stream;
    if (!stream.open(card.address, frame::kCommandPort, settings.timeouts)) return reading;
    reading.status = ReadStatus::NoAnswer;
    if (!stream.send_all(text_frame(frame::CMD_GET_CARD_INFO, card.id, frame::check_form_for_id(card.id))))
        return reading;
    // The answer comes in any of the three forms; its first 28 + n + 1 bytes are the frame in each.
    std::vector<std::uint8_t> answer;
    const auto deadline = Clock::now() + settings.answer;
    std::uint8_t piece[4096];
    while (true) {
        const auto decoded = frame::decode(answer);
        if (decoded && decoded->length <= frame::kMaxFixedData &&
            answer.size() >= frame::kHeaderSize + decoded->length + 1)
            break;
        if (answer.size() > frame::kFixedBlockSize) return reading;
        const long n = stream.receive_some(piece, deadline);
        if (n <= 0) return reading;
        answer.insert(answer.end(), piece, piece + n);
    }
    const auto checked = frame::decode_checked(answer);
    if (!checked || checked->command != frame::ANS_CARD_INFO || checked->data.size() < card_info::kBlockSize)
        return reading;
    std::copy_n(checked->data.begin(), card_info::kBlockSize, reading.block.begin());
    reading.info = card_info::decode_card_info(reading.block);
    reading.status = checked->card_id == card.id ? ReadStatus::Read : ReadStatus::OtherCard;
    return reading;
}

std::vector<CardReading> read_cards(const std::vector<FoundCard>& cards, const ReadSettings& settings,
                                    const std::function<void(const CardReading&)>& done) {
    std::vector<CardReading> readings(cards.size());
    std::atomic<std::size_t> next{0};
    std::mutex report;
    const auto work = [&] {
        for (std::size_t i = next++; i < cards.size(); i = next++) {
            readings[i] = read_card(cards[i], settings);
            if (done) {
                const std::lock_guard lock(report);
                done(readings[i]);
            }
        }
    };
    const std::size_t workers =
        std::clamp<std::size_t>(settings.parallel, 1, std::max<std::size_t>(cards.size(), 1));
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < workers; ++i) threads.emplace_back(work);
    for (auto& t : threads) t.join();
    return readings;
}

std::string settings_digest(const std::array<std::uint8_t, card_info::kBlockSize>& block) {
    return sha256_hex(std::span(block).subspan(card_info::kSettingsOffset,
                                               card_info::kClockOffset - card_info::kSettingsOffset));
}

std::string version_text(std::uint32_t word) {
    char text[16];
    std::snprintf(text, sizeof text, "V%X.%X", word >> 16, word & 0xFFFF);
    return text;
}

std::optional<std::uint32_t> parse_version(const std::string& text) {
    std::string_view t = text;
    if (!t.empty() && (t.front() == 'V' || t.front() == 'v')) t.remove_prefix(1);
    const auto dot = t.find('.');
    // Each half is 1 to 4 hexadecimal digits.
    if (dot == std::string_view::npos || dot == 0 || dot > 4 || t.size() - dot - 1 == 0 ||
        t.size() - dot - 1 > 4)
        return std::nullopt;
    for (std::size_t i = 0; i < t.size(); ++i)
        if (i != dot && !std::isxdigit(static_cast<unsigned char>(t[i]))) return std::nullopt;
    const auto high = std::stoul(std::string(t.substr(0, dot)), nullptr, 16);
    const auto low = std::stoul(std::string(t.substr(dot + 1)), nullptr, 16);
    return static_cast<std::uint32_t>(high << 16 | low);
}

std::vector<ModuleField> module_fields(const card_info::CardInfo& info) {
    static constexpr std::pair<const char*, ParamsField> kFields[] = {
        {"hub_type", ParamsField::hubType},           {"decode_type", ParamsField::decodeType},
        {"data_polarity", ParamsField::dataPolarity}, {"oe_polarity", ParamsField::oePolarity},
        {"colour_order", ParamsField::colourOrder},   {"line_group", ParamsField::lineGroup},
        {"scan_code", ParamsField::scanCode},         {"line_interval", ParamsField::lineInterval},
        {"decode_order", ParamsField::decodeOrder},   {"decode_word_a", ParamsField::decodeWordA},
        {"decode_word_b", ParamsField::decodeWordB},  {"point_flags", ParamsField::pointFlags},
    };
    // The block holds the record from its byte 8 on.
    constexpr std::size_t kFirst = static_cast<std::size_t>(ParamsField::hubType);
    static_assert(static_cast<std::size_t>(ParamsField::pointFlags) + 4 - kFirst <=
                  card_info::kScreenParamsSize);
    std::vector<ModuleField> fields;
    for (const auto& [name, field] : kFields)
        fields.push_back(
            {name, bytes::get_u32le(info.screen_params.data() + static_cast<std::size_t>(field) - kFirst)});
    return fields;
}

std::string module_summary(const card_info::CardInfo& info) {
    std::uint32_t scan = 0, hub = 0, decode = 0, colour = 0;
    for (const auto& f : module_fields(info)) {
        const std::string_view name = f.name;
        if (name == "scan_code") scan = f.value;
        if (name == "hub_type") hub = f.value;
        if (name == "decode_type") decode = f.value;
        if (name == "colour_order") colour = f.value;
    }
    return "scan " + std::to_string(scan) + ", hub " + std::to_string(hub) + ", decode " +
           std::to_string(decode) + ", colour " + std::to_string(colour);
}

}  // namespace fleet
