#include "platform/EvidenceFile.h"
#include "platform/Descriptor.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace snapsift {

namespace {

constexpr std::int64_t kSequentialHintSize = 1 << 20;
constexpr std::size_t kCopyChunk = 1 << 30;

bool FallBackFromKernelCopy(int error) {
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP;
}

// Moves what it can with the kernel's own copy (copy_file_range, else sendfile). Both leave
// the file positions after what they moved, so plain reads and writes go on from there.
// Returns 0, or errno for a failure that no fallback would mend.
int KernelCopy(int in, int out) {
    for (;;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kCopyChunk, 0);
        if (n > 0 || (n < 0 && errno == EINTR)) continue;
        if (n == 0) return 0;
        if (!FallBackFromKernelCopy(errno)) return errno;
        break;
    }
    for (;;) {
        const ssize_t n = ::sendfile(out, in, nullptr, kCopyChunk);
        if (n > 0 || (n < 0 && errno == EINTR)) continue;
        if (n == 0) return 0;
        return FallBackFromKernelCopy(errno) ? 0 : errno;
    }
}

// Copies the rest of `in` from its file position to `out`; returns 0 or errno. The final
// reads also confirm that nothing was left behind by the kernel copy.
int CopyContents(int in, int out) {
    if (const int error = KernelCopy(in, out); error != 0) return error;
    constexpr std::size_t kChunk = 1 << 20;
    const auto buffer = std::make_unique_for_overwrite<char[]>(kChunk);
    for (;;) {
        const ssize_t n = ::read(in, buffer.get(), kChunk);
        if (n == 0) return 0;
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (!WriteAll(out, std::string_view(buffer.get(), static_cast<std::size_t>(n)))) return errno;
    }
}

}  // namespace

EvidenceFile::~EvidenceFile() { Close(); }

bool EvidenceFile::IsOpen() const { return fd_ >= 0; }

void EvidenceFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = 0;
}

bool EvidenceFile::Open(const std::string& path) {
    Close();
    error_ = 0;
    if (path.find('\0') != std::string::npos) {  // the system would stop at it
        error_ = EINVAL;
        return false;
    }
    // Look before opening: opening a device can have effects of its own (a tape rewinds).
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        error_ = errno;
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error_ = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    // O_NONBLOCK: should the path have become a FIFO meanwhile, the open still returns at once.
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    Descriptor fd(OpenRetrying(AT_FDCWD, path.c_str(), flags | O_NOATIME));
    // O_NOATIME is for the file's owner only; anyone else opens without it.
    if (!fd.Valid() && errno == EPERM) fd.Reset(OpenRetrying(AT_FDCWD, path.c_str(), flags));
    if (!fd.Valid()) {
        error_ = errno;
        return false;
    }
    if (::fstat(fd.Get(), &st) != 0) {
        error_ = errno;
        return false;
    }
    if (!S_ISREG(st.st_mode)) {  // the path was replaced between the look and the open
        error_ = EINVAL;
        return false;
    }
    fd_ = fd.Release();
    size_ = st.st_size;
    if (size_ >= kSequentialHintSize) ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
}

std::int64_t EvidenceFile::Read(void* buffer, std::size_t size) {
    if (fd_ < 0) {
        error_ = EBADF;
        return -1;
    }
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, size);
        if (n >= 0) return n;
        if (errno != EINTR) {
            error_ = errno;
            return -1;
        }
    }
}

long CopyEvidenceFile(const std::string& from, const std::string& to) {
    EvidenceFile source;
    if (!source.Open(from)) return source.LastError();

    // No O_TRUNC yet: the destination is checked first, so that the source itself is never
    // emptied by a copy onto itself, and a FIFO or device in its place is left alone.
    if (to.find('\0') != std::string::npos) return EINVAL;
    Descriptor out(
        OpenRetrying(AT_FDCWD, to.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644));
    if (!out.Valid()) return errno;
    struct stat sourceStat, destinationStat;
    if (::fstat(source.fd_, &sourceStat) != 0 || ::fstat(out.Get(), &destinationStat) != 0) return errno;
    if (!S_ISREG(destinationStat.st_mode)) return EINVAL;
    if (sourceStat.st_dev == destinationStat.st_dev && sourceStat.st_ino == destinationStat.st_ino) return EINVAL;

    // A new file is empty already; truncating it anyway makes some file systems flush it on close.
    int error = destinationStat.st_size == 0 || ::ftruncate(out.Get(), 0) == 0 ? 0 : errno;
    if (error == 0) error = CopyContents(source.fd_, out.Get());
    const int closeError = out.Close();
    if (error == 0) error = closeError;
    if (error != 0) ::unlink(to.c_str());
    return error;
}

}  // namespace snapsift
