#include "library/imaging/octree.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

namespace kelvra::imaging {

namespace {

constexpr int kDepth = 8;

struct Node {
    std::uint64_t r = 0, g = 0, b = 0, count = 0;
    std::array<std::int32_t, 8> children{-1, -1, -1, -1, -1, -1, -1, -1};
    bool leaf = false;
};

class Octree {
  public:
    Octree() {
        nodes_.reserve(2048);
        make_node(0);  // the root
    }

    // Adds `n` pixels of one colour.
    void add(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint64_t n) {
        // A colour seen before goes straight to its leaf, unless a reduction has released leaves since.
        const std::uint32_t key = std::uint32_t{r} << 16 | std::uint32_t{g} << 8 | b;
        Seen& seen = seen_[(key * 2654435761u) >> 20];
        if (seen.key == key && seen.generation == generation_) {
            Node& leaf = nodes_[static_cast<std::size_t>(seen.leaf)];
            leaf.r += std::uint64_t{r} * n, leaf.g += std::uint64_t{g} * n, leaf.b += std::uint64_t{b} * n;
            leaf.count += n;
            return;
        }
        std::int32_t node = 0;
        for (int level = 0;; ++level) {
            if (nodes_[static_cast<std::size_t>(node)].leaf) {
                Node& leaf = nodes_[static_cast<std::size_t>(node)];
                leaf.r += std::uint64_t{r} * n, leaf.g += std::uint64_t{g} * n,
                    leaf.b += std::uint64_t{b} * n;
                leaf.count += n;
                seen = Seen{key, generation_, node};
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

// Nearest-colour search through three grids of cells, 16, 32 and 64 a side. A cell lists the palette
// colours that can be nearest to some colour inside it: those whose nearest point is no farther than
// the least farthest point of any colour. Each grid's lists are made from the next coarser one's, when
// a cell is first used. Most fine cells have one candidate, which a table then gives at once.
class NearestColour {
  public:
    explicit NearestColour(std::span<const Rgb> palette)
        : palette_(palette),
          single_(64 * 64 * 64, kUnbuilt),
          fine_(64 * 64 * 64),
          middle_(32 * 32 * 32),
          coarse_(16 * 16 * 16) {
        all_.resize(palette.size());
        for (std::size_t i = 0; i < all_.size(); ++i) all_[i] = static_cast<std::uint8_t>(i);
        candidates_.reserve(1 << 18);
    }

    std::uint8_t find(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        const std::size_t cell = static_cast<std::size_t>(r >> 2) << 12 |
                                 static_cast<std::size_t>(g >> 2) << 6 | static_cast<std::size_t>(b >> 2);
        const std::uint16_t known = single_[cell];
        if (known < 256) return static_cast<std::uint8_t>(known);
        if (known == kUnbuilt) {
            const std::size_t c = static_cast<std::size_t>(r >> 4) << 8 |
                                  static_cast<std::size_t>(g >> 4) << 4 | static_cast<std::size_t>(b >> 4);
            const std::size_t m = static_cast<std::size_t>(r >> 3) << 10 |
                                  static_cast<std::size_t>(g >> 3) << 5 | static_cast<std::size_t>(b >> 3);
            if (coarse_[c].end == 0) build(coarse_[c], r & 0xF0, g & 0xF0, b & 0xF0, 16, all_);
            if (middle_[m].end == 0) build(middle_[m], r & 0xF8, g & 0xF8, b & 0xF8, 8, list_of(coarse_[c]));
            List& list = fine_[cell];
            build(list, r & 0xFC, g & 0xFC, b & 0xFC, 4, list_of(middle_[m]));
            if (list.end - list.start == 1) {
                single_[cell] = candidates_[list.start];
                return static_cast<std::uint8_t>(single_[cell]);
            }
            single_[cell] = kSeveral;
        }
        const List& list = fine_[cell];
        std::uint32_t best = std::numeric_limits<std::uint32_t>::max();
        std::uint8_t best_index = 0;
        for (std::uint32_t i = list.start; i < list.end; ++i) {
            const std::uint8_t index = candidates_[i];
            const Rgb& c = palette_[index];
            const int dr = r - c.r, dg = g - c.g, db = b - c.b;
            const auto d = static_cast<std::uint32_t>(dr * dr + dg * dg + db * db);
            if (d < best) best = d, best_index = index;
        }
        return best_index;
    }

  private:
    static constexpr std::uint16_t kUnbuilt = 0xFFFF, kSeveral = 0xFFFE;

    struct List {  // candidates_[start, end); end 0: not built yet (a built list is never empty)
        std::uint32_t start = 0, end = 0;
    };

    // A copy of a list's candidates (candidates_ may move while a finer list is appended to it).
    const std::vector<std::uint8_t>& list_of(const List& l) {
        scratch_.assign(candidates_.begin() + l.start, candidates_.begin() + l.end);
        return scratch_;
    }

    // Distance along one axis from v to the span lo..lo+side-1: nearest and farthest.
    static int axis_min(int v, int lo, int side) {
        return v < lo ? lo - v : (v > lo + side - 1 ? v - lo - side + 1 : 0);
    }
    static int axis_max(int v, int lo, int side) {
        return std::max(std::abs(v - lo), std::abs(v - lo - side + 1));
    }

    // Lists, in index order, the colours of `from` that can be nearest inside the cube at (r0, g0, b0).
    void build(List& list, int r0, int g0, int b0, int side, const std::vector<std::uint8_t>& from) {
        std::uint32_t bound = std::numeric_limits<std::uint32_t>::max();
        for (const std::uint8_t i : from) {
            const Rgb& c = palette_[i];
            const int dr = axis_max(c.r, r0, side), dg = axis_max(c.g, g0, side),
                      db = axis_max(c.b, b0, side);
            bound = std::min(bound, static_cast<std::uint32_t>(dr * dr + dg * dg + db * db));
        }
        list.start = static_cast<std::uint32_t>(candidates_.size());
        for (const std::uint8_t i : from) {
            const Rgb& c = palette_[i];
            const int dr = axis_min(c.r, r0, side), dg = axis_min(c.g, g0, side),
                      db = axis_min(c.b, b0, side);
            if (static_cast<std::uint32_t>(dr * dr + dg * dg + db * db) <= bound) candidates_.push_back(i);
        }
        list.end = static_cast<std::uint32_t>(candidates_.size());
    }

    std::span<const Rgb> palette_;
    std::vector<std::uint8_t> all_, scratch_, candidates_;
    std::vector<std::uint16_t> single_;
    std::vector<List> fine_, middle_, coarse_;
};

}  // namespace

std::vector<Rgb> octree_palette(const Bitmap& picture) {
    Octree tree;
    const std::uint8_t* p = picture.rgb.data();
    const std::size_t n = picture.pixel_count();
    // Runs of one colour (common on screens) go into the tree at once.
    for (std::size_t i = 0; i < n;) {
        std::size_t j = i + 1;
        while (j < n && p[3 * j] == p[3 * i] && p[3 * j + 1] == p[3 * i + 1] && p[3 * j + 2] == p[3 * i + 2])
            ++j;
        tree.add(p[3 * i], p[3 * i + 1], p[3 * i + 2], j - i);
        i = j;
    }
    return tree.palette();
}

std::vector<std::uint8_t> map_to_palette(const Bitmap& picture, std::span<const Rgb> palette) {
    std::vector<std::uint8_t> out(picture.pixel_count());
    if (palette.empty()) return out;
    NearestColour nearest(palette);
    // Colours met before (text on a screen alternates a few) are answered from a small cache.
    struct Known {
        std::uint32_t key = 0xFFFFFFFF;  // no 24-bit colour
        std::uint8_t index = 0;
    };
    std::vector<Known> known(4096);
    const std::uint8_t* p = picture.rgb.data();
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::uint32_t key =
            std::uint32_t{p[3 * i]} << 16 | std::uint32_t{p[3 * i + 1]} << 8 | p[3 * i + 2];
        Known& k = known[(key * 2654435761u) >> 20];
        if (k.key != key) k = Known{key, nearest.find(p[3 * i], p[3 * i + 1], p[3 * i + 2])};
        out[i] = k.index;
    }
    return out;
}

std::optional<Bitmap> reduce_to_256_colours(const Bitmap& picture) {
    if (picture.width <= 0 || picture.height <= 0 || picture.rgb.size() != picture.pixel_count() * 3)
        return std::nullopt;
    Bitmap out;
    out.width = picture.width;
    out.height = picture.height;
    out.palette = octree_palette(picture);
    if (out.palette.empty()) return std::nullopt;
    out.indices = map_to_palette(picture, out.palette);
    out.palette_bits = 8;
    out.rgb.resize(picture.rgb.size());
    for (std::size_t i = 0; i < out.indices.size(); ++i) {
        const Rgb& c = out.palette[out.indices[i]];
        out.rgb[3 * i] = c.r, out.rgb[3 * i + 1] = c.g, out.rgb[3 * i + 2] = c.b;
    }
    return out;
}

}  // namespace kelvra::imaging
