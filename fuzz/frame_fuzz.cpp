// The card frame decoder and its check bytes, with the blocks carried in answers (information block,
// extended block, file header, screen-control block): any bytes, nothing read outside them, and the
// decoder's promises hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "common/card_info.h"
#include "common/file_header.h"
#include "common/frame.h"
#include "common/screen_control.h"
#include "fuzz/require.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);

    const auto f = frame::decode(bytes);
    FUZZ_REQUIRE(f.has_value() == (size >= frame::kHeaderSize));
    if (f) {
        FUZZ_REQUIRE(f->data.size() <= f->length);
        FUZZ_REQUIRE(f->data.size() == std::min<std::size_t>(f->length, size - frame::kHeaderSize));
        FUZZ_REQUIRE(f->card_id.size() <= frame::kWideIdFieldSize);
    }

    const bool plain = frame::verify_check_byte(bytes, frame::CheckForm::PlainSum);
    const bool complement = frame::verify_check_byte(bytes, frame::CheckForm::Complement);
    const auto checked = frame::decode_checked(bytes);
    if (checked) {
        FUZZ_REQUIRE(checked->lead_in_ok);
        FUZZ_REQUIRE(checked->data.size() == checked->length);
        FUZZ_REQUIRE(plain || complement);
        // The byte after the data is the check byte of the form that matched.
        const auto n = checked->length;
        const auto form = plain ? frame::CheckForm::PlainSum : frame::CheckForm::Complement;
        FUZZ_REQUIRE(frame::check_byte(bytes, n, form) == bytes[frame::kHeaderSize + n]);
    }
    // The check byte never reads past the span, whatever length it is told.
    if (f) (void)frame::check_byte(bytes, f->length, frame::CheckForm::Complement);

    // The blocks answers carry are read from whatever data arrived.
    const auto payload = f ? f->data : bytes;
    const auto info = card_info::decode_card_info(payload);
    FUZZ_REQUIRE(info.card_id.size() <= card_info::kCardIdSize);
    FUZZ_REQUIRE(info.ip_address.size() <= card_info::kMaxAddressText);
    (void)card_info::decode_card_more_info(payload);
    (void)card_info::decode_settings_block(payload);
    if (const auto header = file_header::decode(payload)) {
        FUZZ_REQUIRE(header->folder.size() < file_header::kTextSize + 1);
        FUZZ_REQUIRE(header->file_name.size() < file_header::kTextSize + 1);
        // Decoding what encode wrote gives the same header back.
        const auto again = file_header::decode(file_header::encode(*header));
        FUZZ_REQUIRE(again.has_value());
        FUZZ_REQUIRE(again->file_type == header->file_type && again->file_length == header->file_length);
    }
    const auto words = screen_control::decode(payload);
    (void)screen_control::answered(words);
    return 0;
}
