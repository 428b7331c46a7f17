// Opening documents with the desktop's default program, in place of the Windows shell's "open" verb.
// The opener is started directly (no shell), so no path can inject a command. Thread-safe.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace shell {

// Starts `program` with `arguments` in the background without waiting for it; false when it could not
// be started. The program is looked up on PATH.
bool start_program(const std::string& program, const std::vector<std::string>& arguments);

// Opens `document` with the desktop's default viewer (xdg-open).
bool open_document(const std::filesystem::path& document);

}  // namespace shell
