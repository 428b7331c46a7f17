// The octree reduction to 256 colours and the nearest-colour mapping.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <random>
#include <set>
#include <tuple>
#include <vector>

#include "library/imaging/octree.h"
#include "pictures.h"

namespace {

using kelvra::imaging::Bitmap;
using kelvra::imaging::Rgb;

Bitmap picture_of(const std::vector<Rgb>& pixels) {
    std::vector<std::uint8_t> rgb;
    for (const Rgb& c : pixels) rgb.insert(rgb.end(), {c.r, c.g, c.b});
    return kelvra::imaging::rgb_bitmap(static_cast<int>(pixels.size()), 1, std::move(rgb));
}

std::set<std::tuple<int, int, int>> as_set(const std::vector<Rgb>& colours) {
    std::set<std::tuple<int, int, int>> s;
    for (const Rgb& c : colours) s.insert({c.r, c.g, c.b});
    return s;
}

TEST(Octree, UpTo256ColoursAreKeptExactly) {
    std::vector<Rgb> pixels;
    for (int i = 0; i < 256; ++i) {
        const Rgb c{static_cast<std::uint8_t>(i * 37), static_cast<std::uint8_t>(i * 11 + 3),
                    static_cast<std::uint8_t>(255 - i)};
        for (int n = 0; n <= i % 3; ++n) pixels.push_back(c);  // runs and single pixels
    }
    const auto picture = picture_of(pixels);
    const auto reduced = kelvra::imaging::reduce_to_256_colours(picture);
    ASSERT_TRUE(reduced);
    EXPECT_EQ(reduced->palette.size(), 256u);
    EXPECT_EQ(reduced->palette_bits, 8);
    EXPECT_EQ(reduced->rgb, picture.rgb);
}

// 128 pairs of colours that part only at the last level (red 2k and 2k+1, the second also blue 1),
// then one colour more, which joins the first pair's node: 257 leaves. The deepest level's most
// recently added reducible node is the last pair's, so exactly that pair merges and the palette
// keeps 256 colours; merging the oldest node would take the first pair and the newcomer together.
TEST(Octree, TheDeepestLevelsMostRecentNodeIsMerged) {
    std::vector<Rgb> pixels;
    for (int k = 0; k < 128; ++k) {
        pixels.push_back({static_cast<std::uint8_t>(2 * k), 0, 0});
        pixels.push_back({static_cast<std::uint8_t>(2 * k + 1), 0, 1});
    }
    pixels.push_back({0, 0, 1});
    auto expected = as_set(pixels);
    expected.erase({254, 0, 0});  // merged with (255, 0, 1): their mean rounds to (255, 0, 1)
    EXPECT_EQ(as_set(kelvra::imaging::octree_palette(picture_of(pixels))), expected);
}

TEST(Octree, LeavesAreTheMeansOfTheirPixels) {
    // 768 colours with red equal to green, in different counts: merged nodes hold means of such
    // colours, which have red equal to green again, and blue stays one of the three levels' means.
    std::vector<Rgb> pixels;
    for (int v = 0; v < 256; ++v) {
        for (std::uint8_t b : {0, 100, 255}) {
            for (int n = 0; n <= v % 4; ++n)
                pixels.push_back({static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v), b});
        }
    }
    const auto palette = kelvra::imaging::octree_palette(picture_of(pixels));
    EXPECT_LE(palette.size(), 256u);
    EXPECT_GT(palette.size(), 128u);
    for (const Rgb& c : palette) EXPECT_EQ(c.r, c.g) << int(c.r) << " " << int(c.g) << " " << int(c.b);
}

