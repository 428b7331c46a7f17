// The simulator's picture reader: the BMP, JPEG and GIF files a card is sent to show. Any bytes give a
// picture within the card cap or none; a file whose headers declare more than the cap is refused for
// its size, and one within it is never refused for it.
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/picture_size.h"
#include "simulator/pictures.h"
#include "fuzz/require.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const auto declared = image::declared_size(bytes);
    const auto decoded = sim::decode_picture(bytes);
    const bool over = declared && !image::fits_card(declared->width, declared->height);
    FUZZ_REQUIRE(decoded.too_large == over);
    if (!declared) FUZZ_REQUIRE(!decoded.bitmap);
    if (decoded.bitmap) {
        const auto& b = *decoded.bitmap;
        FUZZ_REQUIRE(image::fits_card(b.width, b.height));
        FUZZ_REQUIRE(b.rgb.size() == b.pixel_count() * 3);
    } else {
        FUZZ_REQUIRE(!decoded.why.empty());
    }
    return 0;
}
