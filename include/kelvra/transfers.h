/* Part of the Kelvra public interface; include <kelvra/kelvra.h>, not this file.
 *
 * File, folder and firmware transfers to a card.
 *
 * A file goes to the card as two commands: 0x01 with its KelvraFileHeaderRecord (one 244-byte packet),
 * then 0x02 with its bytes in 2000-byte pieces 10 ms apart (a file of 0 bytes: one piece of 0 bytes).
 * The card stores it as <folder>\<file name> in its own storage. Nothing is acknowledged by the card.
 *
 * Local paths separate with "/"; a "\" is taken as a separator too. Card folder and file name texts are
 * the card's own and keep its "\" separators; each holds at most 99 bytes: a longer one is refused
 * (SendFileToCard gives 20 and sends nothing), never cut, so two long names can never become one file.
 * cCardId, cCardIp and iProtoType are as in cards.h; null texts are taken as empty texts.
 *
 * Asynchronous sends (iProtoType 1 to 3) queue on the library's one file transfer gate: whatever the
 * card, their worker threads send one file at a time, in the order they take the gate; status 402 is
 * reported when a file's data has been sent and no other transfer holds the gate. A card that cannot
 * be reached reports 101 (card IP), a send that fails part way 51 or 52 (card id); the gate is given
 * back in every case. Over TCP a file counts as sent only once the card has acknowledged every byte
 * and is still connected: a card that hangs up mid-file gives 51 (within the send bound of cards.h,
 * 5 s without progress), however many of the sends had already returned.
 *
 * Threading: any thread. SendFolderToCard and the synchronous forms block the caller; UpgradeProgram
 * runs on a thread of its own and reports through the message handler (cards.h).
 */
#pragma once

/* The data of command 0x01, 212 bytes, little-endian, texts NUL-terminated and NUL-padded.
 *   offset 0   file type (4 for files of a folder transfer, otherwise the caller's value)
 *   offset 4   file length, the bytes that follow as 0x02
 *   offset 8   reserved, 0
 *   offset 12  card folder (100 bytes; empty: the card's own storage folder)
 *   offset 112 card file name (100 bytes) */
typedef struct KelvraFileHeaderRecord {
    uint32_t file_type;
    uint32_t file_length;
    uint32_t reserved;
    char folder[100];
    char file_name[100];
} KelvraFileHeaderRecord;

/* Reads a whole local regular file into a new buffer and stores its size through `length` (when not
 * null). Null when the file is missing, is not a regular file, cannot be read, changes length while it
 * is read, or is 4 GiB or longer. An empty file gives a valid buffer and length 0. The caller frees
 * the buffer with free(). */
KELVRA_API unsigned char* GetFileBuf(const char* path, uint32_t* length);

/* Sends the local file `localPath` as <cardFolder>\<cardFileName> with the given file type; every
 * packet carries `parameter`. An empty or null cardFileName takes the local file's own name (the part
 * after the last "/" or "\"); a null or empty cardFolder sends none.
 * Results: 0 the transfer started (1 to 3) or was sent (101 to 103); 20 the card file name (given or
 * taken from the local path) or the card folder is longer than 99 bytes, nothing is sent; 19 the
 * local file is missing or unreadable; 14 out of memory; otherwise what the send gave (the common
 * results of cards.h). The numbers have names in results.h. */
KELVRA_API int SendFileToCard(const char* cCardId, const char* cCardIp, int iProtoType, uint32_t parameter,
                              const char* localPath, const char* cardFileName, const char* cardFolder,
                              uint32_t fileType);

/* Sends every file below the local folder `folderPath`, sub-folders included, in name order, each with
 * SendFileToCard over TCP in the caller's thread (iProtoType 101), file type 4. A file's card folder
 * is the part of its path from the first folder named `baseFolderName` up to its own name, with "\"
 * separators ("<...>/Program/Area0/a.bmp" with base "Program" goes to "Program\Area0"); none when no
 * folder of that name is on its path. `iProtoType` is passed on to the sub-folders and not used.
 * Links are not followed. A file that fails does not stop the others.
 * Results: 0 everything was sent; 1 the folder path contains "." (nothing is sent); 2 something was
 * left out: a file that could not be read or sent, a file whose card name or folder is longer than 99
 * bytes, a sub-folder whose name contains ".", or a folder
 * that cannot be listed. */
KELVRA_API int SendFolderToCard(const char* cCardId, const char* cCardIp, int iProtoType, uint32_t parameter,
                                const char* folderPath, const char* baseFolderName);

/* Announces a firmware upgrade: 0x81 with the total size of the files below `upgradeFolder` in KiB
 * (rounded down). The send job then waits up to 6 s in total for the card's answer and keeps the
 * bytes that arrived, as received, in the library-wide answer buffer. `unused` carries nothing.
 * Result: that of the send (as cards.h). */
KELVRA_API int UpgradeSingleFile(const char* cCardId, const char* cCardIp, int iProtoType, int unused,
                                 const char* upgradeFolder);

/* Ends a firmware upgrade: 0x94, no data. `unused` carries nothing. Result: that of the send. */
KELVRA_API int UpGradeFinished(const char* cCardId, const char* cCardIp, int iProtoType, int unused);

/* Runs a firmware upgrade on a thread of its own, every command over TCP (iProtoType 101):
 * the announcement 0x81, a 2000 ms pause, then the message "command type %d,answer %s" (the answer's
 * command code in decimal and its text). The upgrade reads its own answer (a usable 0xC1 from this
 * card, see cards.h), not the library-wide answer buffer, so a GetIOState or an UpgradeSingleFile
 * on another thread neither takes it nor is taken for it. When the text contains "Suc":
 * SendFolderToCard with `parameter` and `baseFolderName`, a 200 ms pause and UpGradeFinished. No answer: the
 * message "NOt Receive aswer" and nothing more is sent; any other answer: nothing more is sent. When the
 * folder transfer left something out, the message "Upgrade stopped: files not sent" and no 0x94, so that the
 * card never finishes an upgrade with firmware files missing. `unused` carries nothing.
 * Results: 0 started, 1 it could not be started. */
KELVRA_API int UpgradeProgram(const char* cCardId, const char* cCardIp, int unused, uint32_t parameter,
                              const char* upgradeFolder, const char* baseFolderName);
