#include "common/frame.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using frame::CheckForm;
using Bytes = std::vector<std::uint8_t>;

frame::Packet discovery(std::vector<std::uint8_t> data = {}) {
    return frame::Packet{frame::CMD_DISCOVER, "Broadcast!", 0, std::move(data)};
}

Bytes text_field(const char* text, std::size_t size) {
    Bytes out(size, 0);
    std::memcpy(out.data(), text, std::strlen(text));
    return out;
}

TEST(FrameCheckForm, ByFirstLetterOfId) {
    struct Case {
        const char* id;
        CheckForm form;
    };
    const Case cases[] = {
        {"S730-413-05862", CheckForm::PlainSum},
        {"s730", CheckForm::PlainSum},
        {"P100-000-00001", CheckForm::PlainSum},
        {"x1", CheckForm::PlainSum},
        {"X1", CheckForm::PlainSum},
        {"A901-200-00001", CheckForm::Complement},
        {"Broadcast!", CheckForm::Complement},
        {"", CheckForm::Complement},
        {"7S", CheckForm::Complement},
    };
    for (const auto& c : cases) EXPECT_EQ(frame::check_form_for_id(c.id), c.form) << c.id;
}

TEST(FrameEncode, EmptyDiscoveryStreamFormIsExact32Bytes) {
    const Bytes expected = {0x7E, 0x7E, 0x7E, 0x90, 'B', 'r', 'o', 'a', 'd', 'c', 'a', 's', 't',  '!', 0, 0,
                            0,    0,    0,    0,    0,   0,   0,   0,   0,   0,   0,   0,   0x44, 0,   0, 0};
    EXPECT_EQ(frame::encode_stream(discovery(), CheckForm::PlainSum), expected);
    Bytes complemented = expected;
    complemented[28] = 0xBB;
    EXPECT_EQ(frame::encode_stream(discovery(), CheckForm::Complement), complemented);
}

TEST(FrameEncode, VantorDiscoveryWithMaskTextIs61BytesInBothForms) {
    const auto p = discovery(text_field("255.0.0.0", 32));
    const Bytes plain = frame::encode_exact(p, CheckForm::PlainSum);
    const Bytes compl_ = frame::encode_exact(p, CheckForm::Complement);
    ASSERT_EQ(plain.size(), 61u);
    ASSERT_EQ(compl_.size(), 61u);
    EXPECT_EQ(plain[60], 0x1A);
    EXPECT_EQ(compl_[60], 0xE5);
    EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + 60, compl_.begin()));
    // length field and data
    EXPECT_EQ(Bytes(plain.begin() + 24, plain.begin() + 28), (Bytes{32, 0, 0, 0}));
    EXPECT_EQ(Bytes(plain.begin() + 28, plain.begin() + 37),
              Bytes({'2', '5', '5', '.', '0', '.', '0', '.', '0'}));
}

TEST(FrameEncode, SixteenCharIdFillsFieldWithoutNul) {
    const frame::Packet p{frame::CMD_GET_CARD_INFO, "ABCDEFGHIJKLMNOPQRS", 0x04030201, {}};
    const Bytes out = frame::encode_stream(p);
    EXPECT_EQ(std::string(out.begin() + 4, out.begin() + 20), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(Bytes(out.begin() + 20, out.begin() + 24), (Bytes{1, 2, 3, 4}));  // id cut, parameter intact
    const frame::Packet shorter{frame::CMD_GET_CARD_INFO, "S1", 0, {}};
    const Bytes out2 = frame::encode_stream(shorter);
    EXPECT_EQ(Bytes(out2.begin() + 6, out2.begin() + 20), Bytes(14, 0));
}

// Vantor's frames carry the id in the whole 20-byte field (bytes 4..23), where it also reads ids: an
// 18-character id leaves whole, NUL-padded; a short one leaves bytes 20..23 zero.
TEST(FrameEncode, WideIdFillsTwentyBytes) {
    frame::Packet p{frame::CMD_SCREEN_CONTROL, "ABCDEFGHIJKLMNOPQR", 0, {0x55}};
    p.wide_id = true;
    const Bytes out = frame::encode_exact(p, CheckForm::Complement);
    ASSERT_EQ(out.size(), 30u);
    EXPECT_EQ(Bytes(out.begin() + 4, out.begin() + 24), text_field("ABCDEFGHIJKLMNOPQR", 20));
    EXPECT_TRUE(frame::verify_check_byte(out, CheckForm::Complement));
    const auto back = frame::decode(out);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->card_id, "ABCDEFGHIJKLMNOPQR");

    p.card_id = "ABCDEFGHIJKLMNOPQRSTUVW";  // more than 20: the field holds 20, without a NUL
    const Bytes longer = frame::encode_exact(p);
    EXPECT_EQ(std::string(longer.begin() + 4, longer.begin() + 24), "ABCDEFGHIJKLMNOPQRST");
    p.card_id = "S1";
    const Bytes short_id = frame::encode_exact(p);
    EXPECT_EQ(Bytes(short_id.begin() + 4, short_id.begin() + 24), text_field("S1", 20));
}

