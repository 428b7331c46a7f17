// A module profile: one ".hcp" record (the 72-byte ScreenParams) with what a person needs to find the
// module again, and its file form (docs/module-profiles.md): UTF-8 text, one "key = value" a line, the
// record's exact bytes in hexadecimal. Pure functions over bytes; no files, no Qt.
//
// A profile is read whole or not at all: a file that fails any check comes back with a named error
// and is never applied. The words (scan, colour order, polarities) are written from the record for
// people to read; on reading they must agree with it, so an edit of a word that the record does not
// carry is caught instead of silently ignored.
// Threading: pure functions and plain values.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "screenconfig/screen_params.h"

namespace profiles {

inline constexpr int kFormatVersion = 1;
inline constexpr const char* kFileExtension = ".vmp";
inline constexpr std::size_t kMaxNameLength = 64;     // bytes of UTF-8
inline constexpr std::size_t kMaxFileSize = 1 << 20;  // a profile is text; anything larger is not one

struct Profile {
    std::string name;                 // required; 1..64 bytes, no control characters
    std::string maker, model, pitch;  // as the technician typed them
    std::uint32_t width = 0;          // module size in LEDs; 0: not known
    std::uint32_t height = 0;
    std::string notes;                  // may hold line breaks
    std::string date;                   // "YYYY-MM-DD"
    std::string picture;                // file name of the traced grid picture beside the profile, or empty
    screenconfig::ScreenParams record;  // its word sum matches (make_profile seals it)

    friend bool operator==(const Profile&, const Profile&) = default;
};

enum class ProfileError {
    None,
    NotAProfile,     // no "format" line first: some other file
    UnknownVersion,  // a format this program does not know
    Truncated,       // the file ends before its "end" line, or the record has fewer than 72 bytes
    MissingField,    // a required field (name, record) is absent
    BadLine,         // a line that is not "key = value", or a key given twice
    BadValue,        // a field's value is not of its kind (a size that is not a number, bad hexadecimal)
    BadName,         // the name is empty, too long or holds control characters
    BadRecord,       // the record lacks its "LED" or "END" marker
    BadWordSum,      // the record's word 17 is not the sum of words 0..16
    WordsDisagree,   // a word (scan, colour order, polarity) says something the record does not
};

// The error's name as the command line's JSON and the tests use it ("bad_word_sum").
std::string_view error_name(ProfileError error);

struct ParsedProfile {
    ProfileError error = ProfileError::None;
    std::string detail;  // for people: the line or field at fault
    Profile profile;     // meaningful only without error
    bool ok() const { return error == ProfileError::None; }
};

ParsedProfile parse_profile(std::span<const std::uint8_t> bytes);
inline ParsedProfile parse_profile(std::string_view text) {
    return parse_profile(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

// The file form of `profile` (its record as it is: seal it first, as make_profile does).
std::string serialise_profile(const Profile& profile);

// Whether `name` may name a profile (1..64 bytes of valid UTF-8, no control characters).
bool valid_name(std::string_view name);

// A profile of `record` (sealed here: a fresh word sum) with `name` and today's date left to the caller.
Profile make_profile(const screenconfig::ScreenParams& record, std::string name);

// The name proposed for a module of `width` x `height` LEDs and the record's scan: "32x16 1/8";
// without a size, the scan alone ("1/8 scan"), and "module" when the record has no known scan either.
std::string proposed_name(std::uint32_t width, std::uint32_t height,
                          const screenconfig::ScreenParams& record);

// The record's values in words, as the file and the displays show them.
std::string scan_words(const screenconfig::ScreenParams& record);          // "1/8"; "code 7" when unknown
std::string colour_order_words(const screenconfig::ScreenParams& record);  // "RGB"..; "code 9" when unknown
std::string polarity_words(std::uint32_t value);                           // "positive", "negative", "code 5"

}  // namespace profiles
