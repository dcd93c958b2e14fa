#include "platform/OutputFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace snapsift {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    bool Close() {
        if (fd_ < 0) return true;
        const bool closed = ::close(fd_) == 0;
        fd_ = -1;
        return closed;
    }

private:
    int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (written == 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

bool WriteOutputFile(const std::string& path, std::string_view bytes, OutputWrite mode) {
    const int flags =
        O_WRONLY | O_CLOEXEC | O_NOCTTY | (mode == OutputWrite::Create ? O_CREAT | O_TRUNC : O_APPEND);
    Descriptor file(::open(path.c_str(), flags, 0666));
    if (file.Get() < 0) return false;
    struct stat before {};
    if (::fstat(file.Get(), &before) != 0 || !S_ISREG(before.st_mode)) return false;
    if (!WriteAll(file.Get(), bytes)) {
        // Take back what a short write left, so no part of it stays in the file.
        [[maybe_unused]] const int truncated = ::ftruncate(file.Get(), before.st_size);
        return false;
    }
    return file.Close();
}

}  // namespace snapsift
