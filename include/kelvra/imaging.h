/* Part of the Kelvra public interface; include <kelvra/kelvra.h>, not this file.
 *
 * Picture capture and conversion: a part of the screen or of a window captured, device-independent
 * bitmaps (DIBs) and BMP files converted to JPEG, GIF or BMP files in memory, optionally reduced to
 * 256 colours first, and such memory files saved to disk.
 *
 * Memory blocks. A memory image (a whole JPEG, GIF or BMP file as it would lie on disk) and a DIB are
 * both passed as a KelvraMemoryBlock: `data` points at `size` bytes. Every block a function here
 * returns is allocated by the library and belongs to the caller, who releases it (the bytes and the
 * record) with KelvraFreeMemoryBlock and with nothing else. A block the caller passes in stays the
 * caller's: the library only reads it during the call, so it may as well be a record on the caller's
 * stack pointing at the caller's own bytes.
 *
 * DIB layout (what LoadBmpToDIB returns and DIBFormatCovert expects): a 40-byte BITMAPINFOHEADER, the
 * colour table (2^bits 4-byte entries blue, green, red, 0 for 1, 4 and 8 bits per pixel; none for 24),
 * then the pixel rows bottom-up, each padded to a multiple of 4 bytes. DIBFormatCovert also reads the
 * other header sizes, 16 and 32 bits per pixel and BI_BITFIELDS masks, with the pixels directly after
 * the masks and colour table.
 *
 * BMP files are read strictly: the 12-byte OS/2 and the 40, 52, 56, 108 and 124-byte Windows headers,
 * 1, 4, 8, 16, 24 and 32 bits per pixel, BI_RGB and BI_BITFIELDS, rows bottom-up or top-down, and
 * run-length rows of 8 and 4 bits (BI_RLE8, BI_RLE4; bottom-up). A file whose header fields do not fit
 * the bytes present, or that is otherwise compressed, is refused (the function gives none); no byte
 * outside the file is ever read.
 *
 * Picture size cap: a picture this library reads (MBmpToMImage, DIBFormatCovert, LoadBmpToDIB) or
 * sends to a card (display.h) has at most KELVRA_MAX_PICTURE_SIDE pixels a side and
 * KELVRA_MAX_PICTURE_PIXELS pixels in all: four times the 1024 x 512 pixels of a card's mapping table,
 * the largest screen a card drives (a 1920 x 1080 picture fits). The size a file declares in its
 * headers is checked before a pixel is decoded, so a small file that declares a huge picture costs
 * neither time nor memory: the conversions give none, the sends refuse it with
 * KELVRA_PICTURE_TOO_LARGE. Screen captures saved to disk are bounded by the screen instead.
 *
 * Encoders: JPEG baseline at quality 100 without chroma subsampling (4:4:4); GIF with one 8-bit
 * palette (a picture with more colours is reduced with the octree below); BMP 24-bit, or 1, 4 or 8-bit
 * with its palette for a palettised picture.
 *
 * Reduce switch (not 0): before encoding, the picture is reduced to 8 bits per pixel with a palette of
 * at most 256 colours made by octree colour quantisation (8 levels), each pixel taking its nearest
 * palette colour.
 *
 * Format texts. Capture (GetScreenPic, SaveScreenPic, the path of SaveScreenPicNew): a text containing
 * "jpg", "jpeg" or "JPG" means JPEG; else one containing "gif", "Gif" or "GIF" means GIF; else one
 * containing "bmp", "Bmp" or "BMP" means BMP; anything else (also null) means JPEG.
 * MBmpToMImage and DIBFormatCovert: the lower-cased text containing "jpeg" or "jpg" means JPEG, "gif"
 * GIF, "bmp" BMP; anything else (also null) is refused.
 *
 * Screen and windows (X11). The screen is the default screen of the display $DISPLAY names; its
 * colours are read through the visual's RGB masks (TrueColor) or through its colormap, the current
 * palette (PseudoColor, StaticColor, GrayScale, StaticGray); a screen of any other visual
 * (DirectColor) is refused, never captured as black. Screen rectangles are in the screen's pixels,
 * origin top left, `right` and `bottom` exclusive. A rectangle with
 * right <= left or bottom <= top is empty and captures nothing; any other is clipped to the screen
 * (left and top not below 0, right and bottom not beyond the screen's width and height). A capture
 * takes what is visible there, windows over the area included. Without a display every capture gives
 * none (or its failure number) and nothing else happens.
 *
 * Paths are local Linux paths and must be absolute (they begin with "/"; a "\" is taken as "/"): this
 * is what a drive path such as "D:\ncp.jpg" is on Windows. A relative path writes nothing.
 *
 * Threading: any thread. Captures open a display connection of their own for each call.
 */
#pragma once

