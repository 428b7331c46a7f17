#include "simulator/journal.h"

#include <cstdio>

namespace sim {
namespace {

void append_string(std::string& out, const std::string& s) {
    out += '"';
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        } else {
            out += c;
        }
    }
    out += '"';
}

}  // namespace

std::string to_json_line(const JournalEntry& e) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "{\"seq\":" + std::to_string(e.seq) + ",\"ms\":" + std::to_string(e.ms);
    out += e.transport == Transport::Tcp ? ",\"transport\":\"tcp\"" : ",\"transport\":\"udp\"";
    out += ",\"port\":" + std::to_string(e.local_port) + ",\"local\":";
    append_string(out, e.local_address);
    out += ",\"peer\":";
    append_string(out, e.peer);
    out += ",\"card\":";
    append_string(out, e.card);
    out += ",\"command\":" + std::to_string(e.command) + ",\"id\":";
    append_string(out, e.id);
    out += ",\"parameter\":" + std::to_string(e.parameter) + ",\"length\":" + std::to_string(e.length);
    out += ",\"data\":\"";
    for (const auto b : e.data) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    out += "\",\"size\":" + std::to_string(e.datagram_size);
    out += e.lead_in_ok ? ",\"lead_in\":true" : ",\"lead_in\":false";
    out += ",\"check\":\"";
    out += !e.check_form ? "none" : *e.check_form == frame::CheckForm::PlainSum ? "plain" : "complement";
    out += e.accepted ? "\",\"accepted\":true" : "\",\"accepted\":false";
    out += ",\"note\":";
    append_string(out, e.note);
    out += '}';
    return out;
}

}  // namespace sim
