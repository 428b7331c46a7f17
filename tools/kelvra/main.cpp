// kelvra: a command line over the public C interface of libkelvra, and nothing else of this tree.
#include <kelvra/kelvra.h>
#include <pthread.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "options.h"
#include "progress.h"
#include "report.h"

namespace kelvra_cli {
namespace {

enum Exit : int { kDone = 0, kFailed = 1, kBadUsage = 2, kLocalFile = 3 };

constexpr int kTcpHere = 101;  // iProtoType: run in this thread, the call returns the outcome
constexpr int kUdpHere = 102;
constexpr int kSerial = 4;                                  // serial jobs always run on a library thread
constexpr auto kDiscoveryBound = std::chrono::seconds(15);  // the library stops collecting after 10 s
constexpr auto kPoll = std::chrono::milliseconds(100);

// What the library reported from its own threads: the status callback has no user argument, so this
// one record is shared; main owns it, the lock guards it.
struct Events {
    std::mutex mutex;
    std::vector<std::uint32_t> status;
    std::vector<std::string> messages;
    bool transfer_failed = false;  // a status code that ends a send
    // upgrade
    bool upgrade_consented = false, upgrade_refused = false, upgrade_unanswered = false,
         upgrade_stopped = false;
    std::uint64_t upgrade_bytes = 0, upgrade_files = 0;
    std::unique_ptr<Progress> upgrade_progress;
    bool quiet = false;
};
Events g_events;

bool failure_code(std::uint32_t code) {
    switch (code) {
        case 46:
        case 47:
        case 51:
        case 52:
        case 53:
        case 54:
        case 101:
        case 102:
        case 104:
        case 201:
        case 202:
        case 203:
            return true;
        default:
            return false;
    }
}

const char* status_text(std::uint32_t code) {
    switch (code) {
        case 46:
            return "a packet could not be built";
        case 47:
            return "the job had no connection";
        case 51:
            return "sending over TCP failed";
        case 52:
            return "sending over UDP failed";
        case 53:
            return "the broadcast could not be sent";
        case 54:
            return "the broadcast socket could not be bound";
        case 61:
            return "no answer arrived";
        case 101:
            return "the card cannot be reached";
        case 102:
            return "unsupported transport";
        case 104:
            return "broadcasts are not allowed on this socket";
        case 201:
            return "serial: a packet could not be built";
        case 202:
            return "serial: writing to the port failed";
        case 203:
            return "serial: a write was cut short";
        default:
            return nullptr;
    }
}

// The meaning of an export's result, for the user.
std::string result_text(int code) {
    switch (code) {
        case 11:
            return "this command needs a single card, not a broadcast";
        case 14:
        case 34:
            return "out of memory";
        case 18:
            return "the card did not answer";
        case 19:
            return "the file is missing or cannot be read";
        case 20:
            return "the card file name or folder is longer than 99 bytes";
        case 31:
            return "the transport is not supported";
        case 32:
            return "no command";
        case 60:
            return "the card cannot be reached";
        default:
            if (const char* t = status_text(static_cast<std::uint32_t>(code))) return t;
            return "failed";
    }
}

void on_status(std::uint32_t code, const char* text) {
    std::lock_guard lock(g_events.mutex);
    g_events.status.push_back(code);
    if (failure_code(code)) {
        g_events.transfer_failed = true;
        std::fprintf(stderr, "\nkelvra: %s%s%s\n", status_text(code), text && *text ? ": " : "",
                     text ? text : "");
    }
}

void on_message(const char* text, void*) {
    const std::string t = text != nullptr ? text : "";
    std::lock_guard lock(g_events.mutex);
    g_events.messages.push_back(t);
    // The upgrade's messages tell how it goes.
    if (t.rfind("command type ", 0) == 0) {
        if (t.find("Suc") != std::string::npos) {
            g_events.upgrade_consented = true;
            std::fprintf(stderr, "kelvra: the card agreed to the upgrade (%s)\n", t.c_str());
            g_events.upgrade_progress =
                std::make_unique<Progress>("firmware", g_events.upgrade_bytes,
                                           expected_send_time(g_events.upgrade_bytes, g_events.upgrade_files),
                                           !g_events.quiet, Progress::Ending::ByItself);
        } else {
            g_events.upgrade_refused = true;
            std::fprintf(stderr, "kelvra: the card refused the upgrade (%s)\n", t.c_str());
        }
    } else if (t == "NOt Receive aswer") {
        g_events.upgrade_unanswered = true;
        std::fprintf(stderr, "kelvra: the card did not answer the upgrade announcement\n");
    } else if (t.rfind("Upgrade stopped", 0) == 0) {
        g_events.upgrade_stopped = true;
        if (g_events.upgrade_progress) g_events.upgrade_progress->finish(false);
        std::fprintf(stderr, "kelvra: %s\n", t.c_str());
    } else {
        std::fprintf(stderr, "kelvra: %s\n", t.c_str());
    }
}

int transport_type(Transport t) {
    switch (t) {
        case Transport::Udp:
            return kUdpHere;
        case Transport::Serial:
            return kSerial;
        case Transport::Tcp:
            break;
    }
    return kTcpHere;
}

// Jobs on the library's threads (serial transfers, the upgrade) report their end through no call:
// this thread ends instead, the process lives until the last library thread has ended, and the exit
// handler then turns what was reported into the exit status.
enum class Waiting { Serial, Upgrade };
Waiting g_waiting = Waiting::Serial;
std::string g_done_text;

void exit_after_jobs() {
    int code = kDone;
    {
        std::lock_guard lock(g_events.mutex);
        if (g_waiting == Waiting::Upgrade) {
            const bool ok =
                g_events.upgrade_consented && !g_events.upgrade_stopped && !g_events.transfer_failed;
            if (g_events.upgrade_progress) g_events.upgrade_progress->finish(ok);
            code = ok ? kDone : kFailed;
        } else {
            bool port_failed = false;
            for (const auto& m : g_events.messages) port_failed = port_failed || m == "com open failed";
            code = g_events.transfer_failed || port_failed ? kFailed : kDone;
        }
    }
    if (code == kDone && !g_done_text.empty()) std::printf("%s\n", g_done_text.c_str());
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(code);
}

[[noreturn]] void wait_for_library_jobs(Waiting what, std::string done_text) {
    g_waiting = what;
    g_done_text = std::move(done_text);
    std::atexit(exit_after_jobs);
    pthread_exit(nullptr);
}

std::string cut_text(const char* p, std::size_t n) {
    std::size_t len = 0;
    while (len < n && p[len] != 0) ++len;
    return std::string(p, len);
}

// The card's id when the user gave none: the information block names it.
bool learn_card_id(Options& o) {
    if (!o.card_id.empty() || o.transport == Transport::Serial) return true;
    std::array<unsigned char, kInfoBlockSize> info{};
    GetCardInfoByTcp("", o.address.c_str(), info.data());
    if (info[0] == 0) {
        std::fprintf(stderr, "kelvra: no card answered at %s (give --card ID, or check the address)\n",
                     o.address.c_str());
        return false;
    }
    o.card_id = cut_text(reinterpret_cast<const char*>(info.data()), 16);
    return true;
}

int command_done(int result, const Options& o, const std::string& what) {
    if (result == 0) {
        std::printf("%s\n", what.c_str());
        return kDone;
    }
    std::fprintf(stderr, "kelvra: %s: %s (result %d)\n",
                 o.address.empty() ? o.card_id.c_str() : o.address.c_str(), result_text(result).c_str(),
                 result);
    return kFailed;
}

// A command that expects no answer: sent in this thread over TCP or UDP, on a library thread over a
// serial line.
int simple_command(const Options& o, int result, const std::string& what) {
    if (o.transport == Transport::Serial && result == 0) wait_for_library_jobs(Waiting::Serial, what);
    return command_done(result, o, what);
}

int discover(const Options& o) {
    const int started = LoopCheck();
    if (started != 0) {
        std::fprintf(stderr, "kelvra: the discovery did not start: %s (result %d)\n",
                     result_text(started).c_str(), started);
        return kFailed;
    }
    std::array<char, 20> id{}, ip{};
    const auto deadline = std::chrono::steady_clock::now() + kDiscoveryBound;
    for (;;) {
        const int r = LoadCardInfor(id.data(), ip.data(), 1);
        if (r == 1 || r == 2) break;  // the discovery is over
        {
            std::lock_guard lock(g_events.mutex);
            if (g_events.transfer_failed) return kFailed;  // the broadcast never left
        }
        if (std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "kelvra: the discovery did not end\n");
            return kFailed;
        }
        std::this_thread::sleep_for(kPoll);
    }
    std::vector<FoundCard> cards;
    for (int n = 1; LoadCardInfor(id.data(), ip.data(), n) == 1; ++n)
        cards.push_back({cut_text(id.data(), id.size()), cut_text(ip.data(), ip.size())});
    if (o.json) {
        std::fputs(cards_json(cards).c_str(), stdout);
    } else if (cards.empty()) {
        std::fprintf(stderr, "kelvra: no card answered\n");
    } else {
        std::fputs(cards_table(cards).c_str(), stdout);
    }
    return cards.empty() ? kFailed : kDone;
}

int info(Options& o) {
    if (!learn_card_id(o)) return kFailed;
    std::array<unsigned char, kInfoBlockSize> block{};
    std::array<unsigned char, kMoreBlockSize> more{};
    GetCardInfoByTcp(o.card_id.c_str(), o.address.c_str(), block.data());
    if (block[0] == 0) {
        std::fprintf(stderr, "kelvra: card %s at %s did not answer\n", o.card_id.c_str(), o.address.c_str());
        return kFailed;
    }
    GetCardMoreInfoByTcp(o.card_id.c_str(), o.address.c_str(), more.data());
    const CardReport report = read_report(block, more[0] != 0 ? &more : nullptr);
    std::fputs((o.json ? report_json(report) : report_table(report)).c_str(), stdout);
    return kDone;
}

int clock(const Options& o) {
    std::vector<std::int32_t> v;
    if (o.clock_values) {
        v = *o.clock_values;
    } else {
        const std::time_t now = std::time(nullptr);
        std::tm t{};
        localtime_r(&now, &t);
        v = {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, t.tm_wday};
    }
    char what[96];
    std::snprintf(what, sizeof what, "clock set: %d %d %d %d %d %d %d", v[0], v[1], v[2], v[3], v[4], v[5],
                  v[6]);
    return simple_command(o,
                          AdjustClock(o.card_id.c_str(), o.address.c_str(), v[0], v[1], v[2], v[3], v[4],
                                      v[5], v[6], transport_type(o.transport)),
                          what);
}

int io_get(const Options& o) {
    std::int32_t inputs = 0, outputs = 0;
    const int r = GetIOState(o.card_id.c_str(), o.address.c_str(), transport_type(o.transport), 0, o.line,
                             &inputs, &outputs);
    if (r != 0 && r != 1) return command_done(r, o, "");
    if (o.json) {
        std::printf("{\"line\": %d, \"on\": %s, \"output_lines\": %u, \"input_lines\": %u}\n", o.line,
                    r == 1 ? "true" : "false", static_cast<unsigned>(outputs), static_cast<unsigned>(inputs));
    } else {
        std::printf("line %d: %s\noutput lines: 0x%08X\ninput lines:  0x%08X\n", o.line,
                    r == 1 ? "on" : "off", static_cast<unsigned>(outputs), static_cast<unsigned>(inputs));
    }
    return kDone;
}

bool readable_file(const std::string& path, std::uint64_t& size) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    size = std::filesystem::file_size(path, ec);
    return !ec && access(path.c_str(), R_OK) == 0;
}

