#include "platform/WideText.h"

#include <windows.h>

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

std::wstring WideFromUtf8(std::string_view text) {
    if (text.empty()) return {};
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string Utf8FromWide(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    if (size <= 0) return {};
    std::string utf8(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr,
                          nullptr);
    return utf8;
}

std::wstring ApiPath(std::string_view path) {
    if (path.find('\0') != std::string_view::npos) return {};
    const int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(),
                                           static_cast<int>(path.size()), nullptr, 0);
    if (size <= 0) return {};
    std::wstring wide = WideFromUtf8(path);
    if (wide.starts_with(kLongPrefix) || wide.starts_with(kDevicePrefix)) return wide;
    if ((IsDriveAbsolute(wide) || IsUnc(wide)) && IsLiteral(wide)) return WithPrefix(std::move(wide));
    return WithPrefix(FullPath(wide));
}

}  // namespace snapsift
