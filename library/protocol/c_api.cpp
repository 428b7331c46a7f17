// The C ABI of the card commands: converts arguments and results and lets no exception out.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <span>
#include <exception>
#include <string_view>

#include "common/card_info.h"
#include "kelvra/kelvra.h"
#include "library/base/c_boundary.h"
#include "library/protocol/card_commands.h"
#include "library/protocol/library_state.h"

namespace {

using kelvra::boundary::guarded;
using kelvra::boundary::text;

static_assert(offsetof(KelvraRevMsg, command) == 3);
static_assert(offsetof(KelvraRevMsg, card_id) == 4);
static_assert(offsetof(KelvraRevMsg, parameter) == 20);
static_assert(offsetof(KelvraRevMsg, length) == 24);

}  // namespace

extern "C" {

void CallBack(KelvraStatusCallback callback) {
    guarded([&] { kelvra::register_status_callback(callback); });
}

void KelvraSetMessageHandler(KelvraMessageHandler handler, void* user) {
    guarded([&] { kelvra::set_message_handler(handler, user); });
}

void KelvraSetTraceHandler(KelvraTraceHandler handler, void* user) {
    guarded([&] { kelvra::set_trace_handler(handler, user); });
}

int KelvraDiscover(const char* address, uint32_t milliseconds) {
    return guarded(KELVRA_OUT_OF_MEMORY, [&] {
        return kelvra::discover_at(text(address), std::chrono::milliseconds(milliseconds));
    });
}

int SelectProgramPlay(const char* cCardId, const char* cCardIp, int iProtoType, int32_t program) {
    return guarded(KELVRA_OUT_OF_MEMORY, [&] {
        return kelvra::select_program_play(text(cCardId), text(cCardIp), kelvra::proto_type_of(iProtoType),
                                           program);
    });
}

int ResetCard(const char* cCardId, const char* cCardIp, int iProtoType) {
    return guarded(KELVRA_OUT_OF_MEMORY, [&] {
        return kelvra::reset_card(text(cCardId), text(cCardIp), kelvra::proto_type_of(iProtoType));
    });
}

int AdjustClock(const char* cCardId, const char* cCardIp, int32_t v1, int32_t v2, int32_t v3, int32_t v4,
                int32_t v5, int32_t v6, int32_t v7, int iProtoType) {
    return guarded(KELVRA_OUT_OF_MEMORY, [&] {
        return kelvra::adjust_clock(text(cCardId), text(cCardIp), {v1, v2, v3, v4, v5, v6, v7},
                                    kelvra::proto_type_of(iProtoType));
    });
}

int SetLedScreenLight(const char* cCardId, const char* cCardIp, int32_t brightness, int iProtoType) {
    return guarded(KELVRA_OUT_OF_MEMORY, [&] {
        return kelvra::set_led_screen_light(text(cCardId), text(cCardIp), brightness,
                                            kelvra::proto_type_of(iProtoType));
    });
}

int TestLedModule(const char* cCardId, const char* cCardIp, int32_t t1, int32_t t2, int32_t t3, uint8_t red,
                  uint8_t green, uint8_t blue, int32_t e1, int32_t e2, int iProtoType) {
    return guarded(KELVRA_OUT_OF_MEMORY, [&] {
        kelvra::ModuleTest t;
        t.values = {t1, t2, t3};
        t.red = red;
        t.green = green;
        t.blue = blue;
        t.extra = {e1, e2};
        return kelvra::test_led_module(text(cCardId), text(cCardIp), t, kelvra::proto_type_of(iProtoType));
    });
}

int StopTest(const char* cCardId, const char* cCardIp, int iProtoType) {
    return guarded(KELVRA_OUT_OF_MEMORY, [&] {
        return kelvra::stop_test(text(cCardId), text(cCardIp), kelvra::proto_type_of(iProtoType));
    });
}

int SetIOState(const char* cCardId, const char* cCardIp, int iProtoType, int /*unused*/, int32_t line,
               int32_t state) {
    return guarded(KELVRA_OUT_OF_MEMORY, [&] {
        return kelvra::set_io_state(text(cCardId), text(cCardIp), kelvra::proto_type_of(iProtoType), line,
                                    state);
    });
}

int GetIOState(const char* cCardId, const char* cCardIp, int iProtoType, int /*unused*/, int32_t line,
               int32_t* first, int32_t* second) {
    return guarded(KELVRA_OUT_OF_MEMORY, [&] {
        const auto r =
            kelvra::get_io_state(text(cCardId), text(cCardIp), kelvra::proto_type_of(iProtoType), line);
        if (r.answered && first != nullptr) *first = r.first;
        if (r.answered && second != nullptr) *second = r.second;
        return r.result;
    });
}

// The public sizes name the blocks common/ defines.
static_assert(KELVRA_CARD_INFO_SIZE == card_info::kBlockSize);
static_assert(KELVRA_CARD_MORE_INFO_SIZE == card_info::kMoreBlockSize);

int GetCardInfoByTcp(const char* cCardId, const char* cCardIp, unsigned char* result) {
    if (result == nullptr) return 0;
    return guarded(0, [&] {
        return kelvra::get_card_info(text(cCardId), text(cCardIp), std::span(result, card_info::kBlockSize));
    });
}

int GetCardMoreInfoByTcp(const char* cCardId, const char* cCardIp, unsigned char* result) {
    if (result == nullptr) return 0;
    return guarded(0, [&] {
        return kelvra::get_card_more_info(text(cCardId), text(cCardIp),
                                          std::span(result, card_info::kMoreBlockSize));
    });
}

int LoopCheck(void) {
    return guarded(KELVRA_OUT_OF_MEMORY, [] { return kelvra::loop_check(); });
}

int BroadcastCheckCard(int kind) {
    return guarded(KELVRA_OUT_OF_MEMORY, [&] { return kelvra::broadcast_check_card(kind); });
}

int LoadCardInfor(char* id, char* ip, int n) {
    return guarded(KELVRA_OUT_OF_MEMORY, [&] {
        std::span<char> id_out = id != nullptr ? std::span(id, kelvra::kCardTextSize) : std::span<char>();
        std::span<char> ip_out = ip != nullptr ? std::span(ip, kelvra::kCardTextSize) : std::span<char>();
        return kelvra::load_card_infor(id_out, ip_out, n);
    });
}

int ConnectCardSuccessOrFaile(const char* cCardIp) {
    return guarded(0, [&] { return kelvra::connect_card_success_or_faile(text(cCardIp)); });
}

int ProcRevMsg(const KelvraRevMsg* msg, int /*unused*/, int mode) {
    if (msg == nullptr) return -1;
    return guarded(-1, [&] {
        kelvra::RevMsg m;
        m.head = std::span(reinterpret_cast<const std::uint8_t*>(msg), 4);
        // Only a short prefix can match a known answer text, so never read further than that.
        constexpr std::size_t kLongestText = sizeof "Success!";
        const std::size_t len =
            msg->text != nullptr ? strnlen(msg->text, std::min<std::size_t>(msg->length, kLongestText)) : 0;
        m.text = std::string_view(msg->text != nullptr ? msg->text : "", len);
        return kelvra::proc_rev_msg(m, mode);
    });
}

int NetReceiveDataInfoPro(const char* answer) {
    return guarded(1, [&] { return kelvra::net_receive_data_info_pro(text(answer)); });
}

int SetComParam(int port, int baud, int data_bits, int parity, int stop_bits) {
    return guarded(KELVRA_OUT_OF_MEMORY,
                   [&] { return kelvra::set_com_param(port, baud, data_bits, parity, stop_bits); });
}

int QuitInsertModel(const char* cCardId, const char* cCardIp, int iProtoType) {
    return guarded(KELVRA_OUT_OF_MEMORY, [&] {
        return kelvra::quit_insert_model(text(cCardId), text(cCardIp), kelvra::proto_type_of(iProtoType));
    });
}

}  // extern "C"
