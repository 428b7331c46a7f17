#include "library/imaging/capture.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <mutex>

#include "library/imaging/octree.h"
#include "library/base/folder_ops.h"

// Xlib last: its macros (None, Bool, Status) must not reach the headers above.
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on

namespace kelvra::imaging {

namespace {

// The display connection of one capture.
class Display_ {
  public:
    Display_() : display_(XOpenDisplay(nullptr)) {}
    ~Display_() {
        if (display_ != nullptr) XCloseDisplay(display_);
    }
    Display_(const Display_&) = delete;
    Display_& operator=(const Display_&) = delete;
    ::Display* get() const { return display_; }

  private:
    ::Display* display_;
};

// X errors of one call are counted instead of ending the process (Xlib's default handler exits).
// The handler is process-wide, so one call at a time installs it.
std::mutex error_lock;
int x_errors = 0;

int count_error(::Display*, XErrorEvent*) {
    ++x_errors;
    return 0;
}

class TrappedErrors {
  public:
    explicit TrappedErrors(::Display* d) : lock_(error_lock), display_(d) {
        x_errors = 0;
        previous_ = XSetErrorHandler(count_error);
    }
    ~TrappedErrors() {
        XSync(display_, False);
        XSetErrorHandler(previous_);
    }
    TrappedErrors(const TrappedErrors&) = delete;
    TrappedErrors& operator=(const TrappedErrors&) = delete;
    bool failed() {
        XSync(display_, False);
        return x_errors != 0;
    }

  private:
    std::lock_guard<std::mutex> lock_;
    ::Display* display_;
    XErrorHandler previous_;
};

// 0..255 of one channel of an XImage pixel.
std::uint8_t channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const int width = std::popcount(mask);
    const unsigned long v = (pixel & mask) >> shift;
    if (width >= 8) return static_cast<std::uint8_t>(v >> (width - 8));
    const unsigned long max = (1ul << width) - 1;
    return static_cast<std::uint8_t>((v * 255 + max / 2) / max);
}

// How the pixels of the screen's visual become colours: through the visual's RGB masks (TrueColor),
// or through the colormap (PseudoColor, StaticColor, GrayScale, StaticGray: a pixel is an index into
// it, read with XQueryColors). DirectColor is not read.
struct Colours {
    bool masks = false;
    std::vector<Rgb> table;  // colormap entries, by pixel value
};

std::optional<Colours> colours_of(::Display* d, int screen) {
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(d, RootWindow(d, screen), &attributes) == 0 || attributes.visual == nullptr)
        return std::nullopt;
    const Visual* v = attributes.visual;
    Colours out;
    switch (v->c_class) {
        case TrueColor:
            if (v->red_mask == 0 || v->green_mask == 0 || v->blue_mask == 0) return std::nullopt;
            out.masks = true;
            return out;
        case PseudoColor:
        case StaticColor:
        case GrayScale:
        case StaticGray:
            break;
        default:
            return std::nullopt;
    }
    if (v->map_entries <= 0 || v->map_entries > 65536) return std::nullopt;
    std::vector<XColor> entries(static_cast<std::size_t>(v->map_entries));
    for (std::size_t i = 0; i < entries.size(); ++i) entries[i].pixel = i;
    TrappedErrors errors(d);
    XQueryColors(d, attributes.colormap, entries.data(), v->map_entries);
    if (errors.failed()) return std::nullopt;
    out.table.reserve(entries.size());
    for (const XColor& c : entries)
        out.table.push_back(Rgb{static_cast<std::uint8_t>(c.red >> 8),
                                static_cast<std::uint8_t>(c.green >> 8),
                                static_cast<std::uint8_t>(c.blue >> 8)});
    return out;
}

