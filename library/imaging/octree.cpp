#include "library/imaging/octree.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelvra::imaging {

namespace {

constexpr int kDepth = 8;

// One cache line: a step down the tree reads one line. Counts stay below 2^28 (the largest picture).
struct alignas(64) Node {
    std::array<std::int32_t, 8> children{-1, -1, -1, -1, -1, -1, -1, -1};
    std::uint64_t r = 0, g = 0, b = 0;
    std::uint32_t count = 0;
    bool leaf = false;
};
static_assert(sizeof(Node) == 64);

class Octree {
  public:
    Octree() {
        nodes_.reserve(2048);
        make_node(0);  // the root
    }

    // Adds `n` pixels of one colour. With `use_seen`, a colour added before since the last reduction
    // goes straight to its leaf; true when it did.
    bool add(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint64_t n, bool use_seen) {
        // A colour seen before goes straight to its leaf, unless a reduction has released leaves since.
        const std::uint32_t key = std::uint32_t{r} << 16 | std::uint32_t{g} << 8 | b;
        Seen& seen = seen_[(key * 2654435761u) >> 20];
        if (use_seen && seen.key == key && seen.generation == generation_) {
            Node& leaf = nodes_[static_cast<std::size_t>(seen.leaf)];
            leaf.r += std::uint64_t{r} * n, leaf.g += std::uint64_t{g} * n, leaf.b += std::uint64_t{b} * n;
            leaf.count += static_cast<std::uint32_t>(n);
            return true;
        }
        // The walk starts where the last walk with the same top three bits of each channel got to.
        Shortcut& shortcut = shortcuts_[static_cast<std::size_t>((r >> 5) << 6 | (g >> 5) << 3 | (b >> 5))];
        const bool known = shortcut.epoch == epoch_;
        std::int32_t node = known ? shortcut.node : 0;
        for (int level = known ? shortcut.level : 0;; ++level) {
            if (!known && level <= kShortcutLevel &&
                (level == kShortcutLevel || nodes_[static_cast<std::size_t>(node)].leaf))
                shortcut = Shortcut{epoch_, node, level};
            if (nodes_[static_cast<std::size_t>(node)].leaf) {
                Node& leaf = nodes_[static_cast<std::size_t>(node)];
                leaf.r += std::uint64_t{r} * n, leaf.g += std::uint64_t{g} * n,
                    leaf.b += std::uint64_t{b} * n;
                leaf.count += static_cast<std::uint32_t>(n);
                if (use_seen) seen = Seen{key, generation_, node};
                break;
            }
            const int shift = 7 - level;
            const int slot = ((r >> shift) & 1) << 2 | ((g >> shift) & 1) << 1 | ((b >> shift) & 1);
            std::int32_t child =
                nodes_[static_cast<std::size_t>(node)].children[static_cast<std::size_t>(slot)];
            if (child < 0) {
                child = make_node(level + 1);
                nodes_[static_cast<std::size_t>(node)].children[static_cast<std::size_t>(slot)] = child;
            }
            node = child;
        }
        while (leaves_ > kMaxPaletteColours) reduce();
        return false;
    }

    std::vector<Rgb> palette() const {
        std::vector<Rgb> out;
        collect(0, out);
        return out;
    }

  private:
    std::int32_t make_node(int level) {
        std::int32_t index;
        if (!free_.empty()) {
            index = free_.back();
            free_.pop_back();
            nodes_[static_cast<std::size_t>(index)] = Node{};
        } else {
            index = static_cast<std::int32_t>(nodes_.size());
            nodes_.emplace_back();
        }
        if (level == kDepth) {
            nodes_[static_cast<std::size_t>(index)].leaf = true;
            ++leaves_;
        } else {
            reducible_[static_cast<std::size_t>(level)].push_back(index);
        }
        return index;
    }

    // The deepest level with a reducible node gives up its most recently added one. Its children are
    // leaves: a deeper inner node would sit on a deeper reducible level.
    void reduce() {
        ++generation_;
        int level = kDepth - 1;
        while (level > 0 && reducible_[static_cast<std::size_t>(level)].empty()) --level;
        auto& list = reducible_[static_cast<std::size_t>(level)];
        if (list.empty()) return;
        const std::int32_t index = list.back();
        list.pop_back();
        // Released children at the shortcuts' level or above may be reused as other nodes.
        if (level < kShortcutLevel) ++epoch_;
        Node& node = nodes_[static_cast<std::size_t>(index)];
        for (auto& child : node.children) {
            if (child < 0) continue;
            const Node& c = nodes_[static_cast<std::size_t>(child)];
            node.r += c.r, node.g += c.g, node.b += c.b, node.count += c.count;
            free_.push_back(child);
            child = -1;
            --leaves_;
        }
        node.leaf = true;
        ++leaves_;
    }

