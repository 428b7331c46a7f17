// The journal's line format for files and logs: one JSON object per received frame (nlohmann-json), e.g.
//   {"seq":3,"ms":120,"transport":"tcp","port":31298,"local":"127.0.0.2","peer":"127.0.0.1:40112",
//    "card":"S730-413-05862","command":132,"id":"S730-413-05862","parameter":0,"length":408,
//    "data":"0200...","size":0,"lead_in":true,"check":"plain","accepted":true,"note":""}
// "check" is "plain", "complement" or "none"; "data" is lower-case hex. Texts keep every byte: each is
// written as the character U+0000..U+00FF of that value, in ASCII (\u escapes), so a line is valid
// JSON whatever a client sent.
//
// Threading: pure functions.
#pragma once

#include <string>

#include "simulator/sim.h"

namespace sim {

std::string to_json_line(const JournalEntry& e);  // no trailing newline

}  // namespace sim
