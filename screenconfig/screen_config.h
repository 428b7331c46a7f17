// ScreenConfig: the 2,097,588-byte screen configuration image a receiving card keeps as "Config.sys".
//
//   offset      size       part
//   0           420        header (fields below; 72..120 and 408..416 only in the working copy)
//   420         2,097,152  mapping table: 512 rows x 1024 u32 entries, row-major
//   2,097,572   16         trailer: entry count 0x80000, "END\0", reserved, word sum
//
// Every field is a little-endian u32. The image is a plain byte buffer (held as whole words, so the
// 2 MB passes run word by word): read and written through the accessors here, copied whole, never
// cast onto a struct.
// Threading: a ScreenConfig is a value with no internal locking; one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace screenconfig {

inline constexpr std::size_t kHeaderSize = 420;
inline constexpr std::size_t kTableRows = 512;
inline constexpr std::size_t kTableColumns = 1024;
inline constexpr std::size_t kTableEntries = kTableRows * kTableColumns;  // 524,288
inline constexpr std::size_t kTableOffset = kHeaderSize;
inline constexpr std::size_t kTrailerOffset = kTableOffset + 4 * kTableEntries;
inline constexpr std::size_t kImageSize = kTrailerOffset + 16;
inline constexpr std::size_t kImageSummedWords = (kImageSize - 4) / 4;  // 524,396

static_assert(kTableEntries == 524'288);
static_assert(kTrailerOffset == 2'097'572);
static_assert(kImageSize == 2'097'588);
static_assert(kImageSummedWords == 524'396);

// Byte offsets of the image's named words.
enum class ConfigField : std::size_t {
    magic = 0,
    tableWidth = 8,
    tableHeight = 12,
    retraceTimes = 16,
    moduleHeight = 20,
    rotation = 24,
    mirror = 28,
    swapAxes = 32,
    portsPerRow = 60,
    moduleWidth = 64,
    // Working copy only (the main window's image); zero in every image that is sent.
    dutyCycle = 72,
    scanClockCode = 76,
    grayValue = 80,
    grayRefreshCode = 84,
    grayDepthCode = 88,
    colourOrder = 92,
    oePolarity = 96,
    dataPolarity = 100,
    lineInterval = 104,
    scanCount = 108,
    lineGroup = 112,
    hubType = 116,
    decodeType = 120,
    rgbGroupsPerCable = 408,
    moduleWidthLimited = 412,
    moduleHeightLimited = 416,
    // Trailer.
    entryCount = 2'097'572,
    endMarker = 2'097'576,
    wordSum = 2'097'584,
};

static_assert(static_cast<std::size_t>(ConfigField::moduleHeightLimited) + 4 == kHeaderSize);
static_assert(static_cast<std::size_t>(ConfigField::entryCount) == kTrailerOffset);
static_assert(static_cast<std::size_t>(ConfigField::endMarker) == kTrailerOffset + 4);
static_assert(static_cast<std::size_t>(ConfigField::wordSum) == kImageSize - 4);

// "LED\0" and "END\0" read as little-endian words.
inline constexpr std::uint32_t kLedMarker = 0x0044454C;
inline constexpr std::uint32_t kEndMarker = 0x00444E45;

class ScreenConfig {
  public:
    // A zero-filled image (the main window's working copy and each special-screen dialog start so).
    ScreenConfig();

    std::span<std::uint8_t> bytes() { return {reinterpret_cast<std::uint8_t*>(words_.data()), kImageSize}; }
    std::span<const std::uint8_t> bytes() const {
        return {reinterpret_cast<const std::uint8_t*>(words_.data()), kImageSize};
    }

    std::uint32_t get(ConfigField field) const;
    void set(ConfigField field, std::uint32_t value);

    // Mapping table entry at row r (0..511), column c (0..1023); out-of-range indices are a caller bug
    // and are caught by an assertion in debug builds.
    std::uint32_t entry(std::size_t row, std::size_t column) const;
    void set_entry(std::size_t row, std::size_t column, std::uint32_t value);

    // The 4 x 524,288 table bytes.
    std::span<std::uint8_t> table_bytes() { return bytes().subspan(kTableOffset, 4 * kTableEntries); }
    std::span<const std::uint8_t> table_bytes() const {
        return bytes().subspan(kTableOffset, 4 * kTableEntries);
    }

    friend bool operator==(const ScreenConfig&, const ScreenConfig&) = default;

  private:
    static_assert(kImageSize % 4 == 0);
    std::vector<std::uint32_t> words_;  // the image's bytes, in file order
};

// The table shape a long strip of `screen_width` pixels asks for: k = ceil(width / 1024) table rows
// side by side, so `tableWidth` 1024 k and `tableHeight` 512 / k (integer division). Nothing for a
// width of 0 (no strip) or one so wide that no table row would be left (k > 512).
struct TableShape {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    friend bool operator==(const TableShape&, const TableShape&) = default;
};
std::optional<TableShape> long_strip_table(std::uint32_t screen_width);

// Clears all bytes, then writes `magic`, `tableWidth` 1024, `tableHeight` 512, the entry count and the
// identity table (entry (r, c) = r * 1024 + c).
void build_blank(ScreenConfig& image);

// Writes the end marker, then the word sum of words 0..524,395. Call it after every other byte is final.
void finish(ScreenConfig& image);

// True when the last word holds the word sum of the words before it.
bool sum_matches(const ScreenConfig& image);

// The mapping table as the layout algorithms rearrange it: 512 rows of 1024 entries in host order.
// Copy the table in with load(), move whole runs of entries, and store() it back in one piece.
class MappingMatrix {
  public:
    MappingMatrix();  // all zero

    static MappingMatrix identity();
    static MappingMatrix load(const ScreenConfig& image);
    void store(ScreenConfig& image) const;

    std::span<std::uint32_t> row(std::size_t r) {
        return std::span(cells_).subspan(r * kTableColumns, kTableColumns);
    }
    std::span<const std::uint32_t> row(std::size_t r) const {
        return std::span(cells_).subspan(r * kTableColumns, kTableColumns);
    }
    std::uint32_t& at(std::size_t r, std::size_t c) { return cells_[r * kTableColumns + c]; }
    std::uint32_t at(std::size_t r, std::size_t c) const { return cells_[r * kTableColumns + c]; }

    // Copies a block of `rows` x `columns` entries from `source` at (from_row, from_column) to this
    // matrix at (to_row, to_column). Returns false, copying nothing, when either block leaves the
    // 512 x 1024 area. `source` may be this matrix only when the blocks do not overlap.
    bool copy_block(const MappingMatrix& source, std::size_t from_row, std::size_t from_column,
                    std::size_t to_row, std::size_t to_column, std::size_t rows, std::size_t columns);

    friend bool operator==(const MappingMatrix&, const MappingMatrix&) = default;

  private:
    std::vector<std::uint32_t> cells_;
};

}  // namespace screenconfig
