// The simulator's TCP receive path: a byte stream cut into pieces, reassembled into frames, each checked
// and handled by a card (file headers and file data included). Whatever the stream says, nothing is
// written outside the card's folder: after each input the folder above it holds only the card's
// folder, and every stored file's path lies below it.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "common/frame.h"
#include "simulator/card_model.h"
#include "simulator/stream_reassembler.h"
#include "fuzz/require.h"

namespace fs = std::filesystem;

namespace {

fs::path g_base;  // <base>/cards/<card id>: the card's folder and the two levels above it
fs::path g_cards;
fs::path g_card;
constexpr const char* kCardId = "S730-413-05862";

bool lies_below(const fs::path& path, const fs::path& folder) {
    const auto rel = path.lexically_normal().lexically_relative(folder.lexically_normal());
    return !rel.empty() && *rel.begin() != "..";
}

void only_the_card_folder_is_there() {
    for (const auto& e : fs::directory_iterator(g_base)) FUZZ_REQUIRE(e.path() == g_cards);
    for (const auto& e : fs::directory_iterator(g_cards)) FUZZ_REQUIRE(e.path() == g_card);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/sim_stream_fuzz.XXXXXX";
    if (::mkdtemp(pattern) == nullptr) std::abort();
    g_base = pattern;
    g_cards = g_base / "cards";
    g_card = g_cards / kCardId;
    fs::create_directories(g_card);
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(g_base, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte sets the size of the pieces TCP delivers (1 to 256 bytes).
    const std::size_t piece = static_cast<std::size_t>(data[0]) + 1;
    const std::span<const std::uint8_t> stream(data + 1, size - 1);

    sim::CardConfig config;
    config.id = kCardId;
    config.address = "127.0.0.2";
    sim::CardModel card(config, g_card, std::chrono::steady_clock::now());
    sim::StreamReassembler reassembler;
    std::optional<sim::IncomingFile> slot;

    std::size_t fed = 0;
    std::size_t taken = 0;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        const auto part = stream.subspan(at, std::min(piece, stream.size() - at));
        reassembler.feed(part);
        fed += part.size();
        while (auto bytes = reassembler.next()) {
            const auto f = frame::decode(*bytes);
            FUZZ_REQUIRE(f.has_value());
            FUZZ_REQUIRE(f->lead_in_ok);
            FUZZ_REQUIRE(bytes->size() == frame::kHeaderSize + f->length + 1);
            taken += bytes->size();
            const std::string id(f->card_id.substr(0, frame::kIdFieldSize));
            if (!card.check(*bytes, id).accepted) continue;
            (void)card.handle(*f, slot, 0);
        }
        FUZZ_REQUIRE(taken + reassembler.pending() <= fed);
    }
    if (slot) card.abandon(*slot);

    for (const auto& file : card.stored_files()) FUZZ_REQUIRE(lies_below(file.local_path, g_card));
    only_the_card_folder_is_there();
    // The next input starts from an empty card folder.
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(g_card, ec)) fs::remove_all(e.path(), ec);
    return 0;
}
