#include "screenconfig/special_layout.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <iterator>
#include <memory>
#include <vector>

namespace screenconfig {

namespace {

using u64 = std::uint64_t;

constexpr u64 kRows = kTableRows;
constexpr u64 kColumns = kTableColumns;

constexpr u64 ceil_div(u64 a, u64 b) {
    return b == 0 ? 0 : (a + b - 1) / b;
}

LayoutRefusal outside(std::string detail) {
    return {LayoutProblem::OutsideTable, LayoutField::None, std::move(detail)};
}

std::string figures(const char* what, u64 value, const char* limit) {
    return std::string(what) + " = " + std::to_string(value) + " > " + limit;
}

// The input checks both special-screen dialogs share, in their order.
std::optional<LayoutRefusal> check_module(std::uint32_t width, std::uint32_t height, std::uint32_t mw,
                                          std::uint32_t mh) {
    if (mw == 0) return LayoutRefusal{LayoutProblem::ModuleWidthZero, LayoutField::ModuleWidth, {}};
    if (mw <= width && mw % 4 != 0)
        return LayoutRefusal{LayoutProblem::ModuleWidthNotMultipleOf4, LayoutField::ModuleWidth, {}};
    if (mh == 0) return LayoutRefusal{LayoutProblem::ModuleHeightZero, LayoutField::ModuleHeight, {}};
    if (mh <= height && mh % 4 != 0)
        return LayoutRefusal{LayoutProblem::ModuleHeightNotMultipleOf4, LayoutField::ModuleHeight, {}};
    return std::nullopt;
}

std::optional<LayoutRefusal> check_count(const std::optional<std::uint32_t>& count) {
    if (!count || *count <= 1) return LayoutRefusal{LayoutProblem::CountTooSmall, LayoutField::None, {}};
    return std::nullopt;
}

// Rows of the table a long strip reads (source bands) and the rows of the wide table it writes.
struct StripShape {
    u64 k = 0;
    u64 wide_columns = 0;
    u64 segment = 0;
};

std::optional<LayoutRefusal> strip_bounds(u64 width, u64 height, u64 segment, u64 ports, StripShape* shape) {
    if (width == 0 || height == 0) return LayoutRefusal{LayoutProblem::ScreenEmpty, LayoutField::None, {}};
    const u64 k = ceil_div(width, kColumns);
    if (k > kRows) return outside(figures("table rows side by side for the width", k, "512"));
    if (segment > kColumns) return LayoutRefusal{LayoutProblem::SegmentTooWide, LayoutField::None, {}};
    if (segment == 0) return outside("each port's segment would be 0 pixels wide (more ports than pixels)");
    if (ports * height > kRows) return outside(figures("ports x height", ports * height, "512 table rows"));
    if (height > kRows / k)
        return outside(
            figures("height", height, (std::to_string(kRows / k) + " rows of the wide table").c_str()));
    const u64 wide = kColumns * k;
    if (segment * (ports - 1) >= wide)
        return outside(figures("segment x (ports - 1)", segment * (ports - 1),
                               (std::to_string(wide - 1) + " wide table columns").c_str()));
    if (shape) *shape = {k, wide, segment};
    return std::nullopt;
}

// Rows the serpentine reads and writes: it writes up to the end of the last group's column, which on an
// upward column starts below the screen's last module row.
u64 serpentine_rows(u64 height, u64 mw, u64 mh, u64 retrace, u64 width) {
    const u64 n = ceil_div(height, mh * retrace);
    const u64 q = (height % (mh * retrace)) / mh;
    const u64 last = q > 0 ? q : retrace;
    u64 rows = ceil_div(height, mh) * mh;
    if (n > 0 && width / mw >= 2) rows = std::max(rows, ((n - 1) * retrace + last) * mh);
    return std::max(rows, n * mh);
}

// Rows a fold reads (its groups' bands) and writes (whole bands below the screen's height).
u64 fold_rows(u64 band_height, u64 groups, u64 height) {
    return std::max(band_height * groups, ceil_div(height, band_height) * band_height);
}

struct FoldShape {
    u64 band_height = 0;
    u64 groups = 0;
};

FoldShape fold_shape(const VerticalInput& in) {
    const u64 mh = in.module_height;
    const u64 r = *in.retrace;
    const u64 modules = ceil_div(in.height, mh);
    const u64 port_groups = ceil_div(modules, r);
    const u64 groups = ceil_div(in.height, mh * r);
    if (in.method == VerticalMethod::UnitBoard) return {mh, groups};
    return {mh * port_groups, groups};
}

// A copy of the first `rows` rows of the table: what a rearrangement reads while it writes in place.
class RowCopy {
  public:
    // Not zero-filled first: every entry is copied in at once.
    RowCopy(const MappingMatrix& table, std::size_t rows)
        : cells_(std::make_unique_for_overwrite<std::uint32_t[]>(rows * kTableColumns)) {
        if (rows > 0) std::copy_n(table.row(0).data(), rows * kTableColumns, cells_.get());
    }
    const std::uint32_t* row(std::size_t r) const { return cells_.get() + r * kTableColumns; }

