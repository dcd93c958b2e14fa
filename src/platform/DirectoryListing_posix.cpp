#include "platform/DirectoryListing.h"
#include "platform/Descriptor.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace snapsift {

namespace {

int OpenFolderAt(int parent, const char* path, bool last, bool followLink) {
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    if (last && !followLink) flags |= O_NOFOLLOW;
    // Listing a folder would otherwise update its access time; the owner (or root) can ask
    // the kernel not to.
    int fd = OpenRetrying(parent, path, flags | O_NOATIME);
    if (fd < 0 && errno == EPERM) fd = OpenRetrying(parent, path, flags);
    return fd;
}

// Opens a folder whose path is longer than the kernel takes in one call, one stretch of
// components at a time.
int OpenLongFolder(const std::string& path, bool followLink) {
    std::size_t pos = 0;
    Descriptor current(AT_FDCWD);
    if (!path.empty() && path[0] == '/') {
        current.Reset(OpenRetrying(AT_FDCWD, "/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!current.Valid()) return -1;
        while (pos < path.size() && path[pos] == '/') ++pos;
    }
    constexpr std::size_t kStretch = PATH_MAX / 2;
    while (pos < path.size()) {
        std::size_t end = path.size();
        if (end - pos > kStretch) {
            end = path.rfind('/', pos + kStretch);
            if (end == std::string::npos || end <= pos) {
                errno = ENAMETOOLONG;
                return -1;
            }
        }
        std::size_t next = end;
        while (next < path.size() && path[next] == '/') ++next;
        const bool last = next >= path.size();
        const std::string stretch = path.substr(pos, end - pos);
        const int fd = OpenFolderAt(current.Valid() ? current.Get() : AT_FDCWD, stretch.c_str(),
                                    last, followLink);
        if (fd < 0) return -1;
        current.Reset(fd);
        pos = next;
    }
    return current.Release();
}

int OpenFolder(const std::string& folderPath, bool followLink) {
    // A trailing separator would make the kernel follow a link in the last component.
    std::size_t length = folderPath.size();
    while (length > 1 && folderPath[length - 1] == '/') --length;
    const std::string path = folderPath.substr(0, length);
    if (path.empty()) {
        errno = ENOENT;
        return -1;
    }
    const int fd = OpenFolderAt(AT_FDCWD, path.c_str(), true, followLink);
    if (fd < 0 && errno == ENAMETOOLONG) return OpenLongFolder(path, followLink);
    return fd;
}

EntryKind KindOfMode(mode_t mode) {
    if (S_ISDIR(mode)) return EntryKind::Folder;
    if (S_ISREG(mode)) return EntryKind::File;
    return EntryKind::Other;
}

}  // namespace

struct DirectoryListing::State {
    DIR* dir = nullptr;
    int error = 0;  // errno of the failure that ended the listing, 0 while none
    ~State() {
        if (dir != nullptr) ::closedir(dir);
    }
};

DirectoryListing::DirectoryListing(const std::string& folderPath, bool followLink)
    : state_(std::make_unique<State>()) {
    Descriptor fd(OpenFolder(folderPath, followLink));
    if (!fd.Valid()) {
        state_->error = errno;
        return;
    }
    state_->dir = ::fdopendir(fd.Get());
    if (state_->dir == nullptr) {
        state_->error = errno;
        return;
    }
    fd.Release();
}

DirectoryListing::~DirectoryListing() = default;

SystemError DirectoryListing::Error() const { return {state_->error}; }

ListingStep DirectoryListing::Next(std::string_view& name, EntryKind& kind) {
    if (state_->dir == nullptr) return state_->error != 0 ? ListingStep::Failed : ListingStep::End;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(state_->dir);
        if (entry == nullptr) {
            // readdir leaves errno alone at the end and sets it on a failure.
            state_->error = errno;
            ::closedir(state_->dir);
            state_->dir = nullptr;
            return state_->error != 0 ? ListingStep::Failed : ListingStep::End;
        }
        const char* text = entry->d_name;
        if (text[0] == '.' && (text[1] == '\0' || (text[1] == '.' && text[2] == '\0'))) continue;
        switch (entry->d_type) {
            case DT_DIR: kind = EntryKind::Folder; break;
            case DT_REG: kind = EntryKind::File; break;
            case DT_UNKNOWN: {
                // Some file systems do not type their entries; ask without following links.
                struct stat info;
                if (::fstatat(::dirfd(state_->dir), text, &info, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;  // an entry that cannot be read is passed over
                kind = KindOfMode(info.st_mode);
                break;
            }
            default: kind = EntryKind::Other; break;
        }
        name = std::string_view(text, std::strlen(text));
        return ListingStep::Entry;
    }
}

bool FolderExists(const std::string& path) {
    if (path.empty()) return false;
    struct stat info;
    if (::stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
    if (errno != ENAMETOOLONG) return false;
    Descriptor fd(OpenFolder(path, true));
    return fd.Valid();
}

}  // namespace snapsift
