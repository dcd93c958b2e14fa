#include "ScanRunFixture.h"

#include <windows.h>

namespace snapsift::test {

namespace {

FILETIME ToFileTime(const DateTime& value) {
    const auto ticks = static_cast<std::uint64_t>(UnixSeconds(value) + 11644473600LL) * 10000000ULL;
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

}  // namespace

bool SetFileTimesUtc(const std::filesystem::path& path, const DateTime& accessed, const DateTime& modified) {
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const FILETIME access = ToFileTime(accessed);
    const FILETIME write = ToFileTime(modified);
    const bool set = SetFileTime(file, nullptr, &access, &write) != 0;
    CloseHandle(file);
    return set;
}

long MissingFileError() { return ERROR_FILE_NOT_FOUND; }
long MissingFolderError() { return ERROR_PATH_NOT_FOUND; }

}  // namespace snapsift::test
