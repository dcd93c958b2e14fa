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

// The present local date and time.
DateTime LocalNow();

// "mmm dd, yyyy - hhmmss" with the locale's three-letter month abbreviation. UTF-8.
std::string OutputFolderStamp(const DateTime& localTime);

}  // namespace snapsift