  private:
    std::unique_ptr<std::uint32_t[]> cells_;
};

void copy_run(const std::uint32_t* from, std::size_t count, std::uint32_t* to) {
    std::copy_n(from, count, to);
}

bool quarter_turn(MappingMatrix& t, bool turn_a, std::size_t width, std::size_t height) {
    if (width > kTableRows || height > kTableRows) return false;
    const std::size_t off = kTableColumns - width;
    const std::size_t from_column = kTableColumns - height;
    // The source block (width rows of `height` entries at the rows' end) is taken out first: it overlaps
    // the area written. Then a transpose in tiles, so reads and writes both stay within a few cache lines.
    std::vector<std::uint32_t> block(width * height);
    for (std::size_t i = 0; i < width; ++i)
        copy_run(&t.at(i, from_column), height, block.data() + i * height);
    constexpr std::size_t kTile = 32;
    for (std::size_t rb = 0; rb < height; rb += kTile) {
        const std::size_t r_end = std::min(height, rb + kTile);
        for (std::size_t jb = 0; jb < width; jb += kTile) {
            const std::size_t j_end = std::min(width, jb + kTile);
            for (std::size_t r = rb; r < r_end; ++r) {
                std::uint32_t* out = &t.at(r, off);
                if (turn_a) {
                    // T[r][off + j] = S[W - 1 - j][1024 - H + r]
                    for (std::size_t j = jb; j < j_end; ++j) out[j] = block[(width - 1 - j) * height + r];
                } else {
                    // T[r][off + j] = S[j][1023 - r]
                    for (std::size_t j = jb; j < j_end; ++j) out[j] = block[j * height + (height - 1 - r)];
                }
            }
        }
    }
    return true;
}

}  // namespace

const char* direction_key(Direction direction) {
    static constexpr std::array<const char*, kDirectionCount> kKeys = {
        "IDS_MESSAGE_SCREEN_ROTATE_NORMAL",     "IDS_MESSAGE_SCREEN_ROTATE_270",
        "IDS_MESSAGE_SCREEN_ROTATE_90",         "IDS_MESSAGE_SCREEN_ROTATE_180",
        "IDS_MESSAGE_SCREEN_ROTATE_H_BACK",     "IDS_MESSAGE_SCREEN_ROTATE_V_BACK",
        "IDS_MESSAGE_SCREEN_ROTATE_270_MIRROR", "IDS_MESSAGE_SCREEN_ROTATE_90_MIRROR",
        "IDS_MESSAGE_SCREEN_ROTATE_180_MIRROR",
    };
    const int i = static_cast<int>(direction);
    return i >= 0 && i < kDirectionCount ? kKeys[static_cast<std::size_t>(i)] : "";
}

std::string problem_key(LayoutProblem problem) {
    switch (problem) {
        case LayoutProblem::ModuleWidthZero:
            return "IDS_MESSAGE_SPECIAL_TIP1";
        case LayoutProblem::ModuleWidthNotMultipleOf4:
            return "IDS_MESSAGE_STEP1_3";
        case LayoutProblem::ModuleHeightZero:
            return "IDS_MESSAGE_SPECIAL_TIP2";
        case LayoutProblem::ModuleHeightNotMultipleOf4:
            return "IDS_MESSAGE_STEP1_1";
        case LayoutProblem::CountTooSmall:
            return "IDS_MESSAGE_SPECIAL_TIP3";
        case LayoutProblem::RetraceTooLarge:
            return "RetraceTimes too large";
        case LayoutProblem::NoMethod:
            return "请选择绕线方法";
        case LayoutProblem::MethodNotDrawn:
            return "不支持方法：箱体间级联，请选择其他方法";
        case LayoutProblem::SegmentTooWide:
            return "set error";
        case LayoutProblem::ScreenEmpty:
            return "IDS_MESSAGE_SPECIAL_NO_SIZE";
        case LayoutProblem::OutsideTable:
            return "IDS_MESSAGE_SPECIAL_OUTSIDE_TABLE";
    }
    return {};
}

bool problem_is_plain_text(LayoutProblem problem) {
    return problem == LayoutProblem::RetraceTooLarge || problem == LayoutProblem::NoMethod ||
           problem == LayoutProblem::MethodNotDrawn || problem == LayoutProblem::SegmentTooWide;
}

std::uint32_t strip_segment(std::uint32_t width, std::uint32_t ports, std::uint32_t module_width) {
    if (ports == 0) return 0;
    u64 s = width / ports;
    if (module_width != 0 && s % module_width != 0) s += module_width - s % module_width;
    return static_cast<std::uint32_t>(std::min<u64>(s, UINT32_MAX));
}

std::optional<LayoutRefusal> check_long_strip(const LongStripInput& in, LayoutAction action) {
    if (auto r = check_module(in.width, in.height, in.module_width, in.module_height)) return r;
    if (auto r = check_count(in.ports)) return r;
    if (action == LayoutAction::Preview) {
        if (in.width == 0 || in.height == 0)
            return LayoutRefusal{LayoutProblem::ScreenEmpty, LayoutField::None, {}};
        return std::nullopt;
    }
    return strip_bounds(in.width, in.height, strip_segment(in.width, *in.ports, in.module_width), *in.ports,
                        nullptr);
}

std::optional<LayoutRefusal> check_vertical(const VerticalInput& in, LayoutAction action) {
    if (auto r = check_module(in.width, in.height, in.module_width, in.module_height)) return r;
    if (auto r = check_count(in.retrace)) return r;
    const u64 retrace = *in.retrace;
    if (action == LayoutAction::Send && retrace * in.width > kColumns)
        return LayoutRefusal{LayoutProblem::RetraceTooLarge, LayoutField::Count, {}};
    if (in.width == 0 || in.height == 0)
        return LayoutRefusal{LayoutProblem::ScreenEmpty, LayoutField::None, {}};
    if (in.method == VerticalMethod::None)
        return LayoutRefusal{LayoutProblem::NoMethod, LayoutField::None, {}};
    if (action == LayoutAction::Preview) {
        if (in.method == VerticalMethod::CascadedCabinets)
            return LayoutRefusal{LayoutProblem::MethodNotDrawn, LayoutField::None, {}};
        return std::nullopt;
    }
    u64 rows = 0;
    if (in.method == VerticalMethod::CabinetWidth) {
        rows = serpentine_rows(in.height, in.module_width, in.module_height, retrace, in.width);
    } else {
        const FoldShape shape = fold_shape(in);
        rows = fold_rows(shape.band_height, shape.groups, in.height);
    }
    if (rows > kRows) return outside(figures("table rows the layout uses", rows, "512"));
    return std::nullopt;
}

std::optional<LayoutRefusal> check_direction(std::uint32_t width, std::uint32_t height, Direction direction) {
    if (width == 0 || height == 0) return LayoutRefusal{LayoutProblem::ScreenEmpty, LayoutField::None, {}};
    if (width > kColumns) return outside(figures("width", width, "1024 table columns"));
    if (height > kRows) return outside(figures("height", height, "512 table rows"));
    const bool quarter = direction == Direction::Turn270 || direction == Direction::Turn90 ||
                         direction == Direction::Turn270Mirror || direction == Direction::Turn90Mirror;
    if (quarter && width > kRows)
        return outside(figures("width", width, "512 table rows (the turned screen's height)"));
    return std::nullopt;
}

bool arrange_long_strip(MappingMatrix& table, std::uint32_t width, std::uint32_t height,
                        std::uint32_t segment, std::uint32_t ports) {
    StripShape shape;
    if (ports < 1 || strip_bounds(width, height, segment, ports, &shape)) return false;
    const RowCopy source(table, static_cast<std::size_t>(ports) * height);
    // The wide matrix's identity (r x 1024k + c) is the flat index, and its first 524,288 entries are
    // the table: it is built in place. The ports' bands cover the right end of the first `height` wide
    // rows, so the identity is written only where no band goes.
    std::uint32_t* flat = &table.at(0, 0);
    const u64 s = shape.segment;
    const u64 covered = std::min<u64>(shape.wide_columns, s * ports);
    const u64 left = shape.wide_columns - covered;
    auto identity = [flat](u64 from, u64 count) {
        for (u64 i = from; i < from + count; ++i) flat[i] = static_cast<std::uint32_t>(i);
    };
    for (u64 i = 0; i < height; ++i) identity(i * shape.wide_columns, left);
    identity(u64{height} * shape.wide_columns, kTableEntries - u64{height} * shape.wide_columns);
    for (u64 p = 0; p < ports; ++p) {
        const u64 e = shape.wide_columns - s * p;
        const bool whole = e >= s;
        const u64 count = whole ? s : e;
        const u64 to_column = whole ? e - s : 0;
        for (u64 i = 0; i < height; ++i)
            copy_run(source.row(p * height + i) + (kColumns - count), count,
                     flat + i * shape.wide_columns + to_column);
    }
    return true;
}

bool bands_bottom_to_top(MappingMatrix& table, std::uint32_t width, std::uint32_t height,
                         std::uint32_t band_height) {
    if (width > kColumns || height > kRows || band_height == 0) return false;
    const std::size_t n = height / band_height;
    if (n == 0) return true;
    const std::size_t off = kColumns - width;
    if (height % band_height == 0) {
        // Whole bands: band i and band n - 1 - i change places, in place.
        for (std::size_t i = 0; i < n / 2; ++i)
            for (std::size_t k = 0; k < band_height; ++k)
                std::swap_ranges(&table.at(i * band_height + k, off),
                                 &table.at(i * band_height + k, 0) + kColumns,
                                 &table.at((n - 1 - i) * band_height + k, off));
        return true;
    }
    const RowCopy before(table, height);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t k = 0; k < band_height; ++k)
            copy_run(before.row(height - band_height - i * band_height + k) + off, width,
                     &table.at(i * band_height + k, off));
    return true;
}

