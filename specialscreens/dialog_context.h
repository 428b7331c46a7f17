// What a special-screen dialog is given when it opens: the screen's size from the main window, where
// "temp.sys" goes, how the image transfer is started (the main window's, with its progress window) and
// where the layout is noted for the report.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

#include "report/report.h"
#include "screenconfig/image_transfer.h"
#include "specialscreens/layout_actions.h"

namespace specialscreens {

// Called on the UI thread once a started transfer has ended, however it ended.
using TransferEnded = std::function<void(screenconfig::TransferOutcome)>;
// Starts sending an image file to the card; false when it did not start (the host said why).
using StartImageTransfer = std::function<bool(const std::filesystem::path&, TransferEnded)>;

struct DialogContext {
    std::uint32_t width = 0;   // "屏宽:"
    std::uint32_t height = 0;  // "屏高:"
    std::filesystem::path temp_sys;
    StartImageTransfer start_transfer;
    // Tells the main window which layout is about to be sent, for the card's commissioning report.
    std::function<void(report::LayoutNote)> note_layout;
};

}  // namespace specialscreens
