#include "screenconfig/card_blocks.h"

#include <algorithm>

namespace screenconfig {

// Smart-setup step "screen parameters" (1, 7, 7) with the record's bytes 8..59 from byte 12.
ControlBlock params_block(const ScreenParams& params) {
    ControlBlock block =
        screen_control::encode(screen_control::make_smart(screen_control::SmartStep::ScreenParams));
    const auto sent = params.bytes().subspan(kParamsSentFrom, kParamsSentSize);
    std::copy(sent.begin(), sent.end(), block.begin() + kParamsBlockOffset);
    return block;
}

ControlBlock apply_block() {
    return screen_control::encode(screen_control::make(screen_control::Sub::ApplyConfig));
}

FileHeader image_file_header(std::uint32_t file_size, std::string_view card_file_name) {
    file_header::FileHeader header;
    header.file_type = kFileKindScreenConfig;
    header.file_length = file_size;
    header.file_name = std::string(card_file_name);
    return file_header::encode(header);
}

}  // namespace screenconfig
