#include "platform/DirectoryListing_win.h"
#include "platform/EvidenceFile.h"
#include "platform/WideText.h"
#include "platform/WinHandle.h"

#include <windows.h>

#include <algorithm>
#include <string>

// The system's own code for an open that stopped at a symbolic link; older headers lack it.
#ifndef ERROR_STOPPED_ON_SYMLINK
#define ERROR_STOPPED_ON_SYMLINK 681L
#endif

namespace snapsift {

namespace {

bool IsNotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME;
}

// The file's size and last-write count as they are now.
bool LookAt(HANDLE file, FILE_STANDARD_INFO& standard, FILE_BASIC_INFO& basic) {
    return ::GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) &&
           ::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic);
}

}  // namespace

EvidenceFile::~EvidenceFile() { Close(); }


void EvidenceFile::Close() {
    if (handle_ != nullptr) ::CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
    size_ = offset_ = 0;
    timesRead_ = false;
}

bool EvidenceFile::Open(const DirectoryListing& /*folder*/, std::string_view /*name*/, const std::string& fullPath) {
    // The listing holds its folder open without delete sharing, so neither that folder nor one
    // above it can be renamed meanwhile: the whole path still leads into the folder listed.
    return Open(fullPath);
}

void EvidenceFile::ReadAhead(const DirectoryListing&, std::string_view) {}

bool EvidenceFile::Open(const std::string& path) {
    Close();
    error_ = 0;
    const std::wstring wide = ApiPath(path);
    if (wide.empty()) {
        error_ = ERROR_INVALID_NAME;
        return false;
    }
    // Write-attributes access lets SetFileTime below keep the access time; where it is
    // refused (read-only media, an access list that grants reading only) read access alone.
    // The entry itself is opened, never what a link at it leads to.
    constexpr DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    constexpr DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN;
    WinHandle file(::CreateFileW(wide.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES, share, nullptr, OPEN_EXISTING,
                                 flags, nullptr));
    accessTimeKept_ = file.Valid();
    if (!file.Valid() && !IsNotFound(::GetLastError()))
        file.Reset(::CreateFileW(wide.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, flags, nullptr));
    if (!file.Valid()) {
        error_ = static_cast<long>(::GetLastError());
        return false;
    }
    FILE_ATTRIBUTE_TAG_INFO tag{};
    FILE_STANDARD_INFO standard{};
    FILE_BASIC_INFO basic{};
    // The times first: under Wine even GetFileType moves the access time.
    if (!LookAt(file.Get(), standard, basic) ||
        !::GetFileInformationByHandleEx(file.Get(), FileAttributeTagInfo, &tag, sizeof tag)) {
        error_ = static_cast<long>(::GetLastError());
        return false;
    }
    if (::GetFileType(file.Get()) != FILE_TYPE_DISK) {
        error_ = ERROR_INVALID_FUNCTION;
        return false;
    }
    if ((tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error_ = ERROR_ACCESS_DENIED;  // what opening a folder as a file gives
        return false;
    }
    if ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsLinkReparseTag(tag.ReparseTag)) {
        error_ = ERROR_STOPPED_ON_SYMLINK;
        return false;
    }

    // The times as the open found them, before any byte was read.
    const auto created = FileTimeToDate(static_cast<std::uint64_t>(basic.CreationTime.QuadPart));
    const auto accessed = FileTimeToDate(static_cast<std::uint64_t>(basic.LastAccessTime.QuadPart));
    const auto modified = FileTimeToDate(static_cast<std::uint64_t>(basic.LastWriteTime.QuadPart));
    timesRead_ = created && accessed && modified;
    if (timesRead_) {
        created_ = created;
        accessed_ = *accessed;
        modified_ = *modified;
    }
    size_ = standard.EndOfFile.QuadPart;
    modifiedAtOpen_ = basic.LastWriteTime.QuadPart;
    if (accessTimeKept_) {
        FILETIME keep{0xFFFFFFFF, 0xFFFFFFFF};  // reads through this handle leave the access time alone
        accessTimeKept_ = ::SetFileTime(file.Get(), nullptr, &keep, nullptr) != 0;
    }
    handle_ = file.Release();
    return true;
}

bool EvidenceFile::Times(std::optional<DateTime>& created, DateTime& accessed, DateTime& modified) const {
    if (handle_ == nullptr || !timesRead_) return false;
    created = created_;
    accessed = accessed_;
    modified = modified_;
    return true;
}

std::int64_t EvidenceFile::Read(void* buffer, std::size_t size) {
    if (handle_ == nullptr) {
        error_ = ERROR_INVALID_HANDLE;
        return -1;
    }
    const std::int64_t got = ReadWithin(static_cast<HANDLE>(handle_), buffer, size,
                                        static_cast<std::uint64_t>(std::max<std::int64_t>(size_ - offset_, 0)));
    if (got < 0) error_ = static_cast<long>(::GetLastError());
    else offset_ += got;
    return got;
}

bool EvidenceFile::UnchangedSinceOpen() {
    FILE_STANDARD_INFO standard{};
    FILE_BASIC_INFO basic{};
    if (handle_ == nullptr || !LookAt(static_cast<HANDLE>(handle_), standard, basic)) return false;
    return standard.EndOfFile.QuadPart == size_ && basic.LastWriteTime.QuadPart == modifiedAtOpen_;
}

}  // namespace snapsift