bool fold(MappingMatrix& table, std::uint32_t band_height, std::uint32_t retrace, std::uint32_t groups,
          std::uint32_t width, std::uint32_t height, bool bottom_to_top) {
    if (band_height == 0 || retrace == 0 || height > kRows) return false;
    if (u64{width} * retrace > kColumns || fold_rows(band_height, groups, height) > kRows) return false;
    const RowCopy source(table, static_cast<std::size_t>(band_height) * groups);
    const std::size_t off = kColumns - width;
    for (u64 g = 0; g < groups; ++g) {
        for (u64 r = 0; r < retrace; ++r) {
            const u64 d = (g * retrace + r) * band_height;
            if (d >= height) break;
            for (u64 k = 0; k < band_height; ++k)
                copy_run(source.row(g * band_height + k) + kColumns - (r + 1) * width, width,
                         &table.at(d + k, off));
        }
    }
    if (bottom_to_top) bands_bottom_to_top(table, width, height, band_height);
    return true;
}

bool serpentine(MappingMatrix& table, std::uint32_t width, std::uint32_t height, std::uint32_t module_width,
                std::uint32_t module_height, std::uint32_t retrace, bool bottom_to_top) {
    if (module_width == 0 || module_height == 0 || retrace == 0 || height > kRows) return false;
    if (u64{width} * retrace > kColumns ||
        serpentine_rows(height, module_width, module_height, retrace, width) > kRows)
        return false;
    const u64 mw = module_width;
    const u64 mh = module_height;
    const u64 n = ceil_div(height, mh * retrace);
    const u64 q = (height % (mh * retrace)) / mh;
    const u64 columns = width / mw;
    const RowCopy source(table, static_cast<std::size_t>(n * mh));
    for (u64 g = 0; g < n; ++g) {
        const u64 rg = (g == n - 1 && q > 0) ? q : retrace;
        for (u64 c = 0; c < columns; ++c) {
            for (u64 r = 0; r < rg; ++r) {
                if ((g * retrace + r) * mh >= height) break;
                const u64 from_column = kColumns - (c * rg + r + 1) * mw;
                const u64 to_row = (c % 2 == 0 ? g * retrace + r : g * retrace + rg - 1 - r) * mh;
                const u64 to_column = kColumns - (c + 1) * mw;
                for (u64 k = 0; k < mh; ++k)
                    copy_run(source.row(g * mh + k) + from_column, mw, &table.at(to_row + k, to_column));
            }
        }
    }
    if (bottom_to_top) bands_bottom_to_top(table, width, height, module_height);
    return true;
}

