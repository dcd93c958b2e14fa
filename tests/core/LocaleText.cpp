#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <set>

#include "platform/LocaleText.h"

namespace snapsift {
namespace {

TEST(LocaleText, UnitedStatesFormWritesShortDateAndTwelveHourClock) {
    const struct {
        DateTime value;
        const char* text;
    } cases[] = {
        {{2010, 3, 15, 14, 5, 9}, "3/15/2010 2:05:09 PM"},
        {{2010, 1, 5, 7, 3, 9}, "1/5/2010 7:03:09 AM"},
        {{2009, 12, 31, 23, 59, 0}, "12/31/2009 11:59:00 PM"},
        {{2010, 3, 15, 12, 0, 0}, "3/15/2010 12:00:00 PM"},
        {{2010, 3, 15, 12, 59, 59}, "3/15/2010 12:59:59 PM"},
        {{2010, 3, 15, 0, 0, 1}, "3/15/2010 12:00:01 AM"},
        {{2010, 3, 15, 0, 30, 0}, "3/15/2010 12:30:00 AM"},
        {{2010, 3, 15, 11, 59, 59}, "3/15/2010 11:59:59 AM"},
        {{2010, 3, 15, 0, 0, 0}, "3/15/2010"},
        {{1601, 1, 1, 0, 0, 0}, "1/1/1601"},
        {{9999, 12, 31, 23, 59, 59}, "12/31/9999 11:59:59 PM"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatUsDateTime(c.value), c.text);
}

TEST(LocaleText, OutputFolderStampPadsDayAndClockFields) {
    const struct {
        DateTime value;
        const char* rest;
    } cases[] = {
        {{2010, 3, 5, 9, 7, 3}, " 05, 2010 - 090703"},
        {{2010, 2, 14, 1, 44, 13}, " 14, 2010 - 014413"},
        {{2009, 12, 31, 23, 59, 59}, " 31, 2009 - 235959"},
        {{2026, 1, 1, 0, 0, 0}, " 01, 2026 - 000000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OutputFolderStamp(c.value), MonthAbbreviation(c.value.month) + c.rest);
}

TEST(LocaleText, MonthAbbreviationsAreDistinctAndFitAFolderName) {
    std::set<std::string> names;
    for (int month = 1; month <= 12; ++month) {
        const std::string name = MonthAbbreviation(month);
        EXPECT_FALSE(name.empty()) << month;
        EXPECT_EQ(name.find_first_of("/\\:*?\"<>|"), std::string::npos) << name;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 12u);
}

long long SecondsOf(const DateTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    // Both sides go through the same conversion, so the time zone cancels out.
    return static_cast<long long>(std::mktime(&tm));
}

TEST(LocaleText, LocalNowIsThePresentLocalTime) {
    const std::time_t before = std::time(nullptr);
    const DateTime now = LocalNow();
    const std::time_t after = std::time(nullptr);
    std::tm local{};
    const std::tm* converted = std::localtime(&before);
    ASSERT_NE(converted, nullptr);
    local = *converted;
    const DateTime expected{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                            local.tm_hour, local.tm_min, local.tm_sec};
    const long long difference = SecondsOf(now) - SecondsOf(expected);
    EXPECT_GE(difference, 0);
    EXPECT_LE(difference, static_cast<long long>(after - before) + 1);
}

}  // namespace
}  // namespace snapsift
