#include "profiles/profile_library.h"

#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>

#include "platform/paths.h"
#include "profiles/profile_archive.h"

namespace profiles {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxStem = 80;  // with ".vmp" and a picture's extension, under 99 bytes
constexpr std::size_t kMaxPicture = 16u << 20;

std::optional<std::vector<std::uint8_t>> read_whole(const fs::path& file, std::size_t limit) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    char buffer[65536];
    while (in) {
        in.read(buffer, sizeof buffer);
        bytes.insert(bytes.end(), buffer, buffer + in.gcount());
        if (bytes.size() > limit) break;  // not read on: the reader refuses it by its size
    }
    if (in.bad()) return std::nullopt;
    return bytes;
}

std::span<const std::uint8_t> as_bytes(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

LibraryResult fail(LibraryError error, std::string detail) {
    return {error, std::move(detail)};
}

LibraryEntry entry_of(const fs::path& file) {
    LibraryEntry e;
    e.file = file;
    e.name = file.filename().string();
    const auto bytes = read_whole(file, kMaxFileSize);
    if (!bytes) {
        e.error = ProfileError::Truncated;
        e.detail = "cannot be read";
        return e;
    }
    ParsedProfile parsed = parse_profile(*bytes);
    e.error = parsed.error;
    e.detail = parsed.detail;
    if (parsed.ok()) {
        e.profile = std::move(parsed.profile);
        e.name = e.profile.name;
    }
    return e;
}

std::string extension_of(const fs::path& picture) {
    std::string ext = picture.extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext.size() > 6 || ext.find_first_not_of(".abcdefghijklmnopqrstuvwxyz0123456789") != std::string::npos)
        return ".img";
    return ext;
}

}  // namespace

std::string_view error_name(LibraryError error) {
    switch (error) {
        case LibraryError::None:
            return "none";
        case LibraryError::NotFound:
            return "not_found";
        case LibraryError::Damaged:
            return "damaged";
        case LibraryError::Exists:
            return "exists";
        case LibraryError::BadName:
            return "bad_name";
        case LibraryError::ReadFailed:
            return "read_failed";
        case LibraryError::WriteFailed:
            return "write_failed";
        case LibraryError::NotAProfile:
            return "not_a_profile";
        case LibraryError::NotAnArchive:
            return "not_an_archive";
    }
    return "unknown";
}

fs::path default_library_folder() {
    return paths::xdg_folder("XDG_DATA_HOME", ".local/share") / "vantor" / "profiles";
}

std::string library_file_stem(std::string_view name) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string stem;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == '%' || (i == 0 && c == '.')) {
            stem += '%';
            stem += kHex[c >> 4];
            stem += kHex[c & 15];
        } else {
            stem += static_cast<char>(c);
        }
    }
    if (stem.size() <= kMaxStem) return stem;
    // FNV-1a of the whole name keeps two long names that share their beginning apart.
    std::uint32_t hash = 2166136261u;
    for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    std::size_t cut = kMaxStem - 9;
    while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) --cut;  // whole characters
    if (cut > 0 && stem[cut - 1] == '%')
        cut -= 1;
    else if (cut > 1 && stem[cut - 2] == '%')
        cut -= 2;
    std::string out = stem.substr(0, cut) + "~";
    for (int shift = 28; shift >= 0; shift -= 4) out += kHex[(hash >> shift) & 15];
    return out;
}

std::string today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

ProfileLibrary::ProfileLibrary(fs::path folder) : folder_(std::move(folder)) {}

fs::path ProfileLibrary::file_of(std::string_view name) const {
    return folder_ / (library_file_stem(name) + kFileExtension);
}

std::vector<LibraryEntry> ProfileLibrary::list() const {
    std::vector<LibraryEntry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() != kFileExtension) continue;
        if (!it->is_regular_file(ec)) continue;
        entries.push_back(entry_of(it->path()));
    }
    std::sort(entries.begin(), entries.end(), [](const LibraryEntry& a, const LibraryEntry& b) {
        if (a.damaged() != b.damaged()) return !a.damaged();
        return a.damaged() ? a.file.filename() < b.file.filename() : a.name < b.name;
    });
    return entries;
}

