// The special screen layouts as pure functions over the mapping table: the worked examples entry by
// entry, the input checks in their order, the table's bounds, and the wiring plans the previews draw.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "screenconfig/special_layout.h"

using namespace screenconfig;

namespace {

constexpr std::uint32_t kId(std::size_t r, std::size_t c) {
    return static_cast<std::uint32_t>(r * 1024 + c);
}

// The table after every entry outside `written` was checked to be the identity.
template <typename Written>
void expect_identity_outside(const MappingMatrix& t, Written written) {
    std::size_t wrong = 0;
    for (std::size_t r = 0; r < 512; ++r)
        for (std::size_t c = 0; c < 1024; ++c)
            if (!written(r, c) && t.at(r, c) != kId(r, c) && ++wrong < 5)
                ADD_FAILURE() << "entry (" << r << ", " << c << ") = " << t.at(r, c);
    EXPECT_EQ(wrong, 0u);
}

MappingMatrix table_of(const ScreenConfig& image) {
    return MappingMatrix::load(image);
}

}  // namespace

TEST(LongStrip, PortsLandInTheWideColumnsFromTheRowsEnd) {
    const LongStripInput in{1920, 32, 32, 16, 2};
    ScreenConfig image;
    ASSERT_EQ(build_long_strip(in, image), std::nullopt);
    EXPECT_EQ(image.get(ConfigField::tableWidth), 2048u);
    EXPECT_EQ(image.get(ConfigField::tableHeight), 256u);
    EXPECT_EQ(image.get(ConfigField::portsPerRow), 2u);
    EXPECT_EQ(image.get(ConfigField::moduleWidth), 32u);
    EXPECT_EQ(image.get(ConfigField::moduleHeight), 16u);
    EXPECT_EQ(image.get(ConfigField::retraceTimes), 0u);
    EXPECT_EQ(strip_segment(1920, 2, 32), 960u);

    // Wide row i, column c lies at flat index i * 2048 + c.
    const MappingMatrix t = table_of(image);
    auto wide = [&](std::size_t i, std::size_t c) {
        const std::size_t flat = i * 2048 + c;
        return t.at(flat / 1024, flat % 1024);
    };
    for (std::size_t i = 0; i < 256; ++i) {
        for (std::size_t c = 0; c < 2048; ++c) {
            std::uint32_t expected = static_cast<std::uint32_t>(i * 2048 + c);           // the wide identity
            if (i < 32 && c >= 1088) expected = kId(i, 64 + (c - 1088));                 // port 0
            if (i < 32 && c >= 128 && c < 1088) expected = kId(32 + i, 64 + (c - 128));  // port 1
            ASSERT_EQ(wide(i, c), expected) << "wide row " << i << " column " << c;
        }
    }
    EXPECT_EQ(wide(0, 2047), 1023u);
    EXPECT_EQ(wide(0, 1088), 64u);
    EXPECT_EQ(wide(31, 128), kId(63, 64));
}

TEST(LongStrip, ASegmentIsRaisedToWholeModules) {
    EXPECT_EQ(strip_segment(1000, 3, 32), 352u);  // 333 -> 352
    EXPECT_EQ(strip_segment(1024, 2, 32), 512u);
    // Three ports of 352 columns on a 1,024-column row: the last port is cut at the row's start.
    ScreenConfig image;
    ASSERT_EQ(build_long_strip({1000, 16, 32, 16, 3}, image), std::nullopt);
    const MappingMatrix t = table_of(image);
    EXPECT_EQ(t.at(0, 1023), kId(0, 1023));      // port 0 at the end
    EXPECT_EQ(t.at(0, 671), kId(16, 1023));      // port 1 ends at 1024 - 352
    EXPECT_EQ(t.at(0, 0), kId(32, 1024 - 320));  // port 2: only 320 columns left
    EXPECT_EQ(t.at(0, 319), kId(32, 1023));
}

