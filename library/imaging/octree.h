// Reduction of a picture to at most 256 colours: octree colour quantisation (Gervautz and Purgathofer)
// with a tree depth of 8 colour bits, then every pixel mapped to its nearest palette colour.
//
// Every pixel is added to the tree as a 24-bit colour. Whenever the tree has more than 256 leaves, the
// deepest level that has a reducible node gives up its most recently added one: its children's sums
// of red, green, blue and pixel counts are added into it, the children are released and it becomes a
// leaf. The palette colours are the leaves' sums divided by their pixel counts (rounded).
//
// Pure functions; thread-safe.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "library/imaging/bitmap.h"

namespace kelvra::imaging {

inline constexpr std::size_t kMaxPaletteColours = 256;

// The octree palette of a picture's pixels (at most 256 colours, in the tree's order of leaves).
std::vector<Rgb> octree_palette(const Bitmap& picture);

// The index of the nearest colour of `palette` (squared distance in RGB; the lowest index on a tie)
// for every pixel of `picture`. `palette` holds 1 to 256 colours.
std::vector<std::uint8_t> map_to_palette(const Bitmap& picture, std::span<const Rgb> palette);

// The picture reduced to 8 bits per pixel with its octree palette; none for an empty picture.
std::optional<Bitmap> reduce_to_256_colours(const Bitmap& picture);

// The same reduction without the pixels' colours (`rgb` stays empty), for an encoder that writes the
// palette and the indices only.
std::optional<Bitmap> palette_of_256_colours(const Bitmap& picture);

}  // namespace kelvra::imaging