bool transform(MappingMatrix& t, Transform which, std::uint32_t width, std::uint32_t height) {
    if (width > kColumns || height > kRows) return false;
    const std::size_t off = kColumns - width;
    switch (which) {
        case Transform::QuarterTurnA:
            return quarter_turn(t, true, width, height);
        case Transform::QuarterTurnB:
            return quarter_turn(t, false, width, height);
        case Transform::MirrorHorizontal:
            // T[r][off + j] = S[r][1023 - j]: each row's screen area reversed in place.
            for (std::size_t r = 0; r < height; ++r) std::reverse(&t.at(r, off), &t.at(r, 0) + kColumns);
            return true;
        case Transform::MirrorVertical:
            // T[r][off + j] = S[H - 1 - r][off + j]: rows exchanged end for end.
            for (std::size_t r = 0; r < height / 2; ++r)
                std::swap_ranges(&t.at(r, off), &t.at(r, 0) + kColumns, &t.at(height - 1 - r, off));
            return true;
        case Transform::HalfTurn:
            // T[r][off + j] = S[H - 1 - r][1023 - j]: each pair of rows exchanged and reversed in one pass.
            for (std::size_t r = 0; r < height / 2; ++r) {
                std::uint32_t* b_end = &t.at(height - 1 - r, 0) + kColumns;
                std::swap_ranges(&t.at(r, off), &t.at(r, 0) + kColumns, std::make_reverse_iterator(b_end));
            }
            if (height % 2 == 1) std::reverse(&t.at(height / 2, off), &t.at(height / 2, 0) + kColumns);
            return true;
    }
    return false;
}

