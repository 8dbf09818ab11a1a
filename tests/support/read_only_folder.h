// Makes a folder unwritable for this process for the lifetime of the object,
// the way an installation under /usr/local is for a normal user. Permission
// bits do not stop root, so as root the folder is made immutable (chattr +i,
// which needs CAP_LINUX_IMMUTABLE and a file system that supports it).
// Active() tells whether it worked; tests skip when it did not.
#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>

namespace hvtest {

class ReadOnlyFolder {
  public:
    explicit ReadOnlyFolder(std::filesystem::path dir) : dir_(std::move(dir)) {
        std::error_code ec;
        oldPerms_ = std::filesystem::status(dir_, ec).permissions();
        std::filesystem::permissions(dir_, std::filesystem::perms(0555), ec);
        if (Writable()) immutable_ = SetImmutable(true);
        active_ = !Writable();
    }
    ~ReadOnlyFolder() {
        if (immutable_) SetImmutable(false);
        std::error_code ec;
        std::filesystem::permissions(dir_, oldPerms_, ec);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    bool Active() const { return active_; }

  private:
    bool Writable() const { return ::access(dir_.c_str(), W_OK) == 0; }

    bool SetImmutable(bool on) {
        const int fd = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return false;
        int flags = 0;
        bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (ok) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return ok;
    }

    std::filesystem::path dir_;
    std::filesystem::perms oldPerms_ = std::filesystem::perms::unknown;
    bool immutable_ = false;
    bool active_ = false;
};

}  // namespace hvtest
