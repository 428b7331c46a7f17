/* Part of the Kelvra public interface; include <kelvra/kelvra.h>, not this file.
 *
 * The names of the library's results and status codes. The numbers are part of the interface and never
 * change; compare a result with its name, never with the number.
 *
 * KelvraResult: the results that mean the same in every export that gives them. 0 is success.
 * KelvraExportResult: results that one export gives with a meaning of its own; their numbers repeat
 *   across exports (1, 2, -1), so each name says which export gives it.
 * KelvraStatus: the codes the status callback (CallBack, cards.h) receives. The send failures 46, 47
 *   and 51 to 54 are also the result of a synchronous send (iProtoType 101 to 103).
 */
#pragma once

enum KelvraResult {
    KELVRA_OK = 0,
    KELVRA_BROADCAST_NOT_ALLOWED = 11, /* the command needs one card, not a broadcast transport */
    KELVRA_NOT_A_PICTURE = 13,         /* the file is not a BMP, JPEG or GIF picture */
    KELVRA_NO_MEMORY = 14,             /* out of memory while the export prepared its data */
    KELVRA_NO_PICTURES = 15,           /* ShowPicStunt: no picture has been added for this card */
    KELVRA_CARD_BUSY = 16,             /* ShowPicStunt: a transfer to the card is under way */
    KELVRA_PICTURE_UNREADABLE = 17,    /* the picture cannot be read or converted, or the capture failed */
    KELVRA_NO_ANSWER = 18,             /* no usable answer arrived in time */
    KELVRA_FILE_UNREADABLE = 19,       /* the local file is missing or cannot be read */
    KELVRA_NAME_TOO_LONG = 20,         /* a card file name or card folder is longer than 99 bytes */
    KELVRA_PICTURE_TOO_LARGE = 21,     /* the picture declares more pixels than a card shows (imaging.h) */
    KELVRA_BAD_PROTO_TYPE = 31,        /* iProtoType (or the discovery kind) is not one the library has */
    KELVRA_NO_COMMAND = 32,            /* no command block was given */
    KELVRA_OUT_OF_MEMORY = 34,         /* out of memory while the send job was prepared; nothing sent */
    KELVRA_PACKET_NOT_BUILT = 46,      /* a packet could not be built */
    KELVRA_NO_JOB_SOCKET = 47,         /* the job had no socket to send on */
    KELVRA_TCP_SEND_FAILED = 51,       /* sending over TCP failed */
    KELVRA_UDP_SEND_FAILED = 52,       /* sending over UDP failed */
    KELVRA_BROADCAST_SEND_FAILED = 53, /* the broadcast could not be sent */
    KELVRA_BROADCAST_BIND_FAILED = 54, /* the broadcast socket could not be bound */
    KELVRA_NO_CONNECTION = 60,         /* no connection to the card could be opened */
    KELVRA_NO_JOB = 61                 /* the send machinery was given no job (no export gives it) */
};

enum KelvraExportResult {
    KELVRA_DISCOVERY_RUNNING = 1,        /* LoopCheck, KelvraDiscover: a discovery runs already */
    KELVRA_DISCOVERY_BAD_REQUEST = 2,    /* KelvraDiscover: a bad address or time */
    KELVRA_QUIT_IP_TOO_LONG = -1,        /* QuitInsertModel: the IP text is longer than 15 characters */
    KELVRA_QUIT_ID_TOO_LONG = -2,        /* QuitInsertModel: the card id is longer than 20 characters */
    KELVRA_FOLDER_PATH_HAS_DOT = 1,      /* SendFolderToCard: the folder path contains "." */
    KELVRA_FOLDER_INCOMPLETE = 2,        /* SendFolderToCard: a file or sub-folder was not read or sent */
    KELVRA_UPGRADE_NOT_STARTED = 1,      /* UpgradeProgram: the upgrade could not be started */
    KELVRA_SHOW_UNREADABLE = 1,          /* ShowPicture: the picture cannot be read or converted */
    KELVRA_SHOW_NO_MEMORY = 2,           /* ShowPicture: out of memory */
    KELVRA_VIDEO_NOT_AVI = -1,           /* AddVideoToWnd: not an ".avi" file */
    KELVRA_REGIONS_FULL = -1,            /* CreateWindowRegin: 64 regions are listed already */
    KELVRA_WND_JPG_ENCODING_FAILED = 1,  /* SaveWndJpg: the JPEG encoder failed */
    KELVRA_WND_JPG_NOTHING_CAPTURED = 2, /* SaveWndJpg: no display, window or area, or not written */
    KELVRA_WND_JPG_UNREADABLE_COLOURS =
        3 /* SaveWndJpg: the screen's visual is one whose colours are not read */
};

enum KelvraStatus {
    KELVRA_STATUS_PACKET_NOT_BUILT = KELVRA_PACKET_NOT_BUILT,           /* card id */
    KELVRA_STATUS_NO_JOB_SOCKET = KELVRA_NO_JOB_SOCKET,                 /* card id */
    KELVRA_STATUS_TCP_SEND_FAILED = KELVRA_TCP_SEND_FAILED,             /* card id */
    KELVRA_STATUS_UDP_SEND_FAILED = KELVRA_UDP_SEND_FAILED,             /* card id */
    KELVRA_STATUS_BROADCAST_SEND_FAILED = KELVRA_BROADCAST_SEND_FAILED, /* card id */
    KELVRA_STATUS_BROADCAST_BIND_FAILED = KELVRA_BROADCAST_BIND_FAILED, /* card id */
    KELVRA_STATUS_RECEIVE_FAILED = 61,           /* receiving the answer failed (null) */
    KELVRA_STATUS_NO_SOCKET = 101,               /* no socket could be opened for the card (card IP) */
    KELVRA_STATUS_BAD_PROTO_TYPE = 102,          /* unsupported iProtoType (null) */
    KELVRA_STATUS_SET_BROADCAST_FAILED = 104,    /* setting the broadcast option failed (null) */
    KELVRA_STATUS_SERIAL_PACKET_NOT_BUILT = 201, /* serial: a packet cannot be built (card id) */
    KELVRA_STATUS_SERIAL_WRITE_FAILED = 202,     /* serial: a write failed (card id) */
    KELVRA_STATUS_SERIAL_SHORT_WRITE = 203,      /* serial: a write was short (card id) */
    KELVRA_STATUS_FILE_SENT = 402,               /* a file's data was sent and the gate is free (null) */
    KELVRA_STATUS_WINDOW_SENT = 4098             /* a live-window command was sent (card IP) */
};

/* An English text for a KelvraResult, for messages and logs: never null, never empty, one text per
 * result. Any other number, the export-specific ones included, gives "unknown Kelvra result". The text
 * is a constant: do not free it. */
KELVRA_API const char* KelvraResultText(int code);
