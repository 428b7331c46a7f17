/* Part of the Kelvra public interface; include <kelvra/kelvra.h>, not this file.
 *
 * Display windows and the live display of a running card: windows opened, filled with pictures and
 * videos, locked and closed; a picture or a screen capture shown at once; a picture flashing over
 * regions; effect lists of pictures with their entry and clear effects. Block layouts:
 * docs/protocol.md ("Display windows and live display").
 *
 * Common arguments (as cards.h): cCardId, cCardIp, iProtoType; `parameter` is the command parameter
 * every block of the call carries. Null texts are taken as empty texts; the caller keeps ownership of
 * everything it passes. Window numbers, rectangle words and the other words are the card's own: the
 * library carries them unchanged.
 *
 * Pictures. The kind of a picture comes from its file name's extension, any case: ".bmp", ".jpg" or
 * ".jpeg", ".gif" (a folder name never decides it). A picture is named on the card "Pic<n>" and the
 * extension of what is sent, where <n> is a library-wide counter that starts at 0, is taken by every
 * naming attempt (a refused file included) and follows 1000 with 0. A BMP is re-encoded before it is
 * sent: as GIF when the GIF switch is 1 (the switch counts for BMP files only), else as a standard
 * 24-bit (or palettised) BMP; a BMP that cannot be converted is refused (17), never sent as it is.
 * JPEG and GIF files go as they are. A picture whose headers declare more than the size cap of
 * imaging.h (KELVRA_MAX_PICTURE_PIXELS, KELVRA_MAX_PICTURE_SIDE) is refused with
 * KELVRA_PICTURE_TOO_LARGE (21) before anything is decoded or sent; so is a JPEG or GIF whose size
 * cannot be read from its headers (17): nothing goes to a card that it cannot show.
 *
 * A picture or video goes to the card as a file (0x01 header, 0x02 data) in the same job as the
 * command that uses it, so that command never overtakes its file. Sends that carry a card's pictures
 * (AddPicToWnd, AddVideoToWnd, AddPicAndStunt, ShowPicStunt in waiting mode) queue on that card's gate,
 * the card's entry of the connected card table (ConnectCardSuccessOrFaile), or its first entry for a
 * card not in the table: asynchronous jobs to one card run one at a time. The window commands that
 * carry no file (CreateWnd, DelPicInWnd, LockOrUnlockWnd, DestroyWnd, CreateMuliAreaWindow,
 * InsertListToArea) take no gate: with iProtoType 1 to 3 each runs on its own thread, so a caller that
 * needs one to reach the card before the next call's frames uses 101 to 103, or waits for its 4098.
 *
 * Results: 0 = the job was handed over (iProtoType 1 to 5) or done (101 to 103); otherwise the codes
 * each function lists, and the common results of cards.h; results.h names them all. Outcomes of
 * asynchronous jobs arrive through the status callback: 402 after a file, 4098 after a window command
 * (0x91).
 *
 * Threading: any thread. The naming counter, each card's effect list and the region list are
 * library-wide, each under its own lock: callers on several threads never corrupt them, but a
 * card's effect list and the region list are shared by all callers of the library.
 */
#pragma once

/* ---- Display windows ------------------------------------------------------------------------- */

/* Opens a multi-area window: 0x91, operation 16 (392 bytes) with the four rectangle words, the
 * area-set word and the area word. Result: that of the send. */
KELVRA_API int CreateMuliAreaWindow(uint32_t rect1, uint32_t rect2, uint32_t rect3, uint32_t rect4,
                                    uint32_t areaSetWord, uint32_t areaWord, const char* cCardId,
                                    const char* cCardIp, uint32_t parameter, int iProtoType);

/* Inserts a list into an area: 0x91, operation 17 (8 bytes) with the list word. `unused1` and
 * `unused2` carry nothing. Result: that of the send. */
KELVRA_API int InsertListToArea(uint32_t listWord, int unused1, const char* cCardId, const char* cCardIp,
                                uint32_t parameter, int iProtoType, int unused2);

/* Opens window `window`: 0x91, operation 2 (448 bytes) with the window word, the four rectangle words
 * (the card reads them as left, top, width, height), the style word and, when `marker` is 1, the
 * marker 0xAA55AA55. Result: that of the send. */
KELVRA_API int CreateWnd(uint32_t window, const char* cCardId, const char* cCardIp, int iProtoType,
                         uint32_t parameter, uint32_t rect1, uint32_t rect2, uint32_t rect3, uint32_t rect4,
                         uint32_t windowWord, uint32_t styleWord, int marker);

/* Adds the video at `videoPath` (".avi", any case) to window `window`: the file under its own name in
 * the card folder named by the window number (file type 4), then operation 3 with a play item tagged
 * "vod". `unused` carries nothing.
 * Results: 0; -1 not an ".avi" file; 20 its name is longer than 99 bytes; 17 it cannot be read;
 * 14 out of memory; otherwise that of the send. */
KELVRA_API int AddVideoToWnd(uint32_t window, const char* videoPath, const char* cCardId, const char* cCardIp,
                             int iProtoType, int unused);

/* Adds the picture at `picturePath` to window `window`: the file as "Pic<n>.<ext>" in the card folder
 * named by the window number (file type 4), then operation 3 with a play item tagged "gif" (GIF switch
 * on), else "bmp", "jpg" or "gif", carrying the seven numbers (loop count, entry and clear effect, their
 * speeds, stay seconds, display mode; codes of the effect vocabulary). `gifSwitch` 1 converts a BMP to
 * GIF. Results: 0; 13 not a BMP, JPEG or GIF file (nothing is sent, the counter advances); 17 the file
 * cannot be read or converted; 21 the picture is larger than the cap; 14 out of memory; otherwise
 * that of the send. */
