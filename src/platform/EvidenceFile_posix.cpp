#include "platform/EvidenceFile.h"
#include "platform/Descriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace snapsift {

namespace {

constexpr std::int64_t kSequentialHintSize = 1 << 20;
constexpr off_t kReadAheadSize = 4 << 20;
// O_NONBLOCK: should a FIFO have taken the file's place since it was looked at, the open still
// returns at once. O_NOFOLLOW: a link in the file's place is refused, never followed.
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;
constexpr unsigned kWanted = STATX_TYPE | STATX_SIZE | STATX_ATIME | STATX_MTIME | STATX_BTIME;

std::optional<DateTime> ToDate(const struct statx_timestamp& stamp) {
    const auto fileTime = FileTimeFromUnixTime(stamp.tv_sec, stamp.tv_nsec);
    return fileTime ? FileTimeToDate(*fileTime) : std::nullopt;
}

std::int64_t Nanoseconds(const struct statx_timestamp& stamp) {
    return stamp.tv_sec * 1'000'000'000 + stamp.tv_nsec;
}

// The creation time that the ntfs-3g driver hands out as an extended attribute.
std::optional<DateTime> NtfsCreationTime(int fd) {
    char bytes[8];
    const ssize_t length = ::fgetxattr(fd, "system.ntfs_crtime", bytes, sizeof bytes);
    if (length != static_cast<ssize_t>(sizeof bytes)) return std::nullopt;
    const auto fileTime = FileTimeFromLittleEndian(std::string_view(bytes, sizeof bytes));
    return fileTime ? FileTimeToDate(*fileTime) : std::nullopt;
}

bool StatOpen(int fd, struct statx& info) {
    return ::statx(fd, "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT, kWanted, &info) == 0 &&
           (info.stx_mask & (STATX_TYPE | STATX_SIZE | STATX_MTIME)) == (STATX_TYPE | STATX_SIZE | STATX_MTIME);
}

}  // namespace

EvidenceFile::~EvidenceFile() { Close(); }


void EvidenceFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = offset_ = 0;
    timesRead_ = false;
}

bool EvidenceFile::Open(const DirectoryListing& folder, std::string_view name, const std::string& /*fullPath*/) {
    Close();
    const int descriptor = FolderDescriptor(folder);
    if (descriptor < 0 || name.empty() || name.find('/') != std::string_view::npos ||
        name.find('\0') != std::string_view::npos) {
        error_ = EINVAL;
        return false;
    }
    return OpenAt(descriptor, std::string(name).c_str());
}

bool EvidenceFile::Open(const std::string& path) {
    Close();
    if (path.empty() || path.find('\0') != std::string::npos) {  // the system would stop at it
        error_ = EINVAL;
        return false;
    }
    return OpenAt(AT_FDCWD, path.c_str());
}

void EvidenceFile::ReadAhead(const DirectoryListing& folder, std::string_view name) {
    const int descriptor = FolderDescriptor(folder);
    if (descriptor < 0 || name.empty() || name.find('/') != std::string_view::npos ||
        name.find('\0') != std::string_view::npos)
        return;
    const std::string text(name);
    struct stat look;
    if (::fstatat(descriptor, text.c_str(), &look, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(look.st_mode)) return;
    Descriptor fd(OpenRetrying(descriptor, text.c_str(), kReadFlags | O_NOATIME));
    if (!fd.Valid() && errno == EPERM) fd.Reset(OpenRetrying(descriptor, text.c_str(), kReadFlags));
    struct stat info;
    // The hint starts the reads and returns; it moves no time of the file. The reads themselves
    // keep ahead of a long file once they are under way.
    if (fd.Valid() && ::fstat(fd.Get(), &info) == 0 && S_ISREG(info.st_mode))
        ::posix_fadvise(fd.Get(), 0, std::min<off_t>(info.st_size, kReadAheadSize), POSIX_FADV_WILLNEED);
}

bool EvidenceFile::OpenAt(int folder, const char* name) {
    error_ = 0;
    accessTimeKept_ = true;
    // Look before opening: opening a device can have effects of its own (a tape rewinds).
    struct stat look;
    if (::fstatat(folder, name, &look, AT_SYMLINK_NOFOLLOW) != 0) {
        error_ = errno;
        return false;
    }
    if (!S_ISREG(look.st_mode)) {
        error_ = S_ISDIR(look.st_mode) ? EISDIR : S_ISLNK(look.st_mode) ? ELOOP : EINVAL;
        return false;
    }
    // Reading moves the access time unless the kernel is asked not to, which only the file's
    // owner (or root) may do; anyone else reads without, and the caller hears of it, unless the
    // volume never moves access times.
    Descriptor fd(OpenRetrying(folder, name, kReadFlags | O_NOATIME));
    if (!fd.Valid() && errno == EPERM) {
        fd.Reset(OpenRetrying(folder, name, kReadFlags));
        accessTimeKept_ = fd.Valid() && VolumeNeverMovesAccessTimes(fd.Get());
    }
    struct statx info;
    if (!fd.Valid() || !StatOpen(fd.Get(), info)) {
        error_ = errno;
        return false;
    }
    if (!S_ISREG(info.stx_mode)) {  // something else took the file's place after the look
        error_ = EINVAL;
        return false;
    }
    fd_ = fd.Release();
    size_ = static_cast<std::int64_t>(info.stx_size);
    modifiedAtOpen_ = Nanoseconds(info.stx_mtime);

    // The times as they are now, before any byte is read.
    const auto accessed = (info.stx_mask & STATX_ATIME) != 0 ? ToDate(info.stx_atime) : std::nullopt;
    const auto modified = ToDate(info.stx_mtime);
    if ((info.stx_mask & STATX_BTIME) != 0) {
        created_ = ToDate(info.stx_btime);
        timesRead_ = created_.has_value();
    } else {
        created_ = NtfsCreationTime(fd_);
        timesRead_ = true;
    }
    timesRead_ = timesRead_ && accessed && modified;
    if (timesRead_) {
        accessed_ = *accessed;
        modified_ = *modified;
    }
    if (size_ >= kSequentialHintSize) ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
}

bool EvidenceFile::Times(std::optional<DateTime>& created, DateTime& accessed, DateTime& modified) const {
    if (fd_ < 0 || !timesRead_) return false;
    created = created_;
    accessed = accessed_;
    modified = modified_;
    return true;
}

std::int64_t EvidenceFile::Read(void* buffer, std::size_t size) {
    if (fd_ < 0) {
        error_ = EBADF;
        return -1;
    }
    const std::int64_t n =
        ReadWithin(fd_, buffer, size, static_cast<std::uint64_t>(std::max<std::int64_t>(size_ - offset_, 0)));
    if (n < 0) error_ = errno;
    else offset_ += n;
    return n;
}

bool EvidenceFile::UnchangedSinceOpen() {
    struct statx info;
    if (fd_ < 0 || !StatOpen(fd_, info)) return false;
    return static_cast<std::int64_t>(info.stx_size) == size_ && Nanoseconds(info.stx_mtime) == modifiedAtOpen_;
}

}  // namespace snapsift
