#include "specialscreens/layout_note.h"

#include <chrono>

#include "platform/paths.h"

namespace specialscreens {

report::LayoutNote layout_note(const std::string& description, const screenconfig::WiringPlan* plan,
                               const PreviewTexts& texts) {
    report::LayoutNote note{description, std::nullopt};
    if (plan == nullptr) return note;
    // A file per layout, named by the time it was sent, so each card's report keeps its own picture.
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    const auto file = paths::user_data_folder() / ("wiring-" + std::to_string(now) + ".png");
    const QImage picture = render_wiring(*plan, texts);
    if (!picture.isNull() && save_picture(picture, file, PictureFormat::Png)) note.preview = file;
    return note;
}

}  // namespace specialscreens
