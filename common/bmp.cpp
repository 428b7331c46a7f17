#include "common/bmp.h"

#include <bit>
#include <limits>
#include <utility>

#include "common/bytes.h"

namespace image {

Bitmap rgb_bitmap(int width, int height, std::vector<std::uint8_t> rgb) {
    Bitmap b;
    b.width = width;
    b.height = height;
    b.rgb = std::move(rgb);
    return b;
}

namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;

// One colour channel of a BI_BITFIELDS pixel, scaled to 0..255.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int width = 0;
    std::uint32_t max = 0;

    static std::optional<Channel> of(std::uint32_t mask) {
        if (mask == 0) return std::nullopt;
        Channel c;
        c.mask = mask;
        c.shift = std::countr_zero(mask);
        c.width = std::popcount(mask);
        // Contiguous: the mask shifted down is 2^width - 1.
        if (c.width < 32 && (mask >> c.shift) != (std::uint32_t{1} << c.width) - 1) return std::nullopt;
        c.max = c.width >= 32 ? 0xFFFFFFFFu : (std::uint32_t{1} << c.width) - 1;
        return c;
    }
    std::uint8_t value(std::uint32_t pixel) const {
        const std::uint32_t v = (pixel & mask) >> shift;
        if (width >= 8) return static_cast<std::uint8_t>(v >> (width - 8));
        return static_cast<std::uint8_t>((v * 255 + max / 2) / max);
    }
};

struct Layout {
    std::int64_t width = 0;
    std::int64_t height = 0;  // rows, always positive
    bool top_down = false;
    int bits = 0;
    std::uint32_t compression = kBiRgb;
    std::size_t header_size = 0;
    std::size_t masks_size = 0;  // BI_BITFIELDS masks that follow a 40-byte header
    std::size_t entry_size = 4;  // 3 in the OS/2 header's colour table
    std::uint64_t table_entries = 0;
    Channel red, green, blue;
};

