// One request-and-answer exchange with a control card over a short-lived TCP connection to its command
// port (31298), the check of a card's status answer, and the firmware version checks of the card
// information block.
//
// Threading: every function here may run on any thread; an exchange blocks its caller for at most the
// time-outs it is given (connect, then send, then receive). The only shared state is the "version warning
// shown" flag, an atomic. The message box of report_exchange_failure goes through platform::show_message,
// which serialises itself. No Qt in this header.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/tcp_stream.h"

namespace cardlink {

// The card an exchange talks to: its id (selects the check-byte form and fills the frame's id field) and
// its address as dotted-decimal text.
struct CardTarget {
    std::string card_id;
    std::string address;
};

// The id of the "检测" request: an exchange by address alone, whichever card answers there.
inline constexpr std::string_view kCheckCardId = "S730-413-05862";

// Bounds of one exchange. The platform's defaults (a blocking connect gives up after about 127 s, a
// vanished peer holds a send for minutes) would freeze the window, so every step is bounded.
struct ExchangeTimeouts {
    std::chrono::milliseconds connect{3000};
    std::chrono::milliseconds send{3000};     // TCP_USER_TIMEOUT: unacknowledged data fails after this
    std::chrono::milliseconds receive{3000};  // from the end of the send to the complete answer
};

enum class ExchangeError {
    None,
    NoConnection,    // socket, address or connect failed; nothing was sent
    SendFailed,      // connected, but the frame did not leave whole
    NoAnswer,        // sent, but nothing came back within the time-out (or the card hung up)
    AnswerRejected,  // an answer that fails CheckCardAnswer (refused by the card, or not a status answer)
};

struct ExchangeResult {
    ExchangeError error = ExchangeError::None;
    std::vector<std::uint8_t> answer;  // the answer as received (at most kAnswerBufferSize bytes)
    bool ok() const { return error == ExchangeError::None; }
};

inline constexpr std::size_t kAnswerBufferSize = 1000;

// Sends `command` with `payload` to `target` in the exact frame form (payload + 29 bytes) and, when
// `read_answer`, receives the answer (one frame, up to 1000 bytes) and checks it with CheckCardAnswer in
// mode 0. Shows nothing: pass the result to report_exchange_failure. A payload above 2048 bytes cannot be
// framed: SendFailed, and no connection is opened. An empty card id or address gives NoConnection.
ExchangeResult ExchangeCommand(const CardTarget& target, std::uint8_t command,
                               std::span<const std::uint8_t> payload, bool read_answer = true,
                               const ExchangeTimeouts& timeouts = {});

// Several frames of one command on one connection, each followed (when `read_answer`) by receiving and
// checking its answer, as ExchangeCommand does for one. `connected` is false when the connection could not
// be opened (nothing was sent, `results` is empty); otherwise `results` holds one result per payload, in
// order. A frame that cannot be sent leaves the connection unusable: it and every later frame are
// SendFailed. Each answer is bounded by the receive time-out, so a silent card costs at most one
// receive time-out per frame.
struct SequenceResult {
    bool connected = false;
    std::vector<ExchangeResult> results;
};
SequenceResult exchange_sequence(const CardTarget& target, std::uint8_t command,
                                 const std::vector<std::vector<std::uint8_t>>& payloads,
                                 bool read_answer = true, const ExchangeTimeouts& timeouts = {});

// Receives one answer frame on an open connection (until it is whole, kAnswerBufferSize bytes came, the
// card closes or `within` passes) and checks it: None, NoAnswer (nothing came) or AnswerRejected.
// `answer`, when given, receives the bytes. For senders that keep their own connection.
ExchangeError receive_checked_answer(platform::TcpStream& stream, std::chrono::milliseconds within,
                                     std::vector<std::uint8_t>* answer = nullptr);

// 0 when `answer` is a status answer (0x80, 0xC4, 0xCA or 0xD3) that begins with three 0x7E bytes and
// whose text (the first `length` data bytes) is "Success!"; -1 otherwise, and for any mode but Status. Reads
// only the `answer` bytes; the check byte is not verified.
enum class AnswerCheck : int { Status = 0 };
int CheckCardAnswer(std::span<const std::uint8_t> answer, AnswerCheck mode);

// Shows the failure to the user: IDS_MESSAGE_CARD_LINK_ERROR for NoConnection, `failure_text` (the
// command's own short code, e.g. "error RP") for SendFailed, NoAnswer and AnswerRejected when it is not
// empty.
// Nothing for success.
void report_exchange_failure(const ExchangeResult& result, std::string_view failure_text);

// ExchangeCommand followed by report_exchange_failure: 0 on success, -1 otherwise.
int exchange_and_report(const CardTarget& target, std::uint8_t command, std::span<const std::uint8_t> payload,
                        std::string_view failure_text, bool read_answer = true,
                        const ExchangeTimeouts& timeouts = {});

// Firmware version words of the card information block: the main window formats the word at offset 1032
// (card_info::kSoftwareVersionOffset) with warnings and checks it with CheckSetupVersion, and formats the
// word at offset 1036 quietly.
inline constexpr std::uint32_t kLowVersionLimit = 0x070930;    // low 24 bits below this: "!!! " warning
inline constexpr std::uint32_t kSmartSetupVersion = 0x080814;  // V8.814: the oldest card smart setup drives

// "V%X.%X" of the upper and lower 16 bits. Unless `quiet`, and only while no version warning has been
// shown in this run: a lower half below 10, or low 24 bits below 0x070930 ("!!! " first), shows the card
// id followed by IDS_MESSAGE_VERSION_LOW, and no further warning is shown in this run.
std::string FormatFirmwareVersion(std::uint32_t version, std::string_view card_id, bool quiet);

// Unless `quiet`: 1 (with IDS_MESSAGE_DUDO_LOW_VERSION shown) when the low 24 bits are below 0x080814;
// otherwise, and always when `quiet`, 0.
int CheckSetupVersion(std::uint32_t version, std::string_view card_id, bool quiet);

// Forgets that a version warning was shown (for tests of the once-per-run rule).
void reset_version_warning_for_test();

}  // namespace cardlink