    void collect(std::int32_t index, std::vector<Rgb>& out) const {
        const Node& n = nodes_[static_cast<std::size_t>(index)];
        if (n.leaf) {
            if (n.count == 0) return;
            const auto mean = [&](std::uint64_t sum) {
                return static_cast<std::uint8_t>((sum + n.count / 2) / n.count);
            };
            out.push_back(Rgb{mean(n.r), mean(n.g), mean(n.b)});
            return;
        }
        for (const std::int32_t child : n.children)
            if (child >= 0) collect(child, out);
    }

    // Where a walk may start: the node at kShortcutLevel on the path of a colour's top bits, or the leaf
    // above it. Such a node keeps its place until a reduction above that level releases it: a node
    // there is created once and a leaf never gains children.
    static constexpr int kShortcutLevel = 3;
    struct Shortcut {
        std::uint32_t epoch = 0;  // valid while equal to epoch_
        std::int32_t node = 0;
        int level = 0;
    };
    std::array<Shortcut, 512> shortcuts_{};
    std::uint32_t epoch_ = 1;

    // Recently added colours and their leaves, valid while no reduction has happened since.
    struct Seen {
        std::uint32_t key = 0xFFFFFFFF;  // no 24-bit colour
        std::uint32_t generation = 0;
        std::int32_t leaf = -1;
    };
    std::vector<Seen> seen_ = std::vector<Seen>(4096);
    std::uint32_t generation_ = 0;
    std::vector<Node> nodes_;
    std::vector<std::int32_t> free_;
    std::array<std::vector<std::int32_t>, kDepth> reducible_;
    std::size_t leaves_ = 0;
};

// Nearest-colour search through two grids of cells, 16 and 32 a side. A cell lists the palette colours
// that can be nearest to some colour inside it: those whose nearest point is no farther than the least
// farthest point of any colour. The coarse lists are made from the whole palette, the fine ones from
// their coarse cell's list, each when its cell is first used. A fine cell with at most four candidates
// (nearly all) keeps them inline and is searched without a branch.
class NearestColour {
  public:
    explicit NearestColour(std::span<const Rgb> palette)
        : palette_(palette),
          state_(kFineCells, kUnbuilt),
          inline_(kFineCells),
          fine_(kFineCells),
          coarse_(16 * 16 * 16) {
        all_.resize(palette.size());
        for (std::size_t i = 0; i < all_.size(); ++i) all_[i] = static_cast<std::uint8_t>(i);
        candidates_.reserve(1 << 16);
    }

    std::uint8_t find(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        const std::size_t cell = static_cast<std::size_t>(r >> 3) << 10 |
                                 static_cast<std::size_t>(g >> 3) << 5 | static_cast<std::size_t>(b >> 3);
        if (state_[cell] != kInline) {
            if (state_[cell] == kUnbuilt) build_fine(cell, r, g, b);
            if (state_[cell] == kListed) return search(fine_[cell], r, g, b);
        }
        // Four candidates (padded with the first), each weighed by its squared distance and then its
        // index, so that a tie keeps the lower index. The colours are kept in the cell: one load serves
        // all four.
        return nearest_of_four(inline_[cell], r, g, b);
    }

  private:
    static constexpr std::size_t kFineCells = 32 * 32 * 32;
    static constexpr std::uint8_t kUnbuilt = 0, kInline = 1, kListed = 2;

    struct Inline {
        std::array<std::uint8_t, 4> index, r, g, b;
    };
    static_assert(sizeof(Inline) == 16);

#if defined(__SSE2__)
    static std::uint8_t nearest_of_four(const Inline& cell, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&cell));
        const __m128i colours = _mm_srli_si128(bytes, 4);  // r0..r3 g0..g3 b0..b3
        // (red, green) pairs of 16 bits for the four candidates, and blue with a zero beside it.
        const __m128i rg = _mm_unpacklo_epi8(_mm_unpacklo_epi8(colours, _mm_srli_si128(colours, 4)), zero);
        const __m128i blue = _mm_unpacklo_epi8(_mm_srli_si128(colours, 8), zero);
        const __m128i d_rg = _mm_sub_epi16(_mm_set1_epi32(static_cast<int>(r | g << 16)), rg);
        const __m128i d_b = _mm_unpacklo_epi16(_mm_sub_epi16(_mm_set1_epi16(b), blue), zero);
        const __m128i distance = _mm_add_epi32(_mm_madd_epi16(d_rg, d_rg), _mm_madd_epi16(d_b, d_b));
        const __m128i index = _mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero);
        __m128i weight = _mm_or_si128(_mm_slli_epi32(distance, 8), index);
        // The least of four signed 32-bit lanes (weights stay below 2^26), without SSE4.1's minimum.
        const auto least = [](__m128i a, __m128i c) {
            const __m128i greater = _mm_cmpgt_epi32(a, c);
            return _mm_or_si128(_mm_and_si128(greater, c), _mm_andnot_si128(greater, a));
        };
        weight = least(weight, _mm_shuffle_epi32(weight, _MM_SHUFFLE(1, 0, 3, 2)));
        weight = least(weight, _mm_shuffle_epi32(weight, _MM_SHUFFLE(2, 3, 0, 1)));
        return static_cast<std::uint8_t>(_mm_cvtsi128_si32(weight) & 0xFF);
    }
