#include "cardlink/firmware_upgrade.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <thread>

#include "cardlink/card_exchange.h"
#include "common/bytes.h"
#include "common/file_header.h"
#include "common/frame.h"

namespace cardlink {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// Regular files below `folder`, depth first, each folder's entries in name order.
void walk(const fs::path& folder, std::vector<fs::path>& out) {
    std::error_code ec;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(*it);
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
    for (const auto& e : entries) {
        if (e.is_directory(ec) && !e.is_symlink(ec))
            walk(e.path(), out);
        else if (e.is_regular_file(ec))
            out.push_back(e.path());
    }
}

bool stopped(const UpgradeSettings& s) {
    return s.stop != nullptr && s.stop->load();
}

// Waits `d`, in short steps so that a stop is seen; false when stopped.
bool pause(std::chrono::milliseconds d, const UpgradeSettings& s) {
    const auto end = Clock::now() + d;
    while (Clock::now() < end) {
        if (stopped(s)) return false;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(end - Clock::now(), std::chrono::milliseconds(20)));
    }
    return !stopped(s);
}

std::vector<std::uint8_t> frame_of(std::uint8_t command, std::span<const std::uint8_t> data) {
    frame::Packet p;
    p.command = command;
    p.card_id = std::string(kUpgradeCardId);
    p.wide_id = true;
    p.data.assign(data.begin(), data.end());
    return frame::encode_exact(p, frame::check_form_for_id(kUpgradeCardId));
}

// Reads the card's answer frame until it is whole, the card closes or the deadline passes.
std::vector<std::uint8_t> receive_answer(platform::TcpStream& stream, Clock::time_point deadline) {
    std::vector<std::uint8_t> buffer(kAnswerBufferSize, 0);
    std::size_t got = 0;
    while (got < buffer.size()) {
        if (got >= frame::kHeaderSize &&
            got >=
                frame::kHeaderSize + std::uint64_t{bytes::get_u32_or_zero(buffer, frame::kLengthOffset)} + 1)
            break;
        const long n = stream.receive_some(std::span(buffer).subspan(got), deadline);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    buffer.resize(got);
    return buffer;
}

// One file: header, data frames; true when every byte reached the card.
bool send_file(platform::TcpStream& stream, const UpgradeFile& file, UpgradeObserver& observer,
               const UpgradeSettings& settings, std::uint64_t& sent) {
    std::error_code ec;
    const auto size = fs::file_size(file.local, ec);
    if (ec || size > UINT32_MAX) return false;
    if (!stream.send_all(
            frame_of(frame::CMD_FILE_HEADER, UpgradeFileHeader(file, static_cast<std::uint32_t>(size)))))
        return false;
    std::ifstream in(file.local, std::ios::binary);
    if (!in) return false;
    if (!pause(settings.after_header, settings)) return false;
    std::vector<std::uint8_t> block(kUpgradeBlockSize);
    std::uint64_t file_sent = 0;
    while (true) {
        in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
        const auto n = static_cast<std::size_t>(in.gcount());
        if (n == 0 || stopped(settings)) break;
        if (!stream.send_all(frame_of(frame::CMD_FILE_DATA, std::span(block).first(n)))) return false;
        file_sent += n;
        sent += n;
        observer.upgrade_progress(sent);
    }
    // A send only hands bytes to the kernel: a card that vanished shows in the acknowledgements, or by
    // hanging up while it should be storing the file.
    if (file_sent != size || !stream.wait_delivered(settings.timeouts.send)) return false;
    if (!pause(settings.after_file, settings)) return false;
    return !stream.peer_closed();
}

}  // namespace

std::vector<UpgradeFile> ListUpgradeFiles(const fs::path& base) {
    std::vector<UpgradeFile> files;
    std::error_code ec;
    std::vector<fs::directory_entry> tops;
    for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_directory(ec)) tops.push_back(*it);
    for (const UpgradeKind kind : {UpgradeKind::Kernel, UpgradeKind::Application}) {
        const std::string wanted = kind == UpgradeKind::Kernel ? "kernel" : "application";
        for (const auto& top : tops) {
            if (lowered(top.path().filename().string()) != wanted) continue;
            std::vector<fs::path> paths;
            walk(top.path(), paths);
            for (const auto& p : paths) {
                UpgradeFile f;
                f.local = p;
                f.kind = kind;
                f.name = p.filename().string();
                for (const auto& part : p.lexically_relative(top.path()))
                    f.card_folder += "\\" + part.string();
                files.push_back(std::move(f));
            }
        }
    }
    return files;
}

std::uint64_t GetFolderSize(const fs::path& folder) {
    std::vector<fs::path> paths;
    walk(folder, paths);
    std::uint64_t total = 0;
    std::error_code ec;
    for (const auto& p : paths) {
        const auto size = fs::file_size(p, ec);
        if (!ec) total += size;
    }
    return total;
}

std::vector<std::uint8_t> UpgradeFileHeader(const UpgradeFile& file, std::uint32_t size) {
    file_header::FileHeader h;
    h.file_type = static_cast<std::uint32_t>(file.kind);
    h.file_length = size;
    h.blocks = size / kUpgradeBlockSize + (size % kUpgradeBlockSize != 0 ? 1 : 0);
    h.folder = file.card_folder;
    h.file_name = file.name;
    const auto bytes = file_header::encode(h);
    return {bytes.begin(), bytes.end()};
}

UpgradeResult RunUpgrade(const std::string& address, const fs::path& base, UpgradeObserver& observer,
                         const UpgradeSettings& settings) {
    UpgradeResult result;
    platform::TcpStream stream;
    if (!stream.open(address, frame::kCommandPort, settings.timeouts)) {
        observer.upgrade_message("IDS_MESSAGE_CARD_LINK_ERROR");
        return result;
    }
    // Every file below both folders counts, the ones that are skipped later too.
    std::uint64_t total = 0;
    std::error_code ec;
    for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
        const auto name = lowered(it->path().filename().string());
        if (it->is_directory(ec) && (name == "kernel" || name == "application"))
            total += GetFolderSize(it->path());
    }
    result.total = total;
    observer.upgrade_started(total);
    std::uint8_t announced[4];
    bytes::put_u32le(announced, static_cast<std::uint32_t>(std::min<std::uint64_t>(total, UINT32_MAX)));
    if (!stream.send_all(frame_of(frame::CMD_UPGRADE_START, announced)) ||
        CheckCardAnswer(receive_answer(stream, Clock::now() + settings.answer), AnswerCheck::Status) != 0) {
        result.outcome = UpgradeOutcome::Refused;
        return result;
    }
    result.outcome = UpgradeOutcome::Finished;
    if (!fs::is_directory(base, ec)) {
        observer.upgrade_message("IDS_MESSAGE_FOLDER_NOT_EXIST");
        result.outcome = UpgradeOutcome::FolderMissing;
    } else {
        for (const auto& file : ListUpgradeFiles(base)) {
            if (send_file(stream, file, observer, settings, result.sent)) continue;
            if (stopped(settings)) {
                result.outcome = UpgradeOutcome::Stopped;
                return result;
            }
            ++result.failed_files;
            observer.upgrade_message("IDS_MESSAGE_TCP_SEND_FAILED");
        }
    }
    stream.send_all(frame_of(frame::CMD_UPGRADE_END, {}));
    pause(settings.before_close, settings);
    return result;
}

}  // namespace cardlink
