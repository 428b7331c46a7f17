#include "simulator/pictures.h"

#include <gif_lib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include <jpeglib.h>

#include "common/bmp.h"

namespace sim {
namespace {

// libjpeg reports errors by calling error_exit, which must not return: it jumps back here.
struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

[[noreturn]] void jpeg_fail(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

void jpeg_quiet(j_common_ptr, int) {}

std::optional<image::Bitmap> decode_jpeg(std::span<const std::uint8_t> file) {
    jpeg_decompress_struct info;
    JpegError error{};
    info.err = jpeg_std_error(&error.mgr);
    error.mgr.error_exit = jpeg_fail;
    error.mgr.emit_message = jpeg_quiet;
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
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    const std::size_t width = info.output_width;
    const std::size_t height = info.output_height;
    if (width == 0 || height == 0 || width > 32768 || height > 32768)
        jpeg_fail(reinterpret_cast<j_common_ptr>(&info));
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

std::optional<image::Bitmap> decode_gif(std::span<const std::uint8_t> file) {
    GifInput in{file};
    int error = 0;
    GifFileType* gif = DGifOpen(&in, gif_read, &error);
    if (gif == nullptr) return std::nullopt;
    std::optional<image::Bitmap> out;
    if (DGifSlurp(gif) == GIF_OK && gif->ImageCount >= 1 && gif->SWidth > 0 && gif->SHeight > 0) {
        const SavedImage& frame = gif->SavedImages[0];
        const ColorMapObject* map = frame.ImageDesc.ColorMap ? frame.ImageDesc.ColorMap : gif->SColorMap;
        const int w = gif->SWidth, h = gif->SHeight;
        std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3, 0);
        const auto& d = frame.ImageDesc;
        for (int y = 0; map != nullptr && y < d.Height; ++y) {
            for (int x = 0; x < d.Width; ++x) {
                const int sx = d.Left + x, sy = d.Top + y;
                if (sx < 0 || sy < 0 || sx >= w || sy >= h) continue;
                const int index = frame.RasterBits[static_cast<std::size_t>(y) * d.Width + x];
                if (index >= map->ColorCount) continue;
                std::uint8_t* p = rgb.data() + (static_cast<std::size_t>(sy) * w + sx) * 3;
                p[0] = map->Colors[index].Red;
                p[1] = map->Colors[index].Green;
                p[2] = map->Colors[index].Blue;
            }
        }
        out = image::rgb_bitmap(w, h, std::move(rgb));
    }
    DGifCloseFile(gif, &error);
    return out;
}

bool starts_with(std::span<const std::uint8_t> file, std::string_view magic) {
    return file.size() >= magic.size() && std::memcmp(file.data(), magic.data(), magic.size()) == 0;
}

}  // namespace

std::optional<image::Bitmap> decode_picture(std::span<const std::uint8_t> file) {
    if (starts_with(file, "BM")) return image::decode_bmp_file(file).bitmap;
    if (starts_with(file, "\xFF\xD8\xFF")) return decode_jpeg(file);
    if (starts_with(file, "GIF8")) return decode_gif(file);
    return std::nullopt;
}

}  // namespace sim