/* The picture size cap (above). */
#define KELVRA_MAX_PICTURE_SIDE 16384
#define KELVRA_MAX_PICTURE_PIXELS 2097152
/* The picture sends of display.h give KELVRA_PICTURE_TOO_LARGE (results.h) for a picture larger than the
 * cap; nothing is sent. */

/* A block of bytes: a memory image or a DIB. */
typedef struct KelvraMemoryBlock {
    unsigned char* data;
    uint32_t size;
} KelvraMemoryBlock;

/* A rectangle: left, top, right, bottom (right and bottom exclusive). */
typedef struct KelvraRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
} KelvraRect;

/* Releases a block returned by any function of this header (its bytes and the record). Null is
 * ignored. Never pass a block the caller made itself. */
KELVRA_API void KelvraFreeMemoryBlock(KelvraMemoryBlock* block);

/* Converts a memory BMP file (`bmpFile`, read only) to a new memory image in the format `format`
 * names (JPEG, GIF or BMP, as above). Null when the block is null or empty, the format is refused
 * ("tif" for one), the BMP declares a picture larger than the cap, or it cannot be read; the format
 * and the size are checked before anything is decoded. The caller frees the result with
 * KelvraFreeMemoryBlock. */
KELVRA_API KelvraMemoryBlock* MBmpToMImage(const KelvraMemoryBlock* bmpFile, const char* format);

/* Reads the BMP file at `path` into a new DIB in the layout above (its 14-byte file header, which must
 * begin with "BM", dropped; rows bottom-up; a palettised file keeps its bit count, any other becomes
 * 24-bit). Null when the path does not contain ".bmp" (case-sensitive: "a.BMP" is refused), the file
 * is missing or unreadable, it is not a BMP this library reads, or it declares a picture larger than
 * the cap. The caller frees the result with KelvraFreeMemoryBlock. */
KELVRA_API KelvraMemoryBlock* LoadBmpToDIB(const char* path);

/* Converts a DIB (`dib`, read only) to a new memory image in the format `format` names (as
 * MBmpToMImage). Null when the block is null or empty, the format is refused, the DIB declares a
 * picture larger than the cap, or it cannot be read. The caller frees the result with
 * KelvraFreeMemoryBlock. */
KELVRA_API KelvraMemoryBlock* DIBFormatCovert(const KelvraMemoryBlock* dib, const char* format);

/* Writes the whole memory image to `path` (created or truncated). Returns 1 when it was written, 0
 * when the path is null or not absolute, the image is null or empty, or the file could not be written
 * completely. The block stays the caller's. */
KELVRA_API int32_t SaveMemFileToDisk(const KelvraMemoryBlock* image, const char* path);

/* Captures the screen rectangle (left, top, right, bottom), reduces it to 256 colours when `reduce` is
 * not 0, and encodes it in the format `format` names (capture classification). Null when the
 * rectangle is empty or off the screen, there is no display, or the encoding fails. The caller frees
 * the result with KelvraFreeMemoryBlock. */
KELVRA_API KelvraMemoryBlock* GetScreenPic(int32_t left, int32_t top, int32_t right, int32_t bottom,
                                           const char* format, int32_t reduce);

/* GetScreenPic, then SaveMemFileToDisk to `path`. Returns 1 when the picture was made and written, 0
 * otherwise. */
KELVRA_API int32_t SaveScreenPic(int32_t left, int32_t top, int32_t right, int32_t bottom, const char* path,
                                 const char* format, int32_t reduce);

/* As SaveScreenPic with the format taken from `path` by the capture classification (a path ending in
 * ".GIF" saves a GIF, one ending in ".png" a JPEG under that name). Returns 0 when the picture was
 * written, 1 when the capture, the encoding or the writing failed. */
KELVRA_API int32_t SaveScreenPicNew(int32_t left, int32_t top, int32_t right, int32_t bottom,
                                    const char* path, int32_t reduce);

/* Saves as a JPEG at `path` what is visible of the X window `window` (an X window id: what a Qt
 * window's winId() gives) inside `rect`, given in the window's client coordinates (relative to its own
 * top-left corner). The area is clipped to the screen; windows lying over it are in the picture.
 * Returns KELVRA_OK when the JPEG was written, KELVRA_WND_JPG_ENCODING_FAILED (1) when the JPEG
 * encoding failed, KELVRA_WND_JPG_NOTHING_CAPTURED (2) when nothing was captured (an empty rectangle,
 * no display, no such window, an area off the screen) or the file could not be written,
 * KELVRA_WND_JPG_UNREADABLE_COLOURS (3) when the screen's visual is one whose colours are not read (above).
 */
KELVRA_API int32_t SaveWndJpg(unsigned long window, const char* path, KelvraRect rect);
