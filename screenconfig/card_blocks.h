// Payloads of the commands that carry the screen configuration records to a card. Pure functions.
//
// Parameter block (CMD_SCREEN_CONTROL, 408 bytes): word 0 = 1 (sub-command), word 1 = 7 (send screen
// parameters), word 2 = 7, bytes 12..63 = ScreenParams bytes 8..59; the rest zero.
// Apply block (CMD_SCREEN_CONTROL, 408 bytes): word 0 = 23, the rest zero.
// File header (CMD_FILE_HEADER, 212 bytes): byte 0 file kind, u32 at 4 file size, u32 at 8 block count,
// text at 12 the card folder (100 bytes), text at 112 the file name (100 bytes).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/file_header.h"
#include "common/screen_control.h"
#include "screenconfig/screen_params.h"

namespace screenconfig {

inline constexpr std::size_t kControlBlockSize = screen_control::kSize;
inline constexpr std::size_t kParamsBlockOffset =
    screen_control::kScreenParamsOffset;  // the record's bytes 8..59
inline constexpr std::size_t kParamsSentFrom = 8;
inline constexpr std::size_t kParamsSentSize = 52;
static_assert(kParamsBlockOffset + kParamsSentSize == 64);
static_assert(kParamsSentFrom + kParamsSentSize == static_cast<std::size_t>(ParamsField::endMarker));

inline constexpr std::uint8_t kFileKindScreenConfig = 3;

using ControlBlock = std::array<std::uint8_t, kControlBlockSize>;
using FileHeader = std::array<std::uint8_t, file_header::kSize>;

ControlBlock params_block(const ScreenParams& params);
ControlBlock apply_block();

// The image's file header: kind 3, the size, block count 0, no folder, the name (at most 99 bytes kept,
// so the field stays NUL-terminated).
FileHeader image_file_header(std::uint32_t file_size, std::string_view card_file_name);

}  // namespace screenconfig
