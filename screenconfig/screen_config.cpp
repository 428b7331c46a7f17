#include "screenconfig/screen_config.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstring>

#include "screenconfig/le_bytes.h"

namespace screenconfig {

namespace {

constexpr std::size_t at(ConfigField f) {
    return static_cast<std::size_t>(f);
}

// Words are moved through host-order buffers in chunks; on a little-endian host that is a plain copy,
// which keeps the 2 MB image passes at memory speed.
constexpr std::size_t kChunkWords = 1024;

void store_words(std::uint8_t* out, const std::uint32_t* words, std::size_t count) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, words, 4 * count);
    } else {
        for (std::size_t i = 0; i < count; ++i) store_le32(out + 4 * i, words[i]);
    }
}

void load_words(std::uint32_t* words, const std::uint8_t* in, std::size_t count) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(words, in, 4 * count);
    } else {
        for (std::size_t i = 0; i < count; ++i) words[i] = load_le32(in + 4 * i);
    }
}

}  // namespace

std::uint32_t word_sum(std::span<const std::uint8_t> bytes) {
    const std::size_t words = bytes.size() / 4;
    std::array<std::uint32_t, kChunkWords> chunk;
    std::uint32_t sum = 0;
    for (std::size_t done = 0; done < words;) {
        const std::size_t n = std::min(kChunkWords, words - done);
        load_words(chunk.data(), bytes.data() + 4 * done, n);
        for (std::size_t i = 0; i < n; ++i) sum += chunk[i];
        done += n;
    }
    return sum;
}

ScreenConfig::ScreenConfig() : bytes_(kImageSize, 0) {}

std::uint32_t ScreenConfig::get(ConfigField field) const {
    return load_le32(bytes_.data() + at(field));
}

void ScreenConfig::set(ConfigField field, std::uint32_t value) {
    store_le32(bytes_.data() + at(field), value);
}

std::uint32_t ScreenConfig::entry(std::size_t row, std::size_t column) const {
    assert(row < kTableRows && column < kTableColumns);
    return load_le32(bytes_.data() + kTableOffset + 4 * (row * kTableColumns + column));
}

void ScreenConfig::set_entry(std::size_t row, std::size_t column, std::uint32_t value) {
    assert(row < kTableRows && column < kTableColumns);
    store_le32(bytes_.data() + kTableOffset + 4 * (row * kTableColumns + column), value);
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

    std::array<std::uint32_t, kTableColumns> row;
    for (std::size_t r = 0; r < kTableRows; ++r) {
        const auto base = static_cast<std::uint32_t>(r * kTableColumns);
        for (std::size_t c = 0; c < kTableColumns; ++c) row[c] = base + static_cast<std::uint32_t>(c);
        store_words(p + kTableOffset + 4 * r * kTableColumns, row.data(), kTableColumns);
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
    load_words(m.cells_.data(), image.table_bytes().data(), kTableEntries);
    return m;
}

void MappingMatrix::store(ScreenConfig& image) const {
    store_words(image.table_bytes().data(), cells_.data(), kTableEntries);
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
