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

// What the card has taken so far: the data handed to the socket less what its TCP has not acknowledged
// (the frames' own bytes count as data here, so the figure errs low). Never goes back.
class Delivery {
  public:
    Delivery(platform::TcpStream& stream, UpgradeObserver& observer) : stream_(stream), observer_(observer) {}
    void handed(std::uint64_t n) {
        handed_ += n;
        update();
    }
    void update() {
        const std::uint64_t pending = stream_.unacknowledged();
        const std::uint64_t now = handed_ > pending ? handed_ - pending : 0;
        if (now <= delivered_) return;
        delivered_ = now;
        observer_.upgrade_progress(delivered_);
    }
    // Everything handed over has arrived.
    void all_arrived() {
        if (handed_ <= delivered_) return;
        delivered_ = handed_;
        observer_.upgrade_progress(delivered_);
    }
    std::uint64_t delivered() const { return delivered_; }

  private:
    platform::TcpStream& stream_;
    UpgradeObserver& observer_;
    std::uint64_t handed_ = 0;
    std::uint64_t delivered_ = 0;
};

enum class FileSend { Delivered, Lost, Unreadable, Stopped };

// One file: header, data frames, then the wait until the card has acknowledged every byte and, while it
// stores the file, still holds the connection.
FileSend send_file(platform::TcpStream& stream, const UpgradeFile& file, const UpgradeSettings& settings,
                   Delivery& delivery) {
    std::error_code ec;
    const auto size = fs::file_size(file.local, ec);
    std::ifstream in(file.local, std::ios::binary);
    if (ec || size > UINT32_MAX || !in) return FileSend::Unreadable;
    if (!stream.send_all(
            frame_of(frame::CMD_FILE_HEADER, upgrade_file_header(file, static_cast<std::uint32_t>(size)))))
        return FileSend::Lost;
    if (!pause(settings.after_header, settings)) return FileSend::Stopped;
    std::vector<std::uint8_t> block(kUpgradeBlockSize);
    std::uint64_t file_sent = 0;
    while (file_sent < size) {
        if (stopped(settings)) return FileSend::Stopped;
        in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
        const auto n = static_cast<std::size_t>(in.gcount());
        if (n == 0) return FileSend::Unreadable;  // shorter than it was a moment ago
        if (!stream.send_all(frame_of(frame::CMD_FILE_DATA, std::span(block).first(n)))) {
            delivery.update();
            return FileSend::Lost;
        }
        file_sent += n;
        delivery.handed(n);
    }
    // A send only hands bytes to the kernel: a card that vanished shows in the acknowledgements, or by
    // hanging up while it should be storing the file.
    if (!stream.wait_delivered(settings.timeouts.send)) {
        delivery.update();
        return stopped(settings) ? FileSend::Stopped : FileSend::Lost;
    }
    delivery.all_arrived();
    if (!pause(settings.after_file, settings)) return FileSend::Stopped;
    return stream.peer_closed() ? FileSend::Lost : FileSend::Delivered;
}

}  // namespace

std::vector<UpgradeFile> list_upgrade_files(const fs::path& base) {
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

std::vector<std::uint8_t> upgrade_file_header(const UpgradeFile& file, std::uint32_t size) {
    file_header::FileHeader h;
    h.file_type = static_cast<std::uint32_t>(file.kind);
    h.file_length = size;
    h.blocks = size / kUpgradeBlockSize + (size % kUpgradeBlockSize != 0 ? 1 : 0);
    h.folder = file.card_folder;
    h.file_name = file.name;
    const auto bytes = file_header::encode(h);
    return {bytes.begin(), bytes.end()};
}

UpgradeResult run_upgrade(const std::string& address, const fs::path& base, UpgradeObserver& observer,
                          const UpgradeSettings& settings) {
    UpgradeResult result;
    // Whatever cannot be sent is refused before the card hears of an upgrade: a start and an end with
    // nothing between would leave it waiting for, or installing, a firmware that never came.
    std::error_code ec;
    if (!fs::is_directory(base, ec)) {
        result.outcome = UpgradeOutcome::FolderMissing;
        return result;
    }
    const auto files = list_upgrade_files(base);
    std::uint64_t payload = 0;
    for (const auto& file : files) {
        const auto size = fs::file_size(file.local, ec);
        if (ec || size > UINT32_MAX || !std::ifstream(file.local, std::ios::binary)) {
            result.outcome = UpgradeOutcome::FileUnreadable;
            result.file = file.card_folder;
            return result;
        }
        payload += size;
    }
    if (payload == 0) {
        result.outcome = UpgradeOutcome::NothingToSend;
        return result;
    }

    platform::TcpStream stream;
    if (!stream.open(address, frame::kCommandPort, settings.timeouts)) {
        result.outcome = UpgradeOutcome::NoConnection;
        return result;
    }
    // Every file below both folders counts, the ones that are skipped later too.
    std::uint64_t total = 0;
    for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
        const auto name = lowered(it->path().filename().string());
        if (it->is_directory(ec) && (name == "kernel" || name == "application"))
            total += GetFolderSize(it->path());
    }
    result.total = total;
    observer.upgrade_started(total);
    std::uint8_t announced[4];
    bytes::put_u32le(announced, static_cast<std::uint32_t>(std::min<std::uint64_t>(total, UINT32_MAX)));
    if (!stream.send_all(frame_of(frame::CMD_UPGRADE_START, announced))) {
        result.outcome = UpgradeOutcome::ConnectionLost;
        return result;
    }
    // A card that says nothing has not refused: it may not have heard, or may be busy.
    switch (receive_checked_answer(stream, settings.answer)) {
        case ExchangeError::None:
            break;
        case ExchangeError::NoAnswer:
            result.outcome = UpgradeOutcome::NoAnswer;
            return result;
        default:
            result.outcome = UpgradeOutcome::Refused;
            return result;
    }

    Delivery delivery(stream, observer);
    for (const auto& file : files) {
        const FileSend sent = send_file(stream, file, settings, delivery);
        result.sent = delivery.delivered();
        if (sent == FileSend::Delivered) continue;
        result.file = file.card_folder;
        result.outcome = sent == FileSend::Stopped      ? UpgradeOutcome::Stopped
                         : sent == FileSend::Unreadable ? UpgradeOutcome::FileUnreadable
                                                        : UpgradeOutcome::ConnectionLost;
        return result;
    }
    if (!stream.send_all(frame_of(frame::CMD_UPGRADE_END, {})) ||
        !stream.wait_delivered(settings.timeouts.send)) {
        result.outcome = UpgradeOutcome::ConnectionLost;
        result.file = files.back().card_folder;
        return result;
    }
    result.outcome = UpgradeOutcome::Finished;
    pause(settings.before_close, settings);
    return result;
}

}  // namespace cardlink
