// The record files on the local disk: ".hcp" screen parameter files and "temp.sys".
//
// ".hcp": the 72 bytes of one ScreenParams at offset 0. A save writes in place without truncating, so
// whatever follows the record in a longer file stays. "temp.sys": exactly the 2,097,588 bytes of one
// ScreenConfig, in the program folder; it is replaced as a whole (written beside and renamed), so a
// failed write never leaves a short or mixed image where the transfer will read it.
// Threading: functions are independent; callers serialise writers of the same file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "screenconfig/screen_config.h"
#include "screenconfig/screen_params.h"

namespace screenconfig {

inline constexpr const char* kTempSysName = "temp.sys";
inline constexpr const char* kCardConfigName = "Config.sys";

enum class LoadStatus {
    Ok,
    SumMismatch,  // 72 bytes read, word 17 is not the sum of words 0..16; the record is kept as read
    OpenFailed,   // the file could not be opened; nothing read
    TooShort,     // fewer than 72 bytes; nothing taken
    ReadFailed,   // a read error; nothing taken
};

struct HcpLoad {
    LoadStatus status = LoadStatus::OpenFailed;
    ScreenParams record;  // meaningful for Ok and SumMismatch
};

// Reads the first 72 bytes of `path` (a longer file is accepted; its tail is ignored).
HcpLoad load_hcp(const std::filesystem::path& path);

enum class WriteStatus {
    Ok,
    OpenFailed,   // nothing was changed
    WriteFailed,  // the write or the flush failed; the file may hold a partial record
};

// Writes `data` at `offset` of `path`: an existing file is opened without truncation, a missing one is
// created. All bytes are written and flushed to disk before Ok is returned.
WriteStatus write_at_offset(const std::filesystem::path& path, std::uint64_t offset,
                            std::span<const std::uint8_t> data);

// Gives `params` a fresh word sum and writes its 72 bytes at offset 0 of `path`.
WriteStatus save_hcp(const std::filesystem::path& path, ScreenParams& params);

// "temp.sys" in `folder` (the program folder unless given).
std::filesystem::path temp_sys_path();
std::filesystem::path temp_sys_path(const std::filesystem::path& folder);

// Replaces "temp.sys" with `image` (already finished). On failure the previous file is left as it was.
WriteStatus write_temp_sys(const ScreenConfig& image, const std::filesystem::path& file = temp_sys_path());

// A short English description of a failed write, for the message shown to the user.
std::string describe(WriteStatus status, const std::filesystem::path& path);

}  // namespace screenconfig
