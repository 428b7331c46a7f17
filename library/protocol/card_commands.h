// Card command exports of Kelvra in C++ form: each builds a command block and a card address and
// hands them to SendCommand; only the card-information requests and the connection check open their
// own TCP connection. c_api.cpp wraps these as the exported C functions.
//
// Threading: all may be called from any thread. GetIOState, the card-information requests and
// ConnectCardSuccessOrFaile block the caller (bounded by timeouts(): connect plus one answer wait).
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "kelvra/kelvra.h"
#include "library/protocol/proto_type.h"

namespace kelvra {

enum CardResult : int {
    kGetIoBroadcast = KELVRA_BROADCAST_NOT_ALLOWED,
    kGetIoNoAnswer = KELVRA_NO_ANSWER,
    kUnknownDiscoveryKind = KELVRA_BAD_PROTO_TYPE,
};

int select_program_play(std::string_view id, std::string_view ip, ProtoType proto_type, std::int32_t program);
int reset_card(std::string_view id, std::string_view ip, ProtoType proto_type);
int adjust_clock(std::string_view id, std::string_view ip, const std::array<std::int32_t, 7>& clock,
                 ProtoType proto_type);
int set_led_screen_light(std::string_view id, std::string_view ip, std::int32_t brightness,
                         ProtoType proto_type);
struct ModuleTest {
    std::array<std::int32_t, 3> values{};
    std::uint8_t red = 0, green = 0, blue = 0;
    std::array<std::int32_t, 2> extra{};
};
int test_led_module(std::string_view id, std::string_view ip, const ModuleTest& test, ProtoType proto_type);
int stop_test(std::string_view id, std::string_view ip, ProtoType proto_type);
int set_io_state(std::string_view id, std::string_view ip, ProtoType proto_type, std::int32_t line,
                 std::int32_t state);
struct IoState {
    int result = 0;
    bool answered = false;    // the words below come from the card's answer
    std::int32_t first = 0;   // w3 of the answer
    std::int32_t second = 0;  // w2 of the answer
};
IoState get_io_state(std::string_view id, std::string_view ip, ProtoType proto_type, std::int32_t line);
// What the bytes received for GetIOState say: the words of a checked 0xCE answer from `id`, else
// kGetIoNoAnswer. Pure; any bytes.
IoState io_state_from_answer(std::span<const std::uint8_t> reply, std::string_view id);

// Copies the data of a checked `answer` frame from `id` in `reply` into `out` (at most out.size()
// bytes) and returns how many; 0 and `out` untouched for anything else. Pure; any bytes.
std::size_t copy_info_answer(std::span<const std::uint8_t> reply, std::uint8_t answer, std::string_view id,
                             std::span<std::uint8_t> out);

// Fills `out` from the card's answer (at most out.size() bytes of its data); returns 0 in every case.
int get_card_info(std::string_view id, std::string_view ip, std::span<std::uint8_t> out);
int get_card_more_info(std::string_view id, std::string_view ip, std::span<std::uint8_t> out);

int loop_check();
// KelvraDiscover: a discovery to `address` (empty: every card) collecting answers for `time`.
int discover_at(std::string_view address, std::chrono::milliseconds time);
int broadcast_check_card(int kind);
// Copies the n-th card's id and IP (20 bytes each, NUL-padded) when the spans are not empty.
int load_card_infor(std::span<char> id_out, std::span<char> ip_out, int n);
int connect_card_success_or_faile(std::string_view ip);

struct RevMsg {
    std::span<const std::uint8_t> head;  // at least the lead-in and command byte
    std::string_view text;
};
int proc_rev_msg(const RevMsg& msg, int mode);
int net_receive_data_info_pro(std::string_view text);
int set_com_param(int port, int baud, int data_bits, int parity, int stop_bits);
int quit_insert_model(std::string_view id, std::string_view ip, ProtoType proto_type);

}  // namespace kelvra