bool known_header(std::size_t size) {
    return size == 12 || size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

std::optional<Layout> read_layout(std::span<const std::uint8_t> dib, BmpError& error) {
    bytes::Reader in(dib);
    Layout l;
    l.header_size = in.u32(0);
    if (!in.ok()) {
        error = BmpError::kTooShort;
        return std::nullopt;
    }
    if (!known_header(l.header_size)) {
        error = BmpError::kBadHeaderSize;
        return std::nullopt;
    }
    if (dib.size() < l.header_size) {
        error = BmpError::kTooShort;
        return std::nullopt;
    }
    std::uint32_t colours_used = 0;
    std::int64_t signed_height = 0;
    int planes = 0;
    if (l.header_size == 12) {
        l.width = in.u16(4);
        signed_height = in.u16(6);
        planes = in.u16(8);
        l.bits = in.u16(10);
        l.entry_size = 3;
    } else {
        l.width = static_cast<std::int32_t>(in.u32(4));
        signed_height = static_cast<std::int32_t>(in.u32(8));
        planes = in.u16(12);
        l.bits = in.u16(14);
        l.compression = in.u32(16);
        colours_used = in.u32(32);
    }
    if (planes != 1) {
        error = BmpError::kBadPlanes;
        return std::nullopt;
    }
    if (l.bits != 1 && l.bits != 4 && l.bits != 8 && l.bits != 16 && l.bits != 24 && l.bits != 32) {
        error = BmpError::kBadBitCount;
        return std::nullopt;
    }
    const bool run_length =
        (l.compression == kBiRle8 && l.bits == 8) || (l.compression == kBiRle4 && l.bits == 4);
    if (l.compression != kBiRgb && !run_length &&
        !(l.compression == kBiBitfields && (l.bits == 16 || l.bits == 32))) {
        error = BmpError::kCompressed;
        return std::nullopt;
    }
    if (run_length && signed_height < 0) {
        error = BmpError::kTopDownRunLength;
        return std::nullopt;
    }
    l.top_down = signed_height < 0;
    l.height = signed_height < 0 ? -signed_height : signed_height;
    if (l.width <= 0 || l.height == 0) {
        error = BmpError::kBadSize;
        return std::nullopt;
    }
    if (!fits_card(l.width, l.height)) {
        error = BmpError::kTooLarge;
        return std::nullopt;
    }
    std::uint32_t masks[3] = {0, 0, 0};
    if (l.compression == kBiBitfields) {
        std::size_t at = 40;
        if (l.header_size == 40) l.masks_size = 12;  // after the header, so maybe past the end
        for (auto& m : masks) {
            m = in.u32(at);
            at += 4;
        }
        if (!in.ok()) {
            error = BmpError::kTooShort;
            return std::nullopt;
        }
    } else if (l.bits == 16) {
        masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    } else if (l.bits >= 24) {
        masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
    }
    if (l.bits >= 16) {
        const auto r = Channel::of(masks[0]), g = Channel::of(masks[1]), b = Channel::of(masks[2]);
        const std::uint64_t limit = l.bits == 32 ? 0xFFFFFFFFull : (std::uint64_t{1} << l.bits) - 1;
        if (!r || !g || !b || (masks[0] & masks[1]) || (masks[0] & masks[2]) || (masks[1] & masks[2]) ||
            (masks[0] | masks[1] | masks[2]) > limit) {
            error = BmpError::kBadMasks;
            return std::nullopt;
        }
        l.red = *r, l.green = *g, l.blue = *b;
    }
    if (l.bits <= 8) {
        l.table_entries = colours_used != 0 ? colours_used : (std::uint64_t{1} << l.bits);
    } else {
        l.table_entries = colours_used;  // present only to be skipped in a packed DIB
    }
    if (l.table_entries > (std::uint64_t{1} << 24)) {
        error = BmpError::kBadColourTable;
        return std::nullopt;
    }
    return l;
}

std::size_t table_end(const Layout& l) {
    return l.header_size + l.masks_size + static_cast<std::size_t>(l.table_entries) * l.entry_size;
}

BmpDecode fail(BmpError e) {
    BmpDecode d;
    d.error = e;
    return d;
}

// Decodes run-length rows (bottom-up) into out.indices and out.rgb. Every code is read only when its
// bytes are present; pixels beyond a row's end are dropped, rows beyond the top end the picture, and
// pixels no code reaches keep index 0. Data that ends early leaves the rest at index 0.
void read_run_length(std::span<const std::uint8_t> data, const Layout& l, Bitmap& out) {
    const bool four = l.compression == kBiRle4;
    const std::size_t w = static_cast<std::size_t>(l.width), h = static_cast<std::size_t>(l.height);
    std::size_t x = 0, row = 0;  // row counts from the bottom
    const auto put = [&](std::uint8_t index) {
        if (x < w && row < h) out.indices[(h - 1 - row) * w + x] = index;
        ++x;
    };
    std::size_t at = 0;
    while (row < h && at + 2 <= data.size()) {
        const std::uint8_t count = data[at], value = data[at + 1];
        at += 2;
        if (count > 0) {  // a run: `count` pixels of one index (RLE4: two alternating indices)
            for (std::size_t i = 0; i < count; ++i)
                put(four ? static_cast<std::uint8_t>(i % 2 == 0 ? value >> 4 : value & 15) : value);
            continue;
        }
        if (value == 0) {  // end of line
            x = 0, ++row;
        } else if (value == 1) {  // end of picture
            break;
        } else if (value == 2) {  // delta: right and up
            if (at + 2 > data.size()) break;
            x += data[at], row += data[at + 1];
            at += 2;
        } else {  // absolute: `value` indices follow, padded to a 2-byte boundary
            const std::size_t bytes = four ? (std::size_t{value} + 1) / 2 : value;
            if (at + bytes > data.size()) break;
            for (std::size_t i = 0; i < value; ++i) {
                const std::uint8_t b = data[at + (four ? i / 2 : i)];
                put(four ? static_cast<std::uint8_t>(i % 2 == 0 ? b >> 4 : b & 15) : b);
            }
            at += bytes + (bytes % 2);
        }
    }
    out.rgb.resize(out.pixel_count() * 3);
    for (std::size_t i = 0; i < out.indices.size(); ++i) {
        const Rgb c = out.palette[out.indices[i]];
        out.rgb[3 * i] = c.r, out.rgb[3 * i + 1] = c.g, out.rgb[3 * i + 2] = c.b;
    }
}

// Reads the pixels of `dib` that start `bits_offset` bytes into it.
BmpDecode read_pixels(std::span<const std::uint8_t> dib, const Layout& l, std::size_t bits_offset) {
    const std::size_t headers_end = l.header_size + l.masks_size;
    if (bits_offset < headers_end || bits_offset > dib.size()) return fail(BmpError::kBadPixelOffset);
    Bitmap out;
    out.width = static_cast<int>(l.width);
    out.height = static_cast<int>(l.height);
    if (l.bits <= 8) {
        // The table must lie whole between the headers and the pixels.
        const std::size_t end = table_end(l);
        if (end > bits_offset || end > dib.size()) return fail(BmpError::kBadColourTable);
        const std::size_t size = std::size_t{1} << l.bits;
        out.palette.assign(size, Rgb{});  // indices beyond the table show black
        const std::size_t used = std::min<std::size_t>(size, static_cast<std::size_t>(l.table_entries));
        for (std::size_t i = 0; i < used; ++i) {
            const std::size_t at = headers_end + i * l.entry_size;
            out.palette[i] = Rgb{dib[at + 2], dib[at + 1], dib[at]};
        }
        out.palette_bits = l.bits;
        out.indices.resize(out.pixel_count());
    }
    if (l.compression == kBiRle8 || l.compression == kBiRle4) {
        read_run_length(dib.subspan(bits_offset), l, out);
        BmpDecode d;
        d.bitmap = std::move(out);
        return d;
    }
    const std::uint64_t row_bytes =
        ((static_cast<std::uint64_t>(l.width) * static_cast<std::uint64_t>(l.bits) + 31) / 32) * 4;
    // The last row may lack its padding; every byte a pixel needs must be present.
    const std::uint64_t last_row =
        (static_cast<std::uint64_t>(l.width) * static_cast<std::uint64_t>(l.bits) + 7) / 8;
    const std::uint64_t needed = row_bytes * static_cast<std::uint64_t>(l.height - 1) + last_row;
    if (needed > dib.size() - bits_offset) return fail(BmpError::kTruncatedPixels);

    out.rgb.resize(out.pixel_count() * 3);
    const std::size_t w = static_cast<std::size_t>(l.width);
    for (std::size_t r = 0; r < static_cast<std::size_t>(l.height); ++r) {
        const std::uint8_t* row = dib.data() + bits_offset + r * row_bytes;
        const std::size_t y = l.top_down ? r : static_cast<std::size_t>(l.height) - 1 - r;
        std::uint8_t* dst = out.rgb.data() + y * w * 3;
        if (l.bits <= 8) {
            std::uint8_t* idx = out.indices.data() + y * w;
            const int per_byte = 8 / l.bits;
            const unsigned mask = (1u << l.bits) - 1;
            for (std::size_t x = 0; x < w; ++x) {
                const std::uint8_t byte = row[x / static_cast<std::size_t>(per_byte)];
                const int shift = 8 - l.bits * (static_cast<int>(x % static_cast<std::size_t>(per_byte)) + 1);
                const std::uint8_t i = static_cast<std::uint8_t>((byte >> shift) & mask);
                idx[x] = i;
                const Rgb c = out.palette[i];
                dst[3 * x] = c.r, dst[3 * x + 1] = c.g, dst[3 * x + 2] = c.b;
            }
        } else if (l.bits == 24) {
            for (std::size_t x = 0; x < w; ++x) {
                dst[3 * x] = row[3 * x + 2], dst[3 * x + 1] = row[3 * x + 1], dst[3 * x + 2] = row[3 * x];
            }
        } else {
            const std::size_t step = static_cast<std::size_t>(l.bits / 8);
            for (std::size_t x = 0; x < w; ++x) {
                const std::uint8_t* p = row + x * step;
                const std::uint32_t v = step == 2 ? static_cast<std::uint32_t>(p[0] | p[1] << 8)
                                                  : static_cast<std::uint32_t>(p[0]) |
                                                        static_cast<std::uint32_t>(p[1]) << 8 |
                                                        static_cast<std::uint32_t>(p[2]) << 16 |
                                                        static_cast<std::uint32_t>(p[3]) << 24;
                dst[3 * x] = l.red.value(v), dst[3 * x + 1] = l.green.value(v),
                        dst[3 * x + 2] = l.blue.value(v);
            }
        }
    }
    BmpDecode d;
    d.bitmap = std::move(out);
    return d;
}

}  // namespace

