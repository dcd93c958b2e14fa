#include "text/DateTime.h"

namespace snapsift {

namespace {

constexpr int kMinYear = 100;
constexpr int kMaxYear = 9999;

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

std::optional<DateTime> SystemTimeToDate(int year, int month, int day, int hour, int minute,
                                         int second) {
    if (year < kMinYear || year > kMaxYear || month < 1 || month > 12) return std::nullopt;
    if (day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return std::nullopt;
    return DateTime{year, month, day, hour, minute, second};
}

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

std::optional<std::uint64_t> FileTimeFromUnixTime(std::int64_t seconds, std::uint32_t nanoseconds) {
    constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;
    constexpr std::int64_t kTicksPerSecond = 10'000'000;
    if (seconds < -kSecondsFrom1601To1970) return std::nullopt;
    const std::uint64_t since1601 = seconds >= 0
                                        ? static_cast<std::uint64_t>(seconds) + kSecondsFrom1601To1970
                                        : static_cast<std::uint64_t>(seconds + kSecondsFrom1601To1970);
    if (since1601 > (UINT64_MAX - kTicksPerSecond) / kTicksPerSecond) return std::nullopt;
    return since1601 * kTicksPerSecond + nanoseconds / 100;
}

std::optional<std::uint64_t> FileTimeFromLittleEndian(std::string_view bytes) {
    if (bytes.size() != 8) return std::nullopt;
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    return value;
}

}  // namespace snapsift
