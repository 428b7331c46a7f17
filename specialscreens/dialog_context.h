// What a special-screen dialog is given when it opens: the screen's size from the main window, where
// "temp.sys" goes, how the image transfer is started (the main window's, with its progress window) and
// where the layout is noted for the report.
#pragma once

#include <cstdint>
#include <filesystem>

#include "report/report.h"
#include "specialscreens/layout_actions.h"

namespace specialscreens {

struct DialogContext {
    std::uint32_t width = 0;   // "屏宽:"
    std::uint32_t height = 0;  // "屏高:"
    std::filesystem::path temp_sys;
    StartTransfer start_transfer;
    // Tells the main window which layout is about to be sent, for the card's commissioning report.
    std::function<void(report::LayoutNote)> note_layout;
};

}  // namespace specialscreens