std::optional<LibraryEntry> ProfileLibrary::find(std::string_view name) const {
    if (valid_name(name)) {
        std::error_code ec;
        const fs::path file = file_of(name);
        if (fs::is_regular_file(file, ec)) {
            LibraryEntry e = entry_of(file);
            if (e.damaged() || e.name == name) return e;
        }
    }
    for (LibraryEntry& e : list())
        if (e.name == name || e.file.filename() == name || e.file.stem() == name) return std::move(e);
    return std::nullopt;
}

LibraryResult ProfileLibrary::write_file(const fs::path& file, std::span<const std::uint8_t> bytes) const {
    std::error_code ec;
    fs::create_directories(folder_, ec);
    const fs::path part = file.string() + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            fs::remove(part, ec);
            return fail(LibraryError::WriteFailed, "cannot write " + file.string());
        }
    }
    fs::rename(part, file, ec);
    if (ec) {
        fs::remove(part, ec);
        return fail(LibraryError::WriteFailed, "cannot write " + file.string());
    }
    return {};
}

LibraryResult ProfileLibrary::save(Profile profile, bool replace, const std::optional<fs::path>& picture) {
    if (!valid_name(profile.name))
        return fail(LibraryError::BadName, "\"" + profile.name + "\" cannot name a profile");
    if (!profile.record.sum_matches())
        return fail(LibraryError::Damaged, "the record's word sum does not match");
    if (profile.date.empty()) profile.date = today();
    const fs::path file = file_of(profile.name);
    std::error_code ec;
    if (!replace && fs::exists(file, ec))
        return fail(LibraryError::Exists, "a profile named \"" + profile.name + "\" exists");
    const std::optional<LibraryEntry> old =
        fs::exists(file, ec) ? std::optional(entry_of(file)) : std::nullopt;
    if (picture) {
        const auto bytes = read_whole(*picture, kMaxPicture);
        if (!bytes || bytes->size() > kMaxPicture)
            return fail(LibraryError::ReadFailed, "cannot read " + picture->string());
        const std::string name = library_file_stem(profile.name) + extension_of(*picture);
        if (auto r = write_file(folder_ / name, *bytes); !r.ok()) return r;
        profile.picture = name;
    }
    const std::string text = serialise_profile(profile);
    // The file must read back as what was meant: a value that the format cannot carry is refused here.
    if (const ParsedProfile back = parse_profile(text); !back.ok())
        return fail(LibraryError::BadName, std::string(error_name(back.error)) + ": " + back.detail);
    if (auto r = write_file(file, as_bytes(text)); !r.ok()) return r;
    if (old && !old->damaged() && !old->profile.picture.empty() && old->profile.picture != profile.picture)
        fs::remove(folder_ / old->profile.picture, ec);
    return {};
}

LibraryResult ProfileLibrary::remove(std::string_view name) {
    const auto entry = find(name);
    if (!entry) return fail(LibraryError::NotFound, "no profile named \"" + std::string(name) + "\"");
    std::error_code ec;
    if (!entry->damaged() && !entry->profile.picture.empty())
        fs::remove(folder_ / entry->profile.picture, ec);
    if (!fs::remove(entry->file, ec) || ec)
        return fail(LibraryError::WriteFailed, "cannot remove " + entry->file.string());
    return {};
}

LibraryResult ProfileLibrary::export_one(std::string_view name, const fs::path& destination) const {
    const auto entry = find(name);
    if (!entry) return fail(LibraryError::NotFound, "no profile named \"" + std::string(name) + "\"");
    if (entry->damaged())
        return fail(LibraryError::Damaged, entry->file.filename().string() + " is damaged: " + entry->detail);
    const std::string text = serialise_profile(entry->profile);
    std::ofstream out(destination, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) return fail(LibraryError::WriteFailed, "cannot write " + destination.string());
    return {};
}

