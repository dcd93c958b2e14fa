#include "platform/DirectoryListing_win.h"
#include "platform/Paths.h"
#include "platform/WinHandle.h"

// After the project headers: <windows.h> defines a Yield() macro that would rename
// ScanHost::Yield.
#include <windows.h>

namespace snapsift {

bool PathExists(const std::string& path, bool includeFolders) {
    const std::wstring apiPath = ApiPath(path);
    if (apiPath.empty()) return false;
    const DWORD attributes = ::GetFileAttributesW(apiPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return includeFolders || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsLinkOrJunction(const std::string& path) {
    std::wstring apiPath = ApiPath(path);
    // The entry itself, not the folder's contents: no trailing separator, except on a drive's
    // root, which is never a link.
    while (!apiPath.empty() && (apiPath.back() == L'\\' || apiPath.back() == L'/')) apiPath.pop_back();
    if (apiPath.empty() || apiPath.back() == L':') return false;
    const DWORD attributes = ::GetFileAttributesW(apiPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
    WIN32_FIND_DATAW data{};
    const FindHandle find(
        ::FindFirstFileExW(apiPath.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
    if (!find.Valid()) return true;  // a reparse point whose kind cannot be read
    return IsLinkReparseTag(data.dwReserved0);
}

}  // namespace snapsift
