// Dates and times to the whole second, and the file-time counts that file systems stamp them
// with, converted without asking the system.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace snapsift {

// A calendar date and time of day to the whole second, with no time zone attached.
struct DateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    friend bool operator==(const DateTime&, const DateTime&) = default;
};

// A FILETIME count (100 ns since 1601-01-01 UTC) as a UTC date-time, milliseconds dropped;
// nothing when it falls outside the years 100 to 9999.
std::optional<DateTime> FileTimeToDate(std::uint64_t fileTime);

// The calendar fields as a date-time value; nothing when they name no valid date and time
// or the year lies outside 100 to 9999.
std::optional<DateTime> SystemTimeToDate(int year, int month, int day, int hour, int minute,
                                         int second);

// A POSIX time (seconds and nanoseconds since 1970-01-01 UTC) as a FILETIME count; nothing
// before 1601.
std::optional<std::uint64_t> FileTimeFromUnixTime(std::int64_t seconds, std::uint32_t nanoseconds);

// The FILETIME held in 8 little-endian bytes, as NTFS keeps a creation time (and as the
// ntfs-3g driver hands it out in its "system.ntfs_crtime" attribute); nothing for any
// other length.
std::optional<std::uint64_t> FileTimeFromLittleEndian(std::string_view bytes);

}  // namespace snapsift