BmpDecode decode_bmp_file(std::span<const std::uint8_t> file) {
    if (file.size() < 2 || file[0] != 'B' || file[1] != 'M')
        return fail(file.size() < 2 ? BmpError::kTooShort : BmpError::kNotBmp);
    if (file.size() < kFileHeaderSize) return fail(BmpError::kTooShort);
    const std::uint32_t offset = bytes::get_u32(file, 10);
    if (offset < kFileHeaderSize) return fail(BmpError::kBadPixelOffset);
    const auto dib = file.subspan(kFileHeaderSize);
    BmpError error = BmpError::kNone;
    const auto layout = read_layout(dib, error);
    if (!layout) return fail(error);
    return read_pixels(dib, *layout, offset - kFileHeaderSize);
}

BmpDecode decode_dib(std::span<const std::uint8_t> dib) {
    BmpError error = BmpError::kNone;
    const auto layout = read_layout(dib, error);
    if (!layout) return fail(error);
    return read_pixels(dib, *layout, table_end(*layout));
}

std::optional<DibFacts> dib_facts(std::span<const std::uint8_t> dib) {
    BmpError error = BmpError::kNone;
    const auto l = read_layout(dib, error);
    if (!l) return std::nullopt;
    DibFacts f;
    f.width = static_cast<std::int32_t>(l->width);
    f.height = static_cast<std::int32_t>(l->top_down ? -l->height : l->height);
    f.bits_per_pixel = l->bits;
    f.header_size = l->header_size;
    f.bits_offset = table_end(*l);
    f.colour_table_size = f.bits_offset - l->header_size;
    return f;
}