// Sizes of every regular file below `folder` (links not followed, as the folder transfer does).
bool folder_size(const std::string& folder, std::uint64_t& bytes, std::uint64_t& files) {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) return false;
    bytes = files = 0;
    for (std::filesystem::recursive_directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (it->is_regular_file(ec) && !it->is_symlink(ec)) {
            bytes += it->file_size(ec);
            ++files;
        }
    }
    return !ec;
}

int send_file(const Options& o) {
    std::uint64_t size = 0;
    if (!readable_file(o.local_path, size)) {
        std::fprintf(stderr, "kelvra: %s is not a readable file\n", o.local_path.c_str());
        return kLocalFile;
    }
    const std::string name =
        o.card_name.empty() ? std::filesystem::path(o.local_path).filename().string() : o.card_name;
    const std::string card_path = o.card_folder.empty() ? name : o.card_folder + "\\" + name;
    const std::string done = "sent " + o.local_path + " (" + std::to_string(size) + " bytes) as " + card_path;
    Progress progress(name, size, expected_send_time(size, 1), !o.quiet && o.transport != Transport::Serial);
    const int r =
        SendFileToCard(o.card_id.c_str(), o.address.c_str(), transport_type(o.transport), o.parameter,
                       o.local_path.c_str(), o.card_name.c_str(), o.card_folder.c_str(), o.file_type);
    progress.finish(r == 0);
    if (r == 19) {
        std::fprintf(stderr, "kelvra: %s cannot be read\n", o.local_path.c_str());
        return kLocalFile;
    }
    return simple_command(o, r, done);
}

