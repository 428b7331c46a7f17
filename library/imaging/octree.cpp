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
        std::int32_t node = 0;
        for (int level = 0;; ++level) {
            if (nodes_[static_cast<std::size_t>(node)].leaf) {
                Node& leaf = nodes_[static_cast<std::size_t>(node)];
                leaf.r += std::uint64_t{r} * n, leaf.g += std::uint64_t{g} * n,
                    leaf.b += std::uint64_t{b} * n;
                leaf.count += n;
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

    std::vector<Node> nodes_;
    std::vector<std::int32_t> free_;
    std::array<std::vector<std::int32_t>, kDepth> reducible_;
    std::size_t leaves_ = 0;
};

// Nearest-colour search through a grid of 16 x 16 x 16 cells; each cell lists the palette colours
// that can be nearest to some colour inside it (built when the cell is first used).
class NearestColour {
  public:
    explicit NearestColour(std::span<const Rgb> palette) : palette_(palette) {}

    std::uint8_t find(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        const std::size_t cell = static_cast<std::size_t>(r >> 4) << 8 |
                                 static_cast<std::size_t>(g >> 4) << 4 | static_cast<std::size_t>(b >> 4);
        if (!built_[cell]) build(cell);
        std::uint32_t best = std::numeric_limits<std::uint32_t>::max();
        std::uint8_t best_index = 0;
        for (std::uint32_t i = starts_[cell]; i < ends_[cell]; ++i) {
            const std::uint8_t index = candidates_[i];
            const Rgb& c = palette_[index];
            const int dr = r - c.r, dg = g - c.g, db = b - c.b;
            const auto d = static_cast<std::uint32_t>(dr * dr + dg * dg + db * db);
            if (d < best) best = d, best_index = index;
        }
        return best_index;
    }

  private:
    static int axis_min(int v, int lo) {  // distance from v to the span lo..lo+15
        return v < lo ? lo - v : (v > lo + 15 ? v - lo - 15 : 0);
    }
    static int axis_max(int v, int lo) { return std::max(std::abs(v - lo), std::abs(v - lo - 15)); }

    void build(std::size_t cell) {
        const int r0 = static_cast<int>(cell >> 8) * 16, g0 = static_cast<int>((cell >> 4) & 15) * 16,
                  b0 = static_cast<int>(cell & 15) * 16;
        std::uint32_t bound = std::numeric_limits<std::uint32_t>::max();
        for (const Rgb& c : palette_) {
            const int dr = axis_max(c.r, r0), dg = axis_max(c.g, g0), db = axis_max(c.b, b0);
            bound = std::min(bound, static_cast<std::uint32_t>(dr * dr + dg * dg + db * db));
        }
        starts_[cell] = static_cast<std::uint32_t>(candidates_.size());
        for (std::size_t i = 0; i < palette_.size(); ++i) {
            const Rgb& c = palette_[i];
            const int dr = axis_min(c.r, r0), dg = axis_min(c.g, g0), db = axis_min(c.b, b0);
            if (static_cast<std::uint32_t>(dr * dr + dg * dg + db * db) <= bound)
                candidates_.push_back(static_cast<std::uint8_t>(i));
        }
        ends_[cell] = static_cast<std::uint32_t>(candidates_.size());
        built_[cell] = true;
    }

    std::span<const Rgb> palette_;
    std::vector<std::uint8_t> candidates_;
    std::array<std::uint32_t, 4096> starts_{};
    std::array<std::uint32_t, 4096> ends_{};
    std::array<bool, 4096> built_{};
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
    const std::uint8_t* p = picture.rgb.data();
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (i > 0 && p[3 * i] == p[3 * i - 3] && p[3 * i + 1] == p[3 * i - 2] &&
            p[3 * i + 2] == p[3 * i - 1]) {
            out[i] = out[i - 1];
            continue;
        }
        out[i] = nearest.find(p[3 * i], p[3 * i + 1], p[3 * i + 2]);
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
