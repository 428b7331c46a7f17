// The C ABI of the file, folder and upgrade transfers: converts arguments and results and lets no
// exception out.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "kelvra/kelvra.h"
#include "library/base/c_boundary.h"
#include "library/base/folder_ops.h"
#include "library/protocol/file_transfer.h"

namespace {

using kelvra::boundary::guarded;
using kelvra::boundary::text;

// The public record and the encoder agree on every field.
static_assert(sizeof(KelvraFileHeaderRecord) == file_header::kSize);
static_assert(offsetof(KelvraFileHeaderRecord, file_type) == file_header::kTypeOffset);
static_assert(offsetof(KelvraFileHeaderRecord, file_length) == file_header::kLengthOffset);
static_assert(offsetof(KelvraFileHeaderRecord, reserved) == file_header::kBlocksOffset);
static_assert(offsetof(KelvraFileHeaderRecord, folder) == file_header::kFolderOffset);
static_assert(offsetof(KelvraFileHeaderRecord, file_name) == file_header::kNameOffset);
static_assert(sizeof(KelvraFileHeaderRecord::folder) == file_header::kTextSize);
static_assert(sizeof(KelvraFileHeaderRecord::file_name) == file_header::kTextSize);

}  // namespace

extern "C" {

unsigned char* GetFileBuf(const char* path, uint32_t* length) {
    if (path == nullptr) return nullptr;
    return guarded(nullptr, [&]() -> unsigned char* {
        const auto data = kelvra::GetFileBuf(path);
        if (!data) return nullptr;
        // One byte at least, so that an empty file still gives a buffer to tell it from a missing one.
        auto* out = static_cast<unsigned char*>(std::malloc(data->empty() ? 1 : data->size()));
        if (out == nullptr) return nullptr;
        if (!data->empty()) std::memcpy(out, data->data(), data->size());
        if (length != nullptr) *length = static_cast<uint32_t>(data->size());
        return out;
    });
}

int SendFileToCard(const char* cCardId, const char* cCardIp, int iProtoType, uint32_t parameter,
                   const char* localPath, const char* cardFileName, const char* cardFolder,
                   uint32_t fileType) {
    if (localPath == nullptr) return kelvra::kFileUnreadable;
    return guarded(kelvra::kFileNoMemory, [&] {
        kelvra::FileSend f;
        f.card_id = text(cCardId);
        f.card_ip = text(cCardIp);
        f.proto_type = kelvra::proto_type_of(iProtoType);
        f.parameter = parameter;
        f.local_path = localPath;
        f.card_file_name = text(cardFileName);
        f.card_folder = text(cardFolder);
        f.file_type = fileType;
        return kelvra::send_file_to_card(f);
    });
}

int SendFolderToCard(const char* cCardId, const char* cCardIp, int iProtoType, uint32_t parameter,
                     const char* folderPath, const char* baseFolderName) {
    if (folderPath == nullptr) return kelvra::kFolderIncomplete;
    return guarded(kelvra::kFolderIncomplete, [&] {
        return kelvra::send_folder_to_card(text(cCardId), text(cCardIp), kelvra::proto_type_of(iProtoType),
                                           parameter, folderPath, text(baseFolderName));
    });
}

int UpgradeSingleFile(const char* cCardId, const char* cCardIp, int iProtoType, int /*unused*/,
                      const char* upgradeFolder) {
    return guarded(KELVRA_OUT_OF_MEMORY, [&] {
        return kelvra::upgrade_single_file(text(cCardId), text(cCardIp), kelvra::proto_type_of(iProtoType),
                                           text(upgradeFolder));
    });
}

int UpGradeFinished(const char* cCardId, const char* cCardIp, int iProtoType, int /*unused*/) {
    return guarded(KELVRA_OUT_OF_MEMORY, [&] {
        return kelvra::upgrade_finished(text(cCardId), text(cCardIp), kelvra::proto_type_of(iProtoType));
    });
}

int UpgradeProgram(const char* cCardId, const char* cCardIp, int /*unused*/, uint32_t parameter,
                   const char* upgradeFolder, const char* baseFolderName) {
    return guarded(kelvra::kUpgradeNoMemory, [&] {
        return kelvra::upgrade_program(text(cCardId), text(cCardIp), parameter, text(upgradeFolder),
                                       text(baseFolderName));
    });
}

}  // extern "C"
