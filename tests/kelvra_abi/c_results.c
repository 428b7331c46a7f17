/* A plain C caller that tells Kelvra's results apart by their names only: it provokes each result it
 * can reach and compares what the export gave with the name of <kelvra/results.h>.
 * Arguments: the id and address of a card that answers, an address where no card listens, and a
 * folder the program may write to. Prints one line per failed comparison; exit status 0 when every
 * comparison held. */
#define _POSIX_C_SOURCE 200809L

#include <kelvra/kelvra.h>

#include <stdio.h>
#include <string.h>

static int failures = 0;

static void expect(const char* what, int got, int expected) {
    if (got == expected) return;
    printf("%s gave %d (%s), expected %d (%s)\n", what, got, KelvraResultText(got), expected,
           KelvraResultText(expected));
    ++failures;
}

#define EXPECT_RESULT(call, name) expect(#call, (call), (name))

int main(int argc, char** argv) {
    const char* id;
    const char* ip;
    const char* nobody;
    char picture[4096];
    char dotted[4096];
    char long_name[101];
    const int bad_transports[] = {0, 6, 100, 106};
    size_t i;
    FILE* f;
    KelvraRect rect;

    if (argc != 5) {
        fprintf(stderr, "usage: %s CARD-ID CARD-IP NO-CARD-IP FOLDER\n", argv[0]);
        return 2;
    }
    id = argv[1];
    ip = argv[2];
    nobody = argv[3];
    snprintf(picture, sizeof picture, "%s/notes.txt", argv[4]);
    snprintf(dotted, sizeof dotted, "%s/v1.2", argv[4]);
    f = fopen(picture, "w");
    if (f == NULL) {
        perror(picture);
        return 2;
    }
    fputs("not a picture\n", f);
    fclose(f);
    memset(long_name, 'n', 100);
    long_name[100] = '\0';

    /* The transport: known, unknown, and a card that is not there. */
    EXPECT_RESULT(ResetCard(id, ip, 101), KELVRA_OK);
    for (i = 0; i < sizeof bad_transports / sizeof bad_transports[0]; ++i)
        EXPECT_RESULT(ResetCard(id, ip, bad_transports[i]), KELVRA_BAD_PROTO_TYPE);
    EXPECT_RESULT(BroadcastCheckCard(3), KELVRA_BAD_PROTO_TYPE);
    EXPECT_RESULT(ResetCard(id, nobody, 101), KELVRA_NO_CONNECTION);
    EXPECT_RESULT(GetIOState(id, ip, 103, 0, 1, NULL, NULL), KELVRA_BROADCAST_NOT_ALLOWED);

    /* Files. */
    EXPECT_RESULT(SendFileToCard(id, ip, 101, 0, picture, "notes.txt", "", 4), KELVRA_OK);
    EXPECT_RESULT(SendFileToCard(id, ip, 101, 0, "/no/such/file", "x", "", 4), KELVRA_FILE_UNREADABLE);
    EXPECT_RESULT(SendFileToCard(id, ip, 101, 0, picture, long_name, "", 4), KELVRA_NAME_TOO_LONG);
    EXPECT_RESULT(SendFileToCard(id, ip, 0, 0, picture, "notes.txt", "", 4), KELVRA_BAD_PROTO_TYPE);
    EXPECT_RESULT(SendFolderToCard(id, ip, 101, 0, dotted, "v1"), KELVRA_FOLDER_PATH_HAS_DOT);

    /* Pictures and the live display. */
    EXPECT_RESULT(ShowPicture(id, ip, 101, 0, picture), KELVRA_NOT_A_PICTURE);
    EXPECT_RESULT(AddVideoToWnd(1, picture, id, ip, 101, 0), KELVRA_VIDEO_NOT_AVI);
    EXPECT_RESULT(ShowPicStunt(0, 0, 0, 0, 0, 0, id, ip, 0, 101, 1), KELVRA_NO_PICTURES);
    EXPECT_RESULT(DelPicInWnd(1, long_name, id, ip, 101), KELVRA_NAME_TOO_LONG);
    rect.left = 0;
    rect.top = 0;
    rect.right = 10;
    rect.bottom = 10;
    /* Run without a display: nothing can be captured. */
    EXPECT_RESULT(SaveWndJpg(0, picture, rect), KELVRA_WND_JPG_NOTHING_CAPTURED);

    return failures == 0 ? 0 : 1;
}
