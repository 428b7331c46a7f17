// What the special-screen dialogs do when a button is pressed, without widgets: a refused layout is
// shown by its key (with the focus left to the dialog), a built image is finished, written to
// "temp.sys" and handed to the main window's image transfer, and a wiring plan is drawn, saved in the
// per-user folder and opened with the desktop's picture viewer. Messages go through
// platform::show_message.
// Threading: UI thread (the preview draws with Qt Gui).
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "screenconfig/special_layout.h"
#include "specialscreens/wiring_preview.h"

namespace specialscreens {

// The text a refusal shows: the language text of its key (or the program's plain text), followed on a
// new line by the figures of a bound that was passed.
std::string refusal_text(const screenconfig::LayoutRefusal& refusal);
void show_refusal(const screenconfig::LayoutRefusal& refusal);

// Starts sending an image file to the card; false when it did not start (the host said why).
using StartTransfer = std::function<bool(const std::filesystem::path&)>;

enum class SendOutcome {
    Started,      // "temp.sys" written and the transfer started
    WriteFailed,  // "temp.sys" could not be written (shown with the caption "ERROR"); nothing sent
    NotStarted,   // written, but the transfer did not start
};

// Finishes `image` (end marker, word sum), replaces `file` with it and starts the transfer.
SendOutcome send_built_image(screenconfig::ScreenConfig& image, const std::filesystem::path& file,
                             const StartTransfer& start);

enum class PreviewOutcome {
    Opened,      // saved and handed to the viewer
    SaveFailed,  // the picture could not be written (shown)
    NoViewer,    // saved, but no viewer could be started (shown, with the file's place)
};

// Draws `plan`, saves it as `file` and opens it with xdg-open.
PreviewOutcome show_preview(const screenconfig::WiringPlan& plan, const PreviewTexts& texts,
                            const std::filesystem::path& file);

// The preview's caption and legend in the chosen language.
PreviewTexts long_strip_texts(const screenconfig::LongStripInput& input);
PreviewTexts vertical_texts(const screenconfig::VerticalInput& input);

}  // namespace specialscreens
