#include "screenconfig/screen_files.h"

#include "common/frame.h"
#include "platform/localisation.h"
#include "platform/message_service.h"
#include "screenconfig/card_blocks.h"

namespace screenconfig {

namespace {

void show_key(const char* key) {
    platform::show_message(localisation::lookup(key));
}

bool save_with_title(WorkingSet& ws, bool have_cards, const SaveChooser& choose, const std::string& title) {
    if (!have_cards) return false;
    const auto path = choose(title);
    if (!path) return false;
    ws.hcp_path = *path;
    const WriteStatus status = save_hcp(*path, ws.params);
    if (status != WriteStatus::Ok) {
        // The changed flag stays set: the parameters are not on disk.
        platform::show_message(describe(status, *path), "ERROR", platform::MessageIcon::Error);
        return false;
    }
    ws.changed = false;
    return true;
}

}  // namespace

LoadResult load_hcp_file(WorkingSet& ws, bool have_cards, const OpenChooser& choose) {
    LoadResult result;
    if (!have_cards) {
        show_key("IDS_MESSAGE_HAVE_NO_LINKED_CARD");
        return result;
    }
    const auto path = choose();
    if (!path) return result;
    result.chosen = true;
    result.title = path->filename().string();

    const HcpLoad load = load_hcp(*path);
    result.status = load.status;
    switch (load.status) {
        case LoadStatus::Ok:
        case LoadStatus::SumMismatch:
            ws.params = load.record;  // kept as read, even with a bad sum
            ws.hcp_path = *path;
            ws.source = ParamSource::File;
            ws.unchecked = load.status == LoadStatus::SumMismatch;
            result.loaded = true;
            if (ws.unchecked) show_key("IDS_MESSAGE_DUDO_ERROR_FILE");
            break;
        case LoadStatus::TooShort:
        case LoadStatus::OpenFailed:
        case LoadStatus::ReadFailed:
            // The file chosen last is the one the user now takes as loaded: a record of an earlier file
            // left behind would go to the card under the refused file's name.
            if (ws.source == ParamSource::File) ws.file_refused();
            result.title.clear();
            show_key(load.status == LoadStatus::TooShort ? "IDS_MESSAGE_HCP_TOO_SHORT"
                                                         : "IDS_MESSAGE_DUDO_ERROR_FILE");
            break;
    }
    return result;
}

bool save_hcp_file(WorkingSet& ws, bool have_cards, const SaveChooser& choose) {
    return save_with_title(ws, have_cards, choose, kSaveTitle);
}

bool save_for_send(WorkingSet& ws, bool have_cards, const SaveChooser& choose) {
    return save_with_title(ws, have_cards, choose,
                           localisation::lookup("IDS_MESSAGE_DUDO_SAVE_AND_SEND_PARAM"));
}

int save_and_send(WorkingSet& ws, bool have_cards, const SaveChooser& choose,
                  const cardlink::CardTarget& target, const cardlink::ExchangeTimeouts& timeouts) {
    save_with_title(ws, have_cards, choose, localisation::lookup("IDS_MESSAGE_DUDO_SAVE_AND_SEND_PARAM"));
    if (ws.hcp_path.empty()) return 0;
    return send_params(ws, target, timeouts);
}

int send_params(const WorkingSet& ws, const cardlink::CardTarget& target,
                const cardlink::ExchangeTimeouts& timeouts) {
    return report_params_sent(params_exchange(ws, target, timeouts)());
}

bool confirm_send(const WorkingSet& ws) {
    if (!ws.unchecked) return true;
    return platform::show_message(localisation::lookup("IDS_MESSAGE_HCP_SEND_UNCHECKED"), {},
                                  platform::MessageIcon::Warning,
                                  platform::MessageButtons::YesNoDefaultNo) == platform::MessageReply::Yes;
}

std::function<cardlink::ExchangeResult()> params_exchange(const WorkingSet& ws,
                                                          const cardlink::CardTarget& target,
                                                          const cardlink::ExchangeTimeouts& timeouts) {
    return [block = params_block(ws.params), target, timeouts] {
        return cardlink::ExchangeCommand(target, frame::CMD_SCREEN_CONTROL, block, true, timeouts);
    };
}

int report_params_sent(const cardlink::ExchangeResult& result) {
    if (result.error == cardlink::ExchangeError::NoConnection) {
        show_key("IDS_MESSAGE_CARD_LINK_ERROR");
        return 0;
    }
    show_key("IDS_MESSAGE_DUDO_SEND_OVER_TIP");
    if (!result.ok()) {
        platform::show_message("set error");
        return 0;
    }
    return 1;
}

int send_params_if_saved(const WorkingSet& ws, const cardlink::CardTarget& target,
                         const cardlink::ExchangeTimeouts& timeouts) {
    if (ws.hcp_path.empty()) return 0;
    return send_params(ws, target, timeouts);
}

void on_close(WorkingSet& ws, bool have_cards, const SaveChooser& choose) {
    if (!ws.should_ask_to_save()) return;
    const auto reply =
        platform::show_message(localisation::lookup("IDS_MESSAGE_IS_SAVE_PARAM"), {},
                               platform::MessageIcon::Question, platform::MessageButtons::YesNo);
    if (reply == platform::MessageReply::Yes) save_hcp_file(ws, have_cards, choose);
}

}  // namespace screenconfig
