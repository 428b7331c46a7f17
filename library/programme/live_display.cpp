#include "library/programme/live_display.h"

#include <new>
#include <optional>
#include <string>
#include <vector>

#include "common/file_header.h"
#include "common/frame.h"
#include "common/picture_size.h"
#include "library/imaging/codecs.h"
#include "library/programme/card_pictures.h"
#include "library/programme/live_state.h"
#include "library/base/folder_ops.h"
#include "library/protocol/file_transfer.h"
#include "library/protocol/library_state.h"
#include "library/protocol/timeouts.h"
#include "library/protocol/transport.h"

namespace kelvra::live {
namespace {

CardAddress address_of(const CardRef& card) {
    return CardAddress::make(card.proto_type, card.ip);
}

int send_window_block(const CardRef& card, std::vector<std::uint8_t> block, std::uint32_t parameter) {
    CommandBlock main = CommandBlock::make(frame::CMD_WINDOW, card.id, parameter, std::move(block));
    return SendCommand(address_of(card), nullptr, &main);
}

// A file for the card's display: its header and its data, then (optionally) the command that uses it.
struct FileJob {
    std::uint32_t file_type = 0;
    std::string folder;
    std::string card_name;
    std::vector<std::uint8_t> bytes;
    std::uint32_t parameter = 0;  // of the header and data blocks
    TransferGate* gate = nullptr;
    std::optional<CommandBlock> trailing;
    std::chrono::milliseconds trailing_pause{0};
};

int send_file_job(const CardRef& card, FileJob job) {
    file_header::FileHeader h;
    h.file_type = job.file_type;
    h.file_length = static_cast<std::uint32_t>(job.bytes.size());
    h.folder = std::move(job.folder);
    h.file_name = std::move(job.card_name);
    const auto record = file_header::encode(h);
    CommandBlock leading = CommandBlock::make(frame::CMD_FILE_HEADER, card.id, job.parameter,
                                              std::vector<std::uint8_t>(record.begin(), record.end()));
    CommandBlock main =
        CommandBlock::make(frame::CMD_FILE_DATA, card.id, job.parameter, std::move(job.bytes));
    if (job.gate != nullptr) job.gate->set_limit(1);
    return SendCommand(address_of(card), job.gate, &main, &leading, job.trailing ? &*job.trailing : nullptr,
                       job.trailing_pause);
}

// A file for window `window` (type 4, in the card folder named by the window number) and the window's
// operation 3 with its item, through the card's gate.
int send_to_window(const CardRef& card, std::uint32_t window, const std::string& name,
                   std::vector<std::uint8_t> bytes, const display::ItemBytes& item) {
    FileJob job;
    job.file_type = kWindowFileType;
    job.folder = std::to_string(window);
    job.card_name = name;
    job.bytes = std::move(bytes);
    job.gate = &card_gate_or_first(card.ip);
    job.trailing = CommandBlock::make(frame::CMD_WINDOW, card.id, 0, display::add_item(window, item));
    return send_file_job(card, std::move(job));
}

bool too_big(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() > UINT32_MAX;
}

}  // namespace

int create_multi_area_window(const CardRef& card, const display::Rect& rect, std::uint32_t area_set,
                             std::uint32_t area_word) {
    return send_window_block(card, display::create_multi_area(rect, area_set, area_word), card.parameter);
}

int insert_list_to_area(const CardRef& card, std::uint32_t list_word) {
    return send_window_block(card, display::insert_list(list_word), card.parameter);
}

int create_window(const CardRef& card, std::uint32_t window, const display::Rect& rect,
                  std::uint32_t window_word, std::uint32_t style, bool marker) {
    return send_window_block(card, display::create_window(window, window_word, rect, style, marker),
                             card.parameter);
}

int delete_picture(const CardRef& card, std::uint32_t window, std::string_view card_name) {
    auto block = display::delete_picture(window, card_name);
    if (!block) return kNameTooLong;
    return send_window_block(card, std::move(*block), 0);
}

int lock_window(const CardRef& card, std::uint32_t window, std::uint32_t lock_word) {
    return send_window_block(card, display::lock_window(window, lock_word), 0);
}

int destroy_window(const CardRef& card, std::uint32_t window) {
    return send_window_block(card, display::destroy_window(window), 0);
}

int add_picture(const CardRef& card, std::uint32_t window, std::string_view path,
                const programme::PlayNumbers& numbers, bool to_gif) {
    try {
        const auto kind = picture_kind(path);
        to_gif = to_gif && kind == image::PictureType::Bmp;
        const std::uint32_t number = live_state().names.take();  // taken by every attempt
        if (!kind) return kUnsupportedPicture;
        const std::string name = card_picture_name(number, *kind, to_gif);
        auto picture = load_card_picture(path, *kind, to_gif);
        if (picture.too_large) return kPictureTooLarge;
        auto& bytes = picture.bytes;
        if (!bytes || too_big(*bytes)) return kUnreadable;
        return send_to_window(card, window, name, std::move(*bytes),
                              card_play_item(picture_tag(*kind, to_gif), numbers, name));
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
}

int add_video(const CardRef& card, std::uint32_t window, std::string_view path) {
    try {
        if (!is_avi(path)) return kVideoNotAvi;
        const std::string name = card_file_name_of(path);
        if (name.size() > display::kMaxCardName) return kNameTooLong;
        auto bytes = GetFileBuf(path);
        if (!bytes) return kUnreadable;
        return send_to_window(card, window, name, std::move(*bytes), card_play_item("vod", {}, name));
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
}

int show_picture(const CardRef& card, std::string_view path) {
    try {
        const auto kind = picture_kind(path);
        // The file is read before it is named: unreadable is 1 whatever its kind, then unsupported 13.
        auto picture = kind ? load_card_picture(path, *kind, false) : CardPicture{GetFileBuf(path), false};
        if (picture.too_large) return kPictureTooLarge;
        auto& bytes = picture.bytes;
        if (!bytes || too_big(*bytes)) return kShowUnloadable;
        const std::uint32_t number = live_state().names.take();
        if (!kind) return kUnsupportedPicture;
        FileJob job;
        job.file_type = kShowFileType;
        job.card_name = card_picture_name(number, *kind, false);
        job.bytes = std::move(*bytes);
        job.parameter = card.parameter;
        job.gate = &live_state().show_picture_gate;
        return send_file_job(card, std::move(job));
    } catch (const std::bad_alloc&) {
        return kShowNoMemory;
    }
}

int send_screen_picture(const CardRef& card, imaging::ScreenRect rect) {
    try {
        const auto captured = imaging::capture_screen(rect);
        if (!captured) return kUnreadable;
        if (!image::fits_card(captured->width, captured->height)) return kPictureTooLarge;
        auto jpeg = imaging::encode_jpeg(*captured);
        if (!jpeg) return kUnreadable;
        FileJob job;
        job.file_type = kShowFileType;
        job.card_name = std::string(kScreenPictureName);
        job.bytes = std::move(*jpeg);
        job.parameter = card.parameter;
        job.gate = &live_state().screen_picture_gate;
        return send_file_job(card, std::move(job));
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
}

int create_window_region(const display::Region& region) {
    try {
        return live_state().regions.add(region);
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

int insert_glint_window(const CardRef& card, std::string_view path, std::uint32_t flash) {
    try {
        const auto kind = picture_kind(path);
        auto picture = kind ? load_card_picture(path, *kind, false) : CardPicture{GetFileBuf(path), false};
        if (picture.too_large) return kPictureTooLarge;
        auto& bytes = picture.bytes;
        if (!bytes || too_big(*bytes)) return kUnreadable;
        const std::uint32_t number = live_state().names.take();
        if (!kind) return kUnsupportedPicture;
        const std::string name = card_picture_name(number, *kind, false);
        std::vector<display::Region> regions = live_state().regions.take();
        int result = kNoMemory;
        try {
            auto block = display::encode_glint(name, flash, regions);  // the list holds at most 64
            if (!block) throw std::bad_alloc();
            FileJob job;
            job.file_type = kGlintFileType;
            job.card_name = name;
            job.bytes = std::move(*bytes);
            job.parameter = card.parameter;
            job.trailing =
                CommandBlock::make(frame::CMD_GLINT_WINDOW, card.id, card.parameter, std::move(*block));
            job.trailing_pause = kGlintPause;
            result = send_file_job(card, std::move(job));
        } catch (const std::bad_alloc&) {
            result = kNoMemory;
        }
        if (result != kLiveOk) live_state().regions.put_back(std::move(regions));
        return result;
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
}

int add_picture_and_stunt(const CardRef& card, std::string_view path, const programme::PlayNumbers& numbers,
                          bool to_gif) {
    try {
        TransferGate& gate = card_gate_or_first(card.ip);
        const auto kind = picture_kind(path);
        to_gif = to_gif && kind == image::PictureType::Bmp;
        const std::uint32_t number = live_state().names.take();
        if (!kind) return kUnsupportedPicture;
        const std::string name = card_picture_name(number, *kind, to_gif);
        auto picture = load_card_picture(path, *kind, to_gif);
        if (picture.too_large) return kPictureTooLarge;
        auto& bytes = picture.bytes;
        if (!bytes || too_big(*bytes)) return kUnreadable;
        // Built before the send, so that a send handed over is always listed.
        const auto item = card_play_item(picture_tag(*kind, to_gif), numbers, name);
        FileJob job;
        job.file_type = kStuntFileType;
        job.card_name = name;
        job.bytes = std::move(*bytes);
        job.parameter = card.parameter;
        job.gate = &gate;
        const int result = send_file_job(card, std::move(job));
        if (result == kLiveOk) live_state().effect_lists.append(address_of(card).ip, item);
        return result;
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
}

int show_stunt(const CardRef& card, const StuntShow& show) {
    try {
        const CardAddress address = address_of(card);
        if (!route_of(address.proto_type)) return kBadProtoType;  // before the list is taken
        TransferGate& gate = card_gate_or_first(card.ip);
        if (show.immediate) {
            if (gate.jobs() > 0 || gate.active() > 0) return kCardBusy;
        } else if (!gate.wait_no_jobs(std::chrono::steady_clock::now() + timeouts().card_busy_wait)) {
            return kCardBusy;
        }
        std::vector<display::ItemBytes> items = live_state().effect_lists.take(address.ip);
        if (items.empty()) return kNoPictures;
        FileJob job;
        job.file_type = kStuntFileType;
        job.card_name = std::string(display::kStuntFileName);
        job.bytes = display::encode_stunt_list(show.marker, show.window, show.rect, items);
        job.parameter = card.parameter;
        job.gate = show.immediate ? nullptr : &gate;
        job.trailing = CommandBlock::make(frame::CMD_WINDOW, card.id, card.parameter, display::stunt_start());
        return send_file_job(card, std::move(job));
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
}

int exit_stunt(const CardRef& card) {
    CommandBlock main = CommandBlock::make(frame::CMD_EXIT_STUNT, card.id, 0);
    return SendCommand(address_of(card), nullptr, &main);
}

}  // namespace kelvra::live