int send_folder(const Options& o) {
    std::uint64_t bytes = 0, files = 0;
    if (!folder_size(o.local_path, bytes, files)) {
        std::fprintf(stderr, "kelvra: %s is not a readable folder\n", o.local_path.c_str());
        return kLocalFile;
    }
    Progress progress(std::filesystem::path(o.local_path).filename().string(), bytes,
                      expected_send_time(bytes, files), !o.quiet);
    const int r = SendFolderToCard(o.card_id.c_str(), o.address.c_str(), kTcpHere, o.parameter,
                                   o.local_path.c_str(), o.base_folder.c_str());
    progress.finish(r == 0);
    switch (r) {
        case 0:
            std::printf("sent %llu files (%llu bytes) from %s\n", static_cast<unsigned long long>(files),
                        static_cast<unsigned long long>(bytes), o.local_path.c_str());
            return kDone;
        case 1:
            std::fprintf(stderr, "kelvra: a folder path with a \".\" in it is not sent: %s\n",
                         o.local_path.c_str());
            return kLocalFile;
        default:
            std::fprintf(stderr,
                         "kelvra: some files were not sent (unreadable, unreachable card, names over 99 "
                         "bytes, or sub-folders with a \".\" in their name)\n");
            return kFailed;
    }
}

int upgrade(const Options& o) {
    std::uint64_t bytes = 0, files = 0;
    if (!folder_size(o.local_path, bytes, files)) {
        std::fprintf(stderr, "kelvra: %s is not a readable folder\n", o.local_path.c_str());
        return kLocalFile;
    }
    std::string base = o.base_folder;
    if (base.empty()) {
        auto folder = std::filesystem::path(o.local_path).lexically_normal();
        if (folder.filename().empty()) folder = folder.parent_path();  // "fw/" names "fw"
        base = folder.filename().string();
    }
    {
        std::lock_guard lock(g_events.mutex);
        g_events.upgrade_bytes = bytes;
        g_events.upgrade_files = files;
        g_events.quiet = o.quiet;
    }
    const int r = UpgradeProgram(o.card_id.c_str(), o.address.c_str(), 0, o.parameter, o.local_path.c_str(),
                                 base.c_str());
    if (r != 0) return command_done(r, o, "");
    std::fprintf(stderr, "kelvra: announcing %llu files (%llu bytes) to %s\n",
                 static_cast<unsigned long long>(files), static_cast<unsigned long long>(bytes),
                 o.card_id.c_str());
    wait_for_library_jobs(Waiting::Upgrade, "upgrade sent; the card restarts with the new firmware");
}

