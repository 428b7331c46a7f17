#include "library/protocol/card_commands.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/display_blocks.h"
#include "common/card_info.h"
#include "common/frame.h"
#include "common/screen_control.h"
#include "library/protocol/library_state.h"
#include "library/protocol/timeouts.h"
#include "library/protocol/transport.h"
#include "platform/socket_io.h"

namespace kelvra {
namespace {

constexpr std::size_t kIoAnswerWords = 16;  // w0..w3

std::vector<std::uint8_t> words(std::initializer_list<std::uint32_t> ws, std::size_t size_bytes) {
    std::vector<std::uint8_t> out(size_bytes, 0);
    std::size_t at = 0;
    for (const std::uint32_t w : ws) {
        frame::put_u32le(out.data() + at, w);
        at += 4;
    }
    return out;
}

int send(std::uint8_t command, std::string_view id, std::string_view ip, ProtoType proto_type,
         std::vector<std::uint8_t> data = {}) {
    CommandBlock block = CommandBlock::make(command, id, 0, std::move(data));
    return SendCommand(CardAddress::make(proto_type, ip), nullptr, &block);
}

void copy_field(std::span<char> out, std::string_view text) {
    if (out.empty()) return;
    std::fill(out.begin(), out.end(), '\0');
    const std::size_t n = std::min({text.size(), out.size() - 1, kCardTextSize - 1});
    std::copy_n(text.begin(), n, out.begin());
}

// One card-information request over its own TCP connection. The answer is read until its frame is
// complete, the card closes, or the answer wait (timeouts().answer, in total) ends; it is used only
// when it is a well-formed `answer` frame from this card with a right check byte.
int card_info_request(std::uint8_t command, std::uint8_t answer, std::string_view id, std::string_view ip,
                      std::span<std::uint8_t> out) {
    const Timeouts t = timeouts();
    Socket s = connect_tcp(ip, frame::kCommandPort, t.connect);
    if (!s.valid() || out.empty()) return 0;
    frame::Packet p;
    p.command = command;
    p.card_id = std::string(id.substr(0, frame::kIdFieldSize));
    p.data.assign(4, 0);
    const auto bytes = frame::encode_fixed(p);
    trace_frame(TraceDirection::Sent, bytes.data(), bytes.size());
    if (!socket_io::send_all(s.fd(), bytes)) return 0;
    // A card's answer holds at most 2048 data bytes (the fixed form).
    const auto reply = read_answer(s.fd(), frame::kHeaderSize + frame::kMaxFixedData + 1,
                                   std::chrono::steady_clock::now() + t.answer);
    copy_info_answer(reply, answer, id, out);
    return 0;
}

int discover(ProtoType proto_type) {
    if (!discovery_try_begin()) return KELVRA_DISCOVERY_RUNNING;
    CommandBlock block = CommandBlock::make(frame::CMD_DISCOVER, frame::kBroadcastId, 0);
    const int r = SendCommand(CardAddress::make(proto_type, kBroadcastAddressText), nullptr, &block);
    if (r != kOk) discovery_end();  // nothing was started, so nothing would ever clear it
    return r;
}

}  // namespace

int select_program_play(std::string_view id, std::string_view ip, ProtoType proto_type,
                        std::int32_t program) {
    return send(frame::CMD_SELECT_PROGRAM, id, ip, proto_type,
                words({static_cast<std::uint32_t>(program)}, 4));
}

int reset_card(std::string_view id, std::string_view ip, ProtoType proto_type) {
    return send(frame::CMD_RESET_CARD, id, ip, proto_type);
}

int adjust_clock(std::string_view id, std::string_view ip, const std::array<std::int32_t, 7>& c,
                 ProtoType proto_type) {
    std::vector<std::uint8_t> data;
    data = words(
        {static_cast<std::uint32_t>(c[0]), static_cast<std::uint32_t>(c[1]), static_cast<std::uint32_t>(c[2]),
         static_cast<std::uint32_t>(c[3]), static_cast<std::uint32_t>(c[4]), static_cast<std::uint32_t>(c[5]),
         static_cast<std::uint32_t>(c[6])},
        28);
    return send(frame::CMD_SET_CLOCK, id, ip, proto_type, std::move(data));
}

namespace {

std::vector<std::uint8_t> block_bytes(const screen_control::Words& w) {
    const auto bytes = screen_control::encode(w);
    return {bytes.begin(), bytes.end()};
}

}  // namespace

int set_led_screen_light(std::string_view id, std::string_view ip, std::int32_t brightness,
                         ProtoType proto_type) {
    // The short form cards take for brightness: 12 bytes, the value in words 1 and 2.
    const auto v = static_cast<std::uint32_t>(brightness);
    return send(frame::CMD_SCREEN_CONTROL, id, ip, proto_type,
                words({static_cast<std::uint32_t>(screen_control::Sub::Brightness), v, v}, 12));
}

int test_led_module(std::string_view id, std::string_view ip, const ModuleTest& t, ProtoType proto_type) {
    const std::uint32_t colour = t.red + t.green * 256u + t.blue * 65536u;
    const auto w = screen_control::make_test(
        screen_control::TestOp::ModuleTest,
        {static_cast<std::uint32_t>(t.values[0]), static_cast<std::uint32_t>(t.values[1]),
         static_cast<std::uint32_t>(t.values[2]), colour, static_cast<std::uint32_t>(t.extra[0]),
         static_cast<std::uint32_t>(t.extra[1])});
    return send(frame::CMD_SCREEN_CONTROL, id, ip, proto_type, block_bytes(w));
}

int stop_test(std::string_view id, std::string_view ip, ProtoType proto_type) {
    return send(frame::CMD_SCREEN_CONTROL, id, ip, proto_type,
                block_bytes(screen_control::make_test(screen_control::TestOp::Stop)));
}

int set_io_state(std::string_view id, std::string_view ip, ProtoType proto_type, std::int32_t line,
                 std::int32_t state) {
    return send(frame::CMD_SET_IO, id, ip, proto_type,
                words({static_cast<std::uint32_t>(line), state > 0 ? 1u : 0u}, 8));
}

IoState get_io_state(std::string_view id, std::string_view ip, ProtoType proto_type, std::int32_t line) {
    IoState out;
    if (const auto route = route_of(proto_type); route && route->link == Link::Broadcast) {
        out.result = kGetIoBroadcast;
        return out;
    }
    // Run in the caller's thread; a type that is already synchronous stays as it is. The answer comes
    // back to this call alone, never through the library-wide buffer that other callers use.
    const ProtoType sync_type = in_caller_thread(proto_type);
    CommandBlock block =
        CommandBlock::make(frame::CMD_GET_IO, id, 0, words({static_cast<std::uint32_t>(line)}, 4));
    std::vector<std::uint8_t> reply;
    const int r = SendCommandForAnswer(CardAddress::make(sync_type, ip), &block, reply);
    if (r != kOk) {
        out.result = r;
        return out;
    }
    return io_state_from_answer(reply, id);
}

IoState io_state_from_answer(std::span<const std::uint8_t> reply, std::string_view id) {
    IoState out;
    const auto answer = checked_answer(reply, frame::ANS_GET_IO, id);
    if (!answer || answer->data.size() < kIoAnswerWords) {
        out.result = kGetIoNoAnswer;
        return out;
    }
    const std::uint8_t* w = answer->data.data();
    out.answered = true;
    out.first = static_cast<std::int32_t>(frame::get_u32le(w + 12));
    out.second = static_cast<std::int32_t>(frame::get_u32le(w + 8));
    out.result = static_cast<int>(frame::get_u32le(w + 4));
    return out;
}

std::size_t copy_info_answer(std::span<const std::uint8_t> reply, std::uint8_t answer, std::string_view id,
                             std::span<std::uint8_t> out) {
    const auto checked = checked_answer(reply, answer, id);
    if (!checked) return 0;
    const std::size_t n = std::min(checked->data.size(), out.size());
    std::copy_n(checked->data.begin(), n, out.begin());
    return n;
}

int get_card_info(std::string_view id, std::string_view ip, std::span<std::uint8_t> out) {
    return card_info_request(frame::CMD_GET_CARD_INFO, frame::ANS_CARD_INFO, id, ip,
                             out.first(std::min(out.size(), card_info::kBlockSize)));
}

int get_card_more_info(std::string_view id, std::string_view ip, std::span<std::uint8_t> out) {
    return card_info_request(frame::CMD_GET_CARD_MORE_INFO, frame::ANS_CARD_MORE_INFO, id, ip,
                             out.first(std::min(out.size(), card_info::kMoreBlockSize)));
}

int loop_check() {
    return discover(ProtoType::Broadcast);
}

int discover_at(std::string_view address, std::chrono::milliseconds time) {
    const std::string to = address.empty() ? std::string("255.255.255.255") : std::string(address);
    in_addr parsed{};
    if (to.size() > 15 || inet_pton(AF_INET, to.c_str(), &parsed) != 1) return KELVRA_DISCOVERY_BAD_REQUEST;
    if (time < std::chrono::milliseconds(1) || time > std::chrono::milliseconds(600000))
        return KELVRA_DISCOVERY_BAD_REQUEST;
    if (!discovery_try_begin()) return KELVRA_DISCOVERY_RUNNING;
    auto job = std::make_unique<SendJob>();
    job->address = CardAddress::make(ProtoType::BroadcastHere, kBroadcastAddressText);
    job->main = CommandBlock::make(frame::CMD_DISCOVER, frame::kBroadcastId, 0);
    job->discovery_to = parsed;
    job->discovery_time = time;
    return SendJobWorker(std::move(job));  // it ends the discovery
}

int broadcast_check_card(int kind) {
    if (kind == 1) return discover(ProtoType::Broadcast);
    if (kind == 2) return discover(ProtoType::SerialBroadcast);
    return kUnknownDiscoveryKind;
}

int load_card_infor(std::span<char> id_out, std::span<char> ip_out, int n) {
    if (n < 1) return 0;
    const CardLookup found = card_table_lookup(n);
    if (!found.card) return found.busy ? -2 : 2;
    copy_field(id_out, found.card->id);
    copy_field(ip_out, found.card->ip);
    return found.busy ? -1 : 1;
}

int connect_card_success_or_faile(std::string_view ip) {
    Socket s = connect_tcp(ip, frame::kCommandPort, timeouts().reachable);
    if (!s.valid()) return 0;
    s.close();
    connected_card_add(ip);
    return 1;
}

int proc_rev_msg(const RevMsg& msg, int mode) {
    if (mode != 1 && mode != 3) return -1;
    if (msg.head.size() < 4 || msg.head[0] != '~' || msg.head[1] != '~' || msg.head[2] != '~') return -1;
    const std::uint8_t command = msg.head[3];
    const bool error = msg.text == "Error!";
    if (command == 0x41 && error) return 41;
    if (command == 0x42 && error) return 42;
    if (command == 0x42 && mode == 3 && msg.text == "Success!") return 0;
    if (command == 0xD1 && error) return 43;
    return -1;
}

int net_receive_data_info_pro(std::string_view text) {
    return text == "Success!" ? 0 : 1;
}

int set_com_param(int port, int baud, int data_bits, int parity, int stop_bits) {
    if (port < 1 || port > 30) return 1;
    if (baud < 100 || baud > 115200) return 2;
    if (data_bits < 4 || data_bits > 8) return 3;
    if (parity < 0 || parity > 4) return 4;
    if (stop_bits < 0 || stop_bits > 2) return 5;
    static constexpr char kParity[] = {'N', 'O', 'E', 'M', 'S'};
    char text[64];
    std::snprintf(text, sizeof text, "%d,%c,%d,%d", baud, kParity[parity], data_bits, stop_bits);
    set_serial_settings(SerialSettings{port, text});
    return 0;
}

int quit_insert_model(std::string_view id, std::string_view ip, ProtoType proto_type) {
    show_message("序列号为:" + std::string(id) + "\r\nIP地址为:" + std::string(ip) + "\r\n协议为" +
                 std::to_string(number_of(proto_type)));
    if (id.size() > 20) {
        show_message("-2");
        return KELVRA_QUIT_ID_TOO_LONG;
    }
    if (ip.size() > 15) return KELVRA_QUIT_IP_TOO_LONG;
    return send(frame::CMD_WINDOW, id, ip, proto_type, display::leave_insert_mode());
}

}  // namespace kelvra
