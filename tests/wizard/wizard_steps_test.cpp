// The wizard's step controllers, without widgets or cards: the checks and their order, the values they
// write into the working header, and the blocks they ask to send.
#include <gtest/gtest.h>

#include "screenconfig/working_set.h"
#include "screenconfig/screen_params.h"
#include "wizard/alternating_step.h"
#include "wizard/kelvra_pictures.h"
#include "wizard/line_check.h"
#include "wizard/module_info.h"
#include "wizard/point_trace.h"
#include "wizard/scan_lines.h"
#include "wizard/step_sequence.h"

namespace {

using screenconfig::ConfigField;
using screenconfig::ParamsField;
using namespace wizard;

// ---- step 1 ----

struct ModuleCase {
    std::uint32_t width, height;
    int cables, rgb, hub, decoder;  // list indices, -1: none
    const char* message;            // "" when accepted
};

TEST(ModuleInfoStep, ChecksRunInTheirOrder) {
    const ModuleCase cases[] = {
        {13, 18, -1, -1, -1, -1, "IDS_MESSAGE_STEP1_1"},  // height first: the width is not looked at
        {13, 36, 0, 0, 1, 0, "IDS_MESSAGE_STEP1_2"},
        {13, 20, 0, 0, 1, 0, "IDS_MESSAGE_STEP1_3"},  // 20 is a multiple of 4: the width is next
        {68, 32, 0, 0, 1, 0, "IDS_MESSAGE_STEP1_4"},
        {64, 32, -1, 0, 1, 0, "IDS_MESSAGE_STEP1_7"},
        {64, 32, 0, -1, 1, 0, "IDS_MESSAGE_STEP1_8"},
        {64, 32, 0, 1, 0, 0, "IDS_MESSAGE_STEP1_9"},
        {64, 32, 0, 1, -1, 0, "IDS_MESSAGE_STEP1_9"},
        {64, 32, 0, 1, 5, -1, "IDS_MESSAGE_STEP1_10"},
        {64, 32, 0, 1, 5, 0, ""},
        {0, 0, 0, 0, 1, 3, ""},
    };
    for (const auto& c : cases) {
        ModuleInfo info("S730-413-05862");
        info.width = c.width;
        info.height = c.height;
        info.cable_groups_index = c.cables;
        info.rgb_groups_index = c.rgb;
        info.hub_row = c.hub;
        info.decoder_index = c.decoder;
        screenconfig::ScreenConfig header;
        const auto outcome = info.accept(header);
        EXPECT_EQ(outcome.accepted, std::string(c.message).empty()) << c.message;
        EXPECT_EQ(outcome.messages, std::string(c.message).empty() ? Messages{} : Messages{c.message});
    }
}

TEST(ModuleInfoStep, SizeWritesStayWhenTheHubOrDecoderCheckRefuses) {
    ModuleInfo info("S730-413-05862");
    info.width = 64;
    info.height = 32;
    info.cable_groups_index = 0;  // 1
    info.rgb_groups_index = 1;    // 2
    screenconfig::ScreenConfig header;
    EXPECT_EQ(info.accept(header).messages, Messages{"IDS_MESSAGE_STEP1_9"});
    EXPECT_EQ(header.get(ConfigField::scanCount), 16u);
    EXPECT_EQ(header.get(ConfigField::rgbGroupsPerCable), 2u);
    EXPECT_EQ(header.get(ConfigField::moduleWidthLimited), 32u);
    EXPECT_EQ(header.get(ConfigField::moduleHeightLimited), 16u);
    EXPECT_EQ(info.width, 32u) << "the panel's field is limited too";
    EXPECT_EQ(info.height, 16u);

    ModuleInfo twelve("S730-413-05862");
    twelve.height = 12;
    twelve.cable_groups_index = 0;
    twelve.rgb_groups_index = 0;
    twelve.hub_row = 3;
    twelve.decoder_index = 0;
    EXPECT_TRUE(twelve.accept(header).accepted);
    EXPECT_EQ(header.get(ConfigField::scanCount), 12u);
}

TEST(ModuleInfoStep, CardClassDecidesWhetherAHubBoardIsAsked) {
    const std::pair<const char*, int> cases[] = {{"X100-000-00001", 0}, {"P200", 0},  {"S730-413-05862", 1},
                                                 {"M1-7", 0},           {"M2-7", -1}, {"x100-000-00001", -1},
                                                 {"s730", -1},          {"", -1}};
    for (const auto& [id, cls] : cases) {
        ModuleInfo info(id);
        EXPECT_EQ(info.card_class(), cls) << id;
        EXPECT_EQ(info.hub_visible(), cls != 0) << id;
    }
    // An "X" card never asks for the board: row 0 is selected and Next passes without one.
    ModuleInfo x("X100-000-00001");
    x.cable_groups_index = x.rgb_groups_index = x.decoder_index = 0;
    screenconfig::ScreenConfig header;
    EXPECT_TRUE(x.accept(header).accepted);
}

TEST(ModuleInfoStep, HubTableCodesAndPictures) {
    const auto& rows = hub_boards();
    EXPECT_EQ(rows[0].code, 0u);
    EXPECT_EQ(rows[1].name, "KORVA_S630");
    EXPECT_EQ(rows[71].name, "LINSN_127");
    int threes = 0, twos = 0;
    for (std::size_t i = 5; i < rows.size(); ++i) (rows[i].code == 3 ? threes : twos) += 1;
    EXPECT_EQ(threes, 18);
    EXPECT_EQ(twos, 49);
    auto row_of = [&](std::string_view name) {
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (rows[i].name == name) return static_cast<int>(i);
        return -1;
    };
    ModuleInfo info("S730-413-05862");
    screenconfig::ScreenConfig header;
    const std::tuple<const char*, std::uint32_t, HubPicture> cases[] = {
        {"LINSN_90", 2, HubPicture::Linsn90}, {"KORVA_S730_40", 4, HubPicture::KorvaS730_40},
        {"LINSN_40", 3, HubPicture::Linsn40}, {"KORVA_S630", 1, HubPicture::KorvaS630},
        {"LINSN_127", 2, HubPicture::None},   {"LINSN_123", 3, HubPicture::None},
    };
    for (const auto& [name, code, picture] : cases) {
        const int row = row_of(name);
        ASSERT_GT(row, 0) << name;
        EXPECT_EQ(info.hub_block(row), screen_control::make(screen_control::Sub::HubType, {code})) << name;
        info.hub_connected(row, header);
        EXPECT_EQ(header.get(ConfigField::hubType), code) << name;
        EXPECT_EQ(hub_picture(name), picture) << name;
    }
    EXPECT_EQ(hub_picture("LINSN_40B"), HubPicture::Linsn90);
    EXPECT_FALSE(info.hub_block(0));
    EXPECT_FALSE(info.hub_block(72));
    EXPECT_EQ(ModuleInfo::decoder_block(2), screen_control::make(screen_control::Sub::DecoderType, {2}));
}

// ---- steps 2 to 4 ----

TEST(AlternatingSteps, CycleRadioAndAutoChange) {
    AlternatingStep rp(Alternation::DataPolarity);
    EXPECT_EQ(rp.start(), 1);
    EXPECT_EQ(rp.tick(), 2);
    EXPECT_EQ(rp.tick(), 1);
    EXPECT_EQ(rp.radio_clicked(2), 2);
    EXPECT_EQ(rp.shown(), 1);
    EXPECT_EQ(rp.tick(), 2) << "the timer continues from its own position";
    EXPECT_FALSE(rp.auto_change_clicked(false));
    EXPECT_FALSE(rp.auto_change());
    EXPECT_EQ(rp.auto_change_clicked(true), 1);
    EXPECT_EQ(rp.tick(), 2);

    AlternatingStep colour(Alternation::Colour);
    colour.start();
    EXPECT_EQ(colour.tick(), 2);
    EXPECT_EQ(colour.tick(), 3);
    EXPECT_EQ(colour.tick(), 4) << "the hidden fourth state is still lit";
    EXPECT_EQ(colour.tick(), 1);
}

TEST(AlternatingSteps, BlocksAndFailureTexts) {
    using screen_control::SmartStep;
    AlternatingStep rp(Alternation::DataPolarity), oe(Alternation::Oe), colour(Alternation::Colour);
    EXPECT_EQ(rp.block(1), screen_control::make_smart(SmartStep::DataPolarityState, {1}));
    EXPECT_EQ(rp.block(2), screen_control::make_smart(SmartStep::DataPolarityState, {0}));
    EXPECT_EQ(oe.block(1), screen_control::make_smart(SmartStep::OeState, {1}));
    EXPECT_EQ(colour.block(1), screen_control::make_smart(SmartStep::Colour, {0x0000FF}));
    EXPECT_EQ(colour.block(3), screen_control::make_smart(SmartStep::Colour, {0xFF0000}));
    EXPECT_EQ(colour.block(4), screen_control::make_smart(SmartStep::Colour, {0}));
    EXPECT_EQ(rp.failure_text(2), "error RP");
    EXPECT_EQ(oe.failure_text(1), "error OE");
    EXPECT_EQ(colour.failure_text(4), "error RGB4");
}

TEST(AlternatingSteps, PolarityAnswers) {
    struct Case {
        Alternation kind;
        int answer;
        bool accepted;
        std::uint32_t value;  // the header's field afterwards (it starts at 7)
        std::optional<int> shown;
    };
    const Case cases[] = {
        {Alternation::DataPolarity, 0, false, 7, std::nullopt},
        {Alternation::DataPolarity, 1, true, 0, 2},
        {Alternation::DataPolarity, 2, true, 1, 1},
        {Alternation::Oe, 0, false, 7, std::nullopt},
        {Alternation::Oe, 1, true, 1, 1},
        {Alternation::Oe, 2, true, 0, 2},
        {Alternation::Oe, 3, true, 7, std::nullopt},  // "没有变化" keeps the value
    };
    for (const auto& c : cases) {
        AlternatingStep step(c.kind);
        const auto field = c.kind == Alternation::Oe ? ConfigField::oePolarity : ConfigField::dataPolarity;
        screenconfig::ScreenConfig header;
        header.set(field, 7);
        step.answers[0] = c.answer;
        const auto r = step.accept(header);
        EXPECT_EQ(r.outcome.accepted, c.accepted) << c.answer;
        if (!c.accepted) {
            EXPECT_EQ(r.outcome.messages, Messages{"IDS_MESSAGE_STEP4_1"});
        }
        EXPECT_EQ(header.get(field), c.value);
        EXPECT_EQ(r.show, c.shown);
    }
}

TEST(AlternatingSteps, ColourAnswers) {
    struct Case {
        std::array<int, 3> seen;  // 1 red, 2 green, 3 blue, 4 black, 5 other
        const char* message;
        std::uint32_t order;  // colourOrder afterwards (starts at 9)
    };
    const Case cases[] = {
        {{1, 2, 3}, "", 0},
        {{3, 2, 1}, "", 1},
        {{2, 1, 3}, "", 2},
        {{2, 3, 1}, "", 4},                     // red slot B, green R, blue G: "BRG"
        {{3, 1, 2}, "", 3},                     // "GBR"
        {{1, 3, 2}, "", 5},                     // "RBG"
        {{1, 2, 4}, "", 0},                     // dual colour "RG"
        {{2, 1, 4}, "", 2},                     // "GR"
        {{1, 4, 4}, "", 0},                     // single colour "R"
        {{4, 1, 4}, "", 2},                     // "G"
        {{1, 1, 3}, "IDS_MESSAGE_STEP5_1", 9},  // "G" over "R" in the red slot: "GB"
        {{5, 2, 3}, "IDS_MESSAGE_STEP5_1", 9},  // the fifth answer fills no slot: "GB"
        {{0, 0, 0}, "IDS_MESSAGE_STEP5_2", 9},
        {{1, 0, 0}, "IDS_MESSAGE_STEP5_3", 9},
        {{1, 2, 0}, "IDS_MESSAGE_STEP5_4", 9},
        {{4, 4, 4}, "IDS_MESSAGE_STEP5_1", 9},
    };
    for (const auto& c : cases) {
        AlternatingStep step(Alternation::Colour);
        for (int i = 0; i < 3; ++i)
            step.answers[static_cast<std::size_t>(i)] = c.seen[static_cast<std::size_t>(i)];
        screenconfig::ScreenConfig header;
        header.set(ConfigField::colourOrder, 9);
        const auto r = step.accept(header);
        const bool ok = std::string(c.message).empty();
        EXPECT_EQ(r.outcome.accepted, ok) << c.seen[0] << c.seen[1] << c.seen[2];
        EXPECT_EQ(r.outcome.messages, ok ? Messages{} : Messages{c.message});
        EXPECT_EQ(header.get(ConfigField::colourOrder), c.order) << c.seen[0] << c.seen[1] << c.seen[2];
    }
    AlternatingStep step(Alternation::Colour);
    EXPECT_EQ(step.answer_chosen(2, 5), std::optional<std::string>("IDS_MESSAGE_STEP5_10"));
    EXPECT_EQ(step.answers[2], 5) << "the answer stays as chosen";
    EXPECT_FALSE(step.answer_chosen(0, 4));
}

// ---- step 5 ----

TEST(ScanLinesStep, ValuesAndBlocks) {
    using screen_control::Sub;
    struct Case {
        std::uint32_t scan;
        int rows_lit;  // list index: 1 "1", 2 "2", 3 "4", 4 "8", 5 "16"
        const char* message;
        std::uint32_t interval, all, part, per_group, group, sub12, code;
    };
    const Case cases[] = {
        {8, 4, "", 7, 1, 0, 0, 1, 8, 1},
        {8, 2, "", 1, 0, 1, 4, 4, 4, 1},
        {16, 1, "", 0, 0, 1, 16, 16, 16, 0},
        {16, 5, "", 15, 1, 0, 0, 1, 16, 0},
        {1, 1, "", 0, 1, 0, 0, 1, 1, 4},
        {2, 2, "", 1, 1, 0, 0, 1, 2, 3},
        {4, 3, "", 3, 1, 0, 0, 1, 4, 2},
        {12, 3, "", 3, 0, 1, 3, 3, 3, 0},
        {4, 5, "IDS_MESSAGE_DUDO_RESET_PARAM", 15, 0, 1, 0, 0, 0, 0},
        {0, 1, "IDS_MESSAGE_DUDO_RESET_PARAM", 0, 0, 1, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        for (int between = 1; between <= 5; ++between) {  // every gap answer leads to the same values
            screenconfig::WorkingSet working;
            working.config.set(ConfigField::scanCount, c.scan);
            ScanLines scan;
            scan.rows_lit_index = c.rows_lit;
            scan.rows_between_index = between;
            const auto plan = scan.accept(working);
            const bool ok = std::string(c.message).empty();
            const auto label = std::to_string(c.scan) + "/" + std::to_string(c.rows_lit);
            EXPECT_EQ(plan.outcome.accepted, ok) << label;
            EXPECT_EQ(working.config.get(ConfigField::lineInterval), c.interval) << label;
            EXPECT_EQ(working.all_rows_lit, c.all) << label;
            EXPECT_EQ(working.part_rows_lit, c.part) << label;
            EXPECT_EQ(working.rows_per_group, c.per_group) << label;
            if (!ok) {
                EXPECT_EQ(plan.outcome.messages, Messages{c.message});
                EXPECT_TRUE(plan.blocks.empty());
                continue;
            }
            EXPECT_EQ(working.config.get(ConfigField::lineGroup), c.group) << label;
            ASSERT_EQ(plan.blocks.size(), 4u);
            EXPECT_EQ(plan.blocks[0], screen_control::make(Sub::ScanCode, {c.code})) << label;
            EXPECT_EQ(plan.blocks[1], screen_control::make(Sub::LineGroup, {c.sub12})) << label;
            EXPECT_EQ(plan.blocks[2], screen_control::make(Sub::LineInterval, {c.interval})) << label;
            EXPECT_EQ(plan.blocks[3], screen_control::make(Sub::DecodeOrderWords, {0x76543210, 0xDCBA98}));
        }
    }
}

TEST(ScanLinesStep, MissingAnswersAndTheCardsReplies) {
    screenconfig::WorkingSet working;
    working.config.set(ConfigField::scanCount, 8);
    ScanLines scan;
    EXPECT_EQ(scan.accept(working).outcome.messages, Messages{"IDS_MESSAGE_STEP6_1"});
    EXPECT_EQ(scan.lit_rows_minus_one(), 1u);
    scan.rows_lit_index = 4;
    EXPECT_EQ(scan.accept(working).outcome.messages, Messages{"IDS_MESSAGE_STEP6_2"});
    EXPECT_EQ(working.config.get(ConfigField::lineInterval), 0u) << "nothing written before both answers";
    EXPECT_EQ(scan.lit_rows_minus_one(), 7u);

    using cardlink::ExchangeError;
    auto result = [](std::initializer_list<ExchangeError> errors) {
        cardlink::SequenceResult r{true, {}};
        for (auto e : errors) r.results.push_back({e, {}});
        return r;
    };
    EXPECT_EQ(ScanLines::finish({}).messages, Messages{"IDS_MESSAGE_CARD_LINK_ERROR"});
    EXPECT_FALSE(ScanLines::finish({}).accepted);
    const auto ok = ExchangeError::None;
    const auto refused = ExchangeError::AnswerRejected;
    auto r = ScanLines::finish(result({refused, refused, ExchangeError::NoAnswer, ok}));
    EXPECT_TRUE(r.accepted) << "only the row-decode order decides";
    EXPECT_EQ(r.messages, (Messages{"error 88!", "error 6", "error 4"}));
    r = ScanLines::finish(result({ok, ok, ok, refused}));
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(r.messages, Messages{"error 33"});
}

// ---- step 6 ----

screenconfig::WorkingSet header_for(std::uint32_t line_group, std::uint32_t scan) {
    screenconfig::WorkingSet w;
    w.config.set(ConfigField::lineGroup, line_group);
    w.config.set(ConfigField::scanCount, scan);
    w.config.set(ConfigField::lineInterval, scan / line_group - 1);
    w.config.set(ConfigField::hubType, 3);
    w.config.set(ConfigField::decodeType, 1);
    w.config.set(ConfigField::dataPolarity, 1);
    w.config.set(ConfigField::oePolarity, 1);
    w.config.set(ConfigField::colourOrder, 4);
    return w;
}

std::array<std::uint32_t, 3> point_words(const Block& b) {
    return {b[3], b[4], b[5]};
}

TEST(PointTraceStep, ListChoiceFillsTheRecordAndSendsSixBlocks) {
    auto working = header_for(4, 16);
    working.params.set(ParamsField::pointFlags, 0x403);
    PointTrace trace;
    trace.lay_out({16, 16, 16, 4, 3});
    ASSERT_EQ(trace.list().size(), 10u);
    EXPECT_EQ(trace.list()[5].key, "IDS_MESSAGE_STEP7_4_16_6");
    const auto choice = trace.choose(5, working);  // "ba987654dc3210", class 1
    EXPECT_EQ(choice.number_text, "6");
    const auto& p = working.params;
    EXPECT_EQ(p.get(ParamsField::magic), screenconfig::kLedMarker);
    EXPECT_EQ(p.get(ParamsField::endMarker), screenconfig::kEndMarker);
    EXPECT_EQ(p.get(ParamsField::decodeOrder), 1u);
    EXPECT_EQ(p.get(ParamsField::decodeWordA), 0x54DC3210u);
    EXPECT_EQ(p.get(ParamsField::decodeWordB), 0xBA9876u);
    EXPECT_EQ(p.get(ParamsField::hubType), 3u);
    EXPECT_EQ(p.get(ParamsField::colourOrder), 4u);
    EXPECT_EQ(p.get(ParamsField::scanCode), 0u);
    EXPECT_EQ(p.get(ParamsField::lineInterval), 3u);
    EXPECT_EQ(p.get(ParamsField::pointFlags), 0x403u) << "pointFlags is step 7's";
    EXPECT_EQ(p.get(ParamsField::wordSum), 0u) << "the sum is the save's";
    using screen_control::Sub;
    const std::vector<Block> expected = {
        screen_control::make(Sub::LineGroup, {4}),
        screen_control::make(Sub::ScanCode, {0}),
        screen_control::make(Sub::LineInterval, {3}),
        screen_control::make(Sub::DecodeOrderWords, {0x54DC3210, 0xBA9876}),
        screen_control::make(Sub::DecodeOrderClass, {1}),
        screen_control::make_smart(screen_control::SmartStep::LineCross),
    };
    EXPECT_EQ(choice.blocks, expected);
}

TEST(PointTraceStep, PairsWithoutAListOfferNothing) {
    const std::pair<std::uint32_t, std::uint32_t> none[] = {{8, 4}, {1, 1}, {1, 12}, {2, 32}, {0, 0}};
    for (const auto& [group, scan] : none) {
        PointTrace trace;
        trace.lay_out({32, 16, scan, group, 1});
        EXPECT_TRUE(trace.list().empty()) << group << "/" << scan;
    }
    // A choice beyond the list: the empty order, class 0, both words 0; a scan without a code keeps the
    // record's scan code.
    auto working = header_for(1, 12);
    working.params.set(ParamsField::scanCode, 2);
    PointTrace trace;
    trace.lay_out({32, 12, 12, 1, 11});
    trace.choose(0, working);
    EXPECT_EQ(working.params.get(ParamsField::decodeWordA), 0u);
    EXPECT_EQ(working.params.get(ParamsField::decodeWordB), 0u);
    EXPECT_EQ(working.params.get(ParamsField::scanCode), 2u);
}

TEST(PointTraceStep, FinishFillsOnlyARecordThatWasNeverFilled) {
    auto working = header_for(8, 4);
    working.params.set(ParamsField::pointFlags, 0x0C01);
    EXPECT_TRUE(fill_unfilled_record(working));
    EXPECT_EQ(working.params.get(ParamsField::magic), screenconfig::kLedMarker);
    EXPECT_EQ(working.params.get(ParamsField::decodeOrder), 0u);
    EXPECT_EQ(working.params.get(ParamsField::decodeWordA), 0x76543210u);
    EXPECT_EQ(working.params.get(ParamsField::decodeWordB), 0xDCBA98u);
    EXPECT_EQ(working.params.get(ParamsField::scanCode), 2u);
    EXPECT_EQ(working.params.get(ParamsField::pointFlags), 0x0C01u);
    // A chosen (or loaded) record stays as it is.
    working.params.set(ParamsField::decodeWordA, 0x12345678);
    EXPECT_FALSE(fill_unfilled_record(working));
    EXPECT_EQ(working.params.get(ParamsField::decodeWordA), 0x12345678u);
}

TEST(PointTraceStep, PointNumbersWrapAtTheChain) {
    PointTrace trace;
    const auto first = trace.lay_out({16, 16, 16, 16, 0});  // m = 0, W = 16
    ASSERT_TRUE(first);
    EXPECT_EQ(point_words(*first), (std::array<std::uint32_t, 3>{1023, 0, 1}));
    EXPECT_EQ(point_words(trace.point_block(16, true)), (std::array<std::uint32_t, 3>{1008, 0, 1}));
    EXPECT_EQ(point_words(trace.point_block(17, true)), (std::array<std::uint32_t, 3>{1023, 1, 1}));
    EXPECT_EQ(point_words(trace.point_block(17, false)), (std::array<std::uint32_t, 3>{1023, 1, 0}));
    EXPECT_EQ(trace.bands(), 1u);
}

TEST(PointTraceStep, NoWidthMeansNoTracing) {
    auto working = header_for(1, 8);
    working.all_rows_lit = 1;
    PointTrace trace;
    EXPECT_FALSE(trace.lay_out({0, 16, 8, 1, 7}));
    EXPECT_FALSE(trace.tracing_active());
    EXPECT_FALSE(trace.clicked(1, 1, working).light);
    EXPECT_FALSE(trace.back_block());
    EXPECT_FALSE(trace.start_tracing());
}

// Clicks cells in order along the rows and returns the point lit after each click.
std::vector<std::uint32_t> trace_points(PointTrace& trace, screenconfig::WorkingSet& working, int clicks,
                                        std::vector<PointTrace::Click>* out = nullptr) {
    std::vector<std::uint32_t> points;
    const int w = static_cast<int>(trace.module().width);
    for (int i = 0; i < clicks; ++i) {
        const auto click = trace.clicked(i / w + 1, i % w + 1, working);
        EXPECT_TRUE(click.light) << i;
        points.push_back(trace.point());
        if (out) out->push_back(click);
    }
    return points;
}

TEST(PointTraceStep, AllRowsLitWalksOneChainThenOnePointPerBand) {
    // W = 4, H = 16, scan 8, all 8 rows lit (m = 7): the first W x S = 32 clicks walk the chain point by
    // point; after that, click k lights the first point of band k. N = 2 bands.
    auto working = header_for(1, 8);
    working.all_rows_lit = 1;
    PointTrace trace;
    trace.lay_out({4, 16, 8, 1, 7});
    EXPECT_EQ(trace.bands(), 2u);
    std::vector<PointTrace::Click> clicks;
    const auto points = trace_points(trace, working, 33, &clicks);
    for (int i = 0; i < 31; ++i)
        EXPECT_EQ(points[static_cast<std::size_t>(i)], static_cast<std::uint32_t>(i + 2));
    EXPECT_EQ(points[31], 8u * 4u * 8u * 1u + 1u) << "k = 1";
    EXPECT_EQ(points[32], 8u * 4u * 8u * 2u + 1u) << "k = 2";
    EXPECT_FALSE(clicks[31].save_picture);
    ASSERT_TRUE(clicks[32].save_picture) << "k = N";
    EXPECT_EQ(clicks[32].picture_columns, 5);
    EXPECT_EQ(clicks[32].picture_rows, 17);
    EXPECT_EQ(point_words(trace.point_block(points[32], true)), (std::array<std::uint32_t, 3>{1023, 16, 1}));
    EXPECT_EQ(trace.grid().number(1, 1), 1u);
    EXPECT_EQ(trace.grid().number(9, 1), 33u);
}

TEST(PointTraceStep, PartRowsLitStepsByWholeGroups) {
    // W = 2, scan 4, 2 rows lit (m = 1): W x S = 8 clicks walk point by point, then click k lights
    // (m + 1) x W x S x k + 1.
    auto working = header_for(2, 4);
    working.part_rows_lit = 1;
    working.rows_per_group = 2;
    PointTrace trace;
    trace.lay_out({2, 8, 4, 2, 1});
    EXPECT_EQ(trace.bands(), 2u);
    std::vector<PointTrace::Click> clicks;
    const auto points = trace_points(trace, working, 10, &clicks);
    EXPECT_EQ(working.rows_per_group, 0u);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(points[static_cast<std::size_t>(i)], static_cast<std::uint32_t>(i + 2));
    EXPECT_EQ(points[7], 2u * 2u * 4u * 1u + 1u) << "C = 9 > W x S: k = 1";
    EXPECT_EQ(points[8], 2u * 2u * 4u * 2u + 1u) << "k = 2";
    ASSERT_FALSE(clicks[7].save_picture);
    ASSERT_TRUE(clicks[8].save_picture);
    EXPECT_EQ(clicks[8].picture_columns, 4) << "one cell more each way";
    EXPECT_EQ(clicks[8].picture_rows, 10);
}

TEST(PointTraceStep, AThirtyTwoScanModuleIsTracedWholeAndEnds) {
    // 8 x 32, one RGB group: scan 32, step 1's height limited to 16, 16 rows lit (m = 15). The grid
    // gives the band its 32 rows, so all W x S = 256 points have a cell; the next click lights the
    // first point of band 1 and, with N = 1, ends the tracing with the picture.
    auto working = header_for(2, 32);
    working.part_rows_lit = 1;
    PointTrace trace;
    trace.lay_out({8, 16, 32, 2, 15});
    EXPECT_EQ(trace.grid().rows(), 33);
    EXPECT_EQ(trace.grid().columns(), 9);
    EXPECT_EQ(trace.bands(), 1u);
    std::vector<PointTrace::Click> clicks;
    const auto points = trace_points(trace, working, 256, &clicks);
    for (int i = 0; i < 255; ++i) {
        EXPECT_EQ(points[static_cast<std::size_t>(i)], static_cast<std::uint32_t>(i + 2));
        EXPECT_FALSE(clicks[static_cast<std::size_t>(i)].save_picture) << i;
    }
    // Point 129 is the first bit of row address 1's chain, on a row the grid has.
    EXPECT_EQ(point_words(trace.point_block(129, true)), (std::array<std::uint32_t, 3>{1023, 1, 1}));
    EXPECT_EQ(trace.grid().number(32, 8), 256u);
    ASSERT_TRUE(clicks[255].save_picture);
    EXPECT_EQ(clicks[255].picture_rows, 34);
    EXPECT_EQ(point_words(trace.point_block(points[255], true)), (std::array<std::uint32_t, 3>{1023, 32, 1}))
        << "band 1's first point";
}

TEST(PointTraceStep, GridRowsFollowTheHeightOrTheTallerScan) {
    struct Case {
        std::uint32_t height, scan, rows, bands;
    } cases[] = {{16, 16, 16, 1}, {16, 8, 16, 2}, {12, 12, 12, 1},
                 {16, 32, 32, 1}, {8, 4, 8, 2},   {16, 0, 16, 0}};
    for (const auto& c : cases) {
        PointTrace trace;
        trace.lay_out({4, c.height, c.scan, 1, 0});
        EXPECT_EQ(trace.grid().rows(), static_cast<int>(c.rows) + 1) << c.height << " / " << c.scan;
        EXPECT_EQ(trace.bands(), c.bands) << c.height << " / " << c.scan;
    }
}

TEST(PointTraceStep, ClicksThatDoNotCount) {
    auto working = header_for(1, 8);
    PointTrace trace;
    trace.lay_out({8, 8, 8, 1, 7});
    // Before step 5 accepted: said, nothing numbered, nothing lit.
    auto click = trace.clicked(1, 1, working);
    EXPECT_EQ(click.messages, Messages{"IDS_MESSAGE_DUDO_DISABLE_DO_IT"});
    EXPECT_FALSE(click.light);
    EXPECT_FALSE(trace.grid().number(1, 1));
    working.all_rows_lit = 1;
    ASSERT_TRUE(trace.clicked(1, 1, working).light);
    // A numbered cell, a header cell and a cell outside the module change nothing.
    for (auto [r, c] :
         {std::pair{1, 1}, std::pair{0, 3}, std::pair{3, 0}, std::pair{9, 1}, std::pair{1, 9}}) {
        click = trace.clicked(r, c, working);
        EXPECT_FALSE(click.light) << r << "," << c;
        EXPECT_FALSE(click.numbered);
    }
    EXPECT_EQ(trace.point(), 2u);
    EXPECT_EQ(trace.clicks(), 2u);
}

TEST(PointTraceStep, AFailedLightUndoesTheClickButKeepsTheNumber) {
    auto working = header_for(1, 2);
    working.all_rows_lit = 1;
    PointTrace trace;
    trace.lay_out({2, 4, 2, 1, 0});  // chain of 2, jump of 2 after every 2 points
    trace_points(trace, working, 2);
    EXPECT_EQ(trace.point(), 5u) << "point 3 jumps to 5";
    trace.light_failed();
    EXPECT_EQ(trace.point(), 4u) << "the jump is not undone";
    EXPECT_EQ(trace.clicks(), 2u);
    EXPECT_EQ(trace.grid().number(1, 2), 2u);
    // Beyond W x S the previous point comes back.
    trace.clicked(2, 1, working);
    trace.clicked(2, 2, working);
    const auto before = trace.point();
    trace.clicked(3, 1, working);
    trace.light_failed();
    EXPECT_EQ(trace.point(), before);
}

TEST(PointTraceStep, BackRightAfterEnteringSwitchesPointTwoOff) {
    PointTrace trace;
    trace.lay_out({16, 16, 16, 16, 0});
    const auto off = trace.back_block();
    ASSERT_TRUE(off);
    EXPECT_EQ(point_words(*off), (std::array<std::uint32_t, 3>{1022, 0, 0}));
    trace.back_done(16);
    EXPECT_EQ(trace.point(), 1u);
    EXPECT_EQ(trace.clicks(), 1u);
}

TEST(PointTraceStep, BackClearsTheLastNumberAndStepsOverTheJump) {
    auto working = header_for(1, 2);
    working.all_rows_lit = 1;
    PointTrace trace;
    trace.lay_out({2, 4, 2, 1, 0});
    trace_points(trace, working, 3);  // points 2, 5, 6
    ASSERT_EQ(trace.point(), 6u);
    ASSERT_EQ(trace.clicks(), 4u);
    ASSERT_TRUE(trace.back_block());
    trace.back_done(2);
    EXPECT_EQ(trace.point(), 5u);
    EXPECT_EQ(trace.clicks(), 3u);
    EXPECT_FALSE(trace.grid().number(2, 1)) << "the third number is cleared";
    EXPECT_EQ(trace.grid().look(2, 1), NumberGrid::Look::Cleared);
    ASSERT_TRUE(trace.back_block());
    trace.back_done(2);
    EXPECT_EQ(trace.point(), 4u - 2u) << "4 is a multiple of the chain: back over the jump";
    EXPECT_EQ(trace.clicks(), 2u);
    EXPECT_EQ(trace.grid().number(1, 1), 1u);
}

// ---- step 7 ----

TEST(LineCheckStep, ArrangementCodes) {
    const std::pair<const char*, int> cases[] = {
        {"fedcba9876543210", 0},
        {"efcdab8967452301", 1},
        {"0123456789abcdef", 15},
        {"3210", 0},
        {"0123", 3},
        {"10", 0},
        {"01", 1},
        {"76543210", 0},
        {"67452301", 1},
        {"0213", -1},
        {"11", -1},
        {"FEDCBA9876543210", -1},
        {"210", 0},
        {"", 0},
        {"0123456789ab", 0},
    };
    for (const auto& [text, code] : cases) {
        Messages m;
        EXPECT_EQ(arrangement_code(text, m), code) << text;
        EXPECT_EQ(m.empty(), code != -1) << text;
        if (code == -1) {
            EXPECT_EQ(m, Messages{"IDS_MESSAGE_NOT_SUPPORT_THIS"});
        }
    }
}

struct Walk {
    LineCheck check;
    screenconfig::ScreenParams params;
    screenconfig::ScreenConfig header;
    std::vector<Block> lit;
    LineCheck::Actions last;

    void take(LineCheck::Actions a) {
        lit.insert(lit.end(), a.points.begin(), a.points.end());
        last = std::move(a);
    }
};

TEST(LineCheckStep, ColumnWalkOfAWideModule) {
    Walk w;
    w.params.set(ParamsField::pointFlags, 0xFFFF);
    w.take(w.check.lay_out_columns(w.params, 32, 4));
    EXPECT_EQ(w.params.get(ParamsField::pointFlags), 0u);
    EXPECT_EQ(w.last.finish, false);
    EXPECT_EQ(w.check.column_grid().columns(), 17) << "16 ordinary columns";
    EXPECT_EQ(w.check.row_grid().rows(), 5);
    // The 16th lit point is in grid column 1 ... the 1st in column 16.
    for (int c = 16; c >= 1; --c) w.take(w.check.column_clicked(1, c, w.params));
    ASSERT_EQ(w.lit.size(), 18u);
    for (std::uint32_t n = 1; n <= 17; ++n) EXPECT_EQ(w.lit[n - 1], LineCheck::column_point(n)) << n;
    EXPECT_EQ(w.lit[17], LineCheck::row_point(1)) << "the row walk starts";
    EXPECT_EQ(w.lit[16][3], 1024u - 17u);
    EXPECT_TRUE(w.last.show_rows);
    EXPECT_EQ(w.check.phase(), 2);
    EXPECT_EQ(w.params.get(ParamsField::pointFlags), 0u) << "reversed clicks: code 0";
    // The column grid now only shows the result.
    w.take(w.check.column_clicked(1, 3, w.params));
    EXPECT_TRUE(w.last.points.empty());
}

TEST(LineCheckStep, OrderedColumnsGiveFifteenAndRowsThreeTwoOneZero) {
    Walk w;
    w.header.set(ConfigField::moduleWidthLimited, 32);
    w.header.set(ConfigField::moduleHeightLimited, 16);
    w.take(w.check.lay_out_columns(w.params, 16, 4));
    for (int c = 1; c <= 16; ++c) w.take(w.check.column_clicked(1, c, w.params));
    EXPECT_EQ(w.params.get(ParamsField::pointFlags), 15u);
    // A numbered cell changes nothing and lights nothing.
    w.take(w.check.row_clicked(1, 1, w.params, w.header));
    w.take(w.check.row_clicked(1, 1, w.params, w.header));
    EXPECT_TRUE(w.last.points.empty());
    for (int r = 2; r <= 4; ++r) w.take(w.check.row_clicked(r, 1, w.params, w.header));
    EXPECT_EQ(w.last.finish, true);
    EXPECT_TRUE(w.last.messages.empty());
    EXPECT_EQ(w.params.get(ParamsField::pointFlags), 15u) << "rows \"3210\": code 0";
    EXPECT_EQ(w.last.flags, screen_control::make(screen_control::Sub::LitPoint, {15}));
    EXPECT_EQ(w.last.test_line, screen_control::make_smart(screen_control::SmartStep::TestLine, {32, 16}));
    // Row points 2..5 were lit by the clicks (point 5 with the last).
    EXPECT_EQ(w.last.points, std::vector<Block>{LineCheck::row_point(5)});
    EXPECT_EQ(w.lit.back()[4], 4u);
}

TEST(LineCheckStep, ColumnsSwappedInPairs) {
    Walk w;
    w.take(w.check.lay_out_columns(w.params, 8, 8));
    // Point 1 appears in column 2, point 2 in column 1, ...: T = "10325476", which is 7..0 XOR 6.
    const int order[] = {2, 1, 4, 3, 6, 5, 8, 7};
    for (int c : order) w.take(w.check.column_clicked(1, c, w.params));
    EXPECT_TRUE(w.last.messages.empty());
    EXPECT_EQ(w.params.get(ParamsField::pointFlags), 6u);
}

TEST(LineCheckStep, RowOrderThatFitsNothingDisablesFinishAndSendsNothing) {
    Walk w;
    w.take(w.check.lay_out_columns(w.params, 4, 4));
    for (int c = 4; c >= 1; --c) w.take(w.check.column_clicked(1, c, w.params));
    const int rows[] = {1, 3, 2, 4};
    for (int r : rows) w.take(w.check.row_clicked(r, 1, w.params, w.header));
    EXPECT_EQ(w.last.messages, Messages{"IDS_MESSAGE_NOT_SUPPORT_THIS"});
    EXPECT_EQ(w.last.finish, false);
    EXPECT_FALSE(w.last.flags);
    EXPECT_FALSE(w.last.test_line);
    // The row walk again, in reverse this time: bits 10..13 take code 3, and a third walk replaces it.
    w.take(w.check.lay_out_rows(true));
    EXPECT_EQ(w.last.finish, false);
    for (int r = 4; r >= 1; --r) w.take(w.check.row_clicked(r, 1, w.params, w.header));
    EXPECT_EQ(w.params.get(ParamsField::pointFlags), 3u << 10);
    w.take(w.check.lay_out_rows(true));
    for (int r = 1; r <= 4; ++r) w.take(w.check.row_clicked(r, 1, w.params, w.header));
    EXPECT_EQ(w.params.get(ParamsField::pointFlags), 0u);
    EXPECT_EQ(w.last.finish, true);
}

// ---- the traced picture ----

TEST(TracedPicture, FailuresOfKelvraHaveNames) {
    KelvraPictures kelvra;
    // Without a display (or a window) nothing is captured, and that is said, not taken for a picture.
    ::unsetenv("DISPLAY");
    EXPECT_EQ(kelvra.save_window_jpeg(0, "/tmp/vantor-ncp-test.jpg", {0, 0, 10, 10}),
              PictureError::NothingCaptured);
    EXPECT_FALSE(std::filesystem::exists("/tmp/vantor-ncp-test.jpg"));
    EXPECT_EQ(kelvra.detail(), "no X display");
    // The fixed per-user place.
    const auto data = std::filesystem::path(TEST_BINARY_DIR) / "wizard-data-home";
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    EXPECT_EQ(traced_picture_path(), data / "vantor" / "ncp.jpg");
}

// ---- the frame ----

TEST(StepSequenceRules, ButtonsAlongTheSteps) {
    StepSequence steps(5);
    EXPECT_EQ(steps.show(1), 1);
    EXPECT_FALSE(steps.previous_enabled());
    EXPECT_TRUE(steps.next_enabled());
    EXPECT_FALSE(steps.finish_enabled());
    EXPECT_EQ(steps.after_accept(), 2);
    EXPECT_EQ(steps.show(3), 3);
    EXPECT_TRUE(steps.previous_enabled());
    EXPECT_EQ(steps.show(5), 5);
    EXPECT_TRUE(steps.next_enabled()) << "step 5 still runs its accept";
    EXPECT_EQ(steps.after_accept(), 5) << "no panel after step 5 yet";
    EXPECT_EQ(steps.show(6), 5);

    StepSequence all(kStepCount);
    EXPECT_EQ(all.show(7), 7);
    EXPECT_FALSE(all.next_enabled());
}

}  // namespace
