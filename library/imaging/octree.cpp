#include "library/imaging/octree.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <memory>

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

    // Pixels whose colour's top three bits lead to a leaf at or above the shortcuts' level: their sums
    // are kept aside by those bits and added to the leaf before the next reduction (the sums do not
    // depend on the order of addition, and nothing but a reduction moves pixels between leaves).
    bool add_above_shortcuts(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint32_t n) {
        const std::size_t top = shortcut_of(r, g, b);
        if (leaf_at_[top] < 0) return false;
        Deferred& d = deferred_[top];
        if (d.count == 0) dirty_[dirty_count_++] = static_cast<std::uint16_t>(top);
        d.r += std::uint64_t{r} * n, d.g += std::uint64_t{g} * n, d.b += std::uint64_t{b} * n, d.count += n;
        return true;
    }

    // Adds `n` pixels of a colour added before since the last reduction straight to its leaf; false
    // when the colour is not in the cache of seen colours.
    bool add_seen(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint32_t n) {
        const std::uint32_t key = key_of(r, g, b);
        const Seen& seen = seen_[slot_of(key)];
        if (seen.key != key || seen.generation != generation_) return false;
        add_to_leaf(seen.leaf, std::uint64_t{r} * n, std::uint64_t{g} * n, std::uint64_t{b} * n, n);
        return true;
    }

    // Adds `n` pixels of one colour by a walk down the tree, then reduces the tree while it has too
    // many leaves.
    void add(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint32_t n, bool use_seen) {
        // The walk starts where the last walk with the same top three bits of each channel got to.
        const std::size_t top = shortcut_of(r, g, b);
        Shortcut& shortcut = shortcuts_[top];
        const bool known = shortcut.epoch == epoch_;
        std::int32_t node = known ? shortcut.node : 0;
        for (int level = known ? shortcut.level : 0;; ++level) {
            const bool leaf = nodes_[static_cast<std::size_t>(node)].leaf;
            if (!known && level <= kShortcutLevel && (level == kShortcutLevel || leaf)) {
                shortcut = Shortcut{epoch_, node, level};
                if (leaf) leaf_at_[top] = node;
            }
            if (leaf) {
                add_to_leaf(node, std::uint64_t{r} * n, std::uint64_t{g} * n, std::uint64_t{b} * n, n);
                if (use_seen) {
                    const std::uint32_t key = key_of(r, g, b);
                    seen_[slot_of(key)] = Seen{key, generation_, node};
                }
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
    }

    std::vector<Rgb> palette() {
        settle();
        std::vector<Rgb> out;
        collect(0, out);
        return out;
    }

  private:
    // Adds the sums kept aside to their leaves.
    void settle() {
        for (std::size_t k = 0; k < dirty_count_; ++k) {
            Deferred& d = deferred_[dirty_[k]];
            add_to_leaf(leaf_at_[dirty_[k]], d.r, d.g, d.b, static_cast<std::uint32_t>(d.count));
            d = Deferred{};
        }
        dirty_count_ = 0;
    }

    void add_to_leaf(std::int32_t index, std::uint64_t r, std::uint64_t g, std::uint64_t b, std::uint32_t n) {
        Node& leaf = nodes_[static_cast<std::size_t>(index)];
        leaf.r += r, leaf.g += g, leaf.b += b, leaf.count += n;
    }

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
        // Released children at the shortcuts' level or above may be reused as other nodes, and a node at
        // that level or above becomes a leaf: the sums kept aside go to their leaves first, and the
        // shortcuts start again. Deeper reductions touch no leaf that a shortcut leads to.
        if (level <= kShortcutLevel) {
            settle();
            ++epoch_;
            leaf_at_.fill(-1);
        }
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
    // above it. Such a node keeps its place and its kind until a reduction at or above that level
    // releases it or makes it a leaf: a node there is created once and a leaf never gains children.
    static constexpr int kShortcutLevel = 3;
    struct Shortcut {
        std::uint32_t epoch = 0;  // valid while equal to epoch_
        std::int32_t node = 0;
        int level = 0;
    };
    // The leaf a shortcut leads to, or -1 when it leads to an inner node or is not valid.
    std::array<std::int32_t, 512> leaf_at_ = filled(-1);
    struct Deferred {
        std::uint64_t r = 0, g = 0, b = 0, count = 0;
    };
    std::array<Deferred, 512> deferred_{};
    std::array<std::uint16_t, 512> dirty_{};
    std::size_t dirty_count_ = 0;
    static std::array<std::int32_t, 512> filled(std::int32_t v) {
        std::array<std::int32_t, 512> a;
        a.fill(v);
        return a;
    }
    static std::size_t shortcut_of(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        return static_cast<std::size_t>((r >> 5) << 6 | (g >> 5) << 3 | (b >> 5));
    }
    static std::uint32_t key_of(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        return std::uint32_t{r} << 16 | std::uint32_t{g} << 8 | b;
    }
    static std::size_t slot_of(std::uint32_t key) { return (key * 2654435761u) >> 20; }
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

// Nearest-colour search through a hierarchy of cells: the colour cube split in eight, each of those
// in eight again, and so on down to cells 8 a side. A cell lists the palette colours that can be
// nearest to some colour inside it: those whose nearest point is no farther than the least farthest
// point of any colour. A cell's list is made from its parent's, for all eight children at once, when
// one of them is first used. A finest cell with at most eight candidates (nearly all) keeps them
// inline and is searched without a branch.
class NearestColour {
  public:
    explicit NearestColour(std::span<const Rgb> palette) : palette_(palette), state_(kFineCells, kUnbuilt) {
        inline_ = std::make_unique_for_overwrite<Inline[]>(kFineCells);
        fine_.resize(kFineCells);
        for (std::size_t level = 1; level < kLevels; ++level)
            lists_[level].resize(std::size_t{1} << (3 * level));
        candidates_.reserve(1 << 16);
        for (std::size_t i = 0; i < palette.size(); ++i) candidates_.push_back(static_cast<std::uint8_t>(i));
        lists_[0].push_back(List{0, static_cast<std::uint32_t>(palette.size())});
    }

    std::uint8_t find(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        const std::size_t cell = static_cast<std::size_t>(r >> 3) << 10 |
                                 static_cast<std::size_t>(g >> 3) << 5 | static_cast<std::size_t>(b >> 3);
        if (state_[cell] != kInline) [[unlikely]] {
            if (state_[cell] == kUnbuilt) build_finest(r, g, b);
            if (state_[cell] == kListed) return search(fine_[cell], r, g, b);
        }
        return nearest_of_eight(inline_[cell], r, g, b);
    }

  private:
    static constexpr std::size_t kLevels = 5;  // cells 256, 128, 64, 32 and 16 a side; then the finest
    static constexpr std::size_t kFineCells = 32 * 32 * 32;
    static constexpr std::uint8_t kUnbuilt = 0, kInline = 1, kListed = 2;

    struct List {  // candidates_[start, end); end 0: not built yet (a built list is never empty)
        std::uint32_t start = 0, end = 0;
    };

    // Eight candidates in index order, padded with the first.
    struct alignas(32) Inline {
        std::array<std::uint8_t, 8> r, g, b, index;
    };

#if defined(__SSE2__)
    // The squared distances are summed in 16 bits with saturation: when the least of them is below
    // the saturation point, it and every distance equal to it are exact, so the first position that
    // holds it is the nearest colour with the lowest index. Otherwise (a pixel farther than 255 from
    // every candidate) the exact search decides.
    std::uint8_t nearest_of_eight(const Inline& cell, std::uint8_t r, std::uint8_t g, std::uint8_t b) const {
        const __m128i zero = _mm_setzero_si128();
        const __m128i rg = _mm_load_si128(reinterpret_cast<const __m128i*>(&cell));
        const __m128i bi = _mm_load_si128(reinterpret_cast<const __m128i*>(&cell.b));
        const __m128i dr = _mm_sub_epi16(_mm_set1_epi16(r), _mm_unpacklo_epi8(rg, zero));
        const __m128i dg = _mm_sub_epi16(_mm_set1_epi16(g), _mm_unpackhi_epi8(rg, zero));
        const __m128i db = _mm_sub_epi16(_mm_set1_epi16(b), _mm_unpacklo_epi8(bi, zero));
        const __m128i d = _mm_adds_epu16(_mm_adds_epu16(_mm_mullo_epi16(dr, dr), _mm_mullo_epi16(dg, dg)),
                                         _mm_mullo_epi16(db, db));
        const auto least = [](__m128i a, __m128i c) { return _mm_sub_epi16(a, _mm_subs_epu16(a, c)); };
        __m128i m = least(d, _mm_shuffle_epi32(d, _MM_SHUFFLE(1, 0, 3, 2)));
        m = least(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(2, 3, 0, 1)));
        m = least(m, _mm_srli_epi32(m, 16));
        const int nearest = _mm_cvtsi128_si32(m) & 0xFFFF;
        if (nearest == 0xFFFF) [[unlikely]]
            return exact_of_eight(cell, r, g, b);
        const int hits = _mm_movemask_epi8(_mm_cmpeq_epi16(d, _mm_set1_epi16(static_cast<short>(nearest))));
        return cell.index[static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(hits)) / 2)];
    }
