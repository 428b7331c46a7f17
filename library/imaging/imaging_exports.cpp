// The C ABI of picture capture and conversion: converts arguments and results, hands out memory
// blocks and lets no exception out.
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>

#include "common/picture_size.h"
#include "kelvra/kelvra.h"
#include "library/base/c_boundary.h"
#include "library/imaging/bmp.h"
#include "library/imaging/capture.h"
#include "library/imaging/codecs.h"
#include "library/base/folder_ops.h"

namespace img = kelvra::imaging;

static_assert(KELVRA_MAX_PICTURE_SIDE == image::kMaxPictureSide);
static_assert(KELVRA_MAX_PICTURE_PIXELS == image::kMaxPicturePixels);

namespace {

using kelvra::boundary::guarded;
using kelvra::boundary::text;

// The caller's bytes; empty for a null block or null data.
std::span<const std::uint8_t> bytes_of(const KelvraMemoryBlock* block) {
    if (block == nullptr || block->data == nullptr) return {};
    return {block->data, block->size};
}

// A new block holding `bytes`; null when memory is short or the bytes do not fit its size field.
KelvraMemoryBlock* new_block(const img::Bytes& bytes) {
    if (bytes.empty() || bytes.size() > UINT32_MAX) return nullptr;
    auto* block = static_cast<KelvraMemoryBlock*>(std::malloc(sizeof(KelvraMemoryBlock)));
    if (block == nullptr) return nullptr;
    block->data = static_cast<unsigned char*>(std::malloc(bytes.size()));
    if (block->data == nullptr) {
        std::free(block);
        return nullptr;
    }
    std::memcpy(block->data, bytes.data(), bytes.size());
    block->size = static_cast<uint32_t>(bytes.size());
    return block;
}

KelvraMemoryBlock* new_block(const std::optional<img::Bytes>& bytes) {
    return bytes ? new_block(*bytes) : nullptr;
}

img::ScreenRect rect_of(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return img::ScreenRect{left, top, right, bottom};
}

}  // namespace

extern "C" {

void KelvraFreeMemoryBlock(KelvraMemoryBlock* block) {
    if (block == nullptr) return;
    std::free(block->data);
    std::free(block);
}

KelvraMemoryBlock* MBmpToMImage(const KelvraMemoryBlock* bmpFile, const char* format) {
    return guarded(nullptr, [&]() -> KelvraMemoryBlock* {
        const auto in = bytes_of(bmpFile);
        if (in.empty()) return nullptr;
        return new_block(img::convert_bmp(in, text(format)));
    });
}

KelvraMemoryBlock* LoadBmpToDIB(const char* path) {
    return guarded(nullptr, [&]() -> KelvraMemoryBlock* {
        if (path == nullptr || text(path).find(".bmp") == std::string_view::npos) return nullptr;
        const auto file = kelvra::GetFileBuf(path);
        if (!file) return nullptr;
        const auto decoded = img::decode_bmp_file(*file);
        if (!decoded.bitmap) return nullptr;
        return new_block(img::make_dib(*decoded.bitmap));
    });
}

KelvraMemoryBlock* DIBFormatCovert(const KelvraMemoryBlock* dib, const char* format) {
    return guarded(nullptr, [&]() -> KelvraMemoryBlock* {
        const auto in = bytes_of(dib);
        if (in.empty()) return nullptr;
        return new_block(img::convert_dib(in, text(format)));
    });
}

int32_t SaveMemFileToDisk(const KelvraMemoryBlock* image, const char* path) {
    return guarded(0, [&] { return img::save_memory_file(bytes_of(image), text(path)) ? 1 : 0; });
}

KelvraMemoryBlock* GetScreenPic(int32_t left, int32_t top, int32_t right, int32_t bottom, const char* format,
                                int32_t reduce) {
    return guarded(nullptr, [&]() -> KelvraMemoryBlock* {
        return new_block(img::screen_picture(rect_of(left, top, right, bottom),
                                             img::classify_capture_format(text(format)), reduce != 0));
    });
}

int32_t SaveScreenPic(int32_t left, int32_t top, int32_t right, int32_t bottom, const char* path,
                      const char* format, int32_t reduce) {
    return guarded(0, [&] {
        const auto picture = img::screen_picture(rect_of(left, top, right, bottom),
                                                 img::classify_capture_format(text(format)), reduce != 0);
        return picture && img::save_memory_file(*picture, text(path)) ? 1 : 0;
    });
}

int32_t SaveScreenPicNew(int32_t left, int32_t top, int32_t right, int32_t bottom, const char* path,
                         int32_t reduce) {
    return guarded(1, [&] {
        const auto picture = img::screen_picture(rect_of(left, top, right, bottom),
                                                 img::classify_capture_format(text(path)), reduce != 0);
        return picture && img::save_memory_file(*picture, text(path)) ? 0 : 1;
    });
}

int32_t SaveWndJpg(unsigned long window, const char* path, KelvraRect rect) {
    return guarded(KELVRA_WND_JPG_NOTHING_CAPTURED, [&]() -> int32_t {
        switch (img::save_window_jpeg(window, rect_of(rect.left, rect.top, rect.right, rect.bottom),
                                      text(path))) {
            case img::WindowSave::kSaved:
                return 0;
            case img::WindowSave::kEncodingFailed:
                return KELVRA_WND_JPG_ENCODING_FAILED;
            case img::WindowSave::kNothingCaptured:
            case img::WindowSave::kNotWritten:
                return KELVRA_WND_JPG_NOTHING_CAPTURED;
            case img::WindowSave::kUnreadableColours:
                return KELVRA_WND_JPG_UNREADABLE_COLOURS;
        }
        return KELVRA_WND_JPG_NOTHING_CAPTURED;
    });
}

}  // extern "C"
