// What a special-screen dialog is given when it opens: the screen's size from the main window, where
// "temp.sys" goes, and how the image transfer is started (the main window's, with its progress window).
#pragma once

#include <cstdint>
#include <filesystem>

#include "specialscreens/layout_actions.h"

namespace specialscreens {

struct DialogContext {
    std::uint32_t width = 0;   // "屏宽:"
    std::uint32_t height = 0;  // "屏高:"
    std::filesystem::path temp_sys;
    StartTransfer start_transfer;
};

}  // namespace specialscreens
