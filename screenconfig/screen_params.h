// ScreenParams: the 72-byte screen parameter record (18 little-endian u32 words). It is the whole
// content of a ".hcp" file and the source of the send-parameters command.
//
//   offset  field            offset  field
//   0       magic "LED\0"    36      lineInterval
//   8       hubType          40      decodeOrder
//   12      decodeType       44      decodeWordA
//   16      dataPolarity     48      decodeWordB
//   20      oePolarity       52      pointFlags
//   24      colourOrder      60      end marker "END\0"
//   28      lineGroup        68      word sum of words 0..16
//   32      scan code        (4, 56, 64 reserved)
//
// Threading: a plain value; one thread at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "screenconfig/screen_config.h"

namespace screenconfig {

inline constexpr std::size_t kParamsSize = 72;
inline constexpr std::size_t kParamsSummedWords = 17;

enum class ParamsField : std::size_t {
    magic = 0,
    hubType = 8,
    decodeType = 12,
    dataPolarity = 16,
    oePolarity = 20,
    colourOrder = 24,
    lineGroup = 28,
    scanCode = 32,
    lineInterval = 36,
    decodeOrder = 40,
    decodeWordA = 44,
    decodeWordB = 48,
    pointFlags = 52,
    endMarker = 60,
    wordSum = 68,
};

static_assert(static_cast<std::size_t>(ParamsField::wordSum) == 4 * kParamsSummedWords);
static_assert(static_cast<std::size_t>(ParamsField::wordSum) + 4 == kParamsSize);

class ScreenParams {
  public:
    ScreenParams() = default;  // all zero
    explicit ScreenParams(std::span<const std::uint8_t, kParamsSize> bytes);

    std::span<std::uint8_t, kParamsSize> bytes() { return bytes_; }
    std::span<const std::uint8_t, kParamsSize> bytes() const { return bytes_; }

    std::uint32_t get(ParamsField field) const;
    void set(ParamsField field, std::uint32_t value);

    // Word sum of words 0..16.
    std::uint32_t computed_sum() const;
    bool sum_matches() const { return computed_sum() == get(ParamsField::wordSum); }
    // Stores a fresh word sum at 68 (done each time the record is saved).
    void seal() { set(ParamsField::wordSum, computed_sum()); }

    friend bool operator==(const ScreenParams&, const ScreenParams&) = default;

  private:
    std::array<std::uint8_t, kParamsSize> bytes_{};
};

// Scan code of a scan count: 1 -> 4, 2 -> 3, 4 -> 2, 8 -> 1, 16 -> 0; nothing for any other count.
std::optional<std::uint32_t> scan_code_for(std::uint32_t scan_count);

// Fills `params` from the working image header: magic, hubType, decodeType, dataPolarity, oePolarity,
// colourOrder, lineGroup, lineInterval, the scan code (left as it was when scanCount has none) and the
// end marker. decodeOrder, the decode words and pointFlags are not touched; the word sum is left to the
// save.
void fill_params(const ScreenConfig& working, ScreenParams& params);

// A row-decode order: 14 characters, each a digit "0".."9" or "a".."d" (either case).
bool is_decode_order_text(std::string_view text);

// Sets decodeOrder = `order_class` and the two decode words from `text`: decodeWordA is the hexadecimal
// reading of its last 8 characters, decodeWordB of its first 6. Returns false, changing nothing, when
// `text` is not a row-decode order.
bool set_decode_order(ScreenParams& params, std::uint32_t order_class, std::string_view text);

}  // namespace screenconfig