// A colour that comes back after a reduction released its leaf is counted in the node that took the
// leaf's pixels, not in whatever node the released leaf was reused for. The last pair of the 128
// (red 254 and 255) is merged by the 257th colour; a new colour far away then reuses the released
// nodes; red 254 comes back and must pull the merged pair's mean to (254, 0, 0).
TEST(Octree, AColourComingBackAfterAReductionCountsInItsMergedNode) {
    std::vector<Rgb> pixels;
    for (int k = 0; k < 128; ++k) {
        pixels.push_back({static_cast<std::uint8_t>(2 * k), 0, 0});
        pixels.push_back({static_cast<std::uint8_t>(2 * k + 1), 0, 1});
    }
    pixels.push_back({0, 0, 1});    // 257 leaves: the pair (254, 0, 0), (255, 0, 1) merges
    pixels.push_back({0, 200, 0});  // new nodes, the released ones first
    pixels.push_back({254, 0, 0});  // back again: the merged node now holds 254 twice, 255 once
    const auto palette = as_set(kelvra::imaging::octree_palette(picture_of(pixels)));
    EXPECT_TRUE(palette.count({254, 0, 0}));
    EXPECT_FALSE(palette.count({255, 0, 1}));
    EXPECT_TRUE(palette.count({0, 200, 0}));
}

// The reduction written plainly: one pixel at a time, a node per allocation, no caches and no
// shortcuts. The library's tree must give the same palette, colour for colour and in order.
class PlainOctree {
  public:
    void add(const Rgb& c) {
        Node* node = &root_;
        for (int level = 0; !node->leaf; ++level) {
            const int shift = 7 - level;
            const int slot = ((c.r >> shift) & 1) << 2 | ((c.g >> shift) & 1) << 1 | ((c.b >> shift) & 1);
            auto& child = node->children[static_cast<std::size_t>(slot)];
            if (!child) {
                child = std::make_unique<Node>();
                if (level + 1 == 8) {
                    child->leaf = true;
                    ++leaves_;
                } else {
                    reducible_[static_cast<std::size_t>(level + 1)].push_back(child.get());
                }
            }
            node = child.get();
        }
        node->r += c.r, node->g += c.g, node->b += c.b, ++node->count;
        while (leaves_ > 256) reduce();
    }

    std::vector<Rgb> palette() const {
        std::vector<Rgb> out;
        collect(root_, out);
        return out;
    }

  private:
    struct Node {
        std::array<std::unique_ptr<Node>, 8> children;
        std::uint64_t r = 0, g = 0, b = 0, count = 0;
        bool leaf = false;
    };

    void reduce() {
        std::size_t level = 7;
        while (level > 0 && reducible_[level].empty()) --level;
        Node* node = reducible_[level].back();
        reducible_[level].pop_back();
        for (auto& child : node->children) {
            if (!child) continue;
            node->r += child->r, node->g += child->g, node->b += child->b, node->count += child->count;
            child.reset();
            --leaves_;
        }
        node->leaf = true;
        ++leaves_;
    }

    static void collect(const Node& n, std::vector<Rgb>& out) {
        if (n.leaf) {
            if (n.count == 0) return;
            const auto mean = [&](std::uint64_t sum) {
                return static_cast<std::uint8_t>((sum + n.count / 2) / n.count);
            };
            out.push_back(Rgb{mean(n.r), mean(n.g), mean(n.b)});
            return;
        }
        for (const auto& child : n.children)
            if (child) collect(*child, out);
    }

    Node root_;
    std::array<std::vector<Node*>, 8> reducible_;
    std::size_t leaves_ = 0;
};

// Pictures that exercise the tree's caches: noise (every colour new), noise around a few colours
// (colours come back after reductions), and runs with colours that return row after row.
TEST(Octree, EqualsThePlainAlgorithm) {
    std::mt19937 random(11);
    const auto noisy = [&](int spread, int bases) {
        std::vector<Rgb> base(static_cast<std::size_t>(bases));
        for (auto& c : base)
            c = {static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                 static_cast<std::uint8_t>(random())};
        std::vector<std::uint8_t> rgb;
        for (int i = 0; i < 64 * 64; ++i) {
            const Rgb& b = base[random() % base.size()];
            for (const int v : {b.r, b.g, b.b}) {
                const int n = v + static_cast<int>(random() % (2 * spread + 1)) - spread;
                rgb.push_back(static_cast<std::uint8_t>(std::clamp(n, 0, 255)));
            }
        }
        return kelvra::imaging::rgb_bitmap(64, 64, std::move(rgb));
    };
    const std::vector<Bitmap> cases{noisy(128, 1), noisy(20, 6), noisy(3, 40), pictures::ramps(160, 100)};
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const Bitmap& picture = cases[k];
        PlainOctree plain;
        for (std::size_t i = 0; i < picture.pixel_count(); ++i)
            plain.add({picture.rgb[3 * i], picture.rgb[3 * i + 1], picture.rgb[3 * i + 2]});
        EXPECT_EQ(kelvra::imaging::octree_palette(picture), plain.palette()) << "case " << k;
    }
}

