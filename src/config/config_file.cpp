#include "config/config_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>

namespace hv {
namespace {

// A writer holds its lock for the few microseconds of one small write; a
// short bounded wait avoids a spurious fallback (or a failed save) when the
// two programs meet, and never hangs.
constexpr int kLockAttempts = 20;
constexpr auto kLockRetryDelay = std::chrono::milliseconds(5);

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now, reporting the close error (delayed write errors show here).
    int Close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

  private:
    int fd_;
};

bool Lock(int fd, int operation) {
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        if (::flock(fd, operation | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        std::this_thread::sleep_for(kLockRetryDelay);
    }
    return false;
}

std::string SystemReason(int error) {
    return std::error_code(error, std::generic_category()).message();
}

WriteResult Failure(const std::filesystem::path& file, int error) {
    return {false, "Cannot write \"" + file.string() + "\": " + SystemReason(error)};
}

}  // namespace

std::string ReadConfigurationBytes(const std::filesystem::path& file, size_t limit) {
    // O_NONBLOCK keeps a FIFO from stalling the open; regular files ignore it.
    constexpr int kFlags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int raw = ::open(file.c_str(), O_RDWR | O_CREAT | kFlags, 0666);
    if (raw < 0) raw = ::open(file.c_str(), O_RDONLY | kFlags);
    if (raw < 0) return {};
    Fd fd(raw);

    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    if (!Lock(fd.get(), LOCK_SH)) return {};

    std::string bytes;
    const size_t expected = st.st_size > 0 ? static_cast<size_t>(st.st_size) : 0;
    bytes.resize(expected < limit ? expected : limit);
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return {};
        if (n == 0) break;  // the file shrank since fstat
        got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

WriteResult WriteConfigurationBytes(const std::filesystem::path& file, std::string_view bytes) {
    // Not O_TRUNC: the old contents go only once the lock is held, so a
    // reader never sees a half-written file.
    const int raw =
        ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (raw < 0) return Failure(file, errno);
    Fd fd(raw);

    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return Failure(file, errno);
    const bool regular = S_ISREG(st.st_mode);
    if (regular) {
        if (!Lock(fd.get(), LOCK_EX)) return Failure(file, errno == EWOULDBLOCK ? EBUSY : errno);
        // Room for the new contents is claimed before the old contents are
        // touched: on a full disk or over the file size limit the save fails
        // and the previous save stays whole. The new bytes then overwrite
        // the old ones from the start and the rest is cut off.
        if (!bytes.empty()) {
            const int rc = ::posix_fallocate(fd.get(), 0, static_cast<off_t>(bytes.size()));
            if (rc != 0 && rc != EOPNOTSUPP) return Failure(file, rc);
        }
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Failure(file, errno);
        if (n == 0) return Failure(file, EIO);
        done += static_cast<size_t>(n);
    }
    if (regular && ::ftruncate(fd.get(), static_cast<off_t>(bytes.size())) != 0)
        return Failure(file, errno);
    if (fd.Close() != 0) return Failure(file, errno);
    return {};
}

bool ConfigurationExists(const std::filesystem::path& file) {
    std::error_code ec;
    return std::filesystem::exists(file, ec);
}

std::filesystem::path ProgramDirectory() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && exe.has_parent_path()) return exe.parent_path();
    std::filesystem::path cwd = std::filesystem::current_path(ec);
    return ec ? std::filesystem::path(".") : cwd;
}

}  // namespace hv