#else
    std::uint8_t nearest_of_eight(const Inline& cell, std::uint8_t r, std::uint8_t g, std::uint8_t b) const {
        return exact_of_eight(cell, r, g, b);
    }
#endif

    static std::uint8_t exact_of_eight(const Inline& cell, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        std::uint32_t best = std::numeric_limits<std::uint32_t>::max();
        for (std::size_t k = 0; k < 8; ++k) {
            const int dr = r - cell.r[k], dg = g - cell.g[k], db = b - cell.b[k];
            best =
                std::min(best, static_cast<std::uint32_t>(dr * dr + dg * dg + db * db) << 8 | cell.index[k]);
        }
        return static_cast<std::uint8_t>(best & 0xFF);
    }

    [[gnu::noinline]] std::uint8_t search(const List& list, int r, int g, int b) const {
        std::uint32_t best = std::numeric_limits<std::uint32_t>::max();
        for (std::uint32_t i = list.start; i < list.end; ++i) {
            const Rgb& c = palette_[candidates_[i]];
            const int dr = r - c.r, dg = g - c.g, db = b - c.b;
            best =
                std::min(best, static_cast<std::uint32_t>(dr * dr + dg * dg + db * db) << 8 | candidates_[i]);
        }
        return static_cast<std::uint8_t>(best & 0xFF);
    }

    // The list of the cell at `level` that holds the colour, made with its seven siblings if needed.
    const List& list_at(std::size_t level, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        List& list = lists_[level][cell_at(level, r, g, b)];
        if (level > 0 && list.end == 0) {
            const List& parent = list_at(level - 1, r, g, b);
            split(parent, level, r, g, b,
                  [&](std::size_t child, std::uint8_t cr, std::uint8_t cg, std::uint8_t cb) {
                      (void)child;
                      lists_[level][cell_at(level, cr, cg, cb)] =
                          List{start_, static_cast<std::uint32_t>(candidates_.size())};
                  });
        }
        return list;
    }

    [[gnu::noinline]] void build_finest(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        const List& parent = list_at(kLevels - 1, r, g, b);
        split(parent, kLevels, r, g, b, [&](std::size_t, std::uint8_t cr, std::uint8_t cg, std::uint8_t cb) {
            const std::size_t cell = static_cast<std::size_t>(cr >> 3) << 10 |
                                     static_cast<std::size_t>(cg >> 3) << 5 |
                                     static_cast<std::size_t>(cb >> 3);
            const std::uint32_t n = static_cast<std::uint32_t>(candidates_.size()) - start_;
            if (n > 8) {
                fine_[cell] = List{start_, static_cast<std::uint32_t>(candidates_.size())};
                state_[cell] = kListed;
                return;
            }
            Inline& c = inline_[cell];
            for (std::uint32_t k = 0; k < 8; ++k) {
                const std::uint8_t index = candidates_[start_ + (k < n ? k : 0)];
                c.index[k] = index, c.r[k] = palette_[index].r, c.g[k] = palette_[index].g,
                c.b[k] = palette_[index].b;
            }
            candidates_.resize(start_);  // an inline cell keeps its candidates itself
            state_[cell] = kInline;
        });
    }

    static std::size_t cell_at(std::size_t level, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        const std::size_t shift = 8 - level;
        return (static_cast<std::size_t>(r >> shift) << level | static_cast<std::size_t>(g >> shift))
                   << level |
               static_cast<std::size_t>(b >> shift);
    }

    // Makes the lists of the eight cells at `level` whose parent holds (r, g, b), from the parent's
    // list: for each candidate and each channel, its nearest and farthest squared distance to the lower
    // and the upper half; then for each child the candidates whose nearest is within the least
    // farthest. `done` is called for each child, with its candidates at candidates_[start_, end).
    template <typename Done>
    void split(const List& parent, std::size_t level, std::uint8_t r, std::uint8_t g, std::uint8_t b,
               Done done) {
        const int side = 256 >> level;
        const int mask = ~(2 * side - 1) & 0xFF;
        const int origin[3] = {r & mask, g & mask, b & mask};
        const std::size_t n = parent.end - parent.start;
        scratch_.assign(candidates_.begin() + parent.start, candidates_.begin() + parent.end);
        for (auto& v : near_) v.resize(n);
        for (auto& v : far_) v.resize(n);
        for (std::size_t k = 0; k < n; ++k) {
            const Rgb& c = palette_[scratch_[k]];
            const int value[3] = {c.r, c.g, c.b};
            for (std::size_t axis = 0; axis < 3; ++axis) {
                for (std::size_t half = 0; half < 2; ++half) {
                    const int lo = origin[axis] + static_cast<int>(half) * side, hi = lo + side - 1;
                    const int v = value[axis];
                    const int nd = std::max(0, std::max(lo - v, v - hi)), fd = std::max(v - lo, hi - v);
                    near_[axis * 2 + half][k] = nd * nd;
                    far_[axis * 2 + half][k] = fd * fd;
                }
            }
        }
        for (std::size_t child = 0; child < 8; ++child) {
            const std::size_t hr = child >> 2, hg = child >> 1 & 1, hb = child & 1;
            const int* fr = far_[hr].data();
            const int* fg = far_[2 + hg].data();
            const int* fb = far_[4 + hb].data();
            int bound = std::numeric_limits<int>::max();
            for (std::size_t k = 0; k < n; ++k) bound = std::min(bound, fr[k] + fg[k] + fb[k]);
            const int* nr = near_[hr].data();
            const int* ng = near_[2 + hg].data();
            const int* nb = near_[4 + hb].data();
            start_ = static_cast<std::uint32_t>(candidates_.size());
            for (std::size_t k = 0; k < n; ++k)
                if (nr[k] + ng[k] + nb[k] <= bound) candidates_.push_back(scratch_[k]);
            done(child, static_cast<std::uint8_t>(origin[0] + static_cast<int>(hr) * side),
                 static_cast<std::uint8_t>(origin[1] + static_cast<int>(hg) * side),
                 static_cast<std::uint8_t>(origin[2] + static_cast<int>(hb) * side));
        }
    }

    std::span<const Rgb> palette_;
    std::vector<std::uint8_t> state_;
    std::unique_ptr<Inline[]> inline_;
    std::vector<List> fine_;
    std::array<std::vector<List>, kLevels> lists_;
    std::vector<std::uint8_t> candidates_, scratch_;
    std::array<std::vector<int>, 6> near_, far_;
    std::uint32_t start_ = 0;
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
        std::size_t looked = 0, hits = 0;
        if (y % 16 == 0) use_seen = true;
        const std::size_t end = (y + 1) * width;
        // Runs of one colour (common on screens) go into the tree at once.
        for (std::size_t i = y * width; i < end;) {
            const std::uint8_t r = p[3 * i], g = p[3 * i + 1], b = p[3 * i + 2];
            std::size_t j = i + 1;
            while (j < end && p[3 * j] == r && p[3 * j + 1] == g && p[3 * j + 2] == b) ++j;
            const auto n = static_cast<std::uint32_t>(j - i);
            i = j;
            if (tree.add_above_shortcuts(r, g, b, n)) continue;
            if (use_seen) {
                ++looked;
                if (tree.add_seen(r, g, b, n)) {
                    ++hits;
                    continue;
                }
            }
            tree.add(r, g, b, n, use_seen);
        }
        if (use_seen && hits * 2 < looked) use_seen = false;
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
    for (std::size_t y = 0; y < static_cast<std::size_t>(picture.height); ++y) {
        std::size_t looked = 0, hits = 0;
        if (y % 16 == 0) use_known = true;
        const std::size_t end = (y + 1) * width;
        // Runs of one colour (common on screens) are looked up once.
        for (std::size_t i = y * width; i < end;) {
            const std::uint8_t r = p[3 * i], g = p[3 * i + 1], b = p[3 * i + 2];
            std::size_t j = i + 1;
            while (j < end && p[3 * j] == r && p[3 * j + 1] == g && p[3 * j + 2] == b) ++j;
            std::uint8_t index;
            if (use_known) {
                const std::uint32_t key = std::uint32_t{r} << 16 | std::uint32_t{g} << 8 | b;
                Known& k = known[(key * 2654435761u) >> 20];
                ++looked;
                if (k.key == key) {
                    ++hits;
                } else {
                    k = Known{key, nearest.find(r, g, b)};
                }
                index = k.index;
            } else {
                index = nearest.find(r, g, b);
            }
            if (j - i == 1) {
                out[i] = index;
            } else {
                std::fill(out.begin() + static_cast<std::ptrdiff_t>(i),
                          out.begin() + static_cast<std::ptrdiff_t>(j), index);
            }
            i = j;
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
