// The per-user registry store: one small file per value under the user's config folder,
// $XDG_CONFIG_HOME (or ~/.config) + "/vantor/registry/<key>/<value>".
// Values are written as 4 raw bytes (u32 little-endian) and read back as their first byte, so indexes
// 0..255 survive a round trip (300 reads back as 44). Thread-safe.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace registry {

std::filesystem::path store_folder();

// The first byte of the value's data; 0 when the key or the value is missing.
std::uint8_t read_value(std::string_view key, std::string_view value_name);

// Creates the key as needed and stores the value as 4 raw bytes. Failures are ignored (result 0).
int write_value(std::string_view key, std::string_view value_name, std::uint32_t value);

}  // namespace registry