TEST(FrameEncode, FormSizes) {
    struct Case {
        std::size_t n;
        std::size_t stream, fixed, exact;
        bool zero_block;
    };
    const Case cases[] = {
        {0, 32, 2080, 29, false},        {408, 440, 2080, 437, false},   {2000, 2032, 2080, 2029, false},
        {2048, 2080, 2080, 2077, false}, {2049, 2081, 2080, 2080, true},
    };
    for (const auto& c : cases) {
        const frame::Packet p{frame::CMD_SCREEN_CONTROL, "S730-413-05862", 0, Bytes(c.n, 0x5A)};
        const auto stream = frame::encode_stream(p);
        const auto fixed = frame::encode_fixed(p);
        const auto exact = frame::encode_exact(p);
        EXPECT_EQ(stream.size(), c.stream) << c.n;
        EXPECT_EQ(fixed.size(), c.fixed) << c.n;
        EXPECT_EQ(exact.size(), c.exact) << c.n;
        const bool fixed_zero = std::all_of(fixed.begin(), fixed.end(), [](auto b) { return b == 0; });
        const bool exact_zero = std::all_of(exact.begin(), exact.end(), [](auto b) { return b == 0; });
        EXPECT_EQ(fixed_zero, c.zero_block) << c.n;
        EXPECT_EQ(exact_zero, c.zero_block) << c.n;
        if (!c.zero_block) {
            // The three forms carry the same packet.
            EXPECT_TRUE(std::equal(exact.begin(), exact.end(), stream.begin()));
            EXPECT_TRUE(std::equal(exact.begin(), exact.end(), fixed.begin()));
            EXPECT_TRUE(
                std::all_of(fixed.begin() + exact.size(), fixed.end(), [](auto b) { return b == 0; }));
            EXPECT_TRUE(frame::verify_check_byte(exact, CheckForm::PlainSum));
        }
        EXPECT_TRUE(std::all_of(stream.end() - 3, stream.end(), [](auto b) { return b == 0; }));
    }
}

TEST(FrameDecode, RoundTripAndBounds) {
    const frame::Packet p{frame::CMD_SAVE_SETTINGS, "A901-200-00001", 7, Bytes{1, 2, 3, 4, 5}};
    const Bytes wire = frame::encode_exact(p, CheckForm::Complement);
    auto r = frame::decode(wire);
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->lead_in_ok);
    EXPECT_EQ(r->command, frame::CMD_SAVE_SETTINGS);
    EXPECT_EQ(r->card_id, "A901-200-00001");
    EXPECT_EQ(r->parameter, 7u);
    EXPECT_EQ(r->length, 5u);
    EXPECT_EQ(Bytes(r->data.begin(), r->data.end()), p.data);
    EXPECT_TRUE(frame::verify_check_byte(wire, CheckForm::Complement));
    EXPECT_FALSE(frame::verify_check_byte(wire, CheckForm::PlainSum));

    // 27 bytes: no header.
    EXPECT_FALSE(frame::decode(std::span(wire).first(27)));
    // Truncated data: only what is present is exposed; the check cannot be verified.
    auto cut = frame::decode(std::span(wire).first(30));
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->length, 5u);
    EXPECT_EQ(cut->data.size(), 2u);
    EXPECT_FALSE(frame::verify_check_byte(std::span(wire).first(33), CheckForm::Complement));
}

