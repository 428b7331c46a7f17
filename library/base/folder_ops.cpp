#include "library/base/folder_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <string>
#include <system_error>

#include "platform/localisation.h"
#include "library/base/messages.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

namespace kelvra::files {
namespace {

bool exists_no_follow(const fs::path& p) {
    std::error_code ec;
    return fs::symlink_status(p, ec).type() != fs::file_type::not_found && !ec;
}

bool is_real_directory(const fs::path& p) {
    std::error_code ec;
    return fs::symlink_status(p, ec).type() == fs::file_type::directory;
}

// "a/b/" names the folder "a/b": drop trailing separators so filename() is the last part.
fs::path without_trailing_separator(fs::path p) {
    std::string s = p.string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

// The read-only attribute's counterpart here: a folder without write or search permission keeps its
// entries. Give every folder of the tree back to its owner before deleting.
void make_removable(const fs::path& p) {
    if (!is_real_directory(p)) return;
    std::error_code ec;
    fs::permissions(p, fs::perms::owner_all, fs::perm_options::add, ec);
    for (fs::directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec))
        make_removable(it->path());
}

// Where `source` lands for a copy or move to `destination`.
fs::path landing_place(const fs::path& source, const fs::path& destination) {
    std::error_code ec;
    if (fs::is_directory(destination, ec)) return destination / source.filename();
    return destination;
}

// True when `inner` is `outer` or lies below it.
bool lies_within(const fs::path& inner, const fs::path& outer) {
    std::error_code ec;
    const fs::path a = fs::weakly_canonical(inner, ec);
    if (ec) return false;
    const fs::path b = fs::weakly_canonical(outer, ec);
    if (ec) return false;
    auto ai = a.begin();
    for (auto bi = b.begin(); bi != b.end(); ++bi, ++ai) {
        if (bi->empty()) continue;  // the empty part after a trailing separator
        if (ai == a.end() || *ai != *bi) return false;
    }
    return true;
}

bool copy_one(const fs::path& source, const fs::path& target) {
    std::error_code ec;
    if (is_real_directory(source)) {
        fs::create_directories(target, ec);
        if (ec) return false;
        bool ok = true;
        for (fs::directory_iterator it(source, ec), end; it != end; it.increment(ec)) {
            if (ec) return false;
            ok = copy_one(it->path(), target / it->path().filename()) && ok;
        }
        return ok && !ec;
    }
    if (fs::symlink_status(source, ec).type() == fs::file_type::symlink) {
        fs::remove(target, ec);
        fs::copy_symlink(source, target, ec);
        return !ec;
    }
    fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec);
    return !ec;
}

}  // namespace

fs::path local_path(std::string_view text) {
    return paths::from_local_text(std::string(text));
}

void create_folder(const fs::path& folder) {
    std::string s = folder.string();
    if (s.empty()) return;
    if (s.back() != '/') s.push_back('/');
    for (std::size_t at = s.find('/'); at != std::string::npos; at = s.find('/', at + 1)) {
        if (at == 0) continue;  // the root
        const fs::path part = s.substr(0, at);
        if (exists_no_follow(part)) continue;
        std::error_code ec;
        fs::create_directory(part, ec);  // a failure here does not stop the walk
    }
}

bool remove_path(const fs::path& path) {
    const fs::path p = without_trailing_separator(path);
    if (p.empty() || !exists_no_follow(p)) return false;
    make_removable(p);
    std::error_code ec;
    fs::remove_all(p, ec);
    return !ec && !exists_no_follow(p);
}

bool copy_path(const fs::path& source, const fs::path& destination) {
    const fs::path from = without_trailing_separator(source);
    if (from.empty() || destination.empty() || !exists_no_follow(from)) return false;
    const fs::path target = landing_place(from, without_trailing_separator(destination));
    if (is_real_directory(from) && lies_within(target, from)) return false;
    std::error_code ec;
    if (fs::equivalent(from, target, ec)) return false;  // a file onto itself
    return copy_one(from, target);
}

bool move_path(const fs::path& source, const fs::path& destination) {
    const fs::path from = without_trailing_separator(source);
    if (from.empty() || destination.empty() || !exists_no_follow(from)) return false;
    const fs::path target = landing_place(from, without_trailing_separator(destination));
    if (is_real_directory(from) && lies_within(target, from)) return false;
    std::error_code ec;
    fs::rename(from, target, ec);
    if (!ec) return true;
    // Another file system, or a folder onto a non-empty one: merge into `target` as a copy does, then
    // delete the source. (Going through copy_path would take `target` for the destination folder and
    // nest the source once more, dst/A/A.)
    if (fs::equivalent(from, target, ec)) return false;
    if (!copy_one(from, target)) return false;
    return remove_path(from);
}

bool delete_folder_tree(const fs::path& folder) {
    if (!is_real_directory(without_trailing_separator(folder))) return false;
    if (remove_path(folder)) return true;
    kelvra::show_message(localisation::lookup("IDS_MESSAGE_DELETE_FOLDER_FAILED"));
    return false;
}

std::uint64_t folder_size(const fs::path& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        kelvra::show_message(localisation::lookup("IDS_MESSAGE_FOLDER_NOT_EXIST"));
        return 0;
    }
    std::uint64_t total = 0;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code entry_ec;
        if (it->symlink_status(entry_ec).type() != fs::file_type::regular) continue;
        const std::uintmax_t n = it->file_size(entry_ec);
        if (!entry_ec) total += n;
    }
    return total;
}

std::uint64_t file_length(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return 0;
    const std::uintmax_t n = fs::file_size(path, ec);
    return ec ? 0 : n;
}

bool write_block(const fs::path& path, std::uint64_t offset, std::span<const std::uint8_t> data) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = true;
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n =
            ::pwrite(fd, data.data() + done, data.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) ok = false;
    return ok;
}

}  // namespace kelvra::files

namespace kelvra {
namespace {

// Closes a descriptor when it goes out of scope.
struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

std::optional<std::vector<std::uint8_t>> GetFileBuf(std::string_view local_path) {
    if (local_path.empty()) return std::nullopt;
    const std::filesystem::path path = files::local_path(local_path);
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below as not a regular file.
    Fd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (file.fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    if (static_cast<std::uint64_t>(st.st_size) > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    const int flags = ::fcntl(file.fd, F_GETFL);
    ::fcntl(file.fd, F_SETFL, flags & ~O_NONBLOCK);
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < buf.size()) {
        const ssize_t n = ::read(file.fd, buf.data() + got, buf.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;  // a read error, or the file shrank while it was read
        got += static_cast<std::size_t>(n);
    }
    return buf;
}

}  // namespace kelvra
