#include "screenconfig/card_blocks.h"

#include <algorithm>

#include "common/bytes.h"

namespace screenconfig {

using bytes::get_u32le;
using bytes::put_u32le;
using bytes::word_sum;

ControlBlock params_block(const ScreenParams& params) {
    ControlBlock block{};
    put_u32le(block.data() + 0, kSubSendParams);
    put_u32le(block.data() + 4, kSendParamsItem);
    put_u32le(block.data() + 8, kSendParamsItem);
    const auto sent = params.bytes().subspan(kParamsSentFrom, kParamsSentSize);
    std::copy(sent.begin(), sent.end(), block.begin() + kParamsBlockOffset);
    return block;
}

ControlBlock apply_block() {
    ControlBlock block{};
    put_u32le(block.data(), kSubApplyImage);
    return block;
}

FileHeader image_file_header(std::uint32_t file_size, std::string_view card_file_name) {
    file_header::FileHeader header;
    header.file_type = kFileKindScreenConfig;
    header.file_length = file_size;
    header.file_name = std::string(card_file_name);
    return file_header::encode(header);
}

}  // namespace screenconfig