KELVRA_API int AddPicToWnd(uint32_t window, const char* picturePath, const char* cCardId, const char* cCardIp,
                           int iProtoType, uint32_t loopCount, uint32_t entryEffect, uint32_t clearEffect,
                           uint32_t entrySpeed, uint32_t clearSpeed, uint32_t staySeconds,
                           uint32_t displayMode, int gifSwitch);

/* Deletes the card file `cardFileName` from window `window`: 0x91, operation 4.
 * Results: 0; 20 the name is longer than 99 bytes (nothing is sent); otherwise that of the send. */
KELVRA_API int DelPicInWnd(uint32_t window, const char* cardFileName, const char* cCardId,
                           const char* cCardIp, int iProtoType);

/* Locks or unlocks window `window`: 0x91, operation 6 with `lockWord`; every byte after offset 16 is 0.
 * `unused` carries nothing. Result: that of the send. */
KELVRA_API int LockOrUnlockWnd(uint32_t window, const char* cCardId, const char* cCardIp, int unused,
                               int iProtoType, uint32_t lockWord);

/* Closes window `window`: 0x91, operation 7. Result: that of the send. */
KELVRA_API int DestroyWnd(uint32_t window, const char* cCardId, const char* cCardIp, int iProtoType);

/* ---- Live display ---------------------------------------------------------------------------- */

/* Shows the picture at `picturePath` at once: the file as "Pic<n>.<ext>", file type 5. Sends of
 * ShowPicture run one at a time. Results: 0; 1 the picture cannot be read or converted; 21 the picture
 * is larger than the cap; 13 not a BMP, JPEG or GIF file; 2 out of memory; otherwise that of the
 * send. */
KELVRA_API int ShowPicture(const char* cCardId, const char* cCardIp, int iProtoType, uint32_t parameter,
                           const char* picturePath);

/* Captures the screen area (left, top, right, bottom, as GetScreenPic) as a JPEG and sends it as
 * "ScreenPic.jpg", file type 5. Sends of SendScreenPicToCards run one at a time.
 * Results: 0; 17 the capture failed (no display, an empty or off-screen area, a screen whose colours
 * cannot be read); 21 the captured area is larger than the picture cap; 14 out of memory; otherwise
 * that of the send. */
KELVRA_API int SendScreenPicToCards(int32_t left, int32_t top, int32_t right, int32_t bottom,
                                    const char* cCardId, const char* cCardIp, uint32_t parameter,
                                    int iProtoType);

/* Lists one region (five words, kept in this order) for the next RealTimeInsertGlintWindow.
 * Results: the number of regions now listed (1 to 64); -1 when 64 are listed already (nothing added,
 * a flashing window has room for 64); 0 out of memory (the list unchanged). */
KELVRA_API int CreateWindowRegin(uint32_t word1, uint32_t word2, uint32_t word3, uint32_t word4,
                                 uint32_t word5);

/* Flashes the picture at `picturePath` over the listed regions: the picture as "Pic<n>.<ext>" (file
 * type 6), then, 400 ms after its last byte and on the same connection, 0x92 with the
 * GlintWindowBlock (the card file name, the regions, `flashWord`). The regions are taken when the
 * result is 0 and kept for a later call otherwise.
 * Results: 0; 17 the picture cannot be read or converted; 21 it is larger than the cap; 13 not a BMP,
 * JPEG or GIF file; 14 out of memory; otherwise that of the send. */
KELVRA_API int RealTimeInsertGlintWindow(const char* cCardId, const char* cCardIp, uint32_t parameter,
                                         int iProtoType, const char* picturePath, uint32_t flashWord);

/* Adds the picture `cPicFileName` to the card's effect list: the file as "Pic<n>.<ext>" (file type 7),
 * through the card's gate. The item (tagged as in AddPicToWnd, with the seven numbers) joins the
 * card's list (kept per card IP text) when the result is 0.
 * Results: 0; 13 not a BMP, JPEG or GIF file; 17 the file cannot be read or converted; 21 the picture
 * is larger than the cap; 14 out of memory; otherwise that of the send (nothing is listed). */
KELVRA_API int AddPicAndStunt(const char* cCardId, const char* cCardIp, int iProtoType, uint32_t parameter,
                              const char* cPicFileName, uint32_t loopCount, uint32_t entryEffect,
                              uint32_t clearEffect, uint32_t entrySpeed, uint32_t clearSpeed,
                              uint32_t staySeconds, uint32_t displayMode, int gifSwitch);

/* Starts the card's effect list: the StuntListRecord of the listed pictures as the file "Config.sys"
 * (file type 7), then 0x91 with the 604-byte start block; the card's list is then empty (also when
 * the send fails). `windowSwitch` 1 plays the list in the rectangle (0x55AA55AA and the four words
 * in the record); `markerSwitch` 1 sets 0xAA55AA55 in it.
 * `immediate` 1: refuses with 16 while a transfer to the card is under way, else sends at once.
 * Otherwise: waits, without using the processor, until the card's transfers are through (at most
 * 120 s, then 16), and sends through the card's gate, so the list always follows its pictures.
 * Results: 0; 15 no picture listed for this card (nothing is sent); 16 the card is busy; 14 out of
 * memory; otherwise that of the send. */
KELVRA_API int ShowPicStunt(int windowSwitch, uint32_t rect1, uint32_t rect2, uint32_t rect3, uint32_t rect4,
                            int markerSwitch, const char* cCardId, const char* cCardIp, uint32_t parameter,
                            int iProtoType, int immediate);

/* Ends the card's effect list: 0x95, no data, parameter 0. `unused` carries nothing.
 * Result: that of the send. */
KELVRA_API int ExitPicStunt(const char* cCardId, const char* cCardIp, int iProtoType, int unused);
