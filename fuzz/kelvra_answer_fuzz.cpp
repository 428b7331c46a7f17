// Kelvra's handling of a card's answer, for every command that reads one: the information and
// extended information requests (0xC2, 0xDA), GetIOState (0xCE), the upgrade announcement (0xC1) and
// the status texts of ProcRevMsg and NetReceiveDataInfoPro. The first input byte picks the card id the
// caller asked; the rest is what came back.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

#include "common/card_info.h"
#include "common/frame.h"
#include "library/protocol/card_commands.h"
#include "library/protocol/file_transfer.h"
#include "library/protocol/transport.h"
#include "fuzz/require.h"

namespace {

constexpr std::array<std::string_view, 4> kAskedIds = {"S730-413-05862", "A901-200-00001", "",
                                                       "S730-413-05862-LONGER-ID"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view id = kAskedIds[data[0] % kAskedIds.size()];
    const std::span<const std::uint8_t> reply(data + 1, size - 1);

    for (const auto& [answer, block] : {std::pair{frame::ANS_CARD_INFO, card_info::kBlockSize},
                                        std::pair{frame::ANS_CARD_MORE_INFO, card_info::kMoreBlockSize}}) {
        std::array<std::uint8_t, card_info::kBlockSize> out{};
        const auto n = kelvra::copy_info_answer(reply, answer, id, std::span(out).first(block));
        FUZZ_REQUIRE(n <= block);
        if (n > 0) FUZZ_REQUIRE(kelvra::checked_answer(reply, answer, id).has_value());
    }

    const auto io = kelvra::io_state_from_answer(reply, id);
    FUZZ_REQUIRE(io.answered || io.result == kelvra::kGetIoNoAnswer);

    if (const auto up = kelvra::upgrade_answer(reply, id)) {
        FUZZ_REQUIRE(up->text.size() <= reply.size());
        FUZZ_REQUIRE(up->text.find('\0') == std::string_view::npos);
    }

    // The status texts: the head is the frame's first bytes, the text what follows the header.
    const std::size_t head = std::min<std::size_t>(reply.size(), frame::kHeaderSize);
    const std::string_view text(reinterpret_cast<const char*>(reply.data()) + head, reply.size() - head);
    for (const int mode : {0, 1, 3}) {
        const int r = kelvra::proc_rev_msg({reply.first(head), text}, mode);
        FUZZ_REQUIRE(r == -1 || r == 0 || (r >= 41 && r <= 43));
    }
    FUZZ_REQUIRE(kelvra::net_receive_data_info_pro(text) == (text == "Success!" ? 0 : 1));
    return 0;
}
