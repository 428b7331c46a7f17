#include "screenconfig/record_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/paths.h"

namespace screenconfig {

namespace {

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // Closes now and reports the result (a delayed write error can surface here).
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool write_all_at(int fd, std::span<const std::uint8_t> data, std::uint64_t offset) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n =
            ::pwrite(fd, data.data() + done, data.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

HcpLoad load_hcp(const std::filesystem::path& path) {
    HcpLoad result;
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return result;  // OpenFailed
    std::array<std::uint8_t, kParamsSize> buf{};
    std::size_t got = 0;
    while (got < buf.size()) {
        const ssize_t n = ::read(fd.get(), buf.data() + got, buf.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            result.status = LoadStatus::ReadFailed;
            return result;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    if (got < buf.size()) {
        result.status = LoadStatus::TooShort;
        return result;
    }
    result.record = ScreenParams(buf);
    result.status = result.record.sum_matches() ? LoadStatus::Ok : LoadStatus::SumMismatch;
    return result;
}

WriteStatus write_at_offset(const std::filesystem::path& path, std::uint64_t offset,
                            std::span<const std::uint8_t> data) {
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    if (fd.get() < 0) return WriteStatus::OpenFailed;
    if (!write_all_at(fd.get(), data, offset)) return WriteStatus::WriteFailed;
    if (::fsync(fd.get()) != 0) return WriteStatus::WriteFailed;
    if (!fd.close()) return WriteStatus::WriteFailed;
    return WriteStatus::Ok;
}

WriteStatus save_hcp(const std::filesystem::path& path, ScreenParams& params) {
    params.seal();
    return write_at_offset(path, 0, params.bytes());
}

std::filesystem::path temp_sys_path() {
    return temp_sys_path(paths::program_folder());
}

std::filesystem::path temp_sys_path(const std::filesystem::path& folder) {
    return folder / kTempSysName;
}

WriteStatus write_temp_sys(const ScreenConfig& image, const std::filesystem::path& file) {
    // Written beside the target and renamed over it: the old image stays whole until the new one is.
    std::filesystem::path part = file;
    part += ".part";
    Fd fd(::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (fd.get() < 0) return WriteStatus::OpenFailed;
    const bool written = write_all_at(fd.get(), image.bytes(), 0) && ::fsync(fd.get()) == 0 && fd.close();
    if (!written || ::rename(part.c_str(), file.c_str()) != 0) {
        ::unlink(part.c_str());
        return WriteStatus::WriteFailed;
    }
    return WriteStatus::Ok;
}

std::string describe(WriteStatus status, const std::filesystem::path& path) {
    switch (status) {
        case WriteStatus::Ok:
            return {};
        case WriteStatus::OpenFailed:
            return "Cannot open " + path.string() + " for writing";
        case WriteStatus::WriteFailed:
            return "Cannot write " + path.string();
    }
    return {};
}

}  // namespace screenconfig