LibraryResult ProfileLibrary::import_one(const fs::path& source, bool replace, std::string* name) {
    const auto bytes = read_whole(source, kMaxFileSize);
    if (!bytes) return fail(LibraryError::ReadFailed, "cannot read " + source.string());
    ParsedProfile parsed = parse_profile(*bytes);
    if (!parsed.ok())
        return fail(
            LibraryError::NotAProfile,
            source.filename().string() + ": " + std::string(error_name(parsed.error)) + ": " + parsed.detail);
    if (name) *name = parsed.profile.name;
    std::optional<fs::path> picture;
    std::error_code ec;
    if (!parsed.profile.picture.empty()) {
        const fs::path beside = source.parent_path() / parsed.profile.picture;
        if (fs::is_regular_file(beside, ec))
            picture = beside;
        else
            parsed.profile.picture.clear();  // the picture did not travel with the file
    }
    return save(std::move(parsed.profile), replace, picture);
}

ExportAllResult ProfileLibrary::export_all(const fs::path& destination) const {
    ExportAllResult result;
    std::vector<ArchiveMember> members;
    for (const LibraryEntry& e : list()) {
        if (e.damaged()) {
            result.skipped.push_back(e.file.filename().string());
            continue;
        }
        const std::string text = serialise_profile(e.profile);
        members.push_back({e.file.filename().string(), std::vector<std::uint8_t>(text.begin(), text.end())});
        if (!e.profile.picture.empty()) {
            if (const auto picture = read_whole(folder_ / e.profile.picture, kMaxPicture))
                members.push_back({e.profile.picture, *picture});
        }
        ++result.exported;
    }
    const std::vector<std::uint8_t> archive = write_archive(members);
    std::ofstream out(destination, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(archive.data()), static_cast<std::streamsize>(archive.size()));
    out.flush();
    if (!out) result.result = fail(LibraryError::WriteFailed, "cannot write " + destination.string());
    return result;
}

ImportAllResult ProfileLibrary::import_all(const fs::path& archive, bool replace) {
    ImportAllResult result;
    const auto bytes = read_whole(archive, std::size_t{1} << 30);
    if (!bytes) {
        result.result = fail(LibraryError::ReadFailed, "cannot read " + archive.string());
        return result;
    }
    const ReadArchive read = read_archive(*bytes);
    if (read.error != ArchiveError::None) {
        result.result = fail(LibraryError::NotAnArchive, archive.filename().string() + ": " + read.detail);
        return result;
    }
    std::map<std::string, const ArchiveMember*> by_name;
    for (const ArchiveMember& m : read.members) by_name[m.name] = &m;
    for (const ArchiveMember& m : read.members) {
        if (fs::path(m.name).extension() != kFileExtension) continue;  // pictures go with their profile
        ImportedMember imported;
        imported.member = m.name;
        ParsedProfile parsed = parse_profile(m.bytes);
        if (!parsed.ok()) {
            imported.result =
                fail(LibraryError::NotAProfile, std::string(error_name(parsed.error)) + ": " + parsed.detail);
            result.members.push_back(std::move(imported));
            continue;
        }
        imported.name = parsed.profile.name;
        std::optional<fs::path> picture;
        const fs::path staged =
            folder_ / (".import-" + std::to_string(::getpid()) + extension_of(parsed.profile.picture));
        if (const auto it = by_name.find(parsed.profile.picture);
            !parsed.profile.picture.empty() && it != by_name.end()) {
            if (write_file(staged, it->second->bytes).ok()) picture = staged;
        }
        if (!picture) parsed.profile.picture.clear();
        imported.result = save(std::move(parsed.profile), replace, picture);
        std::error_code ec;
        if (picture) fs::remove(staged, ec);
        result.members.push_back(std::move(imported));
    }
    return result;
}

}  // namespace profiles
