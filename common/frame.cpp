#include "common/frame.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace frame {
namespace {

static_assert(kIdOffset + kIdFieldSize == kParameterOffset);
static_assert(kIdOffset + kWideIdFieldSize == kLengthOffset);
static_assert(kParameterOffset + 4 == kLengthOffset);
static_assert(kLengthOffset + 4 == kDataOffset);
static_assert(kDataOffset == kHeaderSize);
static_assert(kHeaderSize + kMaxFixedData + 1 <= kFixedBlockSize);

constexpr std::size_t kCheckStart = 3;

// Writes the packet (header, data, check byte) at the start of `out`, which holds 29 + n bytes or more.
void write_packet(std::uint8_t* out, std::size_t out_size, const Packet& p, CheckForm form) {
    const std::size_t n = p.data.size();
    out[0] = out[1] = out[2] = 0x7E;
    out[3] = p.command;
    const std::size_t id_len = std::min(p.card_id.size(), kIdFieldSize);
    std::copy_n(p.card_id.begin(), id_len, out + kIdOffset);
    std::fill(out + kIdOffset + id_len, out + kIdOffset + kIdFieldSize, std::uint8_t{0});
    put_u32le(out + kParameterOffset, p.parameter);
    if (p.wide_id) {
        const std::size_t wide_len = std::min(p.card_id.size(), kWideIdFieldSize);
        std::copy_n(p.card_id.begin(), wide_len, out + kIdOffset);
        std::fill(out + kIdOffset + wide_len, out + kIdOffset + kWideIdFieldSize, std::uint8_t{0});
    }
    put_u32le(out + kLengthOffset, static_cast<std::uint32_t>(n));
    std::copy(p.data.begin(), p.data.end(), out + kDataOffset);
    out[kDataOffset + n] = check_byte(std::span<const std::uint8_t>(out, out_size), n, form);
}

}  // namespace

CheckForm check_form_for_id(std::string_view card_id) {
    if (card_id.empty()) return CheckForm::Complement;
    const auto c = static_cast<char>(std::tolower(static_cast<unsigned char>(card_id.front())));
    return (c == 'p' || c == 's' || c == 'x') ? CheckForm::PlainSum : CheckForm::Complement;
}

std::uint8_t check_byte(std::span<const std::uint8_t> packet, std::size_t n, CheckForm form) {
    // Never read past the span, even when a caller gets `n` wrong.
    const std::size_t end = std::min(packet.size(), kDataOffset + std::min(n, packet.size()));
    std::uint32_t sum = 0;
    for (std::size_t i = kCheckStart; i < end; ++i) sum += packet[i];
    const auto plain = static_cast<std::uint8_t>(sum & 0xFF);
    return form == CheckForm::PlainSum ? plain : static_cast<std::uint8_t>(0xFF - plain);
}

std::vector<std::uint8_t> encode_stream(const Packet& p, CheckForm form) {
    std::vector<std::uint8_t> out(kHeaderSize + p.data.size() + 1 + kStreamTrailer, 0);
    write_packet(out.data(), out.size(), p, form);
    return out;
}

std::vector<std::uint8_t> encode_fixed(const Packet& p, CheckForm form) {
    std::vector<std::uint8_t> out(kFixedBlockSize, 0);
    if (p.data.size() > kMaxFixedData) return out;
    write_packet(out.data(), out.size(), p, form);
    return out;
}

std::vector<std::uint8_t> encode_exact(const Packet& p, CheckForm form) {
    std::vector<std::uint8_t> out = encode_fixed(p, form);
    if (p.data.size() <= kMaxFixedData) out.resize(kHeaderSize + p.data.size() + 1);
    return out;
}

std::optional<Received> decode(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderSize) return std::nullopt;
    Received r;
    r.lead_in_ok = bytes[0] == 0x7E && bytes[1] == 0x7E && bytes[2] == 0x7E;
    r.command = bytes[3];
    const auto* id = bytes.data() + kIdOffset;
    const auto* id_end = std::find(id, id + kWideIdFieldSize, std::uint8_t{0});
    r.card_id.assign(id, id_end);
    r.parameter = get_u32le(bytes.data() + kParameterOffset);
    r.length = get_u32le(bytes.data() + kLengthOffset);
    const std::size_t present = std::min<std::size_t>(r.length, bytes.size() - kDataOffset);
    r.data = bytes.subspan(kDataOffset, present);
    return r;
}

bool verify_check_byte(std::span<const std::uint8_t> bytes, CheckForm form) {
    if (bytes.size() < kHeaderSize + 1) return false;
    const std::size_t n = get_u32le(bytes.data() + kLengthOffset);
    if (n > bytes.size() - kHeaderSize - 1) return false;
    return bytes[kDataOffset + n] == check_byte(bytes, n, form);
}

std::optional<Received> decode_checked(std::span<const std::uint8_t> bytes) {
    auto r = decode(bytes);
    if (!r || !r->lead_in_ok) return std::nullopt;
    if (r->length > bytes.size() - kHeaderSize - 1) return std::nullopt;  // incomplete, or a bogus length
    if (verify_check_byte(bytes, CheckForm::PlainSum)) return r;
    const auto* id = bytes.data() + kIdOffset;
    const std::string narrow(id, std::find(id, id + kIdFieldSize, std::uint8_t{0}));
    if (check_form_for_id(narrow) == CheckForm::Complement && verify_check_byte(bytes, CheckForm::Complement))
        return r;
    return std::nullopt;
}

}  // namespace frame
