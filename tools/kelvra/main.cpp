// kelvra: a command line over the public C interface of libkelvra, and nothing else of this tree.
#include <kelvra/kelvra.h>
#include <pthread.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "options.h"
#include "progress.h"
#include "report.h"

namespace kelvra_cli {
namespace {

// Exit status and JSON output: docs/command-line.md, shared with vantor-cli.
enum Exit : int { kDone = 0, kFailed = 1, kBadUsage = 2, kLocalFile = 3, kNoCard = 4, kRefused = 5 };

constexpr int kTcpHere = 101;  // iProtoType: run in this thread, the call returns the outcome
constexpr int kUdpHere = 102;
constexpr int kSerial = 4;  // serial jobs always run on a library thread

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

// The command's result: text lines for standard output, or one JSON object with --json. Written by
// the main thread, and after it has ended (jobs on library threads) by the exit handler only.
struct Output {
    bool json = false;
    nlohmann::json document = nlohmann::json::object();
    std::string text;  // the text mode's result line
};
Output g_output;

// Ends the command: prints the result and returns `code`. A failure's message goes to standard
// error in both modes, and into the JSON object as "error" (a name) and "message".
int finish(int code, const char* error = nullptr, const std::string& message = {}) {
    if (error != nullptr) std::fprintf(stderr, "kelvra: %s\n", message.c_str());
    if (g_output.json) {
        g_output.document["ok"] = code == kDone;
        g_output.document["exit_code"] = code;
        if (error != nullptr) {
            g_output.document["error"] = error;
            g_output.document["message"] = message;
        }
        std::fputs(dump(g_output.document).c_str(), stdout);
    } else if (code == kDone && !g_output.text.empty()) {
        std::printf("%s\n", g_output.text.c_str());
    }
    std::fflush(stdout);
    return code;
}

bool failure_code(std::uint32_t code) {
    switch (code) {
        case KELVRA_STATUS_PACKET_NOT_BUILT:
        case KELVRA_STATUS_NO_JOB_SOCKET:
        case KELVRA_STATUS_TCP_SEND_FAILED:
        case KELVRA_STATUS_UDP_SEND_FAILED:
        case KELVRA_STATUS_BROADCAST_SEND_FAILED:
        case KELVRA_STATUS_BROADCAST_BIND_FAILED:
        case KELVRA_STATUS_NO_SOCKET:
        case KELVRA_STATUS_BAD_PROTO_TYPE:
        case KELVRA_STATUS_SET_BROADCAST_FAILED:
        case KELVRA_STATUS_SERIAL_PACKET_NOT_BUILT:
        case KELVRA_STATUS_SERIAL_WRITE_FAILED:
        case KELVRA_STATUS_SERIAL_SHORT_WRITE:
            return true;
        default:
            return false;
    }
}

const char* status_text(std::uint32_t code) {
    switch (code) {
        case KELVRA_STATUS_PACKET_NOT_BUILT:
            return "a packet could not be built";
        case KELVRA_STATUS_NO_JOB_SOCKET:
            return "the job had no connection";
        case KELVRA_STATUS_TCP_SEND_FAILED:
            return "sending over TCP failed";
        case KELVRA_STATUS_UDP_SEND_FAILED:
            return "sending over UDP failed";
        case KELVRA_STATUS_BROADCAST_SEND_FAILED:
            return "the broadcast could not be sent";
        case KELVRA_STATUS_BROADCAST_BIND_FAILED:
            return "the broadcast socket could not be bound";
        case KELVRA_STATUS_RECEIVE_FAILED:
            return "no answer arrived";
        case KELVRA_STATUS_NO_SOCKET:
            return "the card cannot be reached";
        case KELVRA_STATUS_BAD_PROTO_TYPE:
            return "unsupported transport";
        case KELVRA_STATUS_SET_BROADCAST_FAILED:
            return "broadcasts are not allowed on this socket";
        case KELVRA_STATUS_SERIAL_PACKET_NOT_BUILT:
            return "serial: a packet could not be built";
        case KELVRA_STATUS_SERIAL_WRITE_FAILED:
            return "serial: writing to the port failed";
        case KELVRA_STATUS_SERIAL_SHORT_WRITE:
            return "serial: a write was cut short";
        default:
            return nullptr;
    }
}

// The meaning of an export's result, for the user: the library's own text, or the status text of
// the send failures an asynchronous send reports with the same numbers.
std::string result_text(int code) {
    if (const char* t = status_text(static_cast<std::uint32_t>(code))) return t;
    return KelvraResultText(code);
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

void exit_after_jobs() {
    int code = kDone;
    const char* error = nullptr;
    std::string message;
    {
        std::lock_guard lock(g_events.mutex);
        if (g_waiting == Waiting::Upgrade) {
            const bool ok =
                g_events.upgrade_consented && !g_events.upgrade_stopped && !g_events.transfer_failed;
            if (g_events.upgrade_progress) g_events.upgrade_progress->finish(ok);
            if (g_events.upgrade_unanswered) {
                code = kNoCard;
                error = "no_answer";
                message = "the card did not answer the upgrade announcement";
            } else if (!ok) {
                code = kFailed;
                error = g_events.upgrade_refused ? "refused" : "transfer_failed";
                message = g_events.upgrade_refused ? "the card refused the upgrade" : "the upgrade broke off";
            }
        } else {
            bool port_failed = false;
            for (const auto& m : g_events.messages) port_failed = port_failed || m == "com open failed";
            if (port_failed) {
                code = kNoCard;
                error = "no_connection";
                message = "the serial port cannot be opened";
            } else if (g_events.transfer_failed) {
                code = kFailed;
                error = "transfer_failed";
                message = "writing to the serial port failed";
            }
        }
    }
    code = finish(code, error, message);
    std::fflush(stderr);
    std::_Exit(code);
}

[[noreturn]] void wait_for_library_jobs(Waiting what) {
    g_waiting = what;
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
    if (info[0] == 0) return false;
    o.card_id = cut_text(reinterpret_cast<const char*>(info.data()), 16);
    g_output.document["card"]["id"] = o.card_id;
    return true;
}

int no_card_at(const Options& o) {
    return finish(kNoCard, "no_answer",
                  "no card answered at " + o.address + " (give --card ID, or check the address)");
}

// The exit status and error name of an export's result (other than 0).
int result_failure(int result, const Options& o) {
    const std::string where = o.address.empty() ? o.card_id : o.address;
    const std::string message =
        where + ": " + result_text(result) + " (result " + std::to_string(result) + ")";
    switch (result) {
        case KELVRA_NO_CONNECTION:
            return finish(kNoCard, "no_connection", message);
        case KELVRA_NO_ANSWER:
            return finish(kNoCard, "no_answer", message);
        case KELVRA_FILE_UNREADABLE:
            return finish(kLocalFile, "read_failed", message);
        case KELVRA_NAME_TOO_LONG:
            return finish(kRefused, "name_too_long", message);
        default:
            return finish(kFailed, "failed", message);
    }
}

// A command that expects no answer: sent in this thread over TCP or UDP, on a library thread over a
// serial line.
int simple_command(const Options& o, int result, const std::string& what) {
    if (result != KELVRA_OK) return result_failure(result, o);
    g_output.text = what;
    if (o.transport == Transport::Serial) wait_for_library_jobs(Waiting::Serial);
    return finish(kDone);
}

void on_trace(int direction, const unsigned char* bytes, std::size_t size, void*) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string line = direction == 0 ? "kelvra: sent " : "kelvra: received ";
    line += std::to_string(size) + " bytes:";
    for (std::size_t i = 0; i < size; ++i) {
        line += ' ';
        line += kHex[bytes[i] >> 4];
        line += kHex[bytes[i] & 15];
    }
    line += '\n';
    std::lock_guard lock(g_events.mutex);
    std::fputs(line.c_str(), stderr);
}

int discover(const Options& o) {
    g_output.document["discovery_address"] = o.address;
    g_output.document["timeout_ms"] = o.timeout_ms;
    g_output.document["cards"] = nlohmann::json::array();
    const int r = KelvraDiscover(o.address.c_str(), o.timeout_ms);
    if (r != KELVRA_OK)
        return finish(kFailed, "no_socket",
                      "the discovery could not be sent to " + o.address + ": " + result_text(r) +
                          " (result " + std::to_string(r) + ")");
    std::array<char, 20> id{}, ip{};
    std::vector<FoundCard> cards;
    for (int n = 1; LoadCardInfor(id.data(), ip.data(), n) == 1; ++n)
        cards.push_back({cut_text(id.data(), id.size()), cut_text(ip.data(), ip.size())});
    for (const auto& c : cards) g_output.document["cards"].push_back(card_json(c));
    if (cards.empty()) return finish(kNoCard, "no_card", "no card answered the search at " + o.address);
    if (!g_output.json) std::fputs(cards_table(cards).c_str(), stdout);
    return finish(kDone);
}

int ports() {
    const auto found = serial_ports();
    g_output.document["ports"] = nlohmann::json::array();
    for (const auto& p : found) g_output.document["ports"].push_back(port_json(p));
    if (!g_output.json) std::fputs(ports_table(found).c_str(), stdout);
    return finish(kDone);
}

int info(Options& o) {
    if (!learn_card_id(o)) return no_card_at(o);
    std::array<unsigned char, kInfoBlockSize> block{};
    std::array<unsigned char, kMoreBlockSize> more{};
    GetCardInfoByTcp(o.card_id.c_str(), o.address.c_str(), block.data());
    if (block[0] == 0)
        return finish(kNoCard, "no_answer", "card " + o.card_id + " at " + o.address + " did not answer");
    GetCardMoreInfoByTcp(o.card_id.c_str(), o.address.c_str(), more.data());
    const CardReport report = read_report(block, more[0] != 0 ? &more : nullptr);
    g_output.document["card"] = card_json(report);
    if (!g_output.json) std::fputs(report_table(report).c_str(), stdout);
    return finish(kDone);
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
    g_output.document["clock"] = v;
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
    if (r != 0 && r != 1) return result_failure(r, o);
    g_output.document["line"] = o.line;
    g_output.document["on"] = r == 1;
    g_output.document["output_lines"] = static_cast<std::uint32_t>(outputs);
    g_output.document["input_lines"] = static_cast<std::uint32_t>(inputs);
    if (!g_output.json)
        std::printf("line %d: %s\noutput lines: 0x%08X\ninput lines:  0x%08X\n", o.line,
                    r == 1 ? "on" : "off", static_cast<unsigned>(outputs), static_cast<unsigned>(inputs));
    return finish(kDone);
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
    g_output.document["file"] = o.local_path;
    if (!readable_file(o.local_path, size))
        return finish(kLocalFile, "read_failed", o.local_path + " is not a readable file");
    const std::string name =
        o.card_name.empty() ? std::filesystem::path(o.local_path).filename().string() : o.card_name;
    const std::string card_path = o.card_folder.empty() ? name : o.card_folder + "\\" + name;
    g_output.document["bytes"] = size;
    g_output.document["card_path"] = card_path;
    const std::string done = "sent " + o.local_path + " (" + std::to_string(size) + " bytes) as " + card_path;
    Progress progress(name, size, expected_send_time(size, 1),
                      !o.quiet && !g_output.json && o.transport != Transport::Serial);
    const int r =
        SendFileToCard(o.card_id.c_str(), o.address.c_str(), transport_type(o.transport), o.parameter,
                       o.local_path.c_str(), o.card_name.c_str(), o.card_folder.c_str(), o.file_type);
    progress.finish(r == KELVRA_OK);
    if (r == KELVRA_FILE_UNREADABLE)
        return finish(kLocalFile, "read_failed", o.local_path + " cannot be read");
    return simple_command(o, r, done);
}

int send_folder(const Options& o) {
    std::uint64_t bytes = 0, files = 0;
    g_output.document["folder"] = o.local_path;
    if (!folder_size(o.local_path, bytes, files))
        return finish(kLocalFile, "read_failed", o.local_path + " is not a readable folder");
    Progress progress(std::filesystem::path(o.local_path).filename().string(), bytes,
                      expected_send_time(bytes, files), !o.quiet && !g_output.json);
    const int r = SendFolderToCard(o.card_id.c_str(), o.address.c_str(), kTcpHere, o.parameter,
                                   o.local_path.c_str(), o.base_folder.c_str());
    progress.finish(r == KELVRA_OK);
    switch (r) {
        case KELVRA_OK:
            g_output.document["files"] = files;
            g_output.document["bytes"] = bytes;
            g_output.text = "sent " + std::to_string(files) + " files (" + std::to_string(bytes) +
                            " bytes) from " + o.local_path;
            return finish(kDone);
        case KELVRA_FOLDER_PATH_HAS_DOT:
            return finish(kLocalFile, "bad_folder_name",
                          "a folder path with a \".\" in it is not sent: " + o.local_path);
        default:
            return finish(kFailed, "transfer_failed",
                          "some files were not sent (unreadable, unreachable card, names over 99 bytes, or "
                          "sub-folders with a \".\" in their name)");
    }
}

int upgrade(const Options& o) {
    std::uint64_t bytes = 0, files = 0;
    g_output.document["folder"] = o.local_path;
    if (!folder_size(o.local_path, bytes, files))
        return finish(kLocalFile, "read_failed", o.local_path + " is not a readable folder");
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
        g_events.quiet = o.quiet || g_output.json;
    }
    const int r = UpgradeProgram(o.card_id.c_str(), o.address.c_str(), 0, o.parameter, o.local_path.c_str(),
                                 base.c_str());
    if (r == KELVRA_UPGRADE_NOT_STARTED)
        return finish(kFailed, "failed",
                      o.card_id + ": the upgrade could not be started (result " + std::to_string(r) + ")");
    if (r != KELVRA_OK) return result_failure(r, o);
    g_output.document["files"] = files;
    g_output.document["bytes"] = bytes;
    std::fprintf(stderr, "kelvra: announcing %llu files (%llu bytes) to %s\n",
                 static_cast<unsigned long long>(files), static_cast<unsigned long long>(bytes),
                 o.card_id.c_str());
    g_output.text = "upgrade sent; the card restarts with the new firmware";
    wait_for_library_jobs(Waiting::Upgrade);
}

int show_picture(const Options& o) {
    std::uint64_t size = 0;
    g_output.document["file"] = o.local_path;
    if (!readable_file(o.local_path, size))
        return finish(kLocalFile, "read_failed", o.local_path + " is not a readable file");
    const int r = ShowPicture(o.card_id.c_str(), o.address.c_str(), transport_type(o.transport), o.parameter,
                              o.local_path.c_str());
    // ShowPicture's own results; the others are those of every send.
    switch (r) {
        case KELVRA_SHOW_UNREADABLE:
            return finish(kLocalFile, "not_a_picture", o.local_path + " cannot be read as a picture");
        case KELVRA_NOT_A_PICTURE:
            return finish(kLocalFile, "not_a_picture", o.local_path + " is not a BMP, JPEG or GIF picture");
        case KELVRA_SHOW_NO_MEMORY:
            return result_failure(KELVRA_OUT_OF_MEMORY, o);
        default:
            return simple_command(o, r, "picture " + o.local_path + " shown on " + o.card_id);
    }
}

const char* command_name(Command c) {
    switch (c) {
        case Command::Discover:
            return "discover";
        case Command::Ports:
            return "ports";
        case Command::Info:
            return "info";
        case Command::Reset:
            return "reset";
        case Command::Brightness:
            return "brightness";
        case Command::Clock:
            return "clock";
        case Command::IoGet:
            return "io get";
        case Command::IoSet:
            return "io set";
        case Command::SendFile:
            return "send-file";
        case Command::SendFolder:
            return "send-folder";
        case Command::Upgrade:
            return "upgrade";
        case Command::ShowPicture:
            return "show-picture";
    }
    return "";
}

int run(Options& o) {
    g_output.json = o.json;
    g_output.document["command"] = command_name(o.command);
    if (o.trace) KelvraSetTraceHandler(on_trace, nullptr);
    if (o.command == Command::Discover) return discover(o);
    if (o.command == Command::Ports) return ports();
    g_output.document["card"] = {{"id", o.card_id}, {"address", o.address}};
    if (o.transport == Transport::Serial) {
        // A device path stands in for COM1: the library opens the device KELVRA_COM1 names.
        if (!o.port_device.empty()) {
            ::setenv("KELVRA_COM1", o.port_device.c_str(), 1);
            o.serial_port = 1;
        }
        if (SetComParam(o.serial_port, o.baud, 8, 0, 0) != 0)  // 8 data bits, no parity, one stop bit
            return finish(kBadUsage, "usage", "the serial settings were refused");
    }
    if (o.command != Command::Info && !learn_card_id(o)) return no_card_at(o);
    const char* id = o.card_id.c_str();
    const char* ip = o.address.c_str();
    const int proto = transport_type(o.transport);
    switch (o.command) {
        case Command::Discover:
        case Command::Ports:
            break;
        case Command::Info:
            return info(o);
        case Command::Reset:
            return simple_command(o, ResetCard(id, ip, proto), "reset sent to " + o.card_id);
        case Command::Brightness:
            g_output.document["brightness"] = o.brightness;
            return simple_command(o, SetLedScreenLight(id, ip, o.brightness, proto),
                                  "brightness " + std::to_string(o.brightness) + " sent to " + o.card_id);
        case Command::Clock:
            return clock(o);
        case Command::IoGet:
            return io_get(o);
        case Command::IoSet:
            g_output.document["line"] = o.line;
            g_output.document["on"] = o.line_on;
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
    const Parsed parsed = parse(std::vector<std::string>(argv + 1, argv + argc), KELVRA_CLI_VERSION);
    if (!parsed.output.empty()) {
        std::fputs(parsed.output.c_str(), stdout);
        return kDone;
    }
    if (!parsed.options) {
        std::fprintf(stderr, "kelvra: %s\n(see kelvra --help, or kelvra COMMAND --help)\n",
                     parsed.error.c_str());
        return kBadUsage;
    }
    CallBack(on_status);
    KelvraSetMessageHandler(on_message, nullptr);
    Options options = *parsed.options;
    return run(options);
}
