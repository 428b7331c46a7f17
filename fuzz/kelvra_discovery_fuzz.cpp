// Kelvra's discovery receive path: the datagrams that come back to a broadcast, each either listed as a
// card or passed over, then read back as LoadCardInfor hands them out. The input is several datagrams,
// each a length byte and that many bytes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>

#include "library/protocol/card_commands.h"
#include "library/protocol/library_state.h"
#include "library/protocol/transport.h"
#include "fuzz/require.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kelvra::card_table_clear();
    std::size_t at = 0;
    int listed = 0;
    while (at < size) {
        // A datagram's length: one byte, times 8 when its top bit is set, so full frames fit.
        const std::size_t n = data[at] & 0x80 ? (data[at] & 0x7F) * 8u : data[at];
        ++at;
        const std::size_t take = std::min(n, size - at);
        const std::span<const std::uint8_t> datagram(data + at, take);
        at += take;
        const auto id = kelvra::discovered_card_id(datagram);
        if (!id) continue;
        FUZZ_REQUIRE(id->size() < kelvra::kCardTextSize);
        const std::string ip = "127.0.0." + std::to_string(listed % 250 + 1);
        if (kelvra::card_table_add(*id, ip)) ++listed;
    }
    FUZZ_REQUIRE(kelvra::card_table_count() == static_cast<std::size_t>(listed));
    for (int i = 1; i <= listed + 1; ++i) {
        std::array<char, 20> id_out{};
        std::array<char, 20> ip_out{};
        const int r = kelvra::load_card_infor(id_out, ip_out, i);
        if (i <= listed) {
            FUZZ_REQUIRE(r == 1);
            FUZZ_REQUIRE(std::memchr(id_out.data(), '\0', id_out.size()) != nullptr);
        } else {
            FUZZ_REQUIRE(r == 2);
        }
    }
    return 0;
}
