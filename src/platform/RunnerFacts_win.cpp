#include "platform/RunnerFacts.h"

#include <windows.h>

#include <iterator>

#include "platform/WideText.h"

namespace snapsift {

std::string HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 256] = {};
    DWORD size = static_cast<DWORD>(std::size(name));
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size)) return {};
    return Utf8FromWide(name);
}

std::string UserName() {
    wchar_t name[257] = {};
    DWORD size = static_cast<DWORD>(std::size(name));
    if (!GetUserNameW(name, &size)) return {};
    return Utf8FromWide(name);
}

DateTime UtcNow() {
    SYSTEMTIME st{};
    GetSystemTime(&st);
    return DateTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

}  // namespace snapsift