TEST(Vertical, MethodTwoStacksTheFourPiecesOfEachBand) {
    VerticalInput in{64, 128, 16, 16, 4, VerticalMethod::UnitBoard, false};
    ScreenConfig image;
    ASSERT_EQ(build_vertical(in, image), std::nullopt);
    EXPECT_EQ(image.get(ConfigField::retraceTimes), 4u);
    EXPECT_EQ(image.get(ConfigField::tableWidth), 1024u);
    EXPECT_EQ(image.get(ConfigField::tableHeight), 512u);
    const MappingMatrix t = table_of(image);
    for (std::size_t row = 0; row < 128; ++row) {
        const std::size_t piece = (row / 16) % 4;  // nearest the row's end on top
        const std::size_t source_row = (row / 64) * 16 + row % 16;
        for (std::size_t j = 0; j < 64; ++j)
            ASSERT_EQ(t.at(row, 960 + j), kId(source_row, 1024 - (piece + 1) * 64 + j)) << row << "," << j;
    }
    expect_identity_outside(t, [](std::size_t r, std::size_t c) { return r < 128 && c >= 960; });
}

TEST(Vertical, MethodOneRunsDownOneModuleColumnAndUpTheNext) {
    // Two module columns of 32, four module rows of 16, two rows per port.
    VerticalInput in{64, 64, 32, 16, 2, VerticalMethod::CabinetWidth, false};
    ScreenConfig image;
    ASSERT_EQ(build_vertical(in, image), std::nullopt);
    const MappingMatrix t = table_of(image);
    struct Block {
        std::size_t to_row, to_column, from_row, from_column;
    };
    // Chain position p of a group starts at column 1024 - 32 (p + 1) of the group's source band.
    const std::vector<Block> blocks = {
        {0, 992, 0, 992},   {16, 992, 0, 960},   // right column, down: positions 0, 1
        {16, 960, 0, 928},  {0, 960, 0, 896},    // left column, up: positions 2, 3
        {32, 992, 16, 992}, {48, 992, 16, 960},  // second port
        {48, 960, 16, 928}, {32, 960, 16, 896},
    };
    for (const Block& b : blocks)
        for (std::size_t k = 0; k < 16; ++k)
            for (std::size_t j = 0; j < 32; ++j)
                ASSERT_EQ(t.at(b.to_row + k, b.to_column + j), kId(b.from_row + k, b.from_column + j));
    expect_identity_outside(t, [](std::size_t r, std::size_t c) { return r < 64 && c >= 960; });

    // Bottom to top: the module rows exchanged end for end.
    in.bottom_to_top = true;
    ScreenConfig flipped;
    ASSERT_EQ(build_vertical(in, flipped), std::nullopt);
    const MappingMatrix f = table_of(flipped);
    for (std::size_t r = 0; r < 64; ++r)
        for (std::size_t c = 960; c < 1024; ++c)
            ASSERT_EQ(f.at(r, c), t.at(64 - 16 * (r / 16 + 1) + r % 16, c));
}

TEST(Vertical, APartialLastGroupChainsOnlyItsRows) {
    // Three module rows, two per port: the second port has one row.
    VerticalInput in{64, 48, 32, 16, 2, VerticalMethod::CabinetWidth, false};
    ScreenConfig image;
    ASSERT_EQ(build_vertical(in, image), std::nullopt);
    const MappingMatrix t = table_of(image);
    EXPECT_EQ(t.at(32, 992), kId(16, 992));  // second port, position 0
    EXPECT_EQ(t.at(32, 960), kId(16, 960));  // position 1, next column, same row
    expect_identity_outside(t, [](std::size_t r, std::size_t c) { return r < 48 && c >= 960; });
}

TEST(Vertical, MethodThreeFoldsWholePortGroups) {
    // m = 8 module rows, G = 4 port groups: bands of 64 rows, G' = 4.
    VerticalInput in{64, 128, 16, 16, 2, VerticalMethod::CascadedCabinets, false};
    ScreenConfig image;
    ASSERT_EQ(build_vertical(in, image), std::nullopt);
    const MappingMatrix t = table_of(image);
    EXPECT_EQ(t.at(0, 960), kId(0, 960));
    EXPECT_EQ(t.at(64, 960), kId(0, 896));  // the band's second piece below the first
    EXPECT_EQ(t.at(127, 1023), kId(63, 959));
}

