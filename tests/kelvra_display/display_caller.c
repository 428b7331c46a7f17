/* A plain C caller of libkelvra's display windows: opens a window on a card, adds a BMP and a JPEG
 * to it, runs an effect list beside it and closes the window, and after each step checks the card's
 * rendered screen ("screen.png" in the simulated card's folder) by its pixels.
 *
 * Usage: kelvra_display_caller <card id> <card ip> <card folder> <red BMP> <blue JPEG>
 * Exit status 0 when every step did what it should; otherwise a line on standard error says which
 * step failed. The screen PNG is read as ledcard-sim writes it: 8-bit RGB, stored (uncompressed)
 * deflate blocks, no row filters, 4 pixels a side per LED. */
#define _POSIX_C_SOURCE 200809L /* nanosleep */

#include <kelvra/kelvra.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define SCALE 4u
#define TRANSPORT 101 /* TCP in this thread: each call returns once its frames are sent */

static const char* screen_path;

static uint32_t be32(const unsigned char* p) {
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | (uint32_t)p[3];
}

static unsigned char* read_all(const char* path, size_t* size) {
    FILE* f = fopen(path, "rb");
    unsigned char* data = NULL;
    long n;
    if (f == NULL) return NULL;
    if (fseek(f, 0, SEEK_END) == 0 && (n = ftell(f)) > 0 && fseek(f, 0, SEEK_SET) == 0) {
        data = malloc((size_t)n);
        if (data != NULL && fread(data, 1, (size_t)n, f) != (size_t)n) {
            free(data);
            data = NULL;
        }
        *size = (size_t)n;
    }
    fclose(f);
    return data;
}

/* The LED at (x, y) of the screen PNG as 0xRRGGBB; -1 when the file is missing or not of the form
 * above. */
static long screen_led(uint32_t x, uint32_t y) {
    size_t size = 0, at = 8, zsize = 0, zat, row_bytes, raw_at = 0;
    unsigned char* png = read_all(screen_path, &size);
    unsigned char* z = NULL;
    unsigned char* raw = NULL;
    uint32_t width = 0, height = 0, px, py;
    long result = -1;
    if (png == NULL || size < 8 || memcmp(png, "\x89PNG\r\n\x1a\n", 8) != 0) goto done;
    z = malloc(size);
    if (z == NULL) goto done;
    while (at + 12 <= size) {
        const uint32_t len = be32(png + at);
        const unsigned char* type = png + at + 4;
        if (at + 12 + len > size) goto done;
        if (memcmp(type, "IHDR", 4) == 0) {
            width = be32(png + at + 8);
            height = be32(png + at + 12);
            if (png[at + 16] != 8 || png[at + 17] != 2) goto done;
        } else if (memcmp(type, "IDAT", 4) == 0) {
            memcpy(z + zsize, png + at + 8, len);
            zsize += len;
        }
        at += 12 + len;
    }
    px = x * SCALE + SCALE / 2;
    py = y * SCALE + SCALE / 2;
    if (width == 0 || px >= width || py >= height) goto done;
    row_bytes = 1 + 3 * (size_t)width;
    raw = malloc(row_bytes * height);
    if (raw == NULL) goto done;
    for (zat = 2; zat + 5 <= zsize;) { /* after the 2-byte zlib header: stored blocks */
        const unsigned last = z[zat] & 1u;
        const size_t len = (size_t)z[zat + 1] | (size_t)z[zat + 2] << 8;
        if ((z[zat] & 6u) != 0 || zat + 5 + len > zsize || raw_at + len > row_bytes * height) goto done;
        memcpy(raw + raw_at, z + zat + 5, len);
        raw_at += len;
        zat += 5 + len;
        if (last) break;
    }
    if (raw_at != row_bytes * height || raw[py * row_bytes] != 0) goto done;
    {
        const unsigned char* p = raw + py * row_bytes + 1 + 3 * (size_t)px;
        result = (long)p[0] << 16 | (long)p[1] << 8 | (long)p[2];
    }
done:
    free(raw);
    free(z);
    free(png);
    return result;
}

