#include "screenconfig/card_blocks.h"

#include <algorithm>

#include "screenconfig/le_bytes.h"

namespace screenconfig {

ControlBlock params_block(const ScreenParams& params) {
    ControlBlock block{};
    store_le32(block.data() + 0, kSubSendParams);
    store_le32(block.data() + 4, kSendParamsItem);
    store_le32(block.data() + 8, kSendParamsItem);
    const auto sent = params.bytes().subspan(kParamsSentFrom, kParamsSentSize);
    std::copy(sent.begin(), sent.end(), block.begin() + kParamsBlockOffset);
    return block;
}

ControlBlock apply_block() {
    ControlBlock block{};
    store_le32(block.data(), kSubApplyImage);
    return block;
}

FileHeader image_file_header(std::uint32_t file_size, std::string_view card_file_name) {
    FileHeader header{};
    header[0] = kFileKindScreenConfig;
    store_le32(header.data() + kFileHeaderSizeOffset, file_size);
    const auto name = card_file_name.substr(0, kFileHeaderTextSize - 1);
    std::copy(name.begin(), name.end(), header.begin() + kFileHeaderNameOffset);
    return header;
}

}  // namespace screenconfig
