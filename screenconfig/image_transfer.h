// Sending a screen configuration image ("temp.sys") to a card, which stores it as "Config.sys" and is
// then told to apply it.
//
// Over one TCP connection to the card's command port: a CMD_FILE_HEADER frame (212-byte file header,
// 241 bytes on the wire), the file in CMD_FILE_DATA frames of up to 2,048 bytes (1,024 full frames and
// one of 436 bytes for an image), and, only when all 2,097,588 bytes went out, the apply frame
// (CMD_SCREEN_CONTROL sub-command 23). Every frame is in the exact form (data + 29 bytes).
// "Went out" means the card's TCP acknowledged them and the card still holds the connection: socket
// buffers can take the whole image at once, so a card that hangs up mid-file is otherwise missed. That
// wait follows the card's progress: a slow card is waited for as long as it keeps taking bytes; the
// transfer gives up once it has taken nothing for the send time-out.
//
// The progress steps (one per data frame) follow what the card's TCP acknowledged, and the progress
// closes once the card has taken the last byte, so a slow card's progress shows as it goes.
//
// Threading: send_image() runs on a worker thread. It touches nothing of the window: it reports progress
// and every message through the observer (called on the worker thread; implementations hand the calls
// to the UI thread), and asks `has_cards` (called on the worker thread) whether the card list is still
// non-empty before applying.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "cardlink/card_exchange.h"
#include "platform/tcp_stream.h"

namespace screenconfig {

inline constexpr std::size_t kDataFrameSize = 2048;
inline constexpr int kTransferSteps = 1024;  // image size / 2,048, as the progress window counts

inline constexpr const char* kSendErrorText = "_SendFileThread Send error!";
inline constexpr const char* kShortTransferText = "error 001";

class TransferObserver {
  public:
    virtual ~TransferObserver() = default;
    virtual void progress_opened(int steps) = 0;
    virtual void progress_step() = 0;
    virtual void progress_closed() = 0;
    // A message for the user, in the order the transfer produces them (UTF-8).
    virtual void message(const std::string& text) = 0;
};

enum class TransferOutcome {
    Applied,        // all bytes sent, apply frame sent, success shown
    FileUnusable,   // "temp.sys" missing, unreadable or not 2,097,588 bytes; nothing sent
    NoConnection,   // the card could not be reached
    SendFailed,     // a frame could not be sent; no apply frame
    ShortTransfer,  // the file ended early; no apply frame
    NoCard,         // the card list emptied during the transfer; no apply frame
    // Only with TransferSettings::read_apply_answer: the card's answer to the apply frame was not an
    // acknowledgement. The image was stored all the same.
    ApplyRefused,   // it answered with a refusal (or anything but "Success!")
    ApplyNoAnswer,  // it said nothing within the answer time-out
};

struct TransferSettings {
    platform::TcpTimeouts timeouts;
    // After the last data frame: how long a card that hangs up has to show it before the apply.
    std::chrono::milliseconds settle{100};
    std::chrono::milliseconds apply_wait{500};   // after the apply frame, before the success message
    std::chrono::milliseconds close_wait{1000};  // before the connection is closed
    // Whether the card's answer to the apply frame is read and checked (a command line reports what
    // the card said; the desktop program shows its message after apply_wait without reading).
    bool read_apply_answer = false;
    std::chrono::milliseconds apply_answer{3000};
};

TransferOutcome send_image(const cardlink::CardTarget& target, const std::filesystem::path& image_file,
                           const std::function<bool()>& has_cards, TransferObserver& observer,
                           const TransferSettings& settings = {});

}  // namespace screenconfig
