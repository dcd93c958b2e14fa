#include "platform/DirectoryListing.h"
#include "platform/Descriptor.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <ctime>

namespace snapsift {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
// Paths are opened in stretches that the kernel takes in one call.
constexpr std::size_t kStretch = PATH_MAX / 2;

// Opens a folder with O_NOATIME where the system allows it: listing a folder would otherwise
// move its access time, and only the owner (or root) may ask the kernel not to. timeKept turns
// false when the open had to go without, on a volume that moves access times.
template <typename Open>
int OpenKeepingAccessTime(Open open, bool& timeKept) {
    int fd = open(O_NOATIME);
    if (fd < 0 && errno == EPERM) {
        fd = open(0);
        if (fd >= 0 && !VolumeNeverMovesAccessTimes(fd)) timeKept = false;
    }
    return fd;
}

int OpenFolderAt(int parent, const char* path, bool last, bool followLink, bool& timeKept) {
    int flags = kFolderFlags;
    if (last && !followLink) flags |= O_NOFOLLOW;
    bool ignored = true;  // only the folder that is listed is read
    return OpenKeepingAccessTime([&](int extra) { return OpenRetrying(parent, path, flags | extra); },
                                 last ? timeKept : ignored);
}

// The end of the stretch of `path` that starts at pos: the whole rest when it fits one call,
// else the last separator within reach. npos when a single name is longer than a call takes.
std::size_t StretchEnd(std::string_view path, std::size_t pos) {
    if (path.size() - pos <= kStretch) return path.size();
    const std::size_t end = path.rfind('/', pos + kStretch);
    return end == std::string_view::npos || end <= pos ? std::string_view::npos : end;
}

// Opens the root folder by its path, a stretch at a time when the path is longer than the
// kernel takes in one call. Only the last name may be a link, and only when followLink is set.
int OpenRootFolder(const std::string& folderPath, bool followLink, bool& timeKept) {
    // A trailing separator would make the kernel follow a link in the last component.
    std::size_t length = folderPath.size();
    while (length > 1 && folderPath[length - 1] == '/') --length;
    const std::string path = folderPath.substr(0, length);
    if (path.empty()) {
        errno = ENOENT;
        return -1;
    }
    if (path.size() < PATH_MAX) return OpenFolderAt(AT_FDCWD, path.c_str(), true, followLink, timeKept);
    std::size_t pos = 0;
    Descriptor current;
    if (path[0] == '/') {
        current.Reset(OpenRetrying(AT_FDCWD, "/", kFolderFlags));
        if (!current.Valid()) return -1;
        while (pos < path.size() && path[pos] == '/') ++pos;
    }
    while (pos < path.size()) {
        const std::size_t end = StretchEnd(path, pos);
        if (end == std::string_view::npos) {
            errno = ENAMETOOLONG;
            return -1;
        }
        std::size_t next = end;
        while (next < path.size() && path[next] == '/') ++next;
        const std::string stretch = path.substr(pos, end - pos);
        const int fd = OpenFolderAt(current.Valid() ? current.Get() : AT_FDCWD, stretch.c_str(),
                                    next >= path.size(), followLink, timeKept);
        if (fd < 0) return -1;
        current.Reset(fd);
        pos = next;
    }
    return current.Release();
}

// openat2() where the kernel has it (Linux 5.6 on): one call that refuses a link anywhere on
// the way and any step out of `base`. Set once it turns out missing or filtered out.
std::atomic<bool> noOpenat2{false};

}  // namespace

void OpenFoldersNameByName(bool nameByName) { noOpenat2.store(nameByName); }

namespace {

int Openat2NoLinks(int base, const char* path, int flags) {
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags);
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | RESOLVE_BENEATH;
    for (int attempt = 0;; ++attempt) {
        const long fd = ::syscall(SYS_openat2, base, path, &how, sizeof how);
        if (fd >= 0) return static_cast<int>(fd);
        // EAGAIN: a rename elsewhere raced the lookup; the kernel asks to try again.
        if (errno == EINTR || (errno == EAGAIN && attempt < 64)) continue;
        return -1;
    }
}

