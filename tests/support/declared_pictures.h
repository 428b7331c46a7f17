// Small picture files whose headers declare a picture of any size, for the tests of the picture size
// cap: a few bytes that announce millions of pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace support {

using Bytes = std::vector<std::uint8_t>;

inline Bytes from_hex(std::string_view hex) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        auto nibble = [](char c) { return static_cast<std::uint8_t>(c <= '9' ? c - '0' : c - 'a' + 10); };
        out.push_back(static_cast<std::uint8_t>(nibble(hex[i]) << 4 | nibble(hex[i + 1])));
    }
    return out;
}

inline void put_le(Bytes& b, std::size_t at, std::uint32_t v, int size) {
    for (int i = 0; i < size; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A BMP of run-length rows (BI_RLE8) declaring width x height and holding only the end-of-picture
// code: 1,080 bytes whatever the size (the "RLE bomb" when the size is large). Colour 0 is red.
inline Bytes rle8_bmp(std::uint32_t width, std::uint32_t height) {
    Bytes b(14 + 40 + 1024 + 2, 0);
    b[0] = 'B', b[1] = 'M';
    put_le(b, 2, static_cast<std::uint32_t>(b.size()), 4);
    put_le(b, 10, 14 + 40 + 1024, 4);
    put_le(b, 14, 40, 4);
    put_le(b, 18, width, 4);
    put_le(b, 22, height, 4);
    put_le(b, 26, 1, 2);  // planes
    put_le(b, 28, 8, 2);  // bits per pixel
    put_le(b, 30, 1, 4);  // BI_RLE8
    put_le(b, 34, 2, 4);  // bytes of pixels
    b[54 + 2] = 0xFF;     // colour 0: blue 0, green 0, red 255
    b[b.size() - 2] = 0;  // end of picture
    b[b.size() - 1] = 1;
    return b;
}

// A 4 x 2 JPEG (cjpeg, quality 90) whose frame header is made to declare width x height: a decoder
// reads the 4 x 2 scan and fills the rest.
inline Bytes jpeg_declaring(std::uint16_t width, std::uint16_t height) {
    Bytes b = from_hex(
        "ffd8ffe000104a46494600010100000100010000ffdb0043000302020302020303030304030304050805050404050a07"
        "0706080c0a0c0c0b0a0b0b0d0e12100d0e110e0b0b1016101113141515150c0f171816141812141514ffdb0043010304"
        "0405040509050509140d0b0d141414141414141414141414141414141414141414141414141414141414141414141414"
        "1414141414141414141414141414ffc00011080002000403012200021101031101ffc4001f0000010501010101010100"
        "000000000000000102030405060708090a0bffc400b5100002010303020403050504040000017d010203000411051221"
        "31410613516107227114328191a1082342b1c11552d1f02433627282090a161718191a25262728292a3435363738393a"
        "434445464748494a535455565758595a636465666768696a737475767778797a838485868788898a9293949596979899"
        "9aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4c5c6c7c8c9cad2d3d4d5d6d7d8d9dae1e2e3e4e5e6e7e8e9eaf1"
        "f2f3f4f5f6f7f8f9faffc4001f0100030101010101010101010000000000000102030405060708090a0bffc400b51100"
        "020102040403040705040400010277000102031104052131061241510761711322328108144291a1b1c109233352f015"
        "6272d10a162434e125f11718191a262728292a35363738393a434445464748494a535455565758595a63646566676869"
        "6a737475767778797a82838485868788898a92939495969798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4"
        "c5c6c7c8c9cad2d3d4d5d6d7d8d9dae2e3e4e5e6e7e8e9eaf2f3f4f5f6f7f8f9faffda000c03010002110311003f00fa"
        "a7fe09d9ff0024afc59ff61e83ff004cba651451443fdd70bff5e687fe99803f8a5eaff367ffd9");
    for (std::size_t i = 2; i + 9 < b.size(); ++i) {
        if (b[i] == 0xFF && b[i + 1] == 0xC0) {
            b[i + 5] = static_cast<std::uint8_t>(height >> 8), b[i + 6] = static_cast<std::uint8_t>(height);
            b[i + 7] = static_cast<std::uint8_t>(width >> 8), b[i + 8] = static_cast<std::uint8_t>(width);
            break;
        }
    }
    return b;
}

// A GIF (51 bytes) of one 4 x 2 image; its logical screen declares width x height, or, with `image`,
// the image descriptor declares it (the image's own data stays 4 x 2).
inline Bytes gif_declaring(std::uint16_t width, std::uint16_t height, bool image = false) {
    Bytes b = from_hex(
        "47494638396104000200f10300ff000000ff000000ffffffff21f90400000000002c00000000040002000002044434860500"
        "3b");
    const std::size_t at = image ? 33 + 5 : 6;  // the image descriptor begins at byte 33
    put_le(b, at, width, 2);
    put_le(b, at + 2, height, 2);
    return b;
}

}  // namespace support
