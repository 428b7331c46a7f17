/* A plain C caller of libkelvra: discovers the cards on the network, then reads each card's
 * information over TCP. Prints one line per card: "<id> <ip> V<major>.<minor>". Exit status 0 when
 * at least one card was found and every card's information names that card, 1 otherwise. */
#define _POSIX_C_SOURCE 200809L /* nanosleep */

#include <kelvra/kelvra.h>

#include <stdio.h>
#include <string.h>
#include <time.h>

static void on_status(uint32_t code, const char* text) {
    fprintf(stderr, "status %u %s\n", (unsigned)code, text != NULL ? text : "");
}

static void pause_ms(long ms) {
    struct timespec t;
    t.tv_sec = ms / 1000;
    t.tv_nsec = (ms % 1000) * 1000000L;
    nanosleep(&t, NULL);
}

int main(void) {
    char id[20];
    char ip[20];
    int n;
    int found = 0;
    int bad = 0;
    int tries;

    CallBack(on_status);
    if (LoopCheck() != 0) {
        fprintf(stderr, "discovery did not start\n");
        return 1;
    }
    /* Poll until the discovery is over: card 1 then reads 1 (or 2 when no card answered). */
    for (tries = 0; tries < 300; ++tries) {
        const int r = LoadCardInfor(id, ip, 1);
        if (r == 1 || r == 2) break;
        pause_ms(100);
    }
    for (n = 1; LoadCardInfor(id, ip, n) == 1; ++n) {
        unsigned char info[1088];
        uint32_t version;
        memset(info, 0, sizeof info);
        GetCardInfoByTcp(id, ip, info);
        version = (uint32_t)info[1032] | (uint32_t)info[1033] << 8 | (uint32_t)info[1034] << 16 |
                  (uint32_t)info[1035] << 24;
        printf("%s %s V%X.%X\n", id, ip, (unsigned)(version >> 16), (unsigned)(version & 0xFFFFu));
        if (strncmp((const char*)info, id, sizeof id) != 0) ++bad;
        ++found;
    }
    return found > 0 && bad == 0 ? 0 : 1;
}
