#include "mainwindow/status_text.h"

#include <vector>

#include "platform/localisation.h"

namespace status_text {

namespace {

std::string seconds(std::chrono::milliseconds bound) {
    const auto ms = bound.count();
    if (ms % 1000 == 0) return std::to_string(ms / 1000);
    std::string text = std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100);
    return text;
}

std::string key(const char* name) {
    return localisation::lookup(name);
}

}  // namespace

std::string fill(std::string_view text, std::initializer_list<std::string_view> args) {
    const std::vector<std::string_view> list(args);
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            const auto n = static_cast<std::size_t>(text[i + 1] - '1');
            if (n < list.size()) {
                out += list[n];
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string card_text(const cardlink::CardTarget& target) {
    // In address mode frames carry a fixed identifier that names no particular card: the address does.
    if (target.card_id.empty() || target.card_id == cardlink::kCheckCardId) return target.address;
    return target.card_id + " (" + target.address + ")";
}

std::string target_line(const cardlink::CardTarget& target, bool address_mode) {
    if (address_mode) return fill(key("IDS_MESSAGE_STATUS_TARGET_TYPED"), {target.address, target.card_id});
    if (target.card_id.empty()) return key("IDS_MESSAGE_STATUS_NO_TARGET");
    return fill(key("IDS_MESSAGE_STATUS_TARGET"), {target.card_id, target.address});
}

std::string waiting_line(std::string_view what, const cardlink::CardTarget& target) {
    return fill(key("IDS_MESSAGE_STATUS_WAITING"), {what, card_text(target)});
}

std::string result_line(std::string_view what, const cardlink::CardTarget& target,
                        cardlink::ExchangeError error, std::chrono::milliseconds bound) {
    const std::string card = card_text(target);
    switch (error) {
        case cardlink::ExchangeError::None:
            return fill(key("IDS_MESSAGE_STATUS_DONE"), {what, card});
        case cardlink::ExchangeError::NoConnection:
            return fill(key("IDS_MESSAGE_STATUS_NO_CONNECTION"), {what, card});
        case cardlink::ExchangeError::SendFailed:
            return fill(key("IDS_MESSAGE_STATUS_SEND_FAILED"), {what, card});
        case cardlink::ExchangeError::NoAnswer:
            return fill(key("IDS_MESSAGE_STATUS_NO_ANSWER"), {what, card, seconds(bound)});
        case cardlink::ExchangeError::AnswerRejected:
            return fill(key("IDS_MESSAGE_STATUS_REFUSED"), {what, card});
    }
    return {};
}

std::string upgrade_text(const cardlink::UpgradeResult& result, const std::string& folder) {
    using cardlink::UpgradeOutcome;
    const std::string sent = std::to_string(result.sent);
    const std::string total = std::to_string(result.total);
    switch (result.outcome) {
        case UpgradeOutcome::Finished:
            return key("IDS_MESSAGE_UPGRADE_SUCCESS");
        case UpgradeOutcome::FolderMissing:
            return key("IDS_MESSAGE_FOLDER_NOT_EXIST");
        case UpgradeOutcome::NothingToSend:
            return fill(key("IDS_MESSAGE_UPGRADE_NOTHING_TO_SEND"), {folder});
        case UpgradeOutcome::FileUnreadable:
            return fill(key("IDS_MESSAGE_UPGRADE_FILE_UNREADABLE"), {result.file, sent, total});
        case UpgradeOutcome::NoConnection:
            return key("IDS_MESSAGE_CARD_LINK_ERROR");
        case UpgradeOutcome::NoAnswer:
            return key("IDS_MESSAGE_UPGRADE_NO_ANSWER");
        case UpgradeOutcome::Refused:
            return key("IDS_MESSAGE_UPGRADE_REFUSED");
        case UpgradeOutcome::ConnectionLost:
            return fill(key("IDS_MESSAGE_UPGRADE_CONNECTION_LOST"), {sent, total, result.file});
        case UpgradeOutcome::Stopped:
            return fill(key("IDS_MESSAGE_UPGRADE_STOPPED"), {sent, total});
    }
    return {};
}

std::string no_report_line(const cardlink::CardTarget& target, std::chrono::milliseconds bound) {
    return fill(key("IDS_MESSAGE_STATUS_NO_REPORT"), {card_text(target), seconds(bound)});
}

}  // namespace status_text
