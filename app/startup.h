// Start-up of the program: program folder, settings file, language, single instance, main window.
// UI thread only.
#pragma once

#include <QString>
#include <filesystem>

#include "platform/localisation.h"

namespace startup {

// Embedded default files ("owner data"): the three language files and the default settings file.
enum Resource : int {
    kEnglishLanguage = 1,
    kSimplifiedLanguage = 2,
    kTraditionalLanguage = 3,
    kSettings = 4
};

// Writes embedded resource `number` to `file` (create or truncate). False when there is no such
// resource; a file that cannot be opened is skipped silently.
bool extract_resource(int number, const std::filesystem::path& file);

// Writes "Multi_eng_zavo.ini", "Multi_ch_zavo_s.ini" and "Multi_ch_zavo_t.ini" into `language_folder`.
void write_default_language_files(const std::filesystem::path& language_folder);

std::filesystem::path settings_file(const std::filesystem::path& program_folder);

// Settings file (written from the embedded copy when missing) and language choice: the settings and
// any language files of the user's own in `program_folder`, the installed language files in
// `shared_folder` (empty: none).
localisation::Choice prepare(const std::filesystem::path& program_folder,
                             const std::filesystem::path& shared_folder = {});

// Makes Qt's own texts (file dialogs, standard buttons) follow the chosen language: installs the
// distribution's translation of Qt for localisation::locale_name() (replacing one installed before) and makes
// that locale the default. False when Qt has no translation for it (English needs none).
bool install_qt_translation();

// The whole program; returns the process exit code.
int run(int argc, char** argv);

}  // namespace startup
