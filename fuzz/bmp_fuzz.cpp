// The BMP and DIB reader: files a user picks and pictures handed to the library. Any bytes give a
// picture or a named error; a picture read is written back and reads again the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "library/imaging/bmp.h"
#include "fuzz/require.h"

namespace {

void check(const kelvra::imaging::BmpDecode& d) {
    using kelvra::imaging::BmpError;
    FUZZ_REQUIRE(d.bitmap.has_value() == (d.error == BmpError::kNone));
    // A run-length file of a kilobyte may announce a picture of many millions of pixels (up to the
    // reader's bound); writing and reading such a picture again would only slow the search down.
    if (!d.bitmap || d.bitmap->pixel_count() > (std::size_t{1} << 20)) return;
    const auto again = kelvra::imaging::decode_dib(kelvra::imaging::make_dib(*d.bitmap));
    FUZZ_REQUIRE(again.bitmap.has_value());
    FUZZ_REQUIRE(again.bitmap->width == d.bitmap->width && again.bitmap->height == d.bitmap->height);
    FUZZ_REQUIRE(again.bitmap->rgb == d.bitmap->rgb);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    check(kelvra::imaging::decode_bmp_file(bytes));
    check(kelvra::imaging::decode_dib(bytes));
    (void)kelvra::imaging::dib_facts(bytes);
    return 0;
}