std::optional<LayoutRefusal> build_long_strip(const LongStripInput& in, ScreenConfig& image) {
    if (auto r = check_long_strip(in, LayoutAction::Send)) return r;
    const auto shape = long_strip_table(in.width);
    assert(shape);
    build_blank(image);
    image.set(ConfigField::moduleHeight, in.module_height);
    image.set(ConfigField::moduleWidth, in.module_width);
    image.set(ConfigField::portsPerRow, *in.ports);
    image.set(ConfigField::tableWidth, shape->width);
    image.set(ConfigField::tableHeight, shape->height);
    MappingMatrix table = MappingMatrix::load(image);
    const bool done = arrange_long_strip(table, in.width, in.height,
                                         strip_segment(in.width, *in.ports, in.module_width), *in.ports);
    assert(done);
    (void)done;
    table.store(image);
    return std::nullopt;
}

std::optional<LayoutRefusal> build_vertical(const VerticalInput& in, ScreenConfig& image) {
    if (auto r = check_vertical(in, LayoutAction::Send)) return r;
    build_blank(image);
    image.set(ConfigField::moduleHeight, in.module_height);
    image.set(ConfigField::moduleWidth, in.module_width);
    image.set(ConfigField::retraceTimes, *in.retrace);
    MappingMatrix table = MappingMatrix::load(image);
    bool done = false;
    if (in.method == VerticalMethod::CabinetWidth) {
        done = serpentine(table, in.width, in.height, in.module_width, in.module_height, *in.retrace,
                          in.bottom_to_top);
    } else {
        const FoldShape shape = fold_shape(in);
        done = fold(table, static_cast<std::uint32_t>(shape.band_height), *in.retrace,
                    static_cast<std::uint32_t>(shape.groups), in.width, in.height, in.bottom_to_top);
    }
    assert(done);
    (void)done;
    table.store(image);
    return std::nullopt;
}

