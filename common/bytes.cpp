#include "common/bytes.h"

namespace bytes {
namespace {

// On a little-endian host aligned words are host words and the sum runs as a plain word loop; blocks of
// a fixed length vectorise at -O2, the remainder goes one word at a time. Elsewhere it goes byte by byte.
constexpr bool kHostIsLittle = std::endian::native == std::endian::little;
constexpr std::size_t kBlockWords = 1024;

std::uint32_t sum_words(const std::uint32_t* w, std::size_t count) {
    std::uint32_t sum = 0;
    std::size_t i = 0;
    for (; i + kBlockWords <= count; i += kBlockWords) {
        std::uint32_t block = 0;
        for (std::size_t j = 0; j < kBlockWords; ++j) block += w[i + j];
        sum += block;
    }
    for (; i < count; ++i) sum += w[i];
    return sum;
}

}  // namespace

std::uint32_t word_sum(std::span<const std::uint8_t> bytes) {
    const std::size_t words = bytes.size() / 4;
    if constexpr (kHostIsLittle) {
        if (reinterpret_cast<std::uintptr_t>(bytes.data()) % alignof(std::uint32_t) == 0)
            return sum_words(reinterpret_cast<const std::uint32_t*>(bytes.data()), words);
    }
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < words; ++i) sum += get_u32le(bytes.data() + 4 * i);
    return sum;
}

}  // namespace bytes
