#include "wizard/module_info.h"

namespace wizard {

const std::array<HubBoard, kHubBoardRows>& hub_boards() {
    static constexpr std::array<HubBoard, kHubBoardRows> kRows = {
        HubBoard{"", 0},
        HubBoard{"KORVA_S630", 1},
        HubBoard{"KORVA_S730", 4},
        HubBoard{"KORVA_S730_40", 4},
        HubBoard{"KORVA_S730_75", 4},
        HubBoard{"LINSN_08", 2},
        HubBoard{"LINSN_18", 2},
        HubBoard{"LINSN_36", 2},
        HubBoard{"LINSN_37", 2},
        HubBoard{"LINSN_38", 2},
        HubBoard{"LINSN_39", 2},
        HubBoard{"LINSN_40", 3},
        HubBoard{"LINSN_41", 2},
        HubBoard{"LINSN_42", 3},
        HubBoard{"LINSN_44", 2},
        HubBoard{"LINSN_45", 2},
        HubBoard{"LINSN_46", 2},
        HubBoard{"LINSN_47", 2},
        HubBoard{"LINSN_49", 2},
        HubBoard{"LINSN_50", 2},
        HubBoard{"LINSN_51", 3},
        HubBoard{"LINSN_56", 2},
        HubBoard{"LINSN_58", 2},
        HubBoard{"LINSN_60", 2},
        HubBoard{"LINSN_62", 3},
        HubBoard{"LINSN_66", 2},
        HubBoard{"LINSN_70", 2},
        HubBoard{"LINSN_71", 2},
        HubBoard{"LINSN_72", 3},
        HubBoard{"LINSN_73", 2},
        HubBoard{"LINSN_74", 2},
        HubBoard{"LINSN_75", 2},
        HubBoard{"LINSN_76", 2},
        HubBoard{"LINSN_78", 3},
        HubBoard{"LINSN_83", 2},
        HubBoard{"LINSN_84", 2},
        HubBoard{"LINSN_85", 2},
        HubBoard{"LINSN_86", 2},
        HubBoard{"LINSN_88", 3},
        HubBoard{"LINSN_89", 2},
        HubBoard{"LINSN_90", 2},
        HubBoard{"LINSN_92", 2},
        HubBoard{"LINSN_93", 2},
        HubBoard{"LINSN_94", 2},
        HubBoard{"LINSN_95", 3},
        HubBoard{"LINSN_97", 2},
        HubBoard{"LINSN_98", 3},
        HubBoard{"LINSN_99", 2},
        HubBoard{"LINSN_100", 2},
        HubBoard{"LINSN_102", 3},
        HubBoard{"LINSN_103", 2},
        HubBoard{"LINSN_104", 3},
        HubBoard{"LINSN_105", 3},
        HubBoard{"LINSN_106", 2},
        HubBoard{"LINSN_107", 2},
        HubBoard{"LINSN_108", 2},
        HubBoard{"LINSN_109", 2},
        HubBoard{"LINSN_110", 3},
        HubBoard{"LINSN_111", 2},
        HubBoard{"LINSN_113", 2},
        HubBoard{"LINSN_114", 2},
        HubBoard{"LINSN_115", 2},
        HubBoard{"LINSN_117", 2},
        HubBoard{"LINSN_118", 3},
        HubBoard{"LINSN_119", 2},
        HubBoard{"LINSN_120", 3},
        HubBoard{"LINSN_121", 3},
        HubBoard{"LINSN_122", 3},
        HubBoard{"LINSN_123", 3},
        HubBoard{"LINSN_124", 2},
        HubBoard{"LINSN_125", 2},
        HubBoard{"LINSN_127", 2},
    };
    return kRows;
}

HubPicture hub_picture(std::string_view t) {
    if (t == "KORVA_S630") return HubPicture::KorvaS630;
    if (t == "KORVA_S730") return HubPicture::KorvaS730;
    if (t == "KORVA_S730_40") return HubPicture::KorvaS730_40;
    if (t == "KORVA_S730_75") return HubPicture::KorvaS730_75;
    if (t == "LINSN_40" || t == "LINSN_40A") return HubPicture::Linsn40;
    if (t == "LINSN_40B" || t == "LINSN_90") return HubPicture::Linsn90;
    return HubPicture::None;
}

int card_class(std::string_view id) {
    if (id.starts_with("X") || id.starts_with("P")) return 0;
    if (id.starts_with("S")) return 1;
    if (id.starts_with("M1")) return 0;
    return -1;
}

ModuleInfo::ModuleInfo(std::string_view card_id) : class_(wizard::card_class(card_id)) {
    if (class_ == 0) hub_row = 0;
}

Outcome ModuleInfo::accept(screenconfig::ScreenConfig& header) {
    using screenconfig::ConfigField;
    auto refuse = [](const char* key) { return Outcome{false, {key}}; };
    if (height % 4 != 0) return refuse("IDS_MESSAGE_STEP1_1");
    if (height > 32) return refuse("IDS_MESSAGE_STEP1_2");
    if (width % 4 != 0) return refuse("IDS_MESSAGE_STEP1_3");
    if (width > 64) return refuse("IDS_MESSAGE_STEP1_4");
    static constexpr std::uint32_t kCounts[] = {1, 2, 4};
    if (cable_groups_index < 0 || cable_groups_index > 2) return refuse("IDS_MESSAGE_STEP1_7");
    if (rgb_groups_index < 0 || rgb_groups_index > 2) return refuse("IDS_MESSAGE_STEP1_8");
    const auto cables = kCounts[cable_groups_index];
    const auto rgb = kCounts[rgb_groups_index];
    header.set(ConfigField::scanCount, height / (rgb * cables));
    height = height_limited();
    width = width_limited();
    header.set(ConfigField::rgbGroupsPerCable, rgb);
    header.set(ConfigField::moduleWidthLimited, width);
    header.set(ConfigField::moduleHeightLimited, height);
    if (class_ != 0 && hub_row <= 0) return refuse("IDS_MESSAGE_STEP1_9");
    if (decoder_index < 0) return refuse("IDS_MESSAGE_STEP1_10");
    return {true, {}};
}

std::uint32_t ModuleInfo::bands() const {
    static constexpr std::uint32_t kCounts[] = {1, 2, 4};
    if (cable_groups_index < 0 || cable_groups_index > 2 || rgb_groups_index < 0 || rgb_groups_index > 2)
        return 0;
    return kCounts[cable_groups_index] * kCounts[rgb_groups_index];
}

std::optional<Block> ModuleInfo::hub_block(int row) const {
    if (row <= 0 || row >= static_cast<int>(kHubBoardRows)) return std::nullopt;
    return screen_control::make(screen_control::Sub::HubType,
                                {hub_boards()[static_cast<std::size_t>(row)].code});
}

void ModuleInfo::hub_connected(int row, screenconfig::ScreenConfig& header) const {
    if (row <= 0 || row >= static_cast<int>(kHubBoardRows)) return;
    header.set(screenconfig::ConfigField::hubType, hub_boards()[static_cast<std::size_t>(row)].code);
}

Block ModuleInfo::decoder_block(int index) {
    return screen_control::make(screen_control::Sub::DecoderType, {static_cast<std::uint32_t>(index)});
}

void ModuleInfo::decoder_connected(int index, screenconfig::ScreenConfig& header) {
    header.set(screenconfig::ConfigField::decodeType, static_cast<std::uint32_t>(index));
}

}  // namespace wizard
