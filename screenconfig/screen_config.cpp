#include "screenconfig/screen_config.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>

#include "common/bytes.h"

namespace screenconfig {

using bytes::get_u32le;
using bytes::put_u32le;
using bytes::word_sum;

namespace {

constexpr std::size_t at(ConfigField f) {
    return static_cast<std::size_t>(f);
}

// On a little-endian host the image's words are host words, and the 2 MB passes (identity table, word
// sum, matrix copies) run as plain word loops at memory speed. Elsewhere they go byte by byte.
constexpr bool kHostIsLittle = std::endian::native == std::endian::little;

}  // namespace

ScreenConfig::ScreenConfig() : words_(kImageSize / 4, 0) {}

std::uint32_t ScreenConfig::get(ConfigField field) const {
    return get_u32le(bytes().data() + at(field));
}

void ScreenConfig::set(ConfigField field, std::uint32_t value) {
    put_u32le(bytes().data() + at(field), value);
}

std::uint32_t ScreenConfig::entry(std::size_t row, std::size_t column) const {
    assert(row < kTableRows && column < kTableColumns);
    return get_u32le(bytes().data() + kTableOffset + 4 * (row * kTableColumns + column));
}

void ScreenConfig::set_entry(std::size_t row, std::size_t column, std::uint32_t value) {
    assert(row < kTableRows && column < kTableColumns);
    put_u32le(bytes().data() + kTableOffset + 4 * (row * kTableColumns + column), value);
}

std::optional<TableShape> long_strip_table(std::uint32_t screen_width) {
    const std::uint32_t k = screen_width / kTableColumns + (screen_width % kTableColumns != 0 ? 1 : 0);
    if (k == 0 || k > kTableRows) return std::nullopt;
    return TableShape{static_cast<std::uint32_t>(kTableColumns) * k,
                      static_cast<std::uint32_t>(kTableRows) / k};
}

void build_blank(ScreenConfig& image) {
    std::uint8_t* p = image.bytes().data();
    // The table is overwritten in full below, so only the header and trailer need clearing.
    std::memset(p, 0, kHeaderSize);
    std::memset(p + kTrailerOffset, 0, kImageSize - kTrailerOffset);
    image.set(ConfigField::magic, kLedMarker);
    image.set(ConfigField::tableWidth, kTableColumns);
    image.set(ConfigField::tableHeight, kTableRows);
    image.set(ConfigField::entryCount, kTableEntries);

    if constexpr (kHostIsLittle) {
        auto* table = reinterpret_cast<std::uint32_t*>(p + kTableOffset);
        for (std::size_t r = 0; r < kTableRows; ++r) {
            std::uint32_t* row = table + r * kTableColumns;
            const auto base = static_cast<std::uint32_t>(r * kTableColumns);
            for (std::size_t c = 0; c < kTableColumns; ++c) row[c] = base + static_cast<std::uint32_t>(c);
        }
    } else {
        for (std::size_t i = 0; i < kTableEntries; ++i)
            put_u32le(p + kTableOffset + 4 * i, static_cast<std::uint32_t>(i));
    }
}

void finish(ScreenConfig& image) {
    image.set(ConfigField::endMarker, kEndMarker);
    image.set(ConfigField::wordSum, word_sum(image.bytes().first(4 * kImageSummedWords)));
}

bool sum_matches(const ScreenConfig& image) {
    return image.get(ConfigField::wordSum) == word_sum(image.bytes().first(4 * kImageSummedWords));
}

MappingMatrix::MappingMatrix() : cells_(kTableEntries, 0) {}

MappingMatrix MappingMatrix::identity() {
    MappingMatrix m;
    for (std::size_t i = 0; i < kTableEntries; ++i) m.cells_[i] = static_cast<std::uint32_t>(i);
    return m;
}

MappingMatrix MappingMatrix::load(const ScreenConfig& image) {
    MappingMatrix m;
    const std::uint8_t* in = image.table_bytes().data();
    if constexpr (kHostIsLittle) {
        std::memcpy(m.cells_.data(), in, 4 * kTableEntries);
    } else {
        for (std::size_t i = 0; i < kTableEntries; ++i) m.cells_[i] = get_u32le(in + 4 * i);
    }
    return m;
}

void MappingMatrix::store(ScreenConfig& image) const {
    std::uint8_t* out = image.table_bytes().data();
    if constexpr (kHostIsLittle) {
        std::memcpy(out, cells_.data(), 4 * kTableEntries);
    } else {
        for (std::size_t i = 0; i < kTableEntries; ++i) put_u32le(out + 4 * i, cells_[i]);
    }
}

bool MappingMatrix::copy_block(const MappingMatrix& source, std::size_t from_row, std::size_t from_column,
                               std::size_t to_row, std::size_t to_column, std::size_t rows,
                               std::size_t columns) {
    const auto fits = [&](std::size_t r, std::size_t c) {
        return r <= kTableRows && rows <= kTableRows - r && c <= kTableColumns &&
               columns <= kTableColumns - c;
    };
    if (!fits(from_row, from_column) || !fits(to_row, to_column)) return false;
    for (std::size_t i = 0; i < rows; ++i) {
        const auto src = source.row(from_row + i).subspan(from_column, columns);
        std::copy(src.begin(), src.end(), row(to_row + i).begin() + static_cast<std::ptrdiff_t>(to_column));
    }
    return true;
}

}  // namespace screenconfig