std::vector<std::uint8_t> make_dib(const Bitmap& b) {
    const bool indexed = b.palettised();
    const int bits = indexed ? b.palette_bits : 24;
    const std::size_t w = static_cast<std::size_t>(b.width), h = static_cast<std::size_t>(b.height);
    const std::size_t row_bytes = ((w * static_cast<std::size_t>(bits) + 31) / 32) * 4;
    const std::size_t table = indexed ? (std::size_t{4} << bits) : 0;
    std::vector<std::uint8_t> out(kInfoHeaderSize + table + row_bytes * h, 0);
    bytes::put_u32(out, 0, kInfoHeaderSize);
    bytes::put_u32(out, 4, static_cast<std::uint32_t>(b.width));
    bytes::put_u32(out, 8, static_cast<std::uint32_t>(b.height));
    bytes::put_u16(out, 12, 1);
    bytes::put_u16(out, 14, static_cast<std::uint16_t>(bits));
    bytes::put_u32(out, 16, kBiRgb);
    bytes::put_u32(out, 20, static_cast<std::uint32_t>(row_bytes * h));
    for (std::size_t i = 0; indexed && i < b.palette.size() && i < (std::size_t{1} << bits); ++i) {
        const std::size_t at = kInfoHeaderSize + 4 * i;
        out[at] = b.palette[i].b, out[at + 1] = b.palette[i].g, out[at + 2] = b.palette[i].r;
    }
    std::uint8_t* pixels = out.data() + kInfoHeaderSize + table;
    for (std::size_t y = 0; y < h; ++y) {
        std::uint8_t* row = pixels + (h - 1 - y) * row_bytes;
        if (indexed) {
            const std::uint8_t* idx = b.indices.data() + y * w;
            const std::size_t per_byte = static_cast<std::size_t>(8 / bits);
            for (std::size_t x = 0; x < w; ++x) {
                const int shift = 8 - bits * (static_cast<int>(x % per_byte) + 1);
                row[x / per_byte] = static_cast<std::uint8_t>(row[x / per_byte] | idx[x] << shift);
            }
        } else {
            const std::uint8_t* src = b.rgb.data() + y * w * 3;
            for (std::size_t x = 0; x < w; ++x) {
                row[3 * x] = src[3 * x + 2], row[3 * x + 1] = src[3 * x + 1], row[3 * x + 2] = src[3 * x];
            }
        }
    }
    return out;
}

std::vector<std::uint8_t> file_header_for(std::size_t dib_size, std::size_t bits_offset) {
    std::vector<std::uint8_t> h(kFileHeaderSize, 0);
    h[0] = 'B', h[1] = 'M';
    bytes::put_u32(h, 2, static_cast<std::uint32_t>(dib_size + kFileHeaderSize));
    bytes::put_u32(h, 10, static_cast<std::uint32_t>(bits_offset + kFileHeaderSize));
    return h;
}

std::vector<std::uint8_t> encode_bmp(const Bitmap& bitmap) {
    const auto dib = make_dib(bitmap);
    const auto facts = dib_facts(dib);
    auto out = file_header_for(dib.size(), facts ? facts->bits_offset : kInfoHeaderSize);
    out.insert(out.end(), dib.begin(), dib.end());
    return out;
}

}  // namespace image