#else
    static std::uint8_t nearest_of_four(const Inline& cell, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        std::uint32_t best = std::numeric_limits<std::uint32_t>::max();
        for (std::size_t k = 0; k < 4; ++k) {
            const int dr = r - cell.r[k], dg = g - cell.g[k], db = b - cell.b[k];
            best =
                std::min(best, static_cast<std::uint32_t>(dr * dr + dg * dg + db * db) << 8 | cell.index[k]);
        }
        return static_cast<std::uint8_t>(best & 0xFF);
    }
#endif

    struct List {  // candidates_[start, end); end 0: not built yet (a built list is never empty)
        std::uint32_t start = 0, end = 0;
    };

    std::uint32_t distance(std::uint8_t index, int r, int g, int b) const {
        const Rgb& c = palette_[index];
        const int dr = r - c.r, dg = g - c.g, db = b - c.b;
        return static_cast<std::uint32_t>(dr * dr + dg * dg + db * db);
    }

    std::uint8_t search(const List& list, int r, int g, int b) const {
        std::uint32_t best = std::numeric_limits<std::uint32_t>::max();
        std::uint8_t best_index = 0;
        for (std::uint32_t i = list.start; i < list.end; ++i) {
            const std::uint32_t d = distance(candidates_[i], r, g, b);
            if (d < best) best = d, best_index = candidates_[i];
        }
        return best_index;
    }

    void build_fine(std::size_t cell, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        const std::size_t c = static_cast<std::size_t>(r >> 4) << 8 | static_cast<std::size_t>(g >> 4) << 4 |
                              static_cast<std::size_t>(b >> 4);
        if (coarse_[c].end == 0) build(coarse_[c], r & 0xF0, g & 0xF0, b & 0xF0, 16, all_);
        scratch_.assign(candidates_.begin() + coarse_[c].start, candidates_.begin() + coarse_[c].end);
        List& list = fine_[cell];
        build(list, r & 0xF8, g & 0xF8, b & 0xF8, 8, scratch_);
        const std::uint32_t n = list.end - list.start;
        if (n > 4) {
            state_[cell] = kListed;
            return;
        }
        Inline& cell_colours = inline_[cell];
        for (std::uint32_t k = 0; k < 4; ++k) {
            const std::uint8_t index = candidates_[list.start + (k < n ? k : 0)];
            cell_colours.index[k] = index;
            cell_colours.r[k] = palette_[index].r;
            cell_colours.g[k] = palette_[index].g;
            cell_colours.b[k] = palette_[index].b;
        }
        state_[cell] = kInline;
    }

    // Lists, in index order, the colours of `from` that can be nearest inside the cube of `side` at
    // (r0, g0, b0): one pass for each colour's nearest and farthest squared distance to the cube, then
    // those whose nearest is within the least farthest.
    void build(List& list, int r0, int g0, int b0, int side, const std::vector<std::uint8_t>& from) {
        const int r1 = r0 + side - 1, g1 = g0 + side - 1, b1 = b0 + side - 1;
        // The colours are gathered into planes first, so that the distances are computed on whole
        // vectors of colours.
        const std::size_t n = from.size();
        red_.resize(n), green_.resize(n), blue_.resize(n), nearest_.resize(n), farthest_.resize(n);
        for (std::size_t k = 0; k < n; ++k) {
            const Rgb& c = palette_[from[k]];
            red_[k] = c.r, green_[k] = c.g, blue_[k] = c.b;
        }
        for (std::size_t k = 0; k < n; ++k) {
            const int r = red_[k], g = green_[k], b = blue_[k];
            const int fr = std::max(r - r0, r1 - r), fg = std::max(g - g0, g1 - g),
                      fb = std::max(b - b0, b1 - b);
            const int nr = std::max(0, std::max(r0 - r, r - r1)), ng = std::max(0, std::max(g0 - g, g - g1)),
                      nb = std::max(0, std::max(b0 - b, b - b1));
            farthest_[k] = fr * fr + fg * fg + fb * fb;
            nearest_[k] = nr * nr + ng * ng + nb * nb;
        }
        int bound = std::numeric_limits<int>::max();
        for (std::size_t k = 0; k < n; ++k) bound = std::min(bound, farthest_[k]);
        list.start = static_cast<std::uint32_t>(candidates_.size());
        for (std::size_t k = 0; k < n; ++k)
            if (nearest_[k] <= bound) candidates_.push_back(from[k]);
        list.end = static_cast<std::uint32_t>(candidates_.size());
    }

    std::span<const Rgb> palette_;
    std::vector<std::uint8_t> all_, scratch_, candidates_;
    std::vector<int> red_, green_, blue_, nearest_, farthest_;
    std::vector<std::uint8_t> state_;
    std::vector<Inline> inline_;
    std::vector<List> fine_, coarse_;
};

}  // namespace

