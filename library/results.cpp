// KelvraResultText: one English text per named result. The library carries no language files, so
// the texts are those of its English interface; callers that show them in another language map the
// named results themselves.
#include "kelvra/kelvra.h"

namespace {

constexpr const char* kUnknownResult = "unknown Kelvra result";

constexpr const char* text_of(int code) {
    switch (code) {
        case KELVRA_OK:
            return "success";
        case KELVRA_BROADCAST_NOT_ALLOWED:
            return "the command needs one card, not a broadcast";
        case KELVRA_NOT_A_PICTURE:
            return "the file is not a BMP, JPEG or GIF picture";
        case KELVRA_NO_MEMORY:
            return "out of memory while preparing the data";
        case KELVRA_NO_PICTURES:
            return "no picture has been added for this card";
        case KELVRA_CARD_BUSY:
            return "a transfer to the card is under way";
        case KELVRA_PICTURE_UNREADABLE:
            return "the picture cannot be read, converted or captured";
        case KELVRA_NO_ANSWER:
            return "the card did not answer";
        case KELVRA_FILE_UNREADABLE:
            return "the file is missing or cannot be read";
        case KELVRA_NAME_TOO_LONG:
            return "the card file name or folder is longer than 99 bytes";
        case KELVRA_PICTURE_TOO_LARGE:
            return "the picture declares more pixels than a card shows";
        case KELVRA_BAD_PROTO_TYPE:
            return "the transport is not supported";
        case KELVRA_NO_COMMAND:
            return "no command was given";
        case KELVRA_OUT_OF_MEMORY:
            return "out of memory while preparing the send";
        case KELVRA_PACKET_NOT_BUILT:
            return "a packet could not be built";
        case KELVRA_NO_JOB_SOCKET:
            return "the send had no socket";
        case KELVRA_TCP_SEND_FAILED:
            return "sending over TCP failed";
        case KELVRA_UDP_SEND_FAILED:
            return "sending over UDP failed";
        case KELVRA_BROADCAST_SEND_FAILED:
            return "the broadcast could not be sent";
        case KELVRA_BROADCAST_BIND_FAILED:
            return "the broadcast socket could not be bound";
        case KELVRA_NO_CONNECTION:
            return "the card cannot be reached";
        case KELVRA_NO_JOB:
            return "there was no job to send";
        default:
            return kUnknownResult;
    }
}

}  // namespace

extern "C" const char* KelvraResultText(int code) {
    return text_of(code);
}
