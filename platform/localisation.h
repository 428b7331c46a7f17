// Language files: choosing one, and looking texts up by key.
//
// A language file is an INI file; section "Setting" key "ZAVO_Language" names its language, section
// "String" holds the texts ("IDD%d_Title", "IDD%d_%d", IDS_MESSAGE_*). Files are UTF-8; files written
// in the legacy Windows code pages (GBK for simplified, Big5 for traditional Chinese) are recognised
// and converted, so every text handed out here is UTF-8.
// Thread-safe: the current file is guarded; lookups read the file afresh.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace localisation {

inline constexpr std::string_view kDefaultLanguage = "Chinese_zavo_s";
inline constexpr std::string_view kNotFound = "Not found";

// The file's bytes as UTF-8 (legacy code pages detected and converted).
std::string to_utf8(std::string_view raw_bytes, std::string_view language_hint);

// Writes the default language files into `language_folder` (the embedded copies); supplied by the
// program at start-up, absent in the library.
using DefaultWriter = std::function<void(const std::filesystem::path& language_folder)>;

struct Choice {
    std::filesystem::path file;  // the current language file
    std::string language;        // the wanted name, as stored in "setting.ini"
};

// Chooses the language: `requested` when not empty, else "ZAVO_Language" of `settings_file` (default
// "Chinese_zavo_s"); the first "Language/*.ini" under `program_folder`, then under `shared_folder`
// (the installed language files; empty: none), whose ZAVO_Language equals it. None matches: the
// default files are written into `program_folder`'s "Language" and "Multi_ch_zavo_s.ini" is taken. The
// wanted name is stored in the settings file. The result becomes the current language.
Choice choose_language(const std::filesystem::path& program_folder,
                       const std::filesystem::path& settings_file, std::string_view requested,
                       const DefaultWriter& write_defaults, const std::filesystem::path& shared_folder = {});

// The current language file (empty path before any choice).
std::filesystem::path current_file();
void set_current_file(const std::filesystem::path& file);

// The text of `key` in section "String" of the current file, "\n" pairs turned into line breaks; the
// text read with a 1000-byte buffer. Missing key: "Not found".
std::string lookup(std::string_view key);
// As lookup(), but an empty text (not "Not found") when the key is missing: for dialog texts.
std::string lookup_or_empty(std::string_view key);

// "IDD%d_Title" and "IDD%d_%d".
std::string dialog_title_key(int dialog);
std::string control_key(int dialog, int control);

// The locale of the chosen language (its key IDS_MESSAGE_LOCALE, e.g. "zh_CN"); "en" when it has none.
std::string locale_name();

}  // namespace localisation
