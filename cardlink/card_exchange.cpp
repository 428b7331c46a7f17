#include "cardlink/card_exchange.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "common/bytes.h"
#include "common/frame.h"
#include "platform/localisation.h"
#include "platform/message_service.h"
#include "platform/tcp_stream.h"

namespace cardlink {
namespace {

std::atomic<bool> g_version_warning_shown{false};

using Clock = std::chrono::steady_clock;

// Receives one answer frame: until its length field says it is complete, the buffer is full, the card
// closes the connection or the deadline passes. TCP may split a frame, so one receive call is not enough.
std::vector<std::uint8_t> receive_answer(platform::TcpStream& stream, Clock::time_point deadline) {
    std::vector<std::uint8_t> buffer(kAnswerBufferSize, 0);
    std::size_t got = 0;
    while (got < buffer.size()) {
        if (got >= frame::kHeaderSize) {
            const std::uint64_t whole =
                frame::kHeaderSize + std::uint64_t{bytes::get_u32_or_zero(buffer, frame::kLengthOffset)} + 1;
            if (got >= whole) break;
        }
        const long n = stream.receive_some(std::span(buffer).subspan(got), deadline);
        if (n <= 0) break;  // closed, failed or out of time
        got += static_cast<std::size_t>(n);
    }
    buffer.resize(got);
    return buffer;
}

// Vantor's frame of `command` with `payload` to `target`: the exact form, the id in the whole 20-byte field.
std::vector<std::uint8_t> command_frame(const CardTarget& target, std::uint8_t command,
                                        std::span<const std::uint8_t> payload) {
    frame::Packet packet;
    packet.command = command;
    packet.card_id = target.card_id;
    packet.wide_id = true;
    packet.data.assign(payload.begin(), payload.end());
    return frame::encode_exact(packet, frame::check_form_for_id(target.card_id));
}

// Receives the answer into `result` and names what is wrong with it.
void receive_checked(platform::TcpStream& stream, const ExchangeTimeouts& timeouts, ExchangeResult& result) {
    result.error = receive_checked_answer(stream, timeouts.receive, &result.answer);
}

std::uint32_t low24(std::uint32_t v) {
    return v & 0xFFFFFFu;
}

}  // namespace

ExchangeResult ExchangeCommand(const CardTarget& target, std::uint8_t command,
                               std::span<const std::uint8_t> payload, bool read_answer,
                               const ExchangeTimeouts& timeouts) {
    ExchangeResult result;
    if (payload.size() > frame::kMaxFixedData) {
        result.error = ExchangeError::SendFailed;
        return result;
    }
    if (target.card_id.empty()) {
        result.error = ExchangeError::NoConnection;
        return result;
    }
    platform::TcpStream stream;
    if (!stream.open(target.address, frame::kCommandPort, {timeouts.connect, timeouts.send})) {
        result.error = ExchangeError::NoConnection;
        return result;
    }

    if (!stream.send_all(command_frame(target, command, payload))) {
        result.error = ExchangeError::SendFailed;
        return result;
    }
    if (read_answer) receive_checked(stream, timeouts, result);
    return result;
}

SequenceResult exchange_sequence(const CardTarget& target, std::uint8_t command,
                                 const std::vector<std::vector<std::uint8_t>>& payloads, bool read_answer,
                                 const ExchangeTimeouts& timeouts) {
    SequenceResult sequence;
    if (target.card_id.empty()) return sequence;
    platform::TcpStream stream;
    if (!stream.open(target.address, frame::kCommandPort, {timeouts.connect, timeouts.send})) return sequence;
    sequence.connected = true;
    bool broken = false;
    for (const auto& payload : payloads) {
        ExchangeResult result;
        if (broken || payload.size() > frame::kMaxFixedData ||
            !stream.send_all(command_frame(target, command, payload))) {
            broken = true;
            result.error = ExchangeError::SendFailed;
        } else if (read_answer) {
            receive_checked(stream, timeouts, result);
        }
        sequence.results.push_back(std::move(result));
    }
    return sequence;
}

ExchangeError receive_checked_answer(platform::TcpStream& stream, std::chrono::milliseconds within,
                                     std::vector<std::uint8_t>* answer) {
    auto received = receive_answer(stream, Clock::now() + within);
    const ExchangeError error = received.empty() ? ExchangeError::NoAnswer
                                : CheckCardAnswer(received, AnswerCheck::Status) != 0
                                    ? ExchangeError::AnswerRejected
                                    : ExchangeError::None;
    if (answer != nullptr) *answer = std::move(received);
    return error;
}

int CheckCardAnswer(std::span<const std::uint8_t> answer, AnswerCheck mode) {
    if (mode != AnswerCheck::Status) return -1;
    const auto received = frame::decode(answer);
    if (!received || !received->lead_in_ok) return -1;
    switch (received->command) {
        case frame::ANS_STATUS_SAVE_VALUE:
        case frame::ANS_SCREEN_CONTROL:
        case frame::ANS_SAVE_SETTINGS:
        case frame::ANS_UPGRADE_START:
            break;
        default:
            return -1;
    }
    // The text is the first `length` data bytes, up to a NUL; only the bytes present are read.
    const auto data = received->data;
    std::size_t text_len = 0;
    while (text_len < data.size() && data[text_len] != 0) ++text_len;
    const std::string_view text(reinterpret_cast<const char*>(data.data()), text_len);
    return text == "Success!" ? 0 : -1;
}

void report_exchange_failure(const ExchangeResult& result, std::string_view failure_text) {
    switch (result.error) {
        case ExchangeError::None:
            return;
        case ExchangeError::NoConnection:
            platform::show_message(localisation::lookup("IDS_MESSAGE_CARD_LINK_ERROR"));
            return;
        case ExchangeError::SendFailed:
        case ExchangeError::NoAnswer:
        case ExchangeError::AnswerRejected:
            if (!failure_text.empty()) platform::show_message(std::string(failure_text));
            return;
    }
}

int exchange_and_report(const CardTarget& target, std::uint8_t command, std::span<const std::uint8_t> payload,
                        std::string_view failure_text, bool read_answer, const ExchangeTimeouts& timeouts) {
    const auto result = ExchangeCommand(target, command, payload, read_answer, timeouts);
    report_exchange_failure(result, failure_text);
    return result.ok() ? 0 : -1;
}

std::string FormatFirmwareVersion(std::uint32_t version, std::string_view card_id, bool quiet) {
    char text[32];
    std::snprintf(text, sizeof text, "V%X.%X", static_cast<unsigned>(version >> 16),
                  static_cast<unsigned>(version & 0xFFFFu));
    if (quiet || g_version_warning_shown.load()) return text;
    const char* prefix = nullptr;
    if ((version & 0xFFFFu) < 10)
        prefix = "";
    else if (low24(version) < kLowVersionLimit)
        prefix = "!!! ";
    if (prefix != nullptr && !g_version_warning_shown.exchange(true)) {
        platform::show_message(std::string(card_id) + prefix +
                               localisation::lookup("IDS_MESSAGE_VERSION_LOW"));
    }
    return text;
}

int CheckSetupVersion(std::uint32_t version, std::string_view /*card_id*/, bool quiet) {
    if (quiet || low24(version) >= kSmartSetupVersion) return 0;
    platform::show_message(localisation::lookup("IDS_MESSAGE_DUDO_LOW_VERSION"));
    return 1;
}

void reset_version_warning_for_test() {
    g_version_warning_shown.store(false);
}

}  // namespace cardlink
