// Small texts about sizes, versions and the running system.
// Threading: no state; safe from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvra::files {

// A byte count as text, 1024 to the unit: below 1024 the plain count ("1023"); then kibibytes with one
// decimal ("1.4K" for 1500); from 1024 x 1024 on, mebibytes with one decimal ("3.0M"). The decimal is
// the tenths of the unit, rounded down.
std::string size_text(std::uint64_t bytes);

// "V%x.%x" of the high and low 16 bits: 0x00020010 gives "V2.10".
std::string version_text(std::uint32_t value);

// The value of a text of 1 to 8 decimal digits; 0 for any other length and for a text holding
// anything but the digits 0 to 9.
std::uint32_t decimal_text_to_number(std::string_view text);

// The Windows folder: the environment variable "windir", at most 100 characters (empty when unset).
std::string windows_folder();

// The running system in the terms of the Windows version table. This is not Windows: the code is 1
// (a current NT-family system, not one of the old versions the table names), the form every present
// Windows reports too, and the name is the system's own, "<sysname> <release>" from uname (for
// example "Linux 6.1.0-18-amd64").
int windows_version_code();
std::string windows_version_name();

}  // namespace kelvra::files
