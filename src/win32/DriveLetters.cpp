#include "win32/DriveLetters.h"

#include <windows.h>
#include <winnetwk.h>

#include <string>

#include "platform/WideText.h"

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

std::vector<DriveEntry> ListDriveLetters() {
    std::vector<DriveEntry> drives;
    const DWORD present = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if ((present & (1u << i)) == 0) continue;
        const std::wstring root{static_cast<wchar_t>(L'A' + i), L':', L'\\'};
        drives.push_back(DriveLetterEntry(Utf8FromWide(root), Utf8FromWide(Label(root))));
    }
    return drives;
}

std::vector<DriveRootFolders> ReadDriveRoots(const std::vector<DriveEntry>& drives) {
    std::vector<DriveRootFolders> roots;
    for (const DriveEntry& drive : drives) {
        DriveRootFolders root;
        const std::wstring path = WideFromUtf8(drive.rootPath);
        root.fixed = GetDriveTypeW(path.c_str()) == DRIVE_FIXED;
        if (root.fixed) {
            const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
            WIN32_FIND_DATAW found{};
            const HANDLE search = FindFirstFileExW((path + L"*").c_str(), FindExInfoBasic, &found,
                                                   FindExSearchLimitToDirectories, nullptr, 0);
            if (search != INVALID_HANDLE_VALUE) {
                do {
                    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                        root.folders.push_back(Utf8FromWide(found.cFileName));
                    }
                } while (FindNextFileW(search, &found));
                FindClose(search);
            }
            SetErrorMode(previous);
        }
        roots.push_back(std::move(root));
    }
    return roots;
}

}  // namespace snapsift
