// The lines of the main window's status bar, in the chosen language: which card commands go to, and
// after each exchange what was sent, to which card and how it ended. GUI-free (texts by key from the
// language file, "%1"-style placeholders filled here). Safe on any thread.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "cardlink/card_exchange.h"
#include "cardlink/firmware_upgrade.h"

namespace status_text {

// "S730-413-00001 (127.0.0.2)"; the address alone when there is no id, or only the address mode's fixed
// one.
std::string card_text(const cardlink::CardTarget& target);

// Where the next command goes: the selected card, the typed address in address mode, or nowhere.
std::string target_line(const cardlink::CardTarget& target, bool address_mode);

// `what` (already localised, e.g. "OE polarity: Negative") has been sent to `target` and the answer is
// awaited.
std::string waiting_line(std::string_view what, const cardlink::CardTarget& target);

// How the exchange ended: done, no answer within `bound`, refused by the card, no connection, or not
// sent whole.
std::string result_line(std::string_view what, const cardlink::CardTarget& target,
                        cardlink::ExchangeError error, std::chrono::milliseconds bound);

// The card asked for its settings did not send them within `bound`.
std::string no_report_line(const cardlink::CardTarget& target, std::chrono::milliseconds bound);

// The one message a firmware upgrade of the firmware folder `folder` ends with, which the status line
// repeats: "finished" only when every file reached the card and the end command went out; otherwise
// what failed, with the bytes the card took of the total where some went out.
std::string upgrade_text(const cardlink::UpgradeResult& result, const std::string& folder);

// Replaces "%1", "%2", ... in `text` by the arguments, in one pass (an argument that itself holds "%2"
// is not expanded again).
std::string fill(std::string_view text, std::initializer_list<std::string_view> args);

}  // namespace status_text