TEST(FrameDecode, BogusLengthNeverReadsPastSpan) {
    Bytes wire = frame::encode_exact({frame::CMD_SAVE_VALUE, "S1", 0, Bytes(4, 0)});
    wire[24] = wire[25] = wire[26] = wire[27] = 0xFF;
    auto r = frame::decode(wire);  // ASan catches an over-read here
    ASSERT_TRUE(r);
    EXPECT_EQ(r->length, 0xFFFFFFFFu);
    EXPECT_EQ(r->data.size(), wire.size() - 28);
    EXPECT_FALSE(frame::verify_check_byte(wire, CheckForm::PlainSum));
    EXPECT_FALSE(frame::verify_check_byte(wire, CheckForm::Complement));
}

TEST(FrameDecode, MissingLeadInAndWideIdField) {
    Bytes wire = frame::encode_exact({frame::ANS_DISCOVER, "S730-413-05862", 0, {}});
    wire[1] = 0x7D;
    auto r = frame::decode(wire);
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->lead_in_ok);
    // A 16-character id runs on into the zero parameter bytes: the wide field ends at the first NUL.
    Bytes full = frame::encode_exact({frame::ANS_DISCOVER, "ABCDEFGHIJKLMNOP", 0x00004443, {}});
    EXPECT_EQ(frame::decode(full)->card_id, "ABCDEFGHIJKLMNOPCD");
}

TEST(FrameVerify, EveryFlippedByteFailsTheCheck) {
    const Bytes wire = frame::encode_exact({frame::CMD_SCREEN_CONTROL, "S730-413-05862", 0, Bytes(408, 3)});
    ASSERT_TRUE(frame::verify_check_byte(wire, CheckForm::PlainSum));
    for (std::size_t i = 3; i < wire.size(); ++i) {
        Bytes bad = wire;
        bad[i] ^= 0x10;
        if (i >= 24 && i < 28) continue;  // a changed length field is covered by the bounds test
        EXPECT_FALSE(frame::verify_check_byte(bad, CheckForm::PlainSum)) << "byte " << i;
    }
}

TEST(FrameCheckByte, ClampsToSpan) {
    const Bytes short_packet(10, 1);
    // Only bytes 3..9 exist: seven ones.
    EXPECT_EQ(frame::check_byte(short_packet, 100, CheckForm::PlainSum), 7);
    EXPECT_EQ(frame::check_byte(short_packet, 100, CheckForm::Complement), 0xFF - 7);
}

TEST(FrameDecodeChecked, OnlyWholeWellFormedFramesPass) {
    const frame::Packet plain{frame::ANS_GET_IO, "S730-413-05862", 0, Bytes{1, 2, 3, 4}};
    const frame::Packet other{frame::ANS_GET_IO, "A901-200-00001", 0, Bytes{1, 2, 3, 4}};
    const Bytes good = frame::encode_exact(plain);
    Bytes flipped = good;
    flipped[30] ^= 0x01;
    Bytes no_lead_in = good;
    no_lead_in[0] = 0;
    Bytes bogus_length = good;
    frame::put_u32le(bogus_length.data() + frame::kLengthOffset, 0xFFFFFFFF);
    struct Case {
        const char* name;
        Bytes bytes;
        bool passes;
    };
    const std::vector<Case> cases = {
        {"plain sum", good, true},
        {"stream form with its trailer", frame::encode_stream(plain), true},
        {"fixed form", frame::encode_fixed(plain), true},
        {"complement for a complement-family id", frame::encode_exact(other, CheckForm::Complement), true},
        {"plain sum for a complement-family id", frame::encode_exact(other), true},
        {"complement for a plain-sum id", frame::encode_exact(plain, CheckForm::Complement), false},
        {"a data byte flipped", flipped, false},
        {"no lead-in", no_lead_in, false},
        {"check byte missing", Bytes(good.begin(), good.end() - 1), false},
        {"header only", Bytes(good.begin(), good.begin() + 28), false},
        {"bogus length", bogus_length, false},
    };
    for (const auto& c : cases) {
        const auto r = frame::decode_checked(c.bytes);
        EXPECT_EQ(r.has_value(), c.passes) << c.name;
        if (r) {
            EXPECT_EQ(r->data.size(), 4u) << c.name;
        }
    }
}

}  // namespace