int show_picture(const Options& o) {
    std::uint64_t size = 0;
    if (!readable_file(o.local_path, size)) {
        std::fprintf(stderr, "kelvra: %s is not a readable file\n", o.local_path.c_str());
        return kLocalFile;
    }
    const int r = ShowPicture(o.card_id.c_str(), o.address.c_str(), transport_type(o.transport), o.parameter,
                              o.local_path.c_str());
    // ShowPicture's own results; the others are those of every send.
    switch (r) {
        case 1:
            std::fprintf(stderr, "kelvra: %s cannot be read as a picture\n", o.local_path.c_str());
            return kLocalFile;
        case 13:
            std::fprintf(stderr, "kelvra: %s is not a BMP, JPEG or GIF picture\n", o.local_path.c_str());
            return kLocalFile;
        case 2:
            return command_done(34, o, "");
        default:
            return simple_command(o, r, "picture " + o.local_path + " shown on " + o.card_id);
    }
}

int run(Options& o) {
    if (o.transport == Transport::Serial &&
        SetComParam(o.serial_port, o.baud, 8, 0, 0) != 0) {  // 8 data bits, no parity, one stop bit
        std::fprintf(stderr, "kelvra: the serial settings were refused\n");
        return kBadUsage;
    }
    if (o.command != Command::Discover && o.command != Command::Info && !learn_card_id(o)) return kFailed;
    const char* id = o.card_id.c_str();
    const char* ip = o.address.c_str();
    const int proto = transport_type(o.transport);
    switch (o.command) {
        case Command::Discover:
            return discover(o);
        case Command::Info:
            return info(o);
        case Command::Reset:
            return simple_command(o, ResetCard(id, ip, proto), "reset sent to " + o.card_id);
        case Command::Brightness:
            return simple_command(o, SetLedScreenLight(id, ip, o.brightness, proto),
                                  "brightness " + std::to_string(o.brightness) + " sent to " + o.card_id);
        case Command::Clock:
            return clock(o);
        case Command::IoGet:
            return io_get(o);
        case Command::IoSet:
            return simple_command(o, SetIOState(id, ip, proto, 0, o.line, o.line_on ? 1 : 0),
                                  "line " + std::to_string(o.line) + (o.line_on ? " on" : " off"));
        case Command::SendFile:
            return send_file(o);
        case Command::SendFolder:
            return send_folder(o);
        case Command::Upgrade:
            return upgrade(o);
        case Command::ShowPicture:
            return show_picture(o);
    }
    return kBadUsage;
}

}  // namespace
}  // namespace kelvra_cli

int main(int argc, char** argv) {
    using namespace kelvra_cli;
    const Parsed parsed = parse(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.help) {
        std::fputs(kelvra_cli::kUsage, stdout);
        return kDone;
    }
    if (parsed.version) {
        std::printf("kelvra %s\n", KELVRA_CLI_VERSION);
        return kDone;
    }
    if (!parsed.options) {
        std::fprintf(stderr, "kelvra: %s\n(see kelvra --help)\n", parsed.error.c_str());
        return kBadUsage;
    }
    CallBack(on_status);
    KelvraSetMessageHandler(on_message, nullptr);
    Options options = *parsed.options;
    return run(options);
}
