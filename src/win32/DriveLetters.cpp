#include "win32/DriveLetters.h"

#include <windows.h>
#include <winnetwk.h>

#include <cwctype>

namespace snapsift {

namespace {

// What the list shows after the letter: the volume label, or the share of a network drive.
std::wstring Label(const std::wstring& root) {
    wchar_t label[MAX_PATH + 1] = {};
    switch (GetDriveTypeW(root.c_str())) {
        case DRIVE_FIXED:
        case DRIVE_RAMDISK: {
            const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
            if (!GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr,
                                       nullptr, 0)) {
                label[0] = L'\0';
            }
            SetErrorMode(previous);
            return label;
        }
        case DRIVE_REMOTE: {
            DWORD size = MAX_PATH + 1;
            const std::wstring device = root.substr(0, 2);
            if (WNetGetConnectionW(device.c_str(), label, &size) != NO_ERROR) label[0] = L'\0';
            return label;
        }
        default:
            return {};
    }
}

}  // namespace

std::vector<DriveLetter> ListDriveLetters() {
    std::vector<DriveLetter> drives;
    const DWORD present = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if ((present & (1u << i)) == 0) continue;
        const wchar_t letter = static_cast<wchar_t>(L'a' + i);
        const std::wstring label = Label(std::wstring{static_cast<wchar_t>(L'A' + i), L':', L'\\'});
        std::wstring text{letter, L':'};
        if (!label.empty()) text += L" [" + label + L"]";
        drives.push_back({text, std::string{static_cast<char>('a' + i), ':'}});
    }
    return drives;
}

int DriveIndexOf(const std::vector<DriveLetter>& drives, std::wstring_view folder) {
    if (drives.empty()) return -1;
    if (folder.size() >= 2 && folder[1] == L':') {
        const char letter = static_cast<char>(std::towlower(folder[0]));
        for (std::size_t i = 0; i < drives.size(); ++i) {
            if (drives[i].prefix[0] == letter) return static_cast<int>(i);
        }
    }
    return 0;
}

}  // namespace snapsift
