// A file's three time stamps (created, last accessed, last modified) as UTC date-time
// values to the whole second, read without opening the file's contents or changing them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace snapsift {

// A calendar date and time of day to the whole second, with no time zone attached.
struct DateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    friend bool operator==(const DateTime&, const DateTime&) = default;
};

// True when the last-access and last-write times were read and converted. The created time
// is left empty where the file system keeps none; on Windows all three are read together,
// and a missing one fails the call.
bool GetFileTimes(const std::string& path, std::optional<DateTime>& timeCreated,
                  DateTime& timeAccessed, DateTime& timeModified);

// A FILETIME count (100 ns since 1601-01-01 UTC) as a UTC date-time, milliseconds dropped;
// nothing when it falls outside the years 100 to 9999.
std::optional<DateTime> FileTimeToDate(std::uint64_t fileTime);

}  // namespace snapsift
