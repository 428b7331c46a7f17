#include "library/imaging/codecs.h"

// clang-format off
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <jpeglib.h>
#include <jerror.h>
// clang-format on
#include <gif_lib.h>

#include <algorithm>
#include <cctype>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/jpeg_errors.h"
#include "common/picture_size.h"
#include "library/imaging/bmp.h"
#include "library/imaging/octree.h"
#include "library/base/folder_ops.h"

namespace kelvra::imaging {

namespace {

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// libjpeg writes into one malloc block, a quarter of the raw pixels to start with (a screen at
// quality 100 fits); a larger file doubles it. A block that cannot grow ends the encoding through error_exit.
struct BlockDestination {
    jpeg_destination_mgr mgr;
    unsigned char* data;
    std::size_t size;
};

void destination_start(j_compress_ptr info) {
    auto* d = reinterpret_cast<BlockDestination*>(info->dest);
    d->mgr.next_output_byte = d->data;
    d->mgr.free_in_buffer = d->size;
}

boolean destination_grow(j_compress_ptr info) {
    auto* d = reinterpret_cast<BlockDestination*>(info->dest);
    const std::size_t used = d->size;  // libjpeg fills the whole block before asking
    auto* bigger = static_cast<unsigned char*>(std::realloc(d->data, used * 2));
    if (bigger == nullptr) ERREXIT(info, JERR_OUT_OF_MEMORY);
    d->data = bigger;
    d->size = used * 2;
    d->mgr.next_output_byte = d->data + used;
    d->mgr.free_in_buffer = d->size - used;
    return TRUE;
}

void destination_end(j_compress_ptr) {}

// Runs libjpeg with no C++ object created or destroyed across the setjmp. `destination` holds a malloc
// block on the way in and the encoded bytes on the way out (the caller frees the block either way).
bool run_jpeg(const std::uint8_t* rgb, int width, int height, BlockDestination* destination) {
    jpeg_compress_struct info;
    jpeg_errors::JpegError error;
    info.err = jpeg_errors::install(error);
    if (setjmp(error.jump) != 0) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    destination->mgr.init_destination = destination_start;
    destination->mgr.empty_output_buffer = destination_grow;
    destination->mgr.term_destination = destination_end;
    info.dest = &destination->mgr;
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    for (int c = 0; c < info.num_components; ++c) {
        info.comp_info[c].h_samp_factor = 1;
        info.comp_info[c].v_samp_factor = 1;
    }
    jpeg_start_compress(&info, TRUE);
    const JDIMENSION stride = static_cast<JDIMENSION>(width) * 3;
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + static_cast<std::size_t>(info.next_scanline) * stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

int gif_write(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

// Writes one palettised picture; false on any giflib failure.
bool run_gif(const Bitmap& p, Bytes& out) {
    int error = 0;
    GifFileType* gif = EGifOpen(&out, gif_write, &error);
    if (gif == nullptr) return false;
    // The colour map of a GIF has a power of two of entries, 2 at least.
    int bits = 1;
    while ((std::size_t{1} << bits) < p.palette.size()) ++bits;
    ColorMapObject* map = GifMakeMapObject(1 << bits, nullptr);
    bool ok = map != nullptr;
    if (ok) {
        for (std::size_t i = 0; i < p.palette.size(); ++i)
            map->Colors[i] = GifColorType{p.palette[i].r, p.palette[i].g, p.palette[i].b};
        ok = EGifPutScreenDesc(gif, p.width, p.height, bits, 0, map) == GIF_OK &&
             EGifPutImageDesc(gif, 0, 0, p.width, p.height, false, nullptr) == GIF_OK;
    }
    std::vector<GifPixelType> row(static_cast<std::size_t>(p.width));
    for (int y = 0; ok && y < p.height; ++y) {
        const auto* src = p.indices.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(p.width);
        std::copy(src, src + p.width, row.begin());
        ok = EGifPutLine(gif, row.data(), p.width) == GIF_OK;
    }
    if (map != nullptr) GifFreeMapObject(map);
    return EGifCloseFile(gif, &error) == GIF_OK && ok;
}

bool usable(const Bitmap& p) {
    return p.width > 0 && p.height > 0 && p.rgb.size() == p.pixel_count() * 3;
}

}  // namespace

image::PictureType classify_capture_format(std::string_view text) {
    if (contains(text, "jpg") || contains(text, "jpeg") || contains(text, "JPG"))
        return image::PictureType::Jpeg;
    if (contains(text, "gif") || contains(text, "Gif") || contains(text, "GIF"))
        return image::PictureType::Gif;
    if (contains(text, "bmp") || contains(text, "Bmp") || contains(text, "BMP"))
        return image::PictureType::Bmp;
    return image::PictureType::Jpeg;
}

std::optional<image::PictureType> classify_conversion_format(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (contains(lower, "jpeg") || contains(lower, "jpg")) return image::PictureType::Jpeg;
    if (contains(lower, "gif")) return image::PictureType::Gif;
    if (contains(lower, "bmp")) return image::PictureType::Bmp;
    return std::nullopt;
}

std::optional<Bytes> encode_jpeg(const Bitmap& picture) {
    if (!usable(picture) || picture.width > 65500 || picture.height > 65500) return std::nullopt;
    BlockDestination destination{};
    destination.size = picture.rgb.size() / 4 + 1024;
    destination.data = static_cast<unsigned char*>(std::malloc(destination.size));
    if (destination.data == nullptr) return std::nullopt;
    std::optional<Bytes> out;
    if (run_jpeg(picture.rgb.data(), picture.width, picture.height, &destination))
        out = Bytes(destination.data, destination.data + (destination.size - destination.mgr.free_in_buffer));
    std::free(destination.data);
    return out;
}

std::optional<Bytes> encode_gif(const Bitmap& picture) {
    if (!usable(picture) || picture.width > 65535 || picture.height > 65535) return std::nullopt;
    std::optional<Bitmap> reduced;
    const Bitmap* source = &picture;
    if (!picture.palettised()) {
        reduced = palette_of_256_colours(picture);
        if (!reduced) return std::nullopt;
        source = &*reduced;
    }
    Bytes out;
    if (!run_gif(*source, out)) return std::nullopt;
    return out;
}

std::optional<Bytes> encode(const Bitmap& picture, image::PictureType format) {
    switch (format) {
        case image::PictureType::Jpeg:
            return encode_jpeg(picture);
        case image::PictureType::Gif:
            return encode_gif(picture);
        case image::PictureType::Bmp:
            if (!usable(picture)) return std::nullopt;
            return encode_bmp(picture);
    }
    return std::nullopt;
}

Conversion convert_bmp_checked(std::span<const std::uint8_t> bmp_file, std::string_view format) {
    const auto wanted = classify_conversion_format(format);
    if (!wanted) return {std::nullopt, ConversionError::kFormatRefused};
    // The reader checks the declared size before it decodes a row (kMaxSide, kMaxPixels).
    const auto decoded = decode_bmp_file(bmp_file);
    if (!decoded.bitmap) {
        return {std::nullopt, decoded.error == BmpError::kTooLarge ? ConversionError::kTooLarge
                                                                   : ConversionError::kUnreadable};
    }
    auto out = encode(*decoded.bitmap, *wanted);
    if (!out) return {std::nullopt, ConversionError::kEncodingFailed};
    return {std::move(out), ConversionError::kNone};
}

std::optional<Bytes> convert_bmp(std::span<const std::uint8_t> bmp_file, std::string_view format) {
    return convert_bmp_checked(bmp_file, format).bytes;
}

std::optional<Bytes> convert_dib(std::span<const std::uint8_t> dib, std::string_view format) {
    if (dib.empty()) return std::nullopt;
    const auto facts = dib_facts(dib);
    if (!facts) return std::nullopt;
    Bytes file = file_header_for(dib.size(), facts->bits_offset);
    file.insert(file.end(), dib.begin(), dib.end());
    return convert_bmp(file, format);
}

PictureForSending load_picture_for_sending(std::string_view path, bool to_gif) {
    PictureForSending out;
    auto data = GetFileBuf(path);
    if (!data) return out;
    const auto size = image::declared_size(*data);
    if (!size || !image::fits_card(size->width, size->height)) {
        // A file whose size cannot be read is no picture a card shows either.
        out.too_large = size.has_value();
        return out;
    }
    std::string lower(path);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (contains(lower, "bmp")) {
        if (auto converted = convert_bmp(*data, to_gif ? "gif" : "bmp")) {
            out.bytes = std::move(*converted);
            out.converted = true;
            return out;
        }
    }
    out.bytes = std::move(*data);
    return out;
}

}  // namespace kelvra::imaging
