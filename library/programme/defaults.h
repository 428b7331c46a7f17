// Starting values of new play items, marquee and clock settings, read from "default.ini" (section
// "DefaultParam") in the program folder afresh at every call; a missing file or key gives the
// built-in default. Also the per-type items that need no file.
// Threading: no state; safe from any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "library/programme/records.h"

namespace kelvra::defaults {

inline constexpr std::string_view kSection = "DefaultParam";

// Whole numbers in "default.ini" follow ini::whole_number: a value outside the 32-bit range takes
// the key's default.

// Program folder + "default.ini".
std::filesystem::path default_ini_path();

// A zeroed item with the seven "PIC_" values (loop count, effects, speeds, stay time, display mode).
programme::PlayItem picture_item();
// A zeroed item with only the loop count ("VIDEO_LoopNum" / "SWF_LoopNum").
programme::PlayItem video_item();
programme::PlayItem flash_item();
// The marquee settings ("PMD_" keys) and the picture name "FontMessage.bmp".
programme::MarqueeSlot marquee_slot();
// The clock settings ("TIMER_" keys).
programme::ClockParam clock_slot();

// The new item of a type tag, without "default.ini": "jpg", "bmp", "rtf", "grid", "gif" (loop 1, stay
// 10 s), "vod", "txt" (loop 1, entry effect word 24), "swf" (loop 1, display mode 1), "mp3" (loop 1).
// Nothing for any other tag.
std::optional<programme::PlayItem> item_for_type(std::string_view tag);

}  // namespace kelvra::defaults
