// File, folder and firmware transfers of Kelvra in C++ form. A file goes to a card as a 212-byte
// FileHeaderRecord (command 0x01) followed by its bytes (0x02), both handed to SendCommand with the
// file transfer gate; a folder goes file by file over TCP in the caller's thread; a firmware upgrade
// runs on a thread of its own: announce (0x81 with the size in KiB), wait for the card's "Suc...",
// send the upgrade folder, finish (0x94). transfer_exports.cpp wraps these as the exported C functions.
//
// Local paths use "/" and take "\" as a separator too; card-side folder texts keep the card's "\".
//
// Threading: every function may be called from any thread. Asynchronous file sends (iProtoType 1 to 3)
// queue on the file transfer gate and run one at a time; folder sends block the caller; the upgrade
// thread is counted among the library's running jobs (wait_for_jobs).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_header.h"
#include "kelvra/kelvra.h"
#include "library/protocol/proto_type.h"

namespace kelvra {

inline constexpr std::uint32_t kFolderFileType = 4;  // every file of a folder transfer

enum TransferResult : int {
    kTransferOk = KELVRA_OK,
    kFolderPathHasDot = KELVRA_FOLDER_PATH_HAS_DOT,
    kFolderIncomplete = KELVRA_FOLDER_INCOMPLETE,
    kUpgradeNoMemory = KELVRA_UPGRADE_NOT_STARTED,
    kFileNoMemory = KELVRA_NO_MEMORY,          // SendFileToCard
    kFileUnreadable = KELVRA_FILE_UNREADABLE,  // SendFileToCard
    kCardNameTooLong = KELVRA_NAME_TOO_LONG,   // SendFileToCard
};

// The longest card file name or folder text a FileHeaderRecord field holds with its NUL.
inline constexpr std::size_t kMaxCardText = file_header::kTextSize - 1;

// The card file name taken from a local path: the part after its last "/" or "\" (the whole text
// when it has neither).
std::string card_file_name_of(std::string_view local_path);

// The card folder of a file sent by a folder transfer: the part of the file's path from the first
// folder named `base` (a whole path component, or several when `base` holds separators) up to the
// file's own name, with "\" separators. Empty when no folder of that name is on the path.
std::string card_folder_of(std::string_view local_file_path, std::string_view base);

struct FileSend {
    std::string_view card_id;
    std::string_view card_ip;
    ProtoType proto_type = ProtoType::Tcp;
    std::uint32_t parameter = 0;
    std::string_view local_path;
    std::string_view card_file_name;  // empty: card_file_name_of(local_path)
    std::string_view card_folder;     // empty: none
    std::uint32_t file_type = 0;
};
// 0 when the transfer started (asynchronous transports) or was sent (101 to 103); 20 (nothing is read
// or sent) when the card file name or folder is longer than 99 bytes; 19, 14, or the result of
// SendCommand (31, 32, 34, and for synchronous transports 60 or the failing send's code).
int send_file_to_card(const FileSend& send);

// Sends every file below `folder` (sorted by name, sub-folders in place) with send_file_to_card over
// TCP in the caller's thread (iProtoType 101), file type 4, card folder card_folder_of(path, base).
// `proto_type` is only passed on to sub-folders. A failing file does not stop the others.
// 0 all sent; 1 the folder path contains "."; 2 something was left out (a file or a sub-folder that
// could not be read or sent, a file whose card name or folder is longer than 99 bytes, a sub-folder whose
// name contains ".", or a folder that cannot be listed).
int send_folder_to_card(std::string_view card_id, std::string_view card_ip, ProtoType proto_type,
                        std::uint32_t parameter, std::string_view folder, std::string_view base);

// 0x81 with the total size of the files below `folder` in KiB (rounded down); the send job waits for
// the card's answer, which lands in the answer buffer. Result of SendCommand.
int upgrade_single_file(std::string_view card_id, std::string_view card_ip, ProtoType proto_type,
                        std::string_view folder);
// 0x94, no data. Result of SendCommand.
int upgrade_finished(std::string_view card_id, std::string_view card_ip, ProtoType proto_type);

// The card's answer to the upgrade announcement: a checked 0xC1 frame from `card_id`, its text (the
// data up to the first NUL) and whether it lets the upgrade go on ("Suc" in it). None for anything
// else. Pure; any bytes.
struct UpgradeAnswer {
    std::string text;
    bool go_ahead = false;
};
std::optional<UpgradeAnswer> upgrade_answer(std::span<const std::uint8_t> reply, std::string_view card_id);

// Starts the upgrade thread (all its commands synchronous over TCP): announce, wait 2000 ms, show
// "command type %d,answer %s"; when the answer contains "Suc", send the folder, wait 200 ms and
// finish. No answer: "NOt Receive aswer". A folder transfer that left something out ends the upgrade
// without 0x94 ("Upgrade stopped: files not sent"), so the card never applies half a firmware.
// 0 started, 1 it could not be started.
int upgrade_program(std::string_view card_id, std::string_view card_ip, std::uint32_t parameter,
                    std::string_view folder, std::string_view base);

}  // namespace kelvra