std::vector<Rgb> octree_palette(const Bitmap& picture) {
    Octree tree;
    const std::uint8_t* p = picture.rgb.data();
    const std::size_t width = static_cast<std::size_t>(picture.width);
    // The cache of seen colours is left out, row by row, where it rarely hits (noise), and tried again
    // every 16th row.
    bool use_seen = true;
    for (std::size_t y = 0; y < static_cast<std::size_t>(picture.height); ++y) {
        std::size_t added = 0, hits = 0;
        if (y % 16 == 0) use_seen = true;
        const std::size_t end = (y + 1) * width;
        // Runs of one colour (common on screens) go into the tree at once.
        for (std::size_t i = y * width; i < end;) {
            std::size_t j = i + 1;
            while (j < end && p[3 * j] == p[3 * i] && p[3 * j + 1] == p[3 * i + 1] &&
                   p[3 * j + 2] == p[3 * i + 2])
                ++j;
            hits += tree.add(p[3 * i], p[3 * i + 1], p[3 * i + 2], j - i, use_seen) ? 1 : 0;
            ++added;
            i = j;
        }
        if (use_seen && hits * 2 < added) use_seen = false;
    }
    return tree.palette();
}

std::vector<std::uint8_t> map_to_palette(const Bitmap& picture, std::span<const Rgb> palette) {
    std::vector<std::uint8_t> out(picture.pixel_count());
    if (palette.empty()) return out;
    NearestColour nearest(palette);
    // Colours met before are answered from a small cache: text on a screen alternates a few. On a
    // picture where it rarely hits (noise) it is left out row by row and tried again every 16th row.
    struct Known {
        std::uint32_t key = 0xFFFFFFFF;  // no 24-bit colour
        std::uint8_t index = 0;
    };
    std::vector<Known> known(4096);
    bool use_known = true;
    const std::uint8_t* p = picture.rgb.data();
    const std::size_t width = static_cast<std::size_t>(picture.width);
    for (std::size_t y = 0, i = 0; y < static_cast<std::size_t>(picture.height); ++y) {
        std::size_t looked = 0, hits = 0;
        if (y % 16 == 0) use_known = true;
        for (std::size_t x = 0; x < width; ++x, ++i) {
            // Runs of one colour (common on screens) are looked up once.
            if (x > 0 && p[3 * i] == p[3 * i - 3] && p[3 * i + 1] == p[3 * i - 2] &&
                p[3 * i + 2] == p[3 * i - 1]) {
                out[i] = out[i - 1];
                continue;
            }
            if (!use_known) {
                out[i] = nearest.find(p[3 * i], p[3 * i + 1], p[3 * i + 2]);
                continue;
            }
            const std::uint32_t key =
                std::uint32_t{p[3 * i]} << 16 | std::uint32_t{p[3 * i + 1]} << 8 | p[3 * i + 2];
            Known& k = known[(key * 2654435761u) >> 20];
            ++looked;
            if (k.key == key) {
                ++hits;
            } else {
                k = Known{key, nearest.find(p[3 * i], p[3 * i + 1], p[3 * i + 2])};
            }
            out[i] = k.index;
        }
        if (use_known && hits * 2 < looked) use_known = false;
    }
    return out;
}

std::optional<Bitmap> palette_of_256_colours(const Bitmap& picture) {
    if (picture.width <= 0 || picture.height <= 0 || picture.rgb.size() != picture.pixel_count() * 3)
        return std::nullopt;
    Bitmap out;
    out.width = picture.width;
    out.height = picture.height;
    out.palette = octree_palette(picture);
    if (out.palette.empty()) return std::nullopt;
    out.indices = map_to_palette(picture, out.palette);
    out.palette_bits = 8;
    return out;
}

std::optional<Bitmap> reduce_to_256_colours(const Bitmap& picture) {
    auto out = palette_of_256_colours(picture);
    if (!out) return std::nullopt;
    out->rgb.resize(picture.rgb.size());
    for (std::size_t i = 0; i < out->indices.size(); ++i) {
        const Rgb& c = out->palette[out->indices[i]];
        out->rgb[3 * i] = c.r, out->rgb[3 * i + 1] = c.g, out->rgb[3 * i + 2] = c.b;
    }
    return out;
}

}  // namespace kelvra::imaging
