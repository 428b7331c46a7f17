#include "library/programme/programme_files.h"

#include <cstdio>
#include <new>

#include "common/bytes.h"
#include "library/base/folder_ops.h"

namespace fs = std::filesystem;

namespace kelvra::programme {

using namespace bytes;
namespace {

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

std::string lowered(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string_view file_name_of(std::string_view path) {
    const std::size_t at = path.find_last_of("\\/");
    return at == std::string_view::npos ? path : path.substr(at + 1);
}

Status write_record(const fs::path& folder, std::span<const std::uint8_t> bytes) {
    files::create_folder(folder);
    return write_file(folder / kRecordFileName, bytes);
}

}  // namespace

Status write_file(const fs::path& file, std::span<const std::uint8_t> bytes) {
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (f == nullptr) return Status::CannotWrite;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    return written && closed ? Status::Ok : Status::CannotWrite;
}

Status make_fill(std::uint32_t colour, const char* picture, FillSpec& out) {
    out = FillSpec{};
    const std::string_view name = picture != nullptr ? std::string_view(picture) : std::string_view();
    if (contains(name, "jpg") || contains(name, "Jpg") || contains(name, "jpeg")) {
        out.kind = kFillPicture;
        return set_text(out.picture, name) ? Status::Ok : Status::NameTooLong;
    }
    out.kind = kFillColour;
    out.red = colour & 0xFF;
    out.green = (colour >> 8) & 0xFF;
    out.blue = (colour >> 16) & 0xFF;
    return Status::Ok;
}

Status write_screen_config(const fs::path& folder, std::span<const std::uint8_t, kAreaBlockSize> area_block) {
    ScreenRecord r;
    r.word9 = 0;
    r.word10 = 1;
    std::copy(area_block.begin(), area_block.end(), r.area_block.begin());
    return write_record(folder, encode(r));
}

Status write_area_config(const fs::path& folder, const AreaArgs& a,
                         std::span<const std::uint8_t, kListBlockSize> list_block) {
    AreaRecord r;
    r.left = a.left;
    r.top = a.top;
    r.width = a.width;
    r.height = a.height;
    r.word_a = a.word_a;
    r.word_b = a.word_b;
    if (Status s = make_fill(a.colour1, a.picture1, r.fill1); s != Status::Ok) return s;
    if (Status s = make_fill(a.colour2, a.picture2, r.fill2); s != Status::Ok) return s;
    r.word_c = a.word_c;
    r.word_d = 1;
    std::copy(list_block.begin(), list_block.end(), r.list_block.begin());
    std::copy(list_block.begin(), list_block.end(), r.list_block_copy.begin());
    return write_record(folder, encode(r));
}

Status write_download_project(const fs::path& path, std::uint32_t project_word,
                              std::span<const std::uint8_t, kProjectBlockSize> block) {
    const std::string name = path.filename().string();
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) files::create_folder(path.parent_path() / name.substr(0, dot));
    if (path.has_parent_path()) files::create_folder(path.parent_path());
    DownLoadProject r;
    r.project_word = project_word;
    std::copy(block.begin(), block.end(), r.block.begin());
    return write_file(path, encode(r));
}

Status make_play_item(std::string_view path, const PlayNumbers& n, PlayItem& out) {
    const std::string_view name = file_name_of(path);
    const std::size_t dot = name.rfind('.');
    const std::string ext = dot == std::string_view::npos ? std::string() : lowered(name.substr(dot + 1));
    std::string_view tag;
    if (ext == "bmp") {
        tag = "bmp";
    } else if (ext == "jpg" || ext == "jpeg") {
        tag = "jpg";
    } else if (ext == "gif") {
        tag = "gif";
    } else {
        return Status::NotAPicture;
    }
    out = PlayItem{};
    out.tag = text_field<8>(tag);
    out.loop_count = n.loop_count;
    out.entry_effect = n.entry_effect;
    out.clear_effect = n.clear_effect;
    out.entry_speed = n.entry_speed;
    out.clear_speed = n.clear_speed;
    out.stay_seconds = n.stay_seconds;
    out.display_mode = n.display_mode;
    if (!set_text(out.file_name, name) || !set_text(out.file_name_again, name)) return Status::NameTooLong;
    return Status::Ok;
}

fs::path picture_destination(const fs::path& folder, const PlayItem& item) {
    return text_of(item.tag) == "jpg" ? folder / kJpegFolderName : folder;
}

Status PendingPlayList::add(std::string_view path, const PlayNumbers& numbers) {
    PlayItem item;
    if (Status s = make_play_item(path, numbers, item); s != Status::Ok) return s;
    std::lock_guard lock(mutex_);
    if (items_.size() >= kMaxPendingItems) return Status::ListFull;
    std::string source;
    try {
        items_.reserve(items_.size() + 1);
        sources_.reserve(sources_.size() + 1);
        source.assign(path);
    } catch (const std::bad_alloc&) {
        return Status::OutOfMemory;  // reserving changes no contents
    }
    items_.push_back(item);  // neither can throw now: room is reserved
    sources_.push_back(std::move(source));
    return Status::Ok;
}

Status PendingPlayList::write(const fs::path& folder) {
    std::lock_guard lock(mutex_);
    files::create_folder(folder);
    if (items_.empty()) return Status::NothingPending;
    std::vector<std::uint8_t> bytes;
    try {
        PlayListRecord record;
        record.items = items_;
        bytes = encode(record);
    } catch (const std::bad_alloc&) {
        return Status::OutOfMemory;
    }
    if (Status s = write_file(folder / kRecordFileName, bytes); s != Status::Ok) return s;
    for (std::size_t i = 0; i < sources_.size(); ++i) {
        const fs::path destination = picture_destination(folder, items_[i]);
        files::create_folder(destination);
        files::copy_path(files::local_path(sources_[i]), destination);  // failures are not reported
    }
    items_.clear();
    sources_.clear();
    return Status::Ok;
}

std::size_t PendingPlayList::size() const {
    std::lock_guard lock(mutex_);
    return items_.size();
}

PendingPlayList& library_play_list() {
    static PendingPlayList list;
    return list;
}

}  // namespace kelvra::programme
