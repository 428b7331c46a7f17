// The socket steps every TCP user here needs bounded: connecting (a blocking connect to an absent host
// takes about two minutes), sending a whole buffer (a stream socket takes it in parts, a closed peer
// must not raise SIGPIPE) and learning whether what was sent arrived (a send only hands bytes to the
// kernel). Threading: no state; safe from any thread.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace socket_io {

// Connects `fd` (a TCP socket, blocking or not) to `to`, waiting at most `timeout`; the socket's
// blocking mode is as it was afterwards. False on a refusal, an error or the time-out.
bool connect_bounded(int fd, const sockaddr_in& to, std::chrono::milliseconds timeout);

// Sends every byte on a blocking socket (its send time-out bounds each part) or fails. Never raises
// SIGPIPE; an interrupted send is resumed.
bool send_all(int fd, std::span<const std::uint8_t> bytes);

// Waits until the peer's TCP has acknowledged every byte sent on `fd` (true), the connection breaks,
// or no further byte has been acknowledged for `stall` (false). The wait follows the peer's progress:
// a slow reader that keeps taking bytes is waited for however long its share of the buffers takes.
// `progress`, when given, hears each new count of unacknowledged bytes.
bool wait_delivered(int fd, std::chrono::milliseconds stall,
                    const std::function<void(std::size_t unacknowledged)>& progress = {});

// Bytes sent on `fd` that the peer's TCP has not acknowledged yet; 0 when that cannot be learnt.
std::size_t unacknowledged(int fd);

// True when the peer has closed or reset the connection. Consumes nothing the peer sent.
bool peer_closed(int fd);

}  // namespace socket_io