int exhaustive_nearest(const std::vector<Rgb>& palette, const Rgb& pixel) {
    int best = 0, best_d = 1 << 30;
    for (std::size_t j = 0; j < palette.size(); ++j) {
        const int dr = pixel.r - palette[j].r, dg = pixel.g - palette[j].g, db = pixel.b - palette[j].b;
        if (dr * dr + dg * dg + db * db < best_d)
            best_d = dr * dr + dg * dg + db * db, best = static_cast<int>(j);
    }
    return best;
}

// Every colour whose channels are multiples of `step` below `limit`.
std::vector<Rgb> grid_of_colours(int step, int limit = 256) {
    std::vector<Rgb> out;
    for (int r = 0; r < limit; r += step)
        for (int g = 0; g < limit; g += step)
            for (int b = 0; b < limit; b += step)
                out.push_back({static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                               static_cast<std::uint8_t>(b)});
    return out;
}

TEST(NearestColour, MatchesAnExhaustiveSearch) {
    struct Case {
        const char* name;
        std::vector<Rgb> palette, pixels;
    };
    std::vector<Case> cases;
    std::mt19937 random(7);
    const auto random_colour = [&] {
        return Rgb{static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                   static_cast<std::uint8_t>(random())};
    };
    for (int round = 0; round < 4; ++round) {
        Case c{"random palette", std::vector<Rgb>(1 + random() % 256), {}};
        for (auto& colour : c.palette) colour = random_colour();
        if (round == 0) c.palette.push_back(c.palette.front());  // a tie goes to the lower index
        // Rounds 2 and 3 draw from 300 colours, so that colours come back (the cache answers them).
        std::vector<Rgb> pool(round < 2 ? 20000 : 300);
        for (auto& colour : pool) colour = random_colour();
        for (std::size_t i = 0; i < 20000; ++i)
            c.pixels.push_back(pool[round < 2 ? i : random() % pool.size()]);
        cases.push_back(std::move(c));
    }
    // Pixels farther than 255 from every colour, where a distance no longer fits in 16 bits; the
    // second colour is the nearer one to black.
    cases.push_back(
        {"far from every colour", {{255, 255, 255}, {255, 255, 254}, {255, 254, 255}}, grid_of_colours(15)});
    // More candidates than a cell keeps inline: 27 colours inside one cell of 8 a side, and their ties.
    {
        Case c{"crowded cell", {}, grid_of_colours(1, 24)};  // the crowded cell and its neighbours
        for (const int r : {1, 3, 5})
            for (const int g : {1, 3, 5})
                for (const int b : {1, 3, 5})
                    c.palette.push_back({static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                                         static_cast<std::uint8_t>(b)});
        c.palette.push_back({200, 10, 10});
        cases.push_back(std::move(c));
    }
    for (const Case& c : cases) {
        const auto indices = kelvra::imaging::map_to_palette(picture_of(c.pixels), c.palette);
        for (std::size_t i = 0; i < c.pixels.size(); ++i)
            ASSERT_EQ(indices[i], exhaustive_nearest(c.palette, c.pixels[i]))
                << c.name << ", pixel " << i << " (" << int{c.pixels[i].r} << ", " << int{c.pixels[i].g}
                << ", " << int{c.pixels[i].b} << ")";
    }
}

TEST(Octree, ScreenPictureKeepsItsLookAndEmptyPicturesGiveNone) {
    const auto picture = pictures::ramps(320, 200);
    const auto reduced = kelvra::imaging::reduce_to_256_colours(picture);
    ASSERT_TRUE(reduced);
    EXPECT_LE(reduced->palette.size(), 256u);
    EXPECT_GT(pictures::psnr(reduced->rgb, picture.rgb), 28.0);
    EXPECT_FALSE(kelvra::imaging::reduce_to_256_colours(Bitmap{}));
}

}  // namespace
