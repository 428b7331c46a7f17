#include "simulator/pictures.h"

#include <gif_lib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/bmp.h"
#include "common/jpeg_errors.h"
#include "common/picture_size.h"

namespace sim {
namespace {

std::optional<image::Bitmap> decode_jpeg(std::span<const std::uint8_t> file) {
    jpeg_decompress_struct info;
    jpeg_errors::JpegError error{};
    info.err = jpeg_errors::install(error);
    // Everything setjmp may return to is set up before it and holds no object with a destructor.
    std::vector<std::uint8_t>* rgb = new std::vector<std::uint8_t>();
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        delete rgb;
        return std::nullopt;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&info, TRUE);
    // Checked before libjpeg allocates its buffers for the frame.
    if (!image::fits_card(info.image_width, info.image_height))
        jpeg_errors::fail(reinterpret_cast<j_common_ptr>(&info));
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    const std::size_t width = info.output_width;
    const std::size_t height = info.output_height;
    if (!image::fits_card(static_cast<std::int64_t>(width), static_cast<std::int64_t>(height)))
        jpeg_errors::fail(reinterpret_cast<j_common_ptr>(&info));
    rgb->resize(width * height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = rgb->data() + std::size_t{info.output_scanline} * width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    auto out = image::rgb_bitmap(static_cast<int>(width), static_cast<int>(height), std::move(*rgb));
    delete rgb;
    return out;
}

struct GifInput {
    std::span<const std::uint8_t> bytes;
    std::size_t at = 0;
};

int gif_read(GifFileType* gif, GifByteType* out, int length) {
    auto* in = static_cast<GifInput*>(gif->UserData);
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(length), in->bytes.size() - in->at);
    std::memcpy(out, in->bytes.data() + in->at, n);
    in->at += n;
    return static_cast<int>(n);
}

// The first image of a GIF, read record by record: nothing is allocated for an image before its
// size (and that of the logical screen) is checked, and the images after the first are not read.
std::optional<image::Bitmap> decode_gif(std::span<const std::uint8_t> file) {
    GifInput in{file};
    int error = 0;
    GifFileType* gif = DGifOpen(&in, gif_read, &error);
    if (gif == nullptr) return std::nullopt;
    std::optional<image::Bitmap> out;
    const int w = gif->SWidth, h = gif->SHeight;
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    bool ok = image::fits_card(w, h);
    while (ok && DGifGetRecordType(gif, &record) == GIF_OK && record != TERMINATE_RECORD_TYPE) {
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            ok = DGifGetExtension(gif, &code, &block) == GIF_OK;
            while (ok && block != nullptr) ok = DGifGetExtensionNext(gif, &block) == GIF_OK;
            continue;
        }
        if (record != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(gif) != GIF_OK) break;
        const GifImageDesc& d = gif->Image;
        if (d.Width <= 0 || d.Height <= 0 || !image::fits_card(d.Width, d.Height)) break;
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
        std::vector<GifPixelType> line(static_cast<std::size_t>(d.Width));
        std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3, 0);
        bool rows = true;
        // Interlaced images arrive in four passes; each row is placed where it belongs.
        static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
        const int passes = d.Interlace ? 4 : 1;
        for (int pass = 0; rows && pass < passes; ++pass) {
            const int first = d.Interlace ? kStart[pass] : 0, step = d.Interlace ? kStep[pass] : 1;
            for (int y = first; rows && y < d.Height; y += step) {
                rows = DGifGetLine(gif, line.data(), d.Width) == GIF_OK;
                const int sy = d.Top + y;
                if (!rows || map == nullptr || sy < 0 || sy >= h) continue;
                for (int x = 0; x < d.Width; ++x) {
                    const int sx = d.Left + x, index = line[static_cast<std::size_t>(x)];
                    if (sx < 0 || sx >= w || index >= map->ColorCount) continue;
                    std::uint8_t* p = rgb.data() + (static_cast<std::size_t>(sy) * w + sx) * 3;
                    p[0] = map->Colors[index].Red;
                    p[1] = map->Colors[index].Green;
                    p[2] = map->Colors[index].Blue;
                }
            }
        }
        if (rows) out = image::rgb_bitmap(w, h, std::move(rgb));
        break;
    }
    DGifCloseFile(gif, &error);
    return out;
}

}  // namespace

PictureDecode decode_picture(std::span<const std::uint8_t> file) {
    PictureDecode out;
    const auto size = image::declared_size(file);
    if (!size) {
        out.why = "not a picture the card reads";
        return out;
    }
    if (!image::fits_card(size->width, size->height)) {
        out.too_large = true;
        out.why = "declares " + std::to_string(size->width) + " x " + std::to_string(size->height) +
                  " pixels, more than a card shows";
        return out;
    }
    switch (size->type) {
        case image::PictureType::Bmp:
            out.bitmap = image::decode_bmp_file(file).bitmap;
            break;
        case image::PictureType::Jpeg:
            out.bitmap = decode_jpeg(file);
            break;
        case image::PictureType::Gif:
            out.bitmap = decode_gif(file);
            break;
    }
    if (!out.bitmap) out.why = "does not decode";
    return out;
}

}  // namespace sim
