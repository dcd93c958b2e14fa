#include "platform/AccessTimes.h"

#include <windows.h>

#include "platform/WideText.h"

namespace snapsift {

namespace {

// Whether this process runs with the Administrators group in force (elevated, where the system
// splits an administrator's rights): that group may write the attributes of every profile's
// files, and so keep their access times while reading them.
bool RunsAsAdministrator() {
    SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!::AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                    0, 0, &administrators))
        return false;
    BOOL member = FALSE;
    if (!::CheckTokenMembership(nullptr, administrators, &member)) member = FALSE;
    ::FreeSid(administrators);
    return member != FALSE;
}

// Whether the volume holding path is read-only, where no access time moves.
bool VolumeKeepsAccessTimes(const std::string& path) {
    std::wstring wide = WideFromUtf8(path);
    if (wide.empty()) return false;
    if (wide.back() != L'\\' && wide.back() != L'/') wide += L'\\';  // "c:" alone is the current folder there
    wchar_t volume[MAX_PATH + 1] = {};
    if (!::GetVolumePathNameW(wide.c_str(), volume, MAX_PATH)) return false;
    DWORD flags = 0;
    if (!::GetVolumeInformationW(volume, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) return false;
    return (flags & FILE_READ_ONLY_VOLUME) != 0;
}

}  // namespace

AccessTimeForecast ForecastAccessTimes(const std::string& searchRoot) {
    if (RunsAsAdministrator() || VolumeKeepsAccessTimes(searchRoot)) return AccessTimeForecast::Kept;
    return AccessTimeForecast::OthersFilesChange;
}

}  // namespace snapsift
