#include "platform/Descriptor.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace snapsift {

int Descriptor::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void Descriptor::Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

int Descriptor::Close() {
    if (fd_ < 0) return 0;
    const int result = ::close(Release());
    return result == 0 ? 0 : errno;
}

int OpenRetrying(int folder, const char* path, int flags, mode_t mode) {
    int fd;
    do {
        fd = ::openat(folder, path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool VolumeNeverMovesAccessTimes(int fd) {
    struct statvfs volume{};
    return ::fstatvfs(fd, &volume) == 0 && (volume.f_flag & (ST_RDONLY | ST_NOATIME)) != 0;
}

std::int64_t ReadWithin(int fd, void* buffer, std::size_t size, std::uint64_t left) {
    const auto request = static_cast<std::size_t>(std::min<std::uint64_t>(std::min<std::size_t>(size, 1 << 30), left));
    if (request == 0) return 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, request);
        if (n >= 0 || errno != EINTR) return n;
    }
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (written == 0) {
            errno = EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace snapsift
