#include <windows.h>

#include <vector>

#include "platform/DirectoryListing.h"
#include "platform/DirectoryListing_win.h"
#include "platform/WinHandle.h"

namespace snapsift {

bool IsLinkReparseTag(unsigned long tag) { return tag == 0 || IsReparseTagNameSurrogate(tag); }

EntryKind KindOfEntry(unsigned long attributes, unsigned long reparseTag) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsLinkReparseTag(reparseTag)) return EntryKind::Other;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return EntryKind::Folder;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return EntryKind::Other;
    return EntryKind::File;
}

namespace {

// No FILE_SHARE_DELETE: while the folder is open it cannot be renamed or removed, so the path
// that leads to it keeps naming it, and its files can be opened by their whole path.
constexpr DWORD kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kFolderAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr std::size_t kBatchBytes = 64 * 1024;

// The path as CreateFileW should get a folder: no trailing separator, except right after a
// drive's colon, where "\\?\C:" would be the volume and not its root folder.
std::wstring FolderApiPath(const std::string& path) {
    std::wstring api = ApiPath(path);
    while (api.size() > 1 && api.back() == L'\\' && api[api.size() - 2] != L':') api.pop_back();
    return api;
}

FileIdentity IdentityOfInfo(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber, (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

std::optional<FileIdentity> IdentityOfHandle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle, &info)) return std::nullopt;
    return IdentityOfInfo(info);
}

// Opens whatever is at the path only to look at it: no data access, shared every way.
HANDLE OpenToLook(const std::wstring& path, DWORD flags) {
    return ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

// The longest time between two updates of the system clock (15.625 ms, in 100-ns units): the
// file system stamps a change with the clock as it stood at the last update.
constexpr std::int64_t kLongestClockTick = 156'250;

// The start of the clock tick now under way, or earlier, in 100-ns units since 1601: one tick
// before the system time, which may be read finer than the file system stamps changes (Wine
// reads it so), so that a change stamped in the tick under way is never older than this.
std::int64_t ClockTickStart() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime) -
           kLongestClockTick;
}

// True when the file system of the open folder moves a folder's change time whenever its
// entries change (NTFS, ReFS; not FAT or exFAT).
bool KeepsChangeTimes(HANDLE folder) {
    wchar_t name[MAX_PATH + 1] = {};
    if (!::GetVolumeInformationByHandleW(folder, nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH + 1))
        return false;
    const std::wstring_view system(name);
    return system == L"NTFS" || system == L"ReFS";
}

// A listing call that says this file system cannot list through the handle.
bool IsUnsupported(DWORD error) {
    return error == ERROR_INVALID_PARAMETER || error == ERROR_INVALID_LEVEL || error == ERROR_NOT_SUPPORTED ||
           error == ERROR_INVALID_FUNCTION;
}

}  // namespace

struct DirectoryListing::State {
    WinHandle folder;
    std::string path;      // as the program gave it
    std::wstring apiPath;  // as the system takes it
    FileIdentity identity;
    FILE_ATTRIBUTE_TAG_INFO tag{};
    std::int64_t changed = 0;  // the folder's ChangeTime at the open
    std::int64_t openedAt = 0;
    bool changeTimesKept = false;  // the root's file system keeps change times
    bool started = false, ended = false;
    long error = 0;  // GetLastError() of the failure that ended the listing, 0 while none
    std::string name;

    // Listing through the folder's handle: one batch of records, and where the next one starts.
    std::vector<unsigned long long> batch = std::vector<unsigned long long>(kBatchBytes / sizeof(unsigned long long));
    std::size_t next = 0;
    bool batchDone = true;
    bool byPath = false;

    // Where the file system cannot list through the handle: the listing by path, while the
    // handle still holds the folder in place.
    FindHandle find;
    WIN32_FIND_DATAW found{};
    bool foundPending = false;

