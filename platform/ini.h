// Private-profile INI files with the semantics the program and its settings files rely on:
// - section and key names compare without regard to case; blanks around names and values are trimmed;
// - every read opens the file afresh, and yields the default when the file, section or key is missing;
// - a write creates the file, section or key as needed and keeps every other line exactly as it was.
// Values are raw bytes (the files' own encoding); nothing is converted here.
// Thread-safe: each call is independent; concurrent writers to one file are serialised in-process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ini {

// `buffer_size`, when non-zero, reads as a fixed buffer would: at most buffer_size - 1 bytes come back.
std::string get_string(const std::filesystem::path& file, std::string_view section, std::string_view key,
                       std::string_view fallback, std::size_t buffer_size = 0);

// How the settings files hold whole numbers: an optional sign and decimal digits, read up to the first
// other character (no digits at all: 0). A value from -2147483648 to 4294967295 gives its 32-bit form
// (negative values in two's complement, so -1 is 0xFFFFFFFF); a value outside that range fits no
// field and gives nothing.
std::optional<std::uint32_t> whole_number(std::string_view text);

// The key's whole number as an int (values above 2147483647 wrap, as their 32-bit form); a missing key
// or a value outside the 32-bit range gives `fallback`.
int get_int(const std::filesystem::path& file, std::string_view section, std::string_view key, int fallback);

// Writes `value` (or removes the key when it is empty std::nullopt). False when the file cannot be written.
bool write_string(const std::filesystem::path& file, std::string_view section, std::string_view key,
                  std::optional<std::string_view> value);

// Key names of a section in file order (empty when missing).
std::vector<std::string> keys(const std::filesystem::path& file, std::string_view section);

// The same semantics over text already in memory (for embedded files and tests).
std::optional<std::string> find_in_text(std::string_view text, std::string_view section,
                                        std::string_view key);
std::string write_in_text(std::string_view text, std::string_view section, std::string_view key,
                          std::optional<std::string_view> value);

}  // namespace ini
