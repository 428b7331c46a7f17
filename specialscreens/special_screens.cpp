#include "specialscreens/special_screens.h"

#include "mainwindow/main_window.h"
#include "platform/localisation.h"
#include "platform/message_service.h"
#include "screenconfig/record_files.h"
#include "specialscreens/direction_dialog.h"
#include "specialscreens/long_strip_dialog.h"
#include "specialscreens/type_dialog.h"
#include "specialscreens/vertical_dialog.h"

namespace specialscreens {

namespace {

// Dialog 149's question as the template has it; the language file may give it as IDD149_2001.
constexpr const char* kPreparedQuestion =
    "是否已经通过智能设置或发送.hcp配置文件，将单个模组的走线规律设置正确？";

std::string text_or(const char* key, const char* fallback) {
    const std::string text = localisation::lookup_or_empty(key);
    return text.empty() ? fallback : text;
}

}  // namespace

std::string size_question(ScreenSize size) {
    return localisation::lookup("IDS_MESSAGE_DUDO_SPECIAL_TIP3") + std::to_string(size.width) + "X" +
           std::to_string(size.height) + "," + localisation::lookup("IDS_MESSAGE_DUDO_SPECIAL_TIP4");
}

EntryStep check_entry(bool have_cards, ScreenSize current, std::optional<ScreenSize>& last_used) {
    using platform::MessageButtons;
    using platform::MessageIcon;
    using platform::MessageReply;
    if (!have_cards) {
        platform::show_message(localisation::lookup("IDS_MESSAGE_HAVE_NO_LINKED_CARD"));
        return EntryStep::NoCard;
    }
    if (!last_used) {
        last_used = current;
    } else if (current != *last_used) {
        last_used = current;
        platform::show_message(localisation::lookup("IDS_MESSAGE_DUDO_SPECIAL_TIP7"));
        return EntryStep::SizeChanged;
    }
    if (platform::show_message(text_or("IDD149_2001", kPreparedQuestion), text_or("IDD149_Title", "提醒"),
                               MessageIcon::Question, MessageButtons::YesNo) != MessageReply::Yes) {
        platform::show_message(localisation::lookup("IDS_MESSAGE_DUDO_SPECIAL_TIP1"));
        return EntryStep::NotPrepared;
    }
    if (platform::show_message(size_question(current), text_or("IDD155_Title", "尺寸是否正确"),
                               MessageIcon::Question, MessageButtons::YesNo) != MessageReply::Yes) {
        platform::show_message(localisation::lookup("IDS_MESSAGE_DUDO_SPECIAL_TIP2"));
        return EntryStep::SizeRejected;
    }
    return EntryStep::ChooseType;
}

SpecialScreens::SpecialScreens(MainWindow& window) : QObject(&window), window_(window) {
    window.setSpecialScreens([this] { open(); });
}

int SpecialScreens::run(QDialog& dialog) {
    if (dialog_hook_) dialog_hook_(&dialog);
    return dialog.exec();
}

void SpecialScreens::open() {
    const ScreenSize size{window_.screenWidth(), window_.screenHeight()};
    const EntryStep step = check_entry(window_.cardsListed(), size, last_used_);
    if (step == EntryStep::SizeRejected) window_.focusScreenWidth();
    if (step != EntryStep::ChooseType) return;

    TypeDialog type(&window_);
    if (run(type) != QDialog::Accepted) return;
    DialogContext context;
    context.width = static_cast<std::uint32_t>(std::max(size.width, 0));
    context.height = static_cast<std::uint32_t>(std::max(size.height, 0));
    context.temp_sys = screenconfig::temp_sys_path();
    context.start_transfer = [this](const std::filesystem::path& image, TransferEnded ended) {
        return window_.startImageTransfer(image, std::move(ended));
    };
    context.note_layout = [this](report::LayoutNote note) { window_.noteSpecialLayout(std::move(note)); };
    switch (type.choice()) {
        case ScreenType::LongStrip: {
            LongStripDialog dialog(context, &window_);
            run(dialog);
            break;
        }
        case ScreenType::Vertical: {
            VerticalDialog dialog(context, &window_);
            run(dialog);
            break;
        }
        case ScreenType::Other: {
            DirectionDialog dialog(context, &window_);
            run(dialog);
            break;
        }
    }
}

}  // namespace specialscreens
