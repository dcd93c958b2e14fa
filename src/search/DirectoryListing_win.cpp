#include <windows.h>

#include "search/DirectoryListing.h"
#include "search/DirectoryListing_win.h"

namespace snapsift {

namespace {

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
constexpr std::wstring_view kLongUncPrefix = L"\\\\?\\UNC\\";
constexpr std::wstring_view kDevicePrefix = L"\\\\.\\";

bool IsDriveAbsolute(std::wstring_view path) {
    return path.size() >= 3 && path[1] == L':' && path[2] == L'\\' &&
           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

bool IsUnc(std::wstring_view path) {
    return path.size() > 2 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'\\';
}

// Free of "/" and of "." and ".." parts, so the \\?\ form names the same entry.
bool IsLiteral(std::wstring_view path) {
    if (path.find(L'/') != std::wstring_view::npos) return false;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring_view::npos) end = path.size();
        const std::wstring_view part = path.substr(start, end - start);
        if (part == L"." || part == L"..") return false;
        start = end + 1;
    }
    return true;
}

std::wstring WithPrefix(std::wstring path) {
    if (IsDriveAbsolute(path)) return std::wstring(kLongPrefix) + path;
    if (IsUnc(path)) return std::wstring(kLongUncPrefix) + path.substr(2);
    return path;
}

std::wstring FullPath(const std::wstring& path) {
    const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return path;
    full.resize(length);
    return full;
}

}  // namespace

bool IsLinkReparseTag(unsigned long tag) { return tag == 0 || IsReparseTagNameSurrogate(tag); }

EntryKind KindOfEntry(unsigned long attributes, unsigned long reparseTag) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsLinkReparseTag(reparseTag)) return EntryKind::Other;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return EntryKind::Folder;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return EntryKind::Other;
    return EntryKind::File;
}

std::wstring WideFromUtf8(std::string_view text) {
    if (text.empty()) return {};
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string Utf8FromWide(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr,
                          nullptr);
    return utf8;
}

std::wstring ApiPath(std::string_view path) {
    std::wstring wide = WideFromUtf8(path);
    if (wide.empty()) return wide;
    if (wide.starts_with(kLongPrefix) || wide.starts_with(kDevicePrefix)) return wide;
    if ((IsDriveAbsolute(wide) || IsUnc(wide)) && IsLiteral(wide)) return WithPrefix(std::move(wide));
    return WithPrefix(FullPath(wide));
}

struct DirectoryListing::State {
    HANDLE find = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW data{};
    bool pending = false;  // data holds an entry not handed out yet
    std::string name;
    ~State() {
        if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
    }
};

DirectoryListing::DirectoryListing(const std::string& folderPath, bool /*followLink*/)
    : state_(std::make_unique<State>()) {
    // A link or junction below the root is never queued (its kind is Other), so only a
    // chosen root is ever reached through one.
    std::wstring pattern = ApiPath(folderPath);
    if (pattern.empty()) return;
    if (pattern.back() != L'\\') pattern.push_back(L'\\');
    pattern.push_back(L'*');
    state_->find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &state_->data, FindExSearchNameMatch,
                                      nullptr, FIND_FIRST_EX_LARGE_FETCH);
    // No handle means no entries: the folder could not be listed, or it is a drive's root
    // folder with no entries at all (ERROR_FILE_NOT_FOUND).
    state_->pending = state_->find != INVALID_HANDLE_VALUE;
}

DirectoryListing::~DirectoryListing() = default;

bool DirectoryListing::Next(std::string_view& name, EntryKind& kind) {
    State& s = *state_;
    if (s.find == INVALID_HANDLE_VALUE) return false;
    for (;;) {
        if (!s.pending && !::FindNextFileW(s.find, &s.data)) {
            ::FindClose(s.find);
            s.find = INVALID_HANDLE_VALUE;
            return false;
        }
        s.pending = false;
        const wchar_t* text = s.data.cFileName;
        if (text[0] == L'.' && (text[1] == L'\0' || (text[1] == L'.' && text[2] == L'\0'))) continue;
        kind = KindOfEntry(s.data.dwFileAttributes, s.data.dwReserved0);
        s.name = Utf8FromWide(text);
        name = s.name;
        return true;
    }
}

bool FolderExists(const std::string& path) {
    const std::wstring apiPath = ApiPath(path);
    if (apiPath.empty()) return false;
    const DWORD attributes = ::GetFileAttributesW(apiPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace snapsift