std::optional<LayoutRefusal> build_direction(std::uint32_t width, std::uint32_t height, Direction direction,
                                             ScreenConfig& image) {
    if (auto r = check_direction(width, height, direction)) return r;
    struct Row {
        std::uint32_t rotation, mirror, swap;
        std::optional<Transform> first;
        bool then_mirror;
    };
    static constexpr std::array<Row, kDirectionCount> kDirections = {{
        {0, 0, 0, std::nullopt, false},
        {1, 0, 1, Transform::QuarterTurnA, false},
        {3, 0, 1, Transform::QuarterTurnB, false},
        {2, 0, 0, Transform::HalfTurn, false},
        {0, 1, 0, Transform::MirrorHorizontal, false},
        {0, 2, 0, Transform::MirrorVertical, false},
        {1, 1, 1, Transform::QuarterTurnA, true},
        {3, 1, 1, Transform::QuarterTurnB, true},
        // A half turn with mirror is stated to the card as a plain half turn; its table is mirrored.
        {2, 0, 0, Transform::HalfTurn, true},
    }};
    const int index = static_cast<int>(direction);
    // No selection: a plain image.
    const Row row = index >= 0 && index < kDirectionCount ? kDirections[static_cast<std::size_t>(index)]
                                                          : Row{0, 0, 0, std::nullopt, false};
    build_blank(image);
    image.set(ConfigField::retraceTimes, 1);
    image.set(ConfigField::moduleHeight, 16);
    image.set(ConfigField::moduleWidth, 32);
    image.set(ConfigField::rotation, row.rotation);
    image.set(ConfigField::mirror, row.mirror);
    image.set(ConfigField::swapAxes, row.swap);
    if (row.first) {
        MappingMatrix table = MappingMatrix::load(image);
        transform(table, *row.first, width, height);
        if (row.then_mirror) transform(table, Transform::MirrorHorizontal, width, height);
        table.store(image);
    }
    return std::nullopt;
}

WiringPlan long_strip_wiring(const LongStripInput& in) {
    WiringPlan plan;
    if (in.module_width == 0 || in.module_height == 0 || !in.ports) return plan;
    plan.columns = static_cast<std::uint32_t>(ceil_div(in.width, in.module_width));
    plan.rows = static_cast<std::uint32_t>(ceil_div(in.height, in.module_height));
    plan.module_width = in.module_width;
    plan.module_height = in.module_height;
    const u64 per_port = strip_segment(in.width, *in.ports, in.module_width) / in.module_width;
    for (u64 p = 0; p < *in.ports; ++p) {
        CableRun run;
        run.port = static_cast<std::uint32_t>(p + 1);
        // Port p drives the p-th segment counted from the row's end; its cable runs from the end of
        // each module row of the segment towards its start, row after row.
        for (u64 y = 0; y < plan.rows; ++y)
            for (u64 c = p * per_port; c < (p + 1) * per_port && c < plan.columns; ++c)
                run.modules.push_back(
                    {static_cast<std::uint32_t>(plan.columns - 1 - c), static_cast<std::uint32_t>(y)});
        plan.runs.push_back(std::move(run));
    }
    return plan;
}

std::optional<WiringPlan> vertical_wiring(const VerticalInput& in) {
    if (in.method != VerticalMethod::CabinetWidth && in.method != VerticalMethod::UnitBoard)
        return std::nullopt;
    if (in.module_width == 0 || in.module_height == 0 || !in.retrace || *in.retrace == 0) return std::nullopt;
    WiringPlan plan;
    plan.columns = static_cast<std::uint32_t>(ceil_div(in.width, in.module_width));
    plan.rows = static_cast<std::uint32_t>(ceil_div(in.height, in.module_height));
    plan.module_width = in.module_width;
    plan.module_height = in.module_height;
    const u64 mh = in.module_height;
    const u64 retrace = *in.retrace;
    const u64 full_columns = in.width / in.module_width;
    const u64 n = ceil_div(in.height, mh * retrace);
    auto cell = [&](u64 c, u64 row) {
        const u64 y = in.bottom_to_top ? plan.rows - 1 - row : row;
        return ModuleCell{static_cast<std::uint32_t>(plan.columns - 1 - c), static_cast<std::uint32_t>(y)};
    };
    for (u64 g = 0; g < n; ++g) {
        CableRun run;
        run.port = static_cast<std::uint32_t>(g + 1);
        if (in.method == VerticalMethod::CabinetWidth) {
            const u64 q = (in.height % (mh * retrace)) / mh;
            const u64 rg = (g == n - 1 && q > 0) ? q : retrace;
            for (u64 c = 0; c < full_columns; ++c) {
                for (u64 r = 0; r < rg; ++r) {
                    if ((g * retrace + r) * mh >= in.height) break;
                    const u64 row = c % 2 == 0 ? g * retrace + r : g * retrace + rg - 1 - r;
                    if (row < plan.rows) run.modules.push_back(cell(c, row));
                }
            }
        } else {
            for (u64 r = 0; r < retrace; ++r) {
                const u64 row = g * retrace + r;
                if (row * mh >= in.height) break;
                for (u64 c = 0; c < full_columns; ++c) run.modules.push_back(cell(c, row));
            }
        }
        plan.runs.push_back(std::move(run));
    }
    return plan;
}

}  // namespace screenconfig
