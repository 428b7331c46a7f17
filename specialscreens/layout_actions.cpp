#include "specialscreens/layout_actions.h"

#include "platform/localisation.h"
#include "platform/message_service.h"
#include "platform/shell.h"
#include "screenconfig/record_files.h"

namespace specialscreens {

using screenconfig::LayoutRefusal;

namespace {

std::string sizes(std::uint32_t a, std::uint32_t b) {
    return std::to_string(a) + " x " + std::to_string(b);
}

}  // namespace

std::string refusal_text(const LayoutRefusal& refusal) {
    const std::string key = screenconfig::problem_key(refusal.problem);
    std::string text = screenconfig::problem_is_plain_text(refusal.problem) ? key : localisation::lookup(key);
    if (!refusal.detail.empty()) text += "\n(" + refusal.detail + ")";
    return text;
}

void show_refusal(const LayoutRefusal& refusal) {
    platform::show_message(refusal_text(refusal));
}

SendOutcome send_built_image(screenconfig::ScreenConfig& image, const std::filesystem::path& file,
                             const StartTransfer& start) {
    screenconfig::finish(image);
    const auto written = screenconfig::write_temp_sys(image, file);
    if (written != screenconfig::WriteStatus::Ok) {
        platform::show_message(screenconfig::describe(written, file), "ERROR", platform::MessageIcon::Error);
        return SendOutcome::WriteFailed;
    }
    return start(file) ? SendOutcome::Started : SendOutcome::NotStarted;
}

PreviewOutcome show_preview(const screenconfig::WiringPlan& plan, const PreviewTexts& texts,
                            const std::filesystem::path& file) {
    const QImage picture = render_wiring(plan, texts);
    if (picture.isNull() || !save_picture(picture, file, format_for(file))) {
        platform::show_message(
            localisation::lookup("IDS_MESSAGE_SPECIAL_PREVIEW_FAILED") + "\n" + file.string(), "ERROR",
            platform::MessageIcon::Error);
        return PreviewOutcome::SaveFailed;
    }
    if (!shell::open_document(file)) {
        platform::show_message(localisation::lookup("IDS_MESSAGE_SPECIAL_NO_VIEWER") + "\n" + file.string());
        return PreviewOutcome::NoViewer;
    }
    return PreviewOutcome::Opened;
}

PreviewTexts long_strip_texts(const screenconfig::LongStripInput& in) {
    PreviewTexts t;
    t.caption = localisation::lookup_or_empty("IDD147_Title") + "  " + sizes(in.width, in.height) + "   " +
                localisation::lookup("IDS_MESSAGE_SPECIAL_PREVIEW_MODULE") + " " +
                sizes(in.module_width, in.module_height) + "   " +
                localisation::lookup("IDS_MESSAGE_SPECIAL_PREVIEW_PORTS") + " " +
                std::to_string(in.ports.value_or(0));
    t.legend = localisation::lookup("IDS_MESSAGE_SPECIAL_PREVIEW_LEGEND");
    return t;
}

PreviewTexts vertical_texts(const screenconfig::VerticalInput& in) {
    PreviewTexts t;
    t.caption = localisation::lookup_or_empty("IDD148_Title") + "  " + sizes(in.width, in.height) + "   " +
                localisation::lookup("IDS_MESSAGE_SPECIAL_PREVIEW_MODULE") + " " +
                sizes(in.module_width, in.module_height) + "   " +
                localisation::lookup("IDS_MESSAGE_SPECIAL_PREVIEW_ROWS") + " " +
                std::to_string(in.retrace.value_or(0)) + "   " +
                localisation::lookup(in.method == screenconfig::VerticalMethod::CabinetWidth
                                         ? "IDS_MESSAGE_SPECIAL_PREVIEW_METHOD1"
                                         : "IDS_MESSAGE_SPECIAL_PREVIEW_METHOD2") +
                (in.bottom_to_top ? "   " + localisation::lookup("IDS_MESSAGE_SPECIAL_PREVIEW_UPWARDS") : "");
    t.legend = localisation::lookup("IDS_MESSAGE_SPECIAL_PREVIEW_LEGEND");
    return t;
}

}  // namespace specialscreens