// Opens one stretch of names below `base`, none of them followed through a link: in one call
// where openat2() serves, else name by name with O_NOFOLLOW.
int OpenStretchNoLinks(int base, std::string_view stretch, bool& timeKept) {
    const std::string path(stretch);
    if (!noOpenat2.load(std::memory_order_relaxed)) {
        const int fd = OpenKeepingAccessTime(
            [&](int extra) { return Openat2NoLinks(base, path.c_str(), kFolderFlags | extra); }, timeKept);
        if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return fd;
        // Missing, or refused by a system call filter (which answers EPERM even without O_NOATIME).
        noOpenat2.store(true, std::memory_order_relaxed);
    }
    Descriptor current;
    std::size_t pos = 0;
    while (pos < path.size()) {
        std::size_t end = path.find('/', pos);
        if (end == std::string::npos) end = path.size();
        const std::string name = path.substr(pos, end - pos);
        const int parent = current.Valid() ? current.Get() : base;
        const bool last = end >= path.size();
        bool ignored = true;
        const int fd = OpenKeepingAccessTime(
            [&](int extra) { return OpenRetrying(parent, name.c_str(), kFolderFlags | O_NOFOLLOW | extra); },
            last ? timeKept : ignored);
        if (fd < 0) return -1;
        current.Reset(fd);
        pos = end + 1;
    }
    if (!current.Valid()) errno = ENOENT;
    return current.Release();
}

// Opens the folder at `relative` below the folder open at `base`, a stretch at a time.
int OpenBeneath(int base, std::string_view relative, bool& timeKept) {
    while (!relative.empty() && relative.back() == '/') relative.remove_suffix(1);
    if (relative.empty()) {
        errno = ENOENT;
        return -1;
    }
    Descriptor current;
    std::size_t pos = 0;
    while (pos < relative.size()) {
        const std::size_t end = StretchEnd(relative, pos);
        if (end == std::string_view::npos) {
            errno = ENAMETOOLONG;
            return -1;
        }
        const int fd = OpenStretchNoLinks(current.Valid() ? current.Get() : base,
                                          relative.substr(pos, end - pos), timeKept);
        if (fd < 0) return -1;
        current.Reset(fd);
        pos = end + 1;
    }
    return current.Release();
}

EntryKind KindOfMode(mode_t mode) {
    if (S_ISDIR(mode)) return EntryKind::Folder;
    if (S_ISREG(mode)) return EntryKind::File;
    return EntryKind::Other;
}