    // Opens the folder at the path and keeps it open; 0, or the failure's GetLastError() code.
    DWORD Open(const std::string& folderPath, DWORD flags, bool& accessTimeKept) {
        path = folderPath;
        openedAt = ClockTickStart();
        apiPath = FolderApiPath(folderPath);
        if (apiPath.empty()) return ERROR_INVALID_NAME;
        // Write-attributes access lets SetFileTime keep the folder's access time as the listing
        // reads it; where that is refused, the folder is listed without.
        folder.Reset(::CreateFileW(apiPath.c_str(), kFolderAccess | FILE_WRITE_ATTRIBUTES, kFolderShare, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr));
        accessTimeKept = folder.Valid();
        if (!accessTimeKept && ::GetLastError() != ERROR_FILE_NOT_FOUND && ::GetLastError() != ERROR_PATH_NOT_FOUND)
            folder.Reset(::CreateFileW(apiPath.c_str(), kFolderAccess, kFolderShare, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr));
        if (!folder.Valid()) {
            // The last name missing is a folder not found, as a listing by path reports it.
            const DWORD error = ::GetLastError();
            return error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error;
        }
        if (accessTimeKept) {
            FILETIME keep{0xFFFFFFFF, 0xFFFFFFFF};  // reads through this handle leave the access time alone
            accessTimeKept = ::SetFileTime(folder.Get(), nullptr, &keep, nullptr) != 0;
        }
        FILE_BASIC_INFO basic;
        BY_HANDLE_FILE_INFORMATION info;
        if (!::GetFileInformationByHandleEx(folder.Get(), FileBasicInfo, &basic, sizeof basic) ||
            !::GetFileInformationByHandle(folder.Get(), &info))
            return ::GetLastError();
        // Only a reparse point has a tag to look at.
        tag = {basic.FileAttributes, 0};
        if ((basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
            !::GetFileInformationByHandleEx(folder.Get(), FileAttributeTagInfo, &tag, sizeof tag))
            return ::GetLastError();
        identity = IdentityOfInfo(info);
        changed = basic.ChangeTime.QuadPart;
        return (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 0 : ERROR_DIRECTORY;
    }

    // True when what was opened is a link or junction itself.
    bool IsLink() const {
        return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsLinkReparseTag(tag.ReparseTag);
    }

    bool Fail(long code) {
        folder.Close();
        error = code;
        return false;
    }

    // One entry as the file system lists it; the name is valid until the next one.
    struct Listed {
        std::wstring_view name;
        DWORD attributes = 0;
        DWORD reparseTag = 0;
        std::uint64_t fileId = 0;  // 0 where the listing gives none
    };

    // The next entry, "." and ".." included; false at the end or on a failure.
    bool NextListed(Listed& entry) {
        if (byPath) return NextFound(entry);
        if (batchDone) {
            const bool first = !started;
            started = true;
            if (!::GetFileInformationByHandleEx(folder.Get(),
                                                first ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo,
                                                batch.data(), kBatchBytes)) {
                const DWORD failure = ::GetLastError();
                if (first && IsUnsupported(failure)) return StartFind() && NextFound(entry);
                ended = true;
                // A folder with no entries at all (a drive's empty root has not even "." and
                // "..") answers the first call with ERROR_FILE_NOT_FOUND.
                if (failure != ERROR_NO_MORE_FILES && !(first && failure == ERROR_FILE_NOT_FOUND)) error = failure;
                return false;
            }
            batchDone = false;
            next = 0;
        }
        const auto& record =
            *reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(reinterpret_cast<const char*>(batch.data()) + next);
        if (record.NextEntryOffset == 0) batchDone = true;
        next += record.NextEntryOffset;
        entry.name = std::wstring_view(record.FileName, record.FileNameLength / sizeof(wchar_t));
        entry.attributes = record.FileAttributes;
        // For a reparse point the tag comes where the size of the extended attributes would.
        entry.reparseTag = (record.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? record.EaSize : 0;
        entry.fileId = static_cast<std::uint64_t>(record.FileId.QuadPart);
        return true;
    }

    // Turns to the listing by path; false when that cannot start either.
    bool StartFind() {
        byPath = true;
        std::wstring pattern = apiPath;
        if (pattern.back() != L'\\') pattern.push_back(L'\\');
        pattern.push_back(L'*');
        find.Reset(::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                      FIND_FIRST_EX_LARGE_FETCH));
        foundPending = find.Valid();
        if (!foundPending) {
            ended = true;
            if (::GetLastError() != ERROR_FILE_NOT_FOUND) error = static_cast<long>(::GetLastError());
        }
        return foundPending;
    }

    bool NextFound(Listed& entry) {
        if (!foundPending && !::FindNextFileW(find.Get(), &found)) {
            ended = true;
            if (::GetLastError() != ERROR_NO_MORE_FILES) error = static_cast<long>(::GetLastError());
            find.Close();
            return false;
        }
        foundPending = false;
        entry = {found.cFileName, found.dwFileAttributes, found.dwReserved0, 0};
        return true;
    }

    // A subfolder's identity looked up by opening it, never through a link.
    std::optional<FileIdentity> OpenedIdentity(std::wstring_view subfolder) const {
        std::wstring at = apiPath;
        if (at.back() != L'\\') at.push_back(L'\\');
        at.append(subfolder);
        const WinHandle opened(OpenToLook(at, FILE_FLAG_OPEN_REPARSE_POINT));
        return opened.Valid() ? IdentityOfHandle(opened.Get()) : std::nullopt;
    }
};

DirectoryListing::DirectoryListing() : state_(std::make_unique<State>()) {}

DirectoryListing::~DirectoryListing() = default;

bool DirectoryListing::OpenRoot(const std::string& rootPath) {
    state_ = std::make_unique<State>();
    // Without FILE_FLAG_OPEN_REPARSE_POINT: a root that is a link or junction is followed.
    const DWORD error = state_->Open(rootPath, 0, accessTimeKept_);
    if (error != 0) return state_->Fail(static_cast<long>(error));
    state_->changeTimesKept = KeepsChangeTimes(state_->folder.Get());
    return true;
}

bool DirectoryListing::OpenBelow(const DirectoryListing& root, const std::string& folderPath,
                                 const FileIdentity& expected) {
    state_ = std::make_unique<State>();
    if (!root.state_->folder.Valid() || !folderPath.starts_with(root.state_->path))
        return state_->Fail(ERROR_INVALID_PARAMETER);
    // The folder itself is opened as it is, never followed; a link or junction further up would
    // be followed by the open, but then leads to another folder than the one expected.
    state_->changeTimesKept = root.state_->changeTimesKept;  // the folder expected is on the root's volume
    const DWORD error = state_->Open(folderPath, FILE_FLAG_OPEN_REPARSE_POINT, accessTimeKept_);
    if (error == ERROR_DIRECTORY || (error == 0 && (state_->IsLink() || state_->identity != expected)))
        return state_->Fail(kReplacedDuringScan);
    return error == 0 || state_->Fail(static_cast<long>(error));
}

SystemError DirectoryListing::Error() const { return {state_->error}; }

FolderVersion DirectoryListing::Version() const {
    const State& s = *state_;
    return {s.identity, s.changed, s.openedAt, s.folder.Valid() && s.changeTimesKept && s.changed != 0};
}

ListingStep DirectoryListing::Next(std::string_view& name, EntryKind& kind, FileIdentity* folderIdentity) {
    State& s = *state_;
    for (;;) {
        if (!s.folder.Valid() || s.ended) return s.error != 0 ? ListingStep::Failed : ListingStep::End;
        State::Listed entry;
        if (!s.NextListed(entry) || entry.name == L"." || entry.name == L"..") continue;
        kind = KindOfEntry(entry.attributes, entry.reparseTag);
        if (kind == EntryKind::Folder && folderIdentity != nullptr) {
            // A link or junction is never a Folder, so a subfolder is on this folder's volume.
            const auto identity = entry.fileId != 0 ? FileIdentity{s.identity.volume, entry.fileId}
                                                    : s.OpenedIdentity(entry.name);
            if (!identity) continue;  // gone since it was listed
            *folderIdentity = *identity;
        }
        s.name = Utf8FromWide(entry.name);
        name = s.name;
        return ListingStep::Entry;
    }
}

bool FolderExists(const std::string& path) {
    const std::wstring apiPath = ApiPath(path);
    if (apiPath.empty()) return false;
    const DWORD attributes = ::GetFileAttributesW(apiPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    const std::wstring apiPath = FolderApiPath(path);
    if (apiPath.empty()) return std::nullopt;
    const WinHandle opened(OpenToLook(apiPath, 0));
    return opened.Valid() ? IdentityOfHandle(opened.Get()) : std::nullopt;
}

}  // namespace snapsift
