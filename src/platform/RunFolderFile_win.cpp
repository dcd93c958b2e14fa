#include "platform/RunFolderFile.h"

#include <windows.h>

#include <algorithm>

#include "platform/DirectoryListing_win.h"
#include "platform/WideText.h"
#include "platform/WinHandle.h"
#include "text/Utf8.h"

namespace snapsift {

namespace {

RunEntryKind KindOfAttributes(DWORD attributes, DWORD reparseTag) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsLinkReparseTag(reparseTag)) return RunEntryKind::Link;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return RunEntryKind::Folder;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return RunEntryKind::Special;
    return RunEntryKind::File;
}

// A listed name as program text: UTF-8, an unpaired surrogate written as its own three bytes
// (which no UTF-8 decoder takes, so the name never stands for another entry's).
std::string NameText(std::wstring_view name) {
    std::string text;
    for (std::size_t at = 0; at < name.size(); ++at) {
        std::uint32_t code = name[at];
        if (code >= 0xD800 && code <= 0xDBFF && at + 1 < name.size() && name[at + 1] >= 0xDC00 &&
            name[at + 1] <= 0xDFFF)
            code = 0x10000 + ((code - 0xD800) << 10) + (name[++at] - 0xDC00);
        AppendUtf8(text, static_cast<char32_t>(code));
    }
    return text;
}

// The name in UTF-16; empty for text that is not UTF-8.
std::wstring StrictWide(std::string_view text) {
    const int size =
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

}  // namespace

struct RunFolder::State {
    WinHandle folder;
    std::wstring apiPath;  // ending in "\"
};

RunFolder::RunFolder() : state_(std::make_unique<State>()) {}
RunFolder::~RunFolder() = default;

bool RunFolder::Open(const std::string& path) {
    std::wstring api = ApiPath(path);
    while (api.size() > 1 && api.back() == L'\\' && api[api.size() - 2] != L':') api.pop_back();
    if (api.empty()) return false;
    // No delete sharing: while it is open, the folder cannot be renamed or removed, so the
    // path keeps leading to it and its files can be opened by their whole path.
    state_->folder.Reset(::CreateFileW(api.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    FILE_BASIC_INFO basic;
    if (!state_->folder.Valid() ||
        !::GetFileInformationByHandleEx(state_->folder.Get(), FileBasicInfo, &basic, sizeof basic) ||
        (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        state_->folder.Close();
        return false;
    }
    if (api.back() != L'\\') api.push_back(L'\\');
    state_->apiPath = std::move(api);
    return true;
}

std::optional<std::vector<RunEntry>> RunFolder::Entries() const {
    if (!state_->folder.Valid()) return std::nullopt;
    WIN32_FIND_DATAW found{};
    FindHandle find(::FindFirstFileExW((state_->apiPath + L"*").c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    std::vector<RunEntry> entries;
    if (!find.Valid()) {
        if (::GetLastError() == ERROR_FILE_NOT_FOUND) return entries;
        return std::nullopt;
    }
    do {
        const std::wstring_view name(found.cFileName);
        if (name == L"." || name == L"..") continue;
        entries.push_back({NameText(name), KindOfAttributes(found.dwFileAttributes, found.dwReserved0)});
    } while (::FindNextFileW(find.Get(), &found));
    if (::GetLastError() != ERROR_NO_MORE_FILES) return std::nullopt;
    return entries;
}

RunFolderFile::~RunFolderFile() { Close(); }

void RunFolderFile::Close() {
    if (handle_ != nullptr) ::CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
    size_ = offset_ = 0;
}

std::optional<RunEntryKind> RunFolderFile::Open(const RunFolder& folder, std::string_view name) {
    Close();
    error_ = 0;
    // Text that is not UTF-8 is refused, so that a name listed with an unpaired surrogate is
    // never opened as the name with U+FFFD in its place.
    const std::wstring wide = StrictWide(name);
    if (!IsSingleName(name) || wide.empty() || !folder.state_->folder.Valid()) {
        error_ = ERROR_INVALID_NAME;
        return std::nullopt;
    }
    const std::wstring path = folder.state_->apiPath + wide;
    // Look before opening: the attributes of the entry itself, a link's own. A folder that is
    // a reparse point counts as a link (its tag is not known here); a file that is one is opened
    // as itself below, where its tag tells.
    WIN32_FILE_ATTRIBUTE_DATA look;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &look)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return RunEntryKind::Missing;
        error_ = static_cast<long>(error);
        return std::nullopt;
    }
    if ((look.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return KindOfAttributes(look.dwFileAttributes, 0);
    // The entry itself is opened, never what a link at it leads to.
    WinHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.Valid()) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return RunEntryKind::Missing;
        error_ = static_cast<long>(error);
        return std::nullopt;
    }
    FILE_ATTRIBUTE_TAG_INFO tag{};
    FILE_STANDARD_INFO standard{};
    if (!::GetFileInformationByHandleEx(file.Get(), FileAttributeTagInfo, &tag, sizeof tag) ||
        !::GetFileInformationByHandleEx(file.Get(), FileStandardInfo, &standard, sizeof standard)) {
        error_ = static_cast<long>(::GetLastError());
        return std::nullopt;
    }
    if (::GetFileType(file.Get()) != FILE_TYPE_DISK) return RunEntryKind::Special;
    if (const RunEntryKind kind = KindOfAttributes(tag.FileAttributes, tag.ReparseTag); kind != RunEntryKind::File)
        return kind;
    handle_ = file.Release();
    size_ = static_cast<std::uint64_t>(standard.EndOfFile.QuadPart);
    return RunEntryKind::File;
}

std::int64_t RunFolderFile::Read(void* buffer, std::size_t size) {
    if (handle_ == nullptr) {
        error_ = ERROR_INVALID_HANDLE;
        return -1;
    }
    const std::int64_t got = ReadWithin(static_cast<HANDLE>(handle_), buffer, size, size_ - offset_);
    if (got < 0) error_ = static_cast<long>(::GetLastError());
    else offset_ += static_cast<std::uint64_t>(got);
    return got;
}

bool RunFolderFile::SizeUnchanged() const {
    FILE_STANDARD_INFO standard{};
    return handle_ != nullptr &&
           ::GetFileInformationByHandleEx(static_cast<HANDLE>(handle_), FileStandardInfo, &standard, sizeof standard) &&
           static_cast<std::uint64_t>(standard.EndOfFile.QuadPart) == size_;
}

}  // namespace snapsift
