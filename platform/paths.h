// Where things live on this system.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace paths {

// The running executable's folder, ending in "/". Tests may override it with set_program_folder().
std::filesystem::path program_folder();
void set_program_folder(const std::filesystem::path& folder);

// An installed program (<prefix>/bin/Vantor beside <prefix>/share/vantor/) reads the files it ships
// (language files in "Language/", help pages) from <prefix>/share/vantor/ and writes its settings files
// ("setting.ini", "default.ini") in $XDG_CONFIG_HOME/vantor/ (created on demand), since it may not write
// beside itself. Anywhere else (a build folder, a copied folder), both are the program folder, as for
// the Windows program. With set_program_folder() both are that folder. Each ends in "/".
std::filesystem::path shared_data_folder();
std::filesystem::path settings_folder();

// <prefix>/share/vantor/ when `program_folder` is <prefix>/bin/ and that folder exists; else none.
std::optional<std::filesystem::path> installed_data_folder(const std::filesystem::path& program_folder);

// The fixed per-user folder that stands in for drive "D:\" places ($XDG_DATA_HOME or ~/.local/share,
// + "/vantor"), created on demand.
std::filesystem::path user_data_folder();

// An XDG base folder: the absolute path in `variable` (e.g. "XDG_CONFIG_HOME"), else $HOME +
// `home_relative` (e.g. ".config").
std::filesystem::path xdg_folder(const char* variable, const char* home_relative);

// A local path as callers ported from Windows may give it: "\" is taken as a separator too.
std::filesystem::path from_local_text(std::string text);

}  // namespace paths