FileIdentity IdentityOfStat(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

std::int64_t Nanoseconds(const struct timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

// The clock that the kernel stamps changes with (a fine-grained stamp is never below it).
std::int64_t CoarseNow() {
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return Nanoseconds(now);
}

}  // namespace

// The folder's descriptor, read straight with getdents64(): no directory stream around it,
// which would cost two more system calls per folder to set up.
struct DirectoryListing::State {
    Descriptor fd;
    bool ended = false;
    int error = 0;  // errno of the failure that ended the listing, 0 while none
    std::string path;
    FileIdentity identity;
    std::int64_t changed = 0;  // the folder's status-change time at the open
    std::int64_t openedAt = CoarseNow();
    std::unique_ptr<char[]> buffer;
    std::size_t filled = 0, at = 0;  // bytes of buffer holding entries, and the next entry's offset

    // Takes over an open folder and its identity.
    bool Take(int descriptor) {
        fd.Reset(descriptor);
        struct stat info;
        if (!fd.Valid() || ::fstat(fd.Get(), &info) != 0) {
            error = errno;
            fd.Reset();
            return false;
        }
        identity = IdentityOfStat(info);
        changed = Nanoseconds(info.st_ctim);
        return true;
    }
    // The next raw entry, or nullptr at the end or on a failure (then error is set).
    const struct dirent64* Read() {
        constexpr std::size_t kBufferSize = 32768;
        if (at >= filled) {
            if (!buffer) buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
            ssize_t n;
            do n = ::getdents64(fd.Get(), buffer.get(), kBufferSize);
            while (n < 0 && errno == EINTR);
            if (n <= 0) {
                error = n < 0 ? errno : 0;
                return nullptr;
            }
            filled = static_cast<std::size_t>(n);
            at = 0;
        }
        const auto* entry = reinterpret_cast<const struct dirent64*>(buffer.get() + at);
        at += entry->d_reclen;
        return entry;
    }
};

DirectoryListing::DirectoryListing() : state_(std::make_unique<State>()) {}

DirectoryListing::~DirectoryListing() = default;

bool DirectoryListing::OpenRoot(const std::string& rootPath) {
    state_ = std::make_unique<State>();
    state_->path = rootPath;
    return state_->Take(OpenRootFolder(rootPath, true, accessTimeKept_));
}

bool DirectoryListing::OpenBelow(const DirectoryListing& root, const std::string& folderPath,
                                 const FileIdentity& expected) {
    state_ = std::make_unique<State>();
    state_->path = folderPath;
    const std::string& rootPath = root.state_->path;
    if (!root.state_->fd.Valid() || !folderPath.starts_with(rootPath)) {
        state_->error = EINVAL;
        return false;
    }
    const std::string_view relative = std::string_view(folderPath).substr(rootPath.size());
    if (!state_->Take(OpenBeneath(root.state_->fd.Get(), relative, accessTimeKept_))) return false;
    if (state_->identity != expected) {
        state_->fd.Reset();
        state_->error = static_cast<int>(kReplacedDuringScan);
        return false;
    }
    return true;
}

SystemError DirectoryListing::Error() const { return {state_->error}; }

FolderVersion DirectoryListing::Version() const {
    return {state_->identity, state_->changed, state_->openedAt, state_->fd.Valid()};
}

ListingStep DirectoryListing::Next(std::string_view& name, EntryKind& kind, FileIdentity* folderIdentity) {
    State& s = *state_;
    if (!s.fd.Valid() || s.ended) return s.error != 0 ? ListingStep::Failed : ListingStep::End;
    for (;;) {
        const struct dirent64* entry = s.Read();
        if (entry == nullptr) {
            // The folder stays open: its files are opened in it afterwards.
            s.buffer.reset();
            s.ended = true;
            return s.error != 0 ? ListingStep::Failed : ListingStep::End;
        }
        const char* text = entry->d_name;
        if (text[0] == '.' && (text[1] == '\0' || (text[1] == '.' && text[2] == '\0'))) continue;
        struct stat info;
        bool looked = false;
        switch (entry->d_type) {
            case DT_DIR: kind = EntryKind::Folder; break;
            case DT_REG: kind = EntryKind::File; break;
            case DT_UNKNOWN:
                // Some file systems do not type their entries; ask without following links.
                if (::fstatat(s.fd.Get(), text, &info, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;  // an entry that cannot be read is passed over
                looked = true;
                kind = KindOfMode(info.st_mode);
                break;
            default: kind = EntryKind::Other; break;
        }
        if (kind == EntryKind::Folder && folderIdentity != nullptr) {
            if (!looked && ::fstatat(s.fd.Get(), text, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
            if (!S_ISDIR(info.st_mode)) continue;  // no longer a folder
            *folderIdentity = IdentityOfStat(info);
        }
        name = std::string_view(text, std::strlen(text));
        return ListingStep::Entry;
    }
}

int FolderDescriptor(const DirectoryListing& listing) {
    return listing.state_->fd.Get();
}

bool FolderExists(const std::string& path) {
    if (path.empty()) return false;
    struct stat info;
    if (::stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
    if (errno != ENAMETOOLONG) return false;
    bool timeKept = true;
    Descriptor fd(OpenRootFolder(path, true, timeKept));
    return fd.Valid();
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat info;
    if (path.empty() || ::stat(path.c_str(), &info) != 0) return std::nullopt;
    return IdentityOfStat(info);
}

}  // namespace snapsift