static int near(long a, long b) {
    int shift;
    for (shift = 0; shift <= 16; shift += 8) {
        const long d = ((a >> shift) & 0xFF) - ((b >> shift) & 0xFF);
        if (d > 24 || d < -24) return 0;
    }
    return 1;
}

/* Polls the screen until the LED at (x, y) is near `rgb`, for at most 10 s. */
static int screen_shows(uint32_t x, uint32_t y, long rgb, const char* step) {
    struct timespec pause = {0, 50L * 1000000L};
    long seen = -1;
    int tries;
    for (tries = 0; tries < 200; ++tries) {
        seen = screen_led(x, y);
        if (seen >= 0 && near(seen, rgb)) return 1;
        nanosleep(&pause, NULL);
    }
    fprintf(stderr, "%s: LED (%u, %u) shows %06lx, not %06lx\n", step, (unsigned)x, (unsigned)y, seen, rgb);
    return 0;
}

static int ok(int result, const char* step) {
    if (result != 0) fprintf(stderr, "%s returned %d\n", step, result);
    return result == 0;
}

int main(int argc, char** argv) {
    const long red = 0xFF0000, blue = 0x0000FF, unlit = 0x1C1C1C;
    const char *id, *ip, *bmp, *jpg;
    char path[4096];
    if (argc != 6) {
        fprintf(stderr, "usage: %s <card id> <card ip> <card folder> <BMP> <JPEG>\n", argv[0]);
        return 2;
    }
    id = argv[1];
    ip = argv[2];
    bmp = argv[4];
    jpg = argv[5];
    snprintf(path, sizeof path, "%s/screen.png", argv[3]);
    screen_path = path;

    /* Window 1 at (8, 4), 32 x 16 LEDs. */
    if (!ok(CreateWnd(1, id, ip, TRANSPORT, 0, 8, 4, 32, 16, 0, 0, 0), "CreateWnd")) return 1;
    if (!ok(AddPicToWnd(1, bmp, id, ip, TRANSPORT, 1, 0, 0, 0, 0, 10, 0, 0), "AddPicToWnd (BMP)")) return 1;
    if (!screen_shows(10, 6, red, "the BMP in the window") ||
        !screen_shows(7, 6, unlit, "left of the window"))
        return 1;
    if (!ok(AddPicToWnd(1, jpg, id, ip, TRANSPORT, 1, 0, 0, 0, 0, 10, 0, 0), "AddPicToWnd (JPEG)")) return 1;
    if (!screen_shows(10, 6, blue, "the JPEG in the window")) return 1;

    /* An effect list of the two pictures in the rectangle (64, 0), 32 x 16: it shows the BMP first. */
    if (!ok(AddPicAndStunt(id, ip, TRANSPORT, 0, bmp, 1, 0, 0, 0, 0, 5, 0, 0), "AddPicAndStunt (BMP)"))
        return 1;
    if (!ok(AddPicAndStunt(id, ip, TRANSPORT, 0, jpg, 1, 0, 0, 0, 0, 5, 0, 0), "AddPicAndStunt (JPEG)"))
        return 1;
    if (!ok(ShowPicStunt(1, 64, 0, 32, 16, 0, id, ip, 0, TRANSPORT, 0), "ShowPicStunt")) return 1;
    if (!screen_shows(70, 3, red, "the effect list") || !screen_shows(10, 6, blue, "the window beside it"))
        return 1;

    if (!ok(DestroyWnd(1, id, ip, TRANSPORT), "DestroyWnd")) return 1;
    if (!screen_shows(10, 6, unlit, "the closed window") ||
        !screen_shows(70, 3, red, "the effect list after it"))
        return 1;
    if (!ok(ExitPicStunt(id, ip, TRANSPORT, 0), "ExitPicStunt")) return 1;
    if (!screen_shows(70, 3, unlit, "the ended effect list")) return 1;
    printf("window, pictures, effect list and close shown as expected\n");
    return 0;
}
