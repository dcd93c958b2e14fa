#include "platform/FileTimes.h"

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
