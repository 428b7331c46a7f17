/* Part of the Kelvra public interface; include <kelvra/kelvra.h>, not this file.
 *
 * Programme records: the files a control card plays from. A programme folder holds the screen record
 * "Config.sys"; each area is a sub-folder (the first "Area0") with its area record "Config.sys"; a
 * play-list folder holds the play list "Config.sys", its BMP and GIF pictures, and its JPEG pictures in
 * the sub-folder "Jpeg". A download project is one file with the marker "LEDPRO". Record layouts:
 * docs/programme-files.md. Sending the folder to a card is done by the folder-transfer exports.
 *
 * Local paths separate with "/"; a "\" is taken as a separator too. Every writer first creates the
 * target folder and its missing parents, then writes the whole file (create or truncate).
 *
 * Threading: the writers may be called from any thread. The pending play list is library-wide and
 * guarded: AddPicStuntList and WritePlayList from several threads never corrupt it, but items added
 * before a WritePlayList belong to that list, whoever added them.
 */
#pragma once

/* Writes "<folder>/Config.sys", the 2316-byte screen record: marker "LED", screen words 9 = 0 and
 * 10 = 1, the 1600 bytes of `area_block` (the names of the area folders, copied unchanged), "END" and
 * the word sum; every other field 0. `word1` and `word2` are accepted and not stored.
 * Returns 0, or -1 when an argument is null or the file cannot be written. */
KELVRA_API int32_t WriteScreenConfig(const char* folder, uint32_t word1, uint32_t word2,
                                     const void* area_block);

/* Writes "<folder>/Config.sys", the 4728-byte area record: the area's place and size in screen pixels,
 * area words A and B (note the order: `word_a`, the 7th argument, is stored first), two fills, area
 * word C, area word D = 1 and the 2000 bytes of `list_block` twice. A fill is a picture (kind 3, the
 * name stored) when its name contains "jpg", "Jpg" or "jpeg" (case-sensitive), else the solid colour
 * 0x00BBGGRR (kind 2, red, green and blue apart); a null name is no picture.
 * Returns 0, or -1 when `folder` or `list_block` is null, a picture name has 100 bytes or more, or the
 * file cannot be written. */
KELVRA_API int32_t WriteAreaConfig(const char* folder, uint32_t left, uint32_t top, uint32_t width,
                                   uint32_t height, uint32_t word_b, uint32_t word_a, uint32_t colour1,
                                   const char* picture1, uint32_t colour2, const char* picture2,
                                   uint32_t word_c, const void* list_block);

/* Adds the picture at `path` to the pending play list with its seven numbers (loop count, entry and
 * clear effect codes, their speed codes, stay time in seconds, display mode code). The item's type
 * comes from the file's extension, any case: ".bmp", ".jpg" or ".jpeg", ".gif". The path is kept as
 * given; WritePlayList copies the file.
 * Returns 0 when added; 1 when not (no BMP, JPEG or GIF extension, a file name of 100 bytes or more,
 * 50 items already pending, a null path, out of memory), the list unchanged. */
KELVRA_API uint32_t AddPicStuntList(const char* path, uint32_t loop_count, uint32_t entry_effect,
                                    uint32_t clear_effect, uint32_t entry_speed, uint32_t clear_speed,
                                    uint32_t stay_seconds, uint32_t display_mode);

/* Writes "<folder>/Config.sys", the play list of the pending items (596 + 288 x N bytes), copies each
 * picture into the folder (JPEG pictures into its sub-folder "Jpeg") and empties the pending list.
 * A picture that cannot be copied is skipped silently.
 * Returns 0 when written; 1 when nothing is pending or memory runs out; 2 when the file cannot be
 * written. On 1 or 2 the pending list stays as it was. */
KELVRA_API uint32_t WritePlayList(const char* folder);

/* Writes the 1624-byte download project to `path`: marker "LEDPRO", `project_word`, the 1600 bytes of
 * `project_block`, "END" and the word sum. Creates the folder named by the path without its extension
 * ("p/show.LEDPRO" creates "p/show") and the path's own folder.
 * Returns 0, or -1 when an argument is null or the file cannot be written. */
KELVRA_API int32_t WriteLEDDownLoadProj(const char* path, uint32_t project_word, const void* project_block);
