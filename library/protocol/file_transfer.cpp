#include "library/protocol/file_transfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include "common/frame.h"
#include "library/protocol/library_state.h"
#include "library/protocol/timeouts.h"
#include "library/protocol/transport.h"
#include "library/base/folder_ops.h"

namespace kelvra {
namespace {

namespace fs = std::filesystem;

constexpr ProtoType kUpgradeProtoType = ProtoType::TcpHere;

// "\" and "/" both as "/".
std::string with_slashes(std::string_view text) {
    std::string s(text);
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

}  // namespace

std::string card_file_name_of(std::string_view local_path) {
    const std::size_t last = local_path.find_last_of("/\\");
    return std::string(last == std::string_view::npos ? local_path : local_path.substr(last + 1));
}

std::string card_folder_of(std::string_view local_file_path, std::string_view base) {
    const std::string path = with_slashes(local_file_path);
    std::string name = with_slashes(base);
    while (!name.empty() && name.back() == '/') name.pop_back();
    while (!name.empty() && name.front() == '/') name.erase(name.begin());
    if (name.empty()) return {};
    const std::size_t file_start = path.find_last_of('/');
    if (file_start == std::string::npos) return {};
    // The first occurrence that is whole folder names: "Program" is not found in "Programs".
    for (std::size_t at = path.find(name); at != std::string::npos; at = path.find(name, at + 1)) {
        const std::size_t end = at + name.size();
        if (end > file_start) break;  // only the file's name is left
        const bool starts = at == 0 || path[at - 1] == '/';
        const bool ends = path[end] == '/';
        if (!starts || !ends) continue;
        std::string folder = path.substr(at, file_start - at);
        std::replace(folder.begin(), folder.end(), '/', '\\');
        return folder;
    }
    return {};
}

int send_file_to_card(const FileSend& send) {
    const std::string file_name =
        send.card_file_name.empty() ? card_file_name_of(send.local_path) : std::string(send.card_file_name);
    // A cut name would make two long names that share their first 99 bytes one file on the card.
    if (file_name.size() > kMaxCardText || send.card_folder.size() > kMaxCardText) return kCardNameTooLong;
    auto data = GetFileBuf(send.local_path);
    if (!data) return kFileUnreadable;
    try {
        file_header::FileHeader h;
        h.file_type = send.file_type;
        h.file_length = static_cast<std::uint32_t>(data->size());
        h.folder = std::string(send.card_folder);
        h.file_name = file_name;
        const auto record = file_header::encode(h);
        CommandBlock leading = CommandBlock::make(frame::CMD_FILE_HEADER, send.card_id, send.parameter,
                                                  std::vector<std::uint8_t>(record.begin(), record.end()));
        CommandBlock main =
            CommandBlock::make(frame::CMD_FILE_DATA, send.card_id, send.parameter, std::move(*data));
        TransferGate& gate = file_transfer_gate();
        gate.set_limit(1);
        return SendCommand(CardAddress::make(send.proto_type, send.card_ip), &gate, &main, &leading);
    } catch (const std::bad_alloc&) {
        return kFileNoMemory;
    }
}

int send_folder_to_card(std::string_view card_id, std::string_view card_ip, ProtoType proto_type,
                        std::uint32_t parameter, std::string_view folder, std::string_view base) {
    if (folder.find('.') != std::string_view::npos) return kFolderPathHasDot;
    const fs::path root = files::local_path(folder);
    std::vector<fs::directory_entry> entries;
    {
        std::error_code ec;
        fs::directory_iterator it(root, ec), end;
        if (ec) return kFolderIncomplete;
        for (; it != end; it.increment(ec)) {
            if (ec) return kFolderIncomplete;
            entries.push_back(*it);
        }
        if (ec) return kFolderIncomplete;
    }
    std::sort(entries.begin(), entries.end(),
              [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });
    bool whole = true;
    for (const auto& e : entries) {
        std::error_code ec;
        // Links are not followed: a link to a parent folder would recurse for ever, and the upgrade's
        // size announcement counts no linked files either.
        const auto type = e.symlink_status(ec).type();
        const std::string path = e.path().string();
        if (!ec && type == fs::file_type::regular) {
            const std::string name = e.path().filename().string();
            const std::string card_folder = card_folder_of(path, base);
            FileSend f;
            f.card_id = card_id;
            f.card_ip = card_ip;
            f.proto_type = kUpgradeProtoType;  // every file over TCP, in this thread
            f.parameter = parameter;
            f.local_path = path;
            f.card_file_name = name;
            f.card_folder = card_folder;
            f.file_type = kFolderFileType;
            if (send_file_to_card(f) != kTransferOk) whole = false;
        } else if (!ec && type == fs::file_type::directory) {
            if (send_folder_to_card(card_id, card_ip, proto_type, parameter, path, base) != kTransferOk)
                whole = false;
        }
    }
    return whole ? kTransferOk : kFolderIncomplete;
}

namespace {

CommandBlock upgrade_begin_block(std::string_view card_id, std::string_view folder) {
    const std::uint64_t kib = files::folder_size(files::local_path(folder)) / 1024;
    std::vector<std::uint8_t> data(4);
    frame::put_u32le(data.data(), static_cast<std::uint32_t>(std::min<std::uint64_t>(
                                      kib, std::numeric_limits<std::uint32_t>::max())));
    return CommandBlock::make(frame::CMD_UPGRADE_BEGIN, card_id, 0, std::move(data));
}

}  // namespace

int upgrade_single_file(std::string_view card_id, std::string_view card_ip, ProtoType proto_type,
                        std::string_view folder) {
    CommandBlock main = upgrade_begin_block(card_id, folder);
    return SendCommand(CardAddress::make(proto_type, card_ip), nullptr, &main);
}

int upgrade_finished(std::string_view card_id, std::string_view card_ip, ProtoType proto_type) {
    CommandBlock main = CommandBlock::make(frame::CMD_UPGRADE_END, card_id, 0);
    return SendCommand(CardAddress::make(proto_type, card_ip), nullptr, &main);
}

namespace {

struct UpgradeJob {
    std::string card_id;
    std::string card_ip;
    std::uint32_t parameter = 0;
    std::string folder;
    std::string base;
};

void run_upgrade(const UpgradeJob& job) {
    // The announcement's answer comes back to this thread alone: a GetIOState or another upgrade on
    // another thread can neither take it nor hand this one theirs.
    const Timeouts t = timeouts();
    CommandBlock begin = upgrade_begin_block(job.card_id, job.folder);
    std::vector<std::uint8_t> reply;
    SendCommandForAnswer(CardAddress::make(kUpgradeProtoType, job.card_ip), &begin, reply);
    std::this_thread::sleep_for(t.upgrade_answer_pause);
    const auto answer = upgrade_answer(reply, job.card_id);
    if (!answer) {
        show_message("NOt Receive aswer");
        return;
    }
    char line[64];
    std::snprintf(line, sizeof line, "command type %d,answer ", static_cast<int>(frame::ANS_UPGRADE_BEGIN));
    show_message(line + answer->text);
    if (!answer->go_ahead) return;
    if (send_folder_to_card(job.card_id, job.card_ip, kUpgradeProtoType, job.parameter, job.folder,
                            job.base) != kTransferOk) {
        show_message("Upgrade stopped: files not sent");
        return;
    }
    std::this_thread::sleep_for(t.upgrade_finish_pause);
    upgrade_finished(job.card_id, job.card_ip, kUpgradeProtoType);
}

}  // namespace

std::optional<UpgradeAnswer> upgrade_answer(std::span<const std::uint8_t> reply, std::string_view card_id) {
    const auto answer = checked_answer(reply, frame::ANS_UPGRADE_BEGIN, card_id);
    if (!answer) return std::nullopt;
    // The answer's text is its data up to the first NUL; the card agrees with "Suc..." in it.
    UpgradeAnswer out;
    out.text.assign(answer->data.begin(),
                    std::find(answer->data.begin(), answer->data.end(), std::uint8_t{0}));
    out.go_ahead = out.text.find("Suc") != std::string::npos;
    return out;
}

int upgrade_program(std::string_view card_id, std::string_view card_ip, std::uint32_t parameter,
                    std::string_view folder, std::string_view base) {
    try {
        auto job = std::make_unique<UpgradeJob>();
        job->card_id = std::string(card_id);
        job->card_ip = std::string(card_ip);
        job->parameter = parameter;
        job->folder = std::string(folder);
        job->base = std::string(base);
        jobs_started();
        try {
            std::thread([job = std::move(job)] {
                try {
                    run_upgrade(*job);
                } catch (...) {
                    // Out of memory part way: the upgrade ends; nothing may leave the thread.
                }
                jobs_finished();
            }).detach();
        } catch (...) {
            jobs_finished();
            throw;
        }
        return kTransferOk;
    } catch (...) {
        return kUpgradeNoMemory;
    }
}

}  // namespace kelvra
