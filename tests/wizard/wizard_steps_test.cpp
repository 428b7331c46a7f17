// The wizard's step controllers, without widgets or cards: the checks and their order, the values they
// write into the working header, and the blocks they ask to send.
#include <gtest/gtest.h>

#include "screenconfig/working_set.h"
#include "wizard/alternating_step.h"
#include "wizard/module_info.h"
#include "wizard/scan_lines.h"
#include "wizard/step_sequence.h"

namespace {

using screenconfig::ConfigField;
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

TEST(ScanLinesStep, HexReading) {
    EXPECT_EQ(hex_reading("76543210"), 0x76543210u);
    EXPECT_EQ(hex_reading("dcba98"), 0xDCBA98u);
    EXPECT_EQ(hex_reading("DCBA98"), 0xDCBA98u);
    EXPECT_EQ(hex_reading("1g"), 0x10u + 255u) << "a non-digit counts 255 in its place";
    EXPECT_EQ(hex_reading("g0"), 255u * 16u);
    EXPECT_EQ(hex_reading(""), 0u);
}

// ---- the frame ----

TEST(StepSequenceRules, ButtonsAlongTheBuiltSteps) {
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
