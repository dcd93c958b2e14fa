#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include "platform/FileTimes.h"

namespace snapsift {

namespace {

std::optional<DateTime> ToDate(const struct statx_timestamp& stamp) {
    const auto fileTime = FileTimeFromUnixTime(stamp.tv_sec, stamp.tv_nsec);
    return fileTime ? FileTimeToDate(*fileTime) : std::nullopt;
}

// The creation time that the ntfs-3g driver hands out as an extended attribute, read
// without following links.
std::optional<DateTime> NtfsCreationTime(const std::string& path) {
    char bytes[8];
    const ssize_t length = ::lgetxattr(path.c_str(), "system.ntfs_crtime", bytes, sizeof bytes);
    if (length != static_cast<ssize_t>(sizeof bytes)) return std::nullopt;
    const auto fileTime = FileTimeFromLittleEndian(std::string_view(bytes, sizeof bytes));
    return fileTime ? FileTimeToDate(*fileTime) : std::nullopt;
}

}  // namespace

std::optional<DateTime> FileTimeToDate(std::uint64_t fileTime) {
    constexpr std::uint64_t kTicksPerSecond = 10'000'000;
    constexpr std::int64_t kSecondsPerDay = 86400;
    constexpr std::int64_t kDaysFrom1601To1970 = 134774;
    const auto seconds = static_cast<std::int64_t>(fileTime / kTicksPerSecond);
    const std::int64_t secondOfDay = seconds % kSecondsPerDay;
    // Civil date from a day count since 1970-01-01 (proleptic Gregorian calendar).
    const std::int64_t z = seconds / kSecondsPerDay - kDaysFrom1601To1970 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const std::int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    if (year > 9999) return std::nullopt;
    return SystemTimeToDate(static_cast<int>(year), static_cast<int>(month), static_cast<int>(day),
                            static_cast<int>(secondOfDay / 3600),
                            static_cast<int>(secondOfDay / 60 % 60),
                            static_cast<int>(secondOfDay % 60));
}

bool GetFileTimes(const std::string& path, std::optional<DateTime>& timeCreated,
                  DateTime& timeAccessed, DateTime& timeModified) {
    // statx reads the inode only: the file is not opened and none of its times changes.
    struct statx info;
    const unsigned wanted = STATX_TYPE | STATX_ATIME | STATX_MTIME | STATX_BTIME;
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT, wanted,
                &info) != 0)
        return false;
    if ((info.stx_mask & STATX_TYPE) == 0 || !S_ISREG(info.stx_mode)) return false;
    if ((info.stx_mask & STATX_ATIME) == 0 || (info.stx_mask & STATX_MTIME) == 0) return false;
    const auto accessed = ToDate(info.stx_atime);
    const auto modified = ToDate(info.stx_mtime);
    if (!accessed || !modified) return false;
    std::optional<DateTime> created;
    if ((info.stx_mask & STATX_BTIME) != 0) {
        created = ToDate(info.stx_btime);
        if (!created) return false;
    } else {
        created = NtfsCreationTime(path);
    }
    timeCreated = created;
    timeAccessed = *accessed;
    timeModified = *modified;
    return true;
}

}  // namespace snapsift
