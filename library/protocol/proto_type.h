// The transports of the exports' iProtoType, as one enum inside the library (the table of what each
// means is in transport.h). Thread-safe (constants only).
#pragma once

#include <cstdint>

namespace kelvra {

// A transport as the exports' iProtoType names it. The C boundary converts the caller's number with
// proto_type_of(); the fixed underlying type holds any number unchanged, so one that no transport has
// is refused by the send machinery at the point each export documents (SendCommand's 31).
enum class ProtoType : std::int32_t {
    Tcp = 1,
    Udp = 2,
    Broadcast = 3,
    Serial = 4,
    SerialBroadcast = 5,
    TcpHere = 101,  // "Here": the job runs in the caller's thread
    UdpHere = 102,
    BroadcastHere = 103,
    SerialHere = 104,  // 104 and 105 are accepted but run nothing
    SerialBroadcastHere = 105,
};

constexpr ProtoType proto_type_of(int number) {
    return static_cast<ProtoType>(number);
}

constexpr int number_of(ProtoType proto_type) {
    return static_cast<int>(proto_type);
}

}  // namespace kelvra
