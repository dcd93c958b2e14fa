#include <windows.h>

#include "platform/FileTimes.h"
#include "platform/WinHandle.h"
#include "platform/DirectoryListing_win.h"

namespace snapsift {

namespace {

std::uint64_t ToCount(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

std::optional<DateTime> FileTimeToDate(std::uint64_t fileTime) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(fileTime);
    time.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
    SYSTEMTIME fields{};  // stays all zero, so no date, when the conversion fails
    ::FileTimeToSystemTime(&time, &fields);
    return SystemTimeToDate(fields.wYear, fields.wMonth, fields.wDay, fields.wHour, fields.wMinute,
                            fields.wSecond);
}

bool GetFileTimes(const std::string& path, std::optional<DateTime>& timeCreated,
                  DateTime& timeAccessed, DateTime& timeModified) {
    const std::wstring apiPath = ApiPath(path);
    if (apiPath.empty()) return false;
    // Only the attributes are asked for, not the data (GENERIC_READ is not needed to read
    // times): they can be read even while another program holds the file open without
    // sharing it, and the open never counts as a read of the contents. Without
    // FILE_FLAG_BACKUP_SEMANTICS a folder cannot be opened; a link is opened as itself and
    // refused below, like a folder that an emulation lets through.
    WinHandle file(::CreateFileW(apiPath.c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.Valid()) return false;
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!::GetFileInformationByHandleEx(file.Get(), FileAttributeTagInfo, &info, sizeof info)) return false;
    if ((info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
    if ((info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsLinkReparseTag(info.ReparseTag))
        return false;
    FILETIME created, accessed, modified;
    if (!::GetFileTime(file.Get(), &created, &accessed, &modified)) return false;
    if (!file.Close()) return false;
    const auto createdDate = FileTimeToDate(ToCount(created));
    const auto accessedDate = FileTimeToDate(ToCount(accessed));
    const auto modifiedDate = FileTimeToDate(ToCount(modified));
    if (!createdDate || !accessedDate || !modifiedDate) return false;
    timeCreated = createdDate;
    timeAccessed = *accessedDate;
    timeModified = *modifiedDate;
    return true;
}

}  // namespace snapsift
