#include "cardlink/card_info_read.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "common/frame.h"
#include "platform/tcp_stream.h"

namespace cardlink {
namespace {

using Clock = std::chrono::steady_clock;

// The request carries the same 32-byte text as the card link's UDP request.
constexpr std::size_t kRequestTextSize = 32;
constexpr std::string_view kRequestText = "255.0.0.0";
constexpr std::size_t kWholeAnswer = frame::kHeaderSize + card_info::kBlockSize + 1;

std::vector<std::uint8_t> request_frame(const CardTarget& target) {
    frame::Packet packet;
    packet.command = frame::CMD_GET_CARD_INFO;
    packet.card_id = target.card_id;
    packet.wide_id = true;
    packet.data.assign(kRequestTextSize, 0);
    std::copy(kRequestText.begin(), kRequestText.end(), packet.data.begin());
    return frame::encode_exact(packet, frame::check_form_for_id(target.card_id));
}

}  // namespace

CardInfoRead read_card_info(const CardTarget& target, const ExchangeTimeouts& timeouts) {
    CardInfoRead read;
    if (target.card_id.empty()) {
        read.error = ExchangeError::NoConnection;
        return read;
    }
    platform::TcpStream stream;
    if (!stream.open(target.address, frame::kCommandPort, {timeouts.connect, timeouts.send})) {
        read.error = ExchangeError::NoConnection;
        return read;
    }
    if (!stream.send_all(request_frame(target))) {
        read.error = ExchangeError::SendFailed;
        return read;
    }
    // Until the frame its length field announces is whole, or the buffer for a full answer is: a card
    // that announces more is not answering this request.
    std::vector<std::uint8_t> buffer(kWholeAnswer, 0);
    std::size_t got = 0;
    const auto whole = [&] {
        return got == buffer.size() ||
               (got >= frame::kHeaderSize &&
                got >= frame::kHeaderSize +
                           std::uint64_t{bytes::get_u32_or_zero(buffer, frame::kLengthOffset)} + 1);
    };
    const auto deadline = Clock::now() + timeouts.receive;
    while (!whole()) {
        const long n = stream.receive_some(std::span(buffer).subspan(got), deadline);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    if (!whole()) {
        // Nothing, or part of a frame: the card did not answer in time (or hung up).
        read.error = ExchangeError::NoAnswer;
        return read;
    }
    buffer.resize(got);
    const auto answer = frame::decode_checked(buffer);
    if (!answer) {
        read.error = ExchangeError::AnswerRejected;
        return read;
    }
    if (answer->command != frame::ANS_CARD_INFO || answer->data.size() < card_info::kBlockSize) {
        read.error = ExchangeError::AnswerRejected;
        return read;
    }
    std::copy_n(answer->data.begin(), card_info::kBlockSize, read.block.begin());
    return read;
}

}  // namespace cardlink
