// Dates and times as text in the forms that depend on no locale: the United States form of the
// report's times, and the stamp in the output folder's name.
#pragma once

#include <string>
#include <string_view>

#include "text/DateTime.h"

namespace snapsift {

// 00:00:00, at which the report's time text is the date alone.
bool IsMidnight(const DateTime& value);

// Month/day/year without leading zeros and the 12-hour clock with seconds and AM/PM
// ("3/15/2010 2:05:09 PM"), or the date alone at midnight.
std::string FormatUsDateTime(const DateTime& value);

// The English abbreviation of a month (1 to 12), "Jan".."Dec"; "???" for any other number.
std::string EnglishMonthAbbreviation(int month);

// ISO 8601 in UTC, to the second: "2014-04-30T16:44:36Z".
std::string IsoUtcText(const DateTime& value);

// "mmm dd, yyyy - hhmmss", mmm the month's name as given (a locale's abbreviation), with any
// character a folder name cannot hold made "-". UTF-8.
std::string OutputFolderStamp(const DateTime& localTime, std::string_view month);

}  // namespace snapsift
