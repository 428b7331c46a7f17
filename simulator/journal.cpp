#include "simulator/journal.h"

#include <nlohmann/json.hpp>

namespace sim {
namespace {

// Texts from the wire keep every byte: each is taken as one character U+0000..U+00FF, so the line is
// valid JSON whatever a client sent, and a reader gets the bytes back from the code points.
std::string bytes_as_latin1(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

}  // namespace

std::string to_json_line(const JournalEntry& e) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string data;
    data.reserve(e.data.size() * 2);
    for (const auto b : e.data) {
        data += kHex[b >> 4];
        data += kHex[b & 15];
    }
    const char* check = !e.check_form                                 ? "none"
                        : *e.check_form == frame::CheckForm::PlainSum ? "plain"
                                                                      : "complement";
    // The keys in the order docs and readers show them.
    const nlohmann::ordered_json line = {
        {"seq", e.seq},
        {"ms", e.ms},
        {"transport", e.transport == Transport::Tcp ? "tcp" : "udp"},
        {"port", e.local_port},
        {"local", bytes_as_latin1(e.local_address)},
        {"peer", bytes_as_latin1(e.peer)},
        {"card", bytes_as_latin1(e.card)},
        {"command", e.command},
        {"id", bytes_as_latin1(e.id)},
        {"parameter", e.parameter},
        {"length", e.length},
        {"data", data},
        {"size", e.datagram_size},
        {"lead_in", e.lead_in_ok},
        {"check", check},
        {"accepted", e.accepted},
        {"note", bytes_as_latin1(e.note)},
    };
    // ASCII only: the bytes above 0x7F and control characters as \u escapes.
    return line.dump(-1, ' ', true);
}

}  // namespace sim
