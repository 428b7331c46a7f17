// Answers the next file dialog the code under test opens, for tests. UI thread only.
#pragma once

#include <QObject>
#include <filesystem>

namespace support {

// Polls every 10 ms for a visible file dialog and accepts it with `file` chosen. The poll ends once it
// has answered, or with `owner` (nullptr: it lives until it answers).
void choose_file_when_asked(const std::filesystem::path& file, QObject* owner = nullptr);

}  // namespace support
