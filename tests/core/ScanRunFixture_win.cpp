#include <sys/utime.h>

#include "ScanRunFixture.h"

#include <windows.h>  // after the project headers: it defines a Yield() macro

namespace snapsift::test {

bool SetFileTimesUtc(const fs::path& path) {
    __utimbuf64 times{kAccessedAt, kModifiedAt};
    return _wutime64(path.c_str(), &times) == 0;
}

std::string CreatedLine(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    SYSTEMTIME t{};
    if (!GetFileAttributesExW(FromText(path).c_str(), GetFileExInfoStandard, &data) ||
        !FileTimeToSystemTime(&data.ftCreationTime, &t))
        return "no created time";
    return UsCreatedLine(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

bool UsDateForms() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    return GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) > 0 && std::wstring(name) == L"en-US";
}

}  // namespace snapsift::test