TEST(Direction, HeaderAndTableForEveryIndex) {
    struct Case {
        Direction direction;
        std::uint32_t rotation, mirror, swap;
    };
    for (const Case& c : std::vector<Case>{{Direction::Normal, 0, 0, 0},
                                           {Direction::Turn270, 1, 0, 1},
                                           {Direction::Turn90, 3, 0, 1},
                                           {Direction::Turn180, 2, 0, 0},
                                           {Direction::MirrorHorizontal, 0, 1, 0},
                                           {Direction::MirrorVertical, 0, 2, 0},
                                           {Direction::Turn270Mirror, 1, 1, 1},
                                           {Direction::Turn90Mirror, 3, 1, 1},
                                           {Direction::Turn180Mirror, 2, 0, 0}}) {
        SCOPED_TRACE(static_cast<int>(c.direction));
        ScreenConfig image;
        ASSERT_EQ(build_direction(64, 32, c.direction, image), std::nullopt);
        EXPECT_EQ(image.get(ConfigField::rotation), c.rotation);
        EXPECT_EQ(image.get(ConfigField::mirror), c.mirror);
        EXPECT_EQ(image.get(ConfigField::swapAxes), c.swap);
        EXPECT_EQ(image.get(ConfigField::retraceTimes), 1u);
        EXPECT_EQ(image.get(ConfigField::moduleHeight), 16u);
        EXPECT_EQ(image.get(ConfigField::moduleWidth), 32u);
        EXPECT_EQ(image.get(ConfigField::tableWidth), 1024u);
        expect_identity_outside(table_of(image),
                                [](std::size_t r, std::size_t col) { return r < 32 && col >= 960; });
    }

    ScreenConfig normal, mirror_h, mirror_v, half_mirror, turn_a, turn_b, half, turn_a_mirror;
    ASSERT_EQ(build_direction(64, 32, Direction::Normal, normal), std::nullopt);
    ScreenConfig blank;
    build_blank(blank);
    EXPECT_EQ(normal.get(ConfigField::rotation), 0u);
    EXPECT_TRUE(table_of(normal) == table_of(blank));

    ASSERT_EQ(build_direction(64, 32, Direction::MirrorHorizontal, mirror_h), std::nullopt);
    EXPECT_EQ(mirror_h.entry(0, 960), 1023u);
    EXPECT_EQ(mirror_h.entry(0, 1023), 960u);
    EXPECT_EQ(mirror_h.entry(31, 961), kId(31, 1022));

    ASSERT_EQ(build_direction(64, 32, Direction::MirrorVertical, mirror_v), std::nullopt);
    ASSERT_EQ(build_direction(64, 32, Direction::Turn180Mirror, half_mirror), std::nullopt);
    EXPECT_TRUE(table_of(half_mirror) == table_of(mirror_v)) << "same table as the vertical mirror";
    EXPECT_EQ(mirror_v.entry(0, 960), kId(31, 960));

    ASSERT_EQ(build_direction(64, 32, Direction::Turn180, half), std::nullopt);
    EXPECT_EQ(half.entry(0, 960), kId(31, 1023));
    EXPECT_EQ(half.entry(31, 1023), kId(0, 960));

    // The quarter turns read the turned screen: 32 columns wide, 64 rows high.
    ASSERT_EQ(build_direction(64, 32, Direction::Turn270, turn_a), std::nullopt);
    ASSERT_EQ(build_direction(64, 32, Direction::Turn90, turn_b), std::nullopt);
    ASSERT_EQ(build_direction(64, 32, Direction::Turn270Mirror, turn_a_mirror), std::nullopt);
    for (std::size_t r = 0; r < 32; ++r) {
        for (std::size_t j = 0; j < 64; ++j) {
            ASSERT_EQ(turn_a.entry(r, 960 + j), kId(63 - j, 992 + r));
            ASSERT_EQ(turn_b.entry(r, 960 + j), kId(j, 1023 - r));
            ASSERT_EQ(turn_a_mirror.entry(r, 960 + j), turn_a.entry(r, 1023 - j));
        }
    }
}

