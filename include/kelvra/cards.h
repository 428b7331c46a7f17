/* Part of the Kelvra public interface; include <kelvra/kelvra.h>, not this file.
 *
 * Card commands, discovery, transports and the status callback.
 *
 * Common arguments: cCardId is the card's id text (at most 16 characters reach the card); cCardIp is
 * its IP address as dotted-decimal text (at most 19 characters are kept); iProtoType names the
 * transport:
 *   1 TCP to cCardIp:31298, 2 UDP to cCardIp:31298, 3 UDP broadcast to 255.255.255.255:31296,
 *   4 serial port (one card), 5 serial port (broadcast): each runs on a new worker thread, and the
 *     call returns 0 once the job has started; its outcome arrives through the status callback.
 *   101, 102, 103: as 1, 2, 3, run in the caller's thread; the call returns the job's result.
 *   104, 105: accepted, nothing is sent.
 *   Anything else gives KELVRA_BAD_PROTO_TYPE (31) and nothing is sent.
 * Common results (named in results.h): KELVRA_OK; KELVRA_BAD_PROTO_TYPE; KELVRA_NO_COMMAND;
 * KELVRA_OUT_OF_MEMORY; for synchronous transports also KELVRA_NO_CONNECTION (no connection to the
 * card) or the failing send (KELVRA_PACKET_NOT_BUILT, KELVRA_NO_JOB_SOCKET, KELVRA_TCP_SEND_FAILED to
 * KELVRA_BROADCAST_BIND_FAILED).
 * Null text arguments are taken as empty texts. The caller keeps ownership of everything it passes.
 *
 * Serial ports: port n is the device /dev/ttyS(n-1) unless the environment variable KELVRA_COM<n>
 * names another (for example KELVRA_COM1=/dev/pts/3).
 *
 * Time bounds: a TCP connect gives up after 3 s (2 s for ConnectCardSuccessOrFaile); a send to a
 * card that stops acknowledging fails after 5 s; an answer is awaited for 6 s in total, however
 * slowly its bytes arrive; discovery collects answers until none has arrived for 3 s, and for 10 s
 * at most after the broadcast.
 *
 * Answers: an answer is used only when it is a whole, well-formed frame of the expected answer code
 * from the card asked (its id field equals the first 16 characters of cCardId, unless cCardId is
 * empty) with a right check byte (the plain sum, or its complement for an id of that family);
 * anything else counts as no answer. Each call reads the answer to its own request: concurrent
 * calls never take each other's answers.
 *
 * Threading: every function may be called from any thread. The status callback and the message
 * handler are called from the library's worker threads as well as from the caller's.
 */
#pragma once

/* Status callback: a KelvraStatus code (results.h, which also says what its text is) and, for most
 * codes, a text (card id or card IP; may be null). The text lives only for the duration of the call. */
typedef void (*KelvraStatusCallback)(uint32_t code, const char* text);

/* Registers the status callback; a null argument leaves the registration unchanged. Events that
 * occur while none is registered are dropped. */
KELVRA_API void CallBack(KelvraStatusCallback callback);

/* Where the library shows a message (serial port failures, the live insert mode's notice, the
 * upgrade's answers). The default handler writes the text and a newline to standard error. A null
 * handler restores the default. `user` is passed back unchanged. */
typedef void (*KelvraMessageHandler)(const char* text, void* user);
KELVRA_API void KelvraSetMessageHandler(KelvraMessageHandler handler, void* user);

/* Frame trace: the handler is called with the bytes of every frame the library sends (direction 0, on
 * any transport) and of every answer it receives (direction 1), as they are on the wire, from the
 * thread that sends or receives them. A null handler ends the trace. `user` is passed back unchanged;
 * the bytes live only for the duration of the call. */
typedef void (*KelvraTraceHandler)(int direction, const unsigned char* bytes, size_t size, void* user);
KELVRA_API void KelvraSetTraceHandler(KelvraTraceHandler handler, void* user);

/* A discovery (0x90) sent to `address` (dotted IPv4: 255.255.255.255 for every card on the network, a
 * subnet's broadcast address, or one card's address; null or empty: 255.255.255.255), collecting the
 * answers for `milliseconds` (1 to 600000) in the caller's thread; LoadCardInfor then reads them.
 * Results: 0 done (whether or not a card answered), 1 a discovery runs already, 2 a bad address or time
 * (nothing is sent), 60 no socket, or the broadcast's status code (53, 54, 104). */
KELVRA_API int KelvraDiscover(const char* address, uint32_t milliseconds);

/* 0x97 with the programme number. */
KELVRA_API int SelectProgramPlay(const char* cCardId, const char* cCardIp, int iProtoType, int32_t program);
/* 0x8B, no data. */
KELVRA_API int ResetCard(const char* cCardId, const char* cCardIp, int iProtoType);
/* 0x83 with the seven values in argument order; their meaning is the caller's. */
KELVRA_API int AdjustClock(const char* cCardId, const char* cCardIp, int32_t v1, int32_t v2, int32_t v3,
                           int32_t v4, int32_t v5, int32_t v6, int32_t v7, int iProtoType);
/* 0x84 with the words 2, brightness, brightness. */
KELVRA_API int SetLedScreenLight(const char* cCardId, const char* cCardIp, int32_t brightness,
                                 int iProtoType);
