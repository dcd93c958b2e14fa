// Dates and times as the user's locale writes them: the report's time text and the
// month abbreviation of the output folder's name.
#pragma once

#include <string>

#include "platform/FileTimes.h"

namespace snapsift {

// Makes the user's locale (LC_TIME on POSIX) the one used below; call once at start-up.
void UseUserLocale();

// The locale's short date, a blank and its time with seconds ("3/15/2010 2:05:09 PM" under
// the C locale and en_US); the date alone when the time of day is 00:00:00. UTF-8.
std::string FormatReportDateTime(const DateTime& value);

// The United States form of FormatReportDateTime: month/day/year without leading zeros and
// the 12-hour clock with seconds and AM/PM ("3/15/2010 2:05:09 PM"), or the date alone.
std::string FormatUsDateTime(const DateTime& value);

// The present local date and time.
DateTime LocalNow();

// The locale's abbreviated name of a month (1 to 12), UTF-8; "Jan".."Dec" where the locale
// has none.
std::string MonthAbbreviation(int month);

// "mmm dd, yyyy - hhmmss" with the locale's three-letter month abbreviation. UTF-8.
std::string OutputFolderStamp(const DateTime& localTime);

namespace detail {
// The locale's own abbreviation of a month (1 to 12), UTF-8, or "" where it has none.
std::string LocaleMonthAbbreviation(int month);
// 00:00:00, at which the report's time text is the date alone.
bool IsMidnight(const DateTime& value);
}  // namespace detail

}  // namespace snapsift