Bitmap to_bitmap(XImage* image, int width, int height, const Colours& colours) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    const bool direct = colours.masks && image->bits_per_pixel == 32 && image->byte_order == LSBFirst &&
                        image->red_mask == 0xFF0000 && image->green_mask == 0xFF00 &&
                        image->blue_mask == 0xFF;
    std::uint8_t* out = rgb.data();
    for (int y = 0; y < height; ++y) {
        if (direct) {
            const auto* row = reinterpret_cast<const std::uint8_t*>(image->data) +
                              static_cast<std::size_t>(y) * static_cast<std::size_t>(image->bytes_per_line);
            for (int x = 0; x < width; ++x, out += 3) {
                out[0] = row[4 * x + 2], out[1] = row[4 * x + 1], out[2] = row[4 * x];
            }
            continue;
        }
        for (int x = 0; x < width; ++x, out += 3) {
            const unsigned long p = XGetPixel(image, x, y);
            if (colours.masks) {
                out[0] = channel(p, image->red_mask), out[1] = channel(p, image->green_mask),
                out[2] = channel(p, image->blue_mask);
            } else if (p < colours.table.size()) {
                const Rgb c = colours.table[p];
                out[0] = c.r, out[1] = c.g, out[2] = c.b;
            }
        }
    }
    return rgb_bitmap(width, height, std::move(rgb));
}

}  // namespace

std::optional<Bitmap> capture_screen(ScreenRect rect, CaptureFailure* why) {
    const auto fail = [why](CaptureFailure f) -> std::optional<Bitmap> {
        if (why != nullptr) *why = f;
        return std::nullopt;
    };
    if (rect.empty()) return fail(CaptureFailure::kNothing);
    Display_ display;
    if (display.get() == nullptr) return fail(CaptureFailure::kNothing);
    ::Display* d = display.get();
    const int screen = DefaultScreen(d);
    rect.left = std::max(rect.left, 0);
    rect.top = std::max(rect.top, 0);
    rect.right = std::min(rect.right, static_cast<std::int32_t>(DisplayWidth(d, screen)));
    rect.bottom = std::min(rect.bottom, static_cast<std::int32_t>(DisplayHeight(d, screen)));
    if (rect.empty()) return fail(CaptureFailure::kNothing);
    const auto colours = colours_of(d, screen);
    if (!colours) return fail(CaptureFailure::kUnreadableColours);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    XImage* image = nullptr;
    {
        TrappedErrors errors(d);
        image = XGetImage(d, RootWindow(d, screen), rect.left, rect.top, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), AllPlanes, ZPixmap);
        if (errors.failed() && image != nullptr) {
            XDestroyImage(image);
            image = nullptr;
        }
    }
    if (image == nullptr) return fail(CaptureFailure::kNothing);
    Bitmap out = to_bitmap(image, width, height, *colours);
    XDestroyImage(image);
    return out;
}

std::optional<ScreenRect> client_to_screen(unsigned long window, ScreenRect rect) {
    if (window == 0) return std::nullopt;
    Display_ display;
    if (display.get() == nullptr) return std::nullopt;
    ::Display* d = display.get();
    int x = 0, y = 0;
    Window child = 0;
    TrappedErrors errors(d);
    const Bool same = XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &x, &y, &child);
    if (errors.failed() || !same) return std::nullopt;
    rect.left += x, rect.right += x;
    rect.top += y, rect.bottom += y;
    return rect;
}

std::optional<Bytes> screen_picture(ScreenRect rect, image::PictureType format, bool reduce) {
    auto picture = capture_screen(rect, nullptr);
    if (!picture) return std::nullopt;
    if (reduce) {
        picture = reduce_to_256_colours(*picture);
        if (!picture) return std::nullopt;
    }
    return encode(*picture, format);
}

WindowSave save_window_jpeg(unsigned long window, ScreenRect client_rect, std::string_view path) {
    if (client_rect.empty()) return WindowSave::kNothingCaptured;
    const auto rect = client_to_screen(window, client_rect);
    if (!rect) return WindowSave::kNothingCaptured;
    CaptureFailure why = CaptureFailure::kNothing;
    const auto picture = capture_screen(*rect, &why);
    if (!picture)
        return why == CaptureFailure::kUnreadableColours ? WindowSave::kUnreadableColours
                                                         : WindowSave::kNothingCaptured;
    const auto jpeg = encode_jpeg(*picture);
    if (!jpeg) return WindowSave::kEncodingFailed;
    return save_memory_file(*jpeg, path) ? WindowSave::kSaved : WindowSave::kNotWritten;
}

bool save_memory_file(std::span<const std::uint8_t> image, std::string_view path) {
    if (image.empty() || path.empty()) return false;
    const auto file = files::local_path(path);
    if (!file.is_absolute()) return false;
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < image.size()) {
        const ssize_t n = ::write(fd, image.data() + done, image.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    const bool closed = ::close(fd) == 0;
    return done == image.size() && closed;
}

}  // namespace kelvra::imaging
