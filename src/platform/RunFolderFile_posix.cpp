#include "platform/RunFolderFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/Descriptor.h"

namespace snapsift {

namespace {

// O_NONBLOCK: a FIFO that took a file's place after it was looked at still opens at once.
// O_NOFOLLOW: a link there is refused, never followed.
constexpr int kFileFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;

RunEntryKind KindOfMode(mode_t mode) {
    if (S_ISREG(mode)) return RunEntryKind::File;
    if (S_ISDIR(mode)) return RunEntryKind::Folder;
    if (S_ISLNK(mode)) return RunEntryKind::Link;
    return RunEntryKind::Special;
}

}  // namespace

struct RunFolder::State {
    Descriptor folder;
};

RunFolder::RunFolder() : state_(std::make_unique<State>()) {}
RunFolder::~RunFolder() = default;

bool RunFolder::Open(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return false;
    state_->folder.Reset(OpenRetrying(AT_FDCWD, path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return state_->folder.Valid();
}

std::optional<std::vector<RunEntry>> RunFolder::Entries() const {
    // A listing of its own: the held descriptor's offset stays where it is.
    Descriptor listed(OpenRetrying(state_->folder.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!listed.Valid()) return std::nullopt;
    DIR* const listing = ::fdopendir(listed.Get());
    if (listing == nullptr) return std::nullopt;
    listed.Release();
    std::vector<RunEntry> entries;
    bool failed = false;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(listing);
        if (entry == nullptr) {
            failed = errno != 0;
            break;
        }
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..") continue;
        struct stat look;
        // An entry gone since it was listed is missing, as it would be a moment later.
        const RunEntryKind kind = ::fstatat(::dirfd(listing), entry->d_name, &look, AT_SYMLINK_NOFOLLOW) == 0
                                      ? KindOfMode(look.st_mode)
                                      : RunEntryKind::Missing;
        entries.push_back({std::string(name), kind});
    }
    ::closedir(listing);
    if (failed) return std::nullopt;
    return entries;
}

RunFolderFile::~RunFolderFile() { Close(); }

void RunFolderFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = offset_ = 0;
}

std::optional<RunEntryKind> RunFolderFile::Open(const RunFolder& folder, std::string_view name) {
    Close();
    error_ = 0;
    if (!IsSingleName(name) || !folder.state_->folder.Valid()) {
        error_ = EINVAL;
        return std::nullopt;
    }
    const std::string text(name);
    const int at = folder.state_->folder.Get();
    // Look before opening: opening a device can have effects of its own.
    struct stat look;
    if (::fstatat(at, text.c_str(), &look, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return RunEntryKind::Missing;
        error_ = errno;
        return std::nullopt;
    }
    if (!S_ISREG(look.st_mode)) return KindOfMode(look.st_mode);
    Descriptor fd(OpenRetrying(at, text.c_str(), kFileFlags));
    if (!fd.Valid()) {
        // What took the file's place since the look.
        if (errno == ENOENT) return RunEntryKind::Missing;
        if (errno == ELOOP) return RunEntryKind::Link;
        error_ = errno;
        return std::nullopt;
    }
    struct stat info;
    if (::fstat(fd.Get(), &info) != 0) {
        error_ = errno;
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) return KindOfMode(info.st_mode);
    fd_ = fd.Release();
    size_ = static_cast<std::uint64_t>(info.st_size);
    return RunEntryKind::File;
}

std::int64_t RunFolderFile::Read(void* buffer, std::size_t size) {
    if (fd_ < 0) {
        error_ = EBADF;
        return -1;
    }
    const std::int64_t n = ReadWithin(fd_, buffer, size, size_ - offset_);
    if (n < 0) error_ = errno;
    else offset_ += static_cast<std::uint64_t>(n);
    return n;
}

bool RunFolderFile::SizeUnchanged() const {
    struct stat info;
    return fd_ >= 0 && ::fstat(fd_, &info) == 0 && static_cast<std::uint64_t>(info.st_size) == size_;
}

}  // namespace snapsift