TEST(Direction, QuarterTurnsOfTheLargestScreenMatchTheRule) {
    // Beyond one tile in both directions and not a multiple of it.
    for (auto [w, h] : {std::pair<std::uint32_t, std::uint32_t>{512, 512}, {100, 37}}) {
        MappingMatrix a = MappingMatrix::identity();
        MappingMatrix b = MappingMatrix::identity();
        ASSERT_TRUE(transform(a, Transform::QuarterTurnA, w, h));
        ASSERT_TRUE(transform(b, Transform::QuarterTurnB, w, h));
        for (std::size_t r = 0; r < h; ++r)
            for (std::size_t j = 0; j < w; ++j) {
                ASSERT_EQ(a.at(r, 1024 - w + j), kId(w - 1 - j, 1024 - h + r));
                ASSERT_EQ(b.at(r, 1024 - w + j), kId(j, 1023 - r));
            }
    }
}

TEST(Direction, AHalfTurnOfAnOddHeightReversesTheMiddleRow) {
    MappingMatrix t = MappingMatrix::identity();
    ASSERT_TRUE(transform(t, Transform::HalfTurn, 3, 3));
    EXPECT_EQ(t.at(1, 1021), kId(1, 1023));
    EXPECT_EQ(t.at(1, 1022), kId(1, 1022));
    EXPECT_EQ(t.at(0, 1021), kId(2, 1023));
    EXPECT_EQ(t.at(2, 1023), kId(0, 1021));
}