/* 0x84, 408 bytes: 1, 8, t1, t2, t3, red + green*256 + blue*65536, e1, e2, then zeros. */
KELVRA_API int TestLedModule(const char* cCardId, const char* cCardIp, int32_t t1, int32_t t2, int32_t t3,
                             uint8_t red, uint8_t green, uint8_t blue, int32_t e1, int32_t e2,
                             int iProtoType);
/* 0x84, 408 bytes: 1, 241, then zeros. */
KELVRA_API int StopTest(const char* cCardId, const char* cCardIp, int iProtoType);
/* 0x8D with the line number and 1 when state > 0, else 0. `unused` carries nothing. */
KELVRA_API int SetIOState(const char* cCardId, const char* cCardIp, int iProtoType, int unused, int32_t line,
                          int32_t state);
/* 0x8E with the line number, run in the caller's thread, answer awaited. The answer's four data words
 * w0..w3: *first receives w3, *second w2 (either pointer may be null), the result is w1. Results also:
 * KELVRA_BROADCAST_NOT_ALLOWED for broadcast transports (3, 103), KELVRA_NO_ANSWER when no usable
 * 0xCE answer with 16 data bytes arrived within 6 s (see Answers above), or the send's result. It
 * neither reads nor frees the library-wide answer buffer that UpgradeSingleFile fills. */
KELVRA_API int GetIOState(const char* cCardId, const char* cCardIp, int iProtoType, int unused, int32_t line,
                          int32_t* first, int32_t* second);
/* The sizes of the blocks GetCardInfoByTcp and GetCardMoreInfoByTcp fill. */
#define KELVRA_CARD_INFO_SIZE 1088
#define KELVRA_CARD_MORE_INFO_SIZE 160
/* Card information over a TCP connection of its own: `result` (KELVRA_CARD_INFO_SIZE bytes) receives the data
 * of the card's 0xC2 answer (at most 1088 bytes) when a usable answer (see Answers above) arrived within 6 s
 * after the connect; a partial, damaged or other answer, or none, leaves it as it was. Returns 0 in every
 * case. */
KELVRA_API int GetCardInfoByTcp(const char* cCardId, const char* cCardIp, unsigned char* result);
/* As GetCardInfoByTcp for the extended block (answer 0xDA, KELVRA_CARD_MORE_INFO_SIZE bytes). */
KELVRA_API int GetCardMoreInfoByTcp(const char* cCardId, const char* cCardIp, unsigned char* result);
/* Broadcasts a discovery (0x90) and collects the answers into the card table on a worker thread,
 * for at most 10 s. Only well-formed 0xD0 answers with a right check byte are listed; a datagram
 * shorter than 10 bytes ends the collection. 1 when a discovery runs already; otherwise the result
 * of starting it. */
KELVRA_API int LoopCheck(void);
/* kind 1: network discovery as LoopCheck; kind 2: over the serial port (records no cards); any other
 * kind gives KELVRA_BAD_PROTO_TYPE. */
KELVRA_API int BroadcastCheckCard(int kind);
/* Copies the n-th card (from 1) of the latest discovery: its id into `id` and its IP into `ip` (20
 * bytes each, NUL-padded; a null buffer is skipped). Results: 0 for n < 1; 1 copied, 2 no such card;
 * -1 and -2 likewise while a discovery still runs. */
KELVRA_API int LoadCardInfor(char* id, char* ip, int n);
/* 1 when a TCP connection to cCardIp:31298 succeeds within 2 s (the card then joins the connected
 * card table), 0 otherwise. */
KELVRA_API int ConnectCardSuccessOrFaile(const char* cCardIp);

/* A card's status message as ProcRevMsg reads it. */
typedef struct KelvraRevMsg {
    unsigned char lead_in[3]; /* "~~~" */
    unsigned char command;    /* 0x41, 0x42 or 0xD1 */
    char card_id[16];
    uint32_t parameter;
    uint32_t length; /* characters at `text` */
    const char* text;
} KelvraRevMsg;
/* mode 1: 41 for 0x41 "Error!", 42 for 0x42 "Error!", 43 for 0xD1 "Error!", else -1.
 * mode 3: as mode 1, and 0 for 0x42 "Success!". Other modes, a null message or a lead-in other than
 * "~~~" give -1. `unused` carries nothing. */
KELVRA_API int ProcRevMsg(const KelvraRevMsg* msg, int unused, int mode);
/* 0 when `text` is "Success!", 1 for any other text. */
KELVRA_API int NetReceiveDataInfoPro(const char* text);
/* Serial settings for later serial jobs. Checks in this order: port 1..30 (else 1), baud rate
 * 100..115200 (else 2), data bits 4..8 (else 3), parity 0..4 = none, odd, even, mark, space (else 4),
 * stop bits 0..2 = one, one and a half, two (else 5). Until the first call: port 1, 9600 baud, no
 * parity, 8 data bits, one stop bit. The port opens only with a baud rate termios knows and 5 to 8
 * data bits. */
KELVRA_API int SetComParam(int port, int baud, int data_bits, int parity, int stop_bits);
/* Shows the card's id, IP and iProtoType through the message handler, then sends 0x91 with 448 bytes
 * (8, 4, then zeros) to leave the live insert mode. -2 (after the message "-2") for an id longer than
 * 20 characters, -1 for an IP text longer than 15; otherwise the result of sending. */
KELVRA_API int QuitInsertModel(const char* cCardId, const char* cCardIp, int iProtoType);
