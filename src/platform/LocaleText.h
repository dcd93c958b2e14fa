// Dates and times as the user's locale writes them: the report's time text and the
// month abbreviation of the output folder's name.
#pragma once

#include <string>

#include "text/DateText.h"
#include "text/DateTime.h"

namespace snapsift {

// Makes the user's locale (LC_TIME on POSIX) the one used below; call once at start-up.
void UseUserLocale();

// The locale's short date, a blank and its time with seconds ("3/15/2010 2:05:09 PM" under
// the C locale and en_US); the date alone when the time of day is 00:00:00. UTF-8.
std::string FormatReportDateTime(const DateTime& value);

// The present local date and time.
DateTime LocalNow();

// The locale's abbreviated name of a month (1 to 12), UTF-8; "Jan".."Dec" where the locale
// has none.
std::string MonthAbbreviation(int month);

namespace detail {
// The locale's own abbreviation of a month (1 to 12), UTF-8, or "" where it has none.
std::string LocaleMonthAbbreviation(int month);
}  // namespace detail

}  // namespace snapsift