TEST(Checks, InTheDialogsOrderWithTheirFocus) {
    struct Case {
        const char* name;
        LongStripInput strip;
        LayoutProblem problem;
        LayoutField focus;
    };
    const std::vector<Case> cases = {
        {"module width 0 first",
         {64, 32, 0, 0, std::nullopt},
         LayoutProblem::ModuleWidthZero,
         LayoutField::ModuleWidth},
        {"width 6", {64, 32, 6, 0, 2}, LayoutProblem::ModuleWidthNotMultipleOf4, LayoutField::ModuleWidth},
        {"height 0", {64, 32, 32, 0, 2}, LayoutProblem::ModuleHeightZero, LayoutField::ModuleHeight},
        {"height 10",
         {64, 32, 32, 10, 2},
         LayoutProblem::ModuleHeightNotMultipleOf4,
         LayoutField::ModuleHeight},
        {"ports empty", {64, 32, 32, 16, std::nullopt}, LayoutProblem::CountTooSmall, LayoutField::None},
        {"one port", {64, 32, 32, 16, 1}, LayoutProblem::CountTooSmall, LayoutField::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (LayoutAction action : {LayoutAction::Preview, LayoutAction::Send}) {
            const auto refusal = check_long_strip(c.strip, action);
            ASSERT_TRUE(refusal);
            EXPECT_EQ(refusal->problem, c.problem);
            EXPECT_EQ(refusal->focus, c.focus);
        }
    }
    // A module wider than the screen is not held to multiples of 4.
    EXPECT_EQ(check_long_strip({64, 32, 66, 34, 2}, LayoutAction::Preview), std::nullopt);
    EXPECT_EQ(problem_key(LayoutProblem::CountTooSmall), "IDS_MESSAGE_SPECIAL_TIP3");
    EXPECT_EQ(problem_key(LayoutProblem::ModuleWidthNotMultipleOf4), "IDS_MESSAGE_STEP1_3");

    // Vertical: R x W = 1,025 is refused on a send only, with the focus on R.
    VerticalInput v{205, 64, 16, 16, 5, VerticalMethod::CabinetWidth, false};
    const auto retrace = check_vertical(v, LayoutAction::Send);
    ASSERT_TRUE(retrace);
    EXPECT_EQ(retrace->problem, LayoutProblem::RetraceTooLarge);
    EXPECT_EQ(retrace->focus, LayoutField::Count);
    EXPECT_EQ(problem_key(retrace->problem), "RetraceTimes too large");
    EXPECT_EQ(check_vertical(v, LayoutAction::Preview), std::nullopt);
    v.width = 204;  // R x W = 1,020
    EXPECT_EQ(check_vertical(v, LayoutAction::Send), std::nullopt);
    v.retrace = 1;
    EXPECT_EQ(check_vertical(v, LayoutAction::Send)->problem, LayoutProblem::CountTooSmall);

    // The preview refuses method 3 and no method with the program's texts.
    VerticalInput m{64, 128, 16, 16, 2, VerticalMethod::CascadedCabinets, false};
    EXPECT_EQ(check_vertical(m, LayoutAction::Preview)->problem, LayoutProblem::MethodNotDrawn);
    EXPECT_EQ(problem_key(LayoutProblem::MethodNotDrawn), "不支持方法：箱体间级联，请选择其他方法");
    m.method = VerticalMethod::None;
    EXPECT_EQ(check_vertical(m, LayoutAction::Preview)->problem, LayoutProblem::NoMethod);
    EXPECT_EQ(check_vertical(m, LayoutAction::Send)->problem, LayoutProblem::NoMethod);
    EXPECT_EQ(problem_key(LayoutProblem::NoMethod), "请选择绕线方法");
}

TEST(Bounds, LayoutsThatLeaveTheTableAreRefusedAndNothingIsBuilt) {
    struct Case {
        const char* name;
        std::optional<LayoutRefusal> refusal;
        LayoutProblem expected;
    };
    const std::vector<Case> cases = {
        {"ports x height 528", check_long_strip({1920, 176, 32, 16, 3}, LayoutAction::Send),
         LayoutProblem::OutsideTable},
        {"ports beyond the wide row", check_long_strip({100, 8, 32, 16, 50}, LayoutAction::Send),
         LayoutProblem::OutsideTable},
        {"segment above 1024", check_long_strip({4000, 16, 32, 16, 2}, LayoutAction::Send),
         LayoutProblem::SegmentTooWide},
        {"no width", check_long_strip({0, 16, 32, 16, 2}, LayoutAction::Send), LayoutProblem::ScreenEmpty},
        {"height 600", check_direction(64, 600, Direction::Normal), LayoutProblem::OutsideTable},
        {"quarter turn of 513", check_direction(513, 32, Direction::Turn90Mirror),
         LayoutProblem::OutsideTable},
        {"width 1025", check_direction(1025, 32, Direction::MirrorHorizontal), LayoutProblem::OutsideTable},
        {"method 3 bands of 128 x 8",
         check_vertical({64, 256, 16, 16, 2, VerticalMethod::CascadedCabinets, false}, LayoutAction::Send),
         LayoutProblem::OutsideTable},
        {"serpentine rows below 512",
         check_vertical({64, 510, 32, 20, 2, VerticalMethod::CabinetWidth, false}, LayoutAction::Send),
         LayoutProblem::OutsideTable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.refusal);
        EXPECT_EQ(c.refusal->problem, c.expected);
        if (c.expected == LayoutProblem::OutsideTable) {
            EXPECT_FALSE(c.refusal->detail.empty());
        }
    }
    EXPECT_NE(check_long_strip({1920, 176, 32, 16, 3}, LayoutAction::Send)->detail.find("528"),
              std::string::npos);
    // Exactly at the limits is allowed.
    EXPECT_EQ(check_long_strip({1024, 256, 32, 16, 2}, LayoutAction::Send), std::nullopt);
    EXPECT_EQ(check_direction(512, 512, Direction::Turn270), std::nullopt);
    EXPECT_EQ(check_direction(1024, 512, Direction::Turn180Mirror), std::nullopt);

    // A refused build leaves the image as it was; the primitives refuse on their own too.
    ScreenConfig image;
    EXPECT_TRUE(build_direction(600, 32, Direction::Turn90, image));
    EXPECT_EQ(image, ScreenConfig());
    MappingMatrix t = MappingMatrix::identity();
    EXPECT_FALSE(transform(t, Transform::QuarterTurnA, 513, 32));
    EXPECT_FALSE(arrange_long_strip(t, 1920, 176, 960, 3));
    EXPECT_FALSE(fold(t, 128, 2, 8, 64, 256, false));
    EXPECT_FALSE(serpentine(t, 64, 510, 32, 20, 2, false));
    EXPECT_TRUE(t == MappingMatrix::identity());
}

TEST(Wiring, PlansFollowTheCableInOrder) {
    const WiringPlan strip = long_strip_wiring({1920, 32, 32, 16, 2});
    EXPECT_EQ(strip.columns, 60u);
    EXPECT_EQ(strip.rows, 2u);
    ASSERT_EQ(strip.runs.size(), 2u);
    EXPECT_EQ(strip.runs[0].port, 1u);
    ASSERT_EQ(strip.runs[0].modules.size(), 60u);  // 30 module columns x 2 rows
    EXPECT_EQ(strip.runs[0].modules.front(), (ModuleCell{59, 0}));
    EXPECT_EQ(strip.runs[0].modules[29], (ModuleCell{30, 0}));
    EXPECT_EQ(strip.runs[0].modules[30], (ModuleCell{59, 1}));
    EXPECT_EQ(strip.runs[1].modules.front(), (ModuleCell{29, 0}));

    const auto serp = vertical_wiring({64, 64, 32, 16, 2, VerticalMethod::CabinetWidth, false});
    ASSERT_TRUE(serp);
    ASSERT_EQ(serp->runs.size(), 2u);
    EXPECT_EQ(serp->runs[0].modules, (std::vector<ModuleCell>{{1, 0}, {1, 1}, {0, 1}, {0, 0}}));
    EXPECT_EQ(serp->runs[1].modules, (std::vector<ModuleCell>{{1, 2}, {1, 3}, {0, 3}, {0, 2}}));
    const auto up = vertical_wiring({64, 64, 32, 16, 2, VerticalMethod::CabinetWidth, true});
    EXPECT_EQ(up->runs[0].modules, (std::vector<ModuleCell>{{1, 3}, {1, 2}, {0, 2}, {0, 3}}));

    const auto folded = vertical_wiring({64, 128, 16, 16, 4, VerticalMethod::UnitBoard, false});
    ASSERT_TRUE(folded);
    ASSERT_EQ(folded->runs.size(), 2u);
    ASSERT_EQ(folded->runs[1].modules.size(), 16u);
    EXPECT_EQ(folded->runs[1].modules.front(), (ModuleCell{3, 4}));
    EXPECT_EQ(folded->runs[1].modules[4], (ModuleCell{3, 5}));
    EXPECT_FALSE(vertical_wiring({64, 128, 16, 16, 4, VerticalMethod::CascadedCabinets, false}));
}

TEST(Finish, TheImageOfAnExampleSumsOverEveryWord) {
    ScreenConfig image;
    ASSERT_EQ(build_direction(1024, 512, Direction::MirrorHorizontal, image), std::nullopt);
    finish(image);
    EXPECT_TRUE(sum_matches(image));
    EXPECT_EQ(image.get(ConfigField::endMarker), kEndMarker);
    EXPECT_EQ(image.get(ConfigField::entryCount), 524'288u);
    // A mirror only permutes entries: the sum is the blank image's plus the header words
    // (retraceTimes 1, moduleHeight 16, moduleWidth 32, mirror 1).
    ScreenConfig blank;
    build_blank(blank);
    finish(blank);
    EXPECT_EQ(image.get(ConfigField::wordSum) - blank.get(ConfigField::wordSum), 1u + 16u + 32u + 1u);
    image.set_entry(511, 0, image.entry(511, 0) + 1);
    EXPECT_FALSE(sum_matches(image));
}
