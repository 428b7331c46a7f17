#include "screenconfig/image_transfer.h"

#include <array>
#include <fstream>
#include <system_error>
#include <thread>

#include "common/frame.h"
#include "platform/localisation.h"
#include "screenconfig/card_blocks.h"
#include "screenconfig/record_files.h"
#include "screenconfig/screen_config.h"

namespace screenconfig {

namespace {

bool send_frame(platform::TcpStream& stream, const cardlink::CardTarget& target, std::uint8_t command,
                std::span<const std::uint8_t> data) {
    frame::Packet packet;
    packet.command = command;
    packet.card_id = target.card_id;
    packet.wide_id = true;
    packet.data.assign(data.begin(), data.end());
    return stream.send_all(frame::encode_exact(packet, frame::check_form_for_id(target.card_id)));
}

// Closes the progress window whichever way the data loop ends.
struct ProgressGuard {
    TransferObserver& observer;
    ~ProgressGuard() { observer.progress_closed(); }
};

}  // namespace

TransferOutcome send_image(const cardlink::CardTarget& target, const std::filesystem::path& image_file,
                           const std::function<bool()>& has_cards, TransferObserver& observer,
                           const TransferSettings& settings) {
    // The file is checked before anything goes to the card: a missing or wrong-sized image must not
    // leave the card with a header announcing a file that never comes.
    std::error_code ec;
    const auto size = std::filesystem::file_size(image_file, ec);
    std::ifstream file(image_file, std::ios::binary);
    if (ec || size != kImageSize || !file) {
        observer.message(kShortTransferText);
        return TransferOutcome::FileUnusable;
    }

    platform::TcpStream stream;
    if (!stream.open(target.address, frame::kCommandPort, settings.timeouts)) {
        observer.message(localisation::lookup("IDS_MESSAGE_CARD_LINK_ERROR"));
        return TransferOutcome::NoConnection;
    }

    const auto header = image_file_header(static_cast<std::uint32_t>(kImageSize), kCardConfigName);
    bool send_ok = send_frame(stream, target, frame::CMD_FILE_HEADER, header);
    std::size_t total = 0;
    if (send_ok) {
        ProgressGuard progress{observer};
        observer.progress_opened(kTransferSteps);
        // The window counts what the card has taken (a send only hands bytes to the kernel, whose
        // buffers hold much of an image): a step per data frame acknowledged, the frames' own bytes
        // counted as data, so the count errs low.
        constexpr std::size_t frames = (kImageSize + kDataFrameSize - 1) / kDataFrameSize;
        std::size_t steps = 0;
        const auto advance = [&](std::size_t unacknowledged) {
            const std::size_t taken = total > unacknowledged ? total - unacknowledged : 0;
            const std::size_t due = taken >= kImageSize ? frames : taken / kDataFrameSize;
            for (; steps < due; ++steps) observer.progress_step();
        };
        std::array<std::uint8_t, kDataFrameSize> chunk;
        while (total < kImageSize) {
            const std::size_t want = std::min(chunk.size(), kImageSize - total);
            file.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(want));
            const auto got = static_cast<std::size_t>(file.gcount());
            if (got == 0) break;
            if (!send_frame(stream, target, frame::CMD_FILE_DATA, std::span(chunk).first(got))) {
                send_ok = false;
                break;
            }
            total += got;
            advance(stream.unacknowledged());
        }
        file.close();
        if (send_ok && total == kImageSize) {
            const bool delivered = stream.wait_delivered(settings.timeouts.send, advance);
            std::this_thread::sleep_for(settings.settle);
            // A card that hung up did not keep the whole file, whatever the sends returned.
            send_ok = delivered && !stream.peer_closed();
            if (send_ok) advance(0);
        }
    }
    if (!send_ok) observer.message(kSendErrorText);

    TransferOutcome outcome = TransferOutcome::Applied;
    if (total != kImageSize || !send_ok) {
        observer.message(kShortTransferText);
        outcome = send_ok ? TransferOutcome::ShortTransfer : TransferOutcome::SendFailed;
    } else if (!has_cards()) {
        // Nothing was applied, so success is not claimed.
        observer.message(localisation::lookup("IDS_MESSAGE_HAVE_NO_LINKED_CARD"));
        outcome = TransferOutcome::NoCard;
    } else if (!send_frame(stream, target, frame::CMD_SCREEN_CONTROL, apply_block())) {
        observer.message(kSendErrorText);
        outcome = TransferOutcome::SendFailed;
    } else if (settings.read_apply_answer) {
        switch (cardlink::receive_checked_answer(stream, settings.apply_answer)) {
            case cardlink::ExchangeError::None:
                observer.message(localisation::lookup("IDS_MESSAGE_SET_SUCCESS"));
                break;
            case cardlink::ExchangeError::NoAnswer:
                outcome = TransferOutcome::ApplyNoAnswer;
                break;
            default:
                observer.message("set error");
                outcome = TransferOutcome::ApplyRefused;
                break;
        }
    } else {
        std::this_thread::sleep_for(settings.apply_wait);
        observer.message(localisation::lookup("IDS_MESSAGE_SET_SUCCESS"));
    }
    std::this_thread::sleep_for(settings.close_wait);
    stream.close();
    return outcome;
}

}  // namespace screenconfig
