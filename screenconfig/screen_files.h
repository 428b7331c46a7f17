// The main window's operations on the screen parameters: load and save ".hcp" files, save and send,
// and send the parameters to the card. GUI-free: the file dialogs come in as choosers, messages go out
// through platform::show_message, and the window updates its controls from the results.
// Threading: UI thread; the parameter send blocks it while the card answers (bounded by time-outs).
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "cardlink/card_exchange.h"
#include "screenconfig/record_files.h"
#include "screenconfig/working_set.h"

namespace screenconfig {

// Asks the user for a file; nothing when cancelled.
using OpenChooser = std::function<std::optional<std::filesystem::path>()>;
using SaveChooser = std::function<std::optional<std::filesystem::path>(const std::string& title)>;

inline constexpr const char* kSaveTitle = "保存屏体参数";

struct LoadResult {
    bool chosen = false;  // a file was chosen: the window shows `title` in field 1169
    bool loaded = false;  // a record was taken: the window disables "发送到接收卡" and "保存到文件"
                          // and enables "发送到控制卡"
    std::string title;  // the file name without its folder
    LoadStatus status = LoadStatus::OpenFailed;
};

// "选择.hcp文件加载". No card: IDS_MESSAGE_HAVE_NO_LINKED_CARD. Otherwise asks for a file; on OK reads
// its first 72 bytes. A record is taken (path stored, source File) when 72 bytes were read: a bad sum
// shows IDS_MESSAGE_DUDO_ERROR_FILE and keeps the bytes read, marked `unchecked` so that they are not
// sent without the user's consent (the question defaults to No). A file shorter than 72 bytes shows
// IDS_MESSAGE_HCP_TOO_SHORT, one that cannot be read IDS_MESSAGE_DUDO_ERROR_FILE; both drop a record
// loaded from an earlier file (its path and source too, so nothing is left to send under the refused
// file's name) and give an empty title. The wizard's record stays.
LoadResult load_hcp_file(WorkingSet& ws, bool have_cards, const OpenChooser& choose);

// "保存到文件" (and Yes to the closing question). Only with a card in the list. Asks for a file with
// the title "保存屏体参数"; on OK stores the path and writes the record with a fresh sum. The changed flag
// is cleared only when the write succeeded; a failed write is shown (caption "ERROR").
// True when the record was written.
bool save_hcp_file(WorkingSet& ws, bool have_cards, const SaveChooser& choose);

// The wizard's finish: as save_hcp_file with the title IDS_MESSAGE_DUDO_SAVE_AND_SEND_PARAM, then,
// when the path is not empty, send_params. Returns send_params' result, or 0 when nothing was sent.
int save_and_send(WorkingSet& ws, bool have_cards, const SaveChooser& choose,
                  const cardlink::CardTarget& target, const cardlink::ExchangeTimeouts& timeouts = {});

// The save half of the wizard's finish, for a window that sends on its exchange service: as
// save_hcp_file with the title IDS_MESSAGE_DUDO_SAVE_AND_SEND_PARAM. True when the record was written.
bool save_for_send(WorkingSet& ws, bool have_cards, const SaveChooser& choose);

// "发送到控制卡": the 408-byte parameter block as one CMD_SCREEN_CONTROL frame, answer checked, then
// report_params_sent. Blocks while the card answers: the window runs params_exchange() on the exchange
// service instead and reports on return.
int send_params(const WorkingSet& ws, const cardlink::CardTarget& target,
                const cardlink::ExchangeTimeouts& timeouts = {});

// Whether the working record may be sent: true unless it failed its check and the user, asked
// IDS_MESSAGE_HCP_SEND_UNCHECKED (Yes/No), says No.
bool confirm_send(const WorkingSet& ws);

// The exchange of send_params on its own, for a worker: it holds a copy of the block.
std::function<cardlink::ExchangeResult()> params_exchange(const WorkingSet& ws,
                                                          const cardlink::CardTarget& target,
                                                          const cardlink::ExchangeTimeouts& timeouts = {});

// Shows what a parameter send came to: no connection: IDS_MESSAGE_CARD_LINK_ERROR, 0. Otherwise
// IDS_MESSAGE_DUDO_SEND_OVER_TIP; when the card's answer does not pass, "set error" follows. 1 when the
// answer passed, else 0.
int report_params_sent(const cardlink::ExchangeResult& result);

// "发送到接收卡": as send_params, but only once a ".hcp" path is set (else 0, nothing sent).
int send_params_if_saved(const WorkingSet& ws, const cardlink::CardTarget& target,
                         const cardlink::ExchangeTimeouts& timeouts = {});

// Closing the window: asks IDS_MESSAGE_IS_SAVE_PARAM (Yes/No) when should_ask_to_save(); Yes saves.
void on_close(WorkingSet& ws, bool have_cards, const SaveChooser& choose);

}  // namespace screenconfig
