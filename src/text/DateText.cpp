#include "text/DateText.h"

#include <cstdio>

namespace snapsift {

namespace {

constexpr const char* kEnglishMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A folder name must not take a separator or a reserved character from the locale's data.
std::string FolderSafe(std::string_view month) {
    std::string text(month);
    for (char& c : text) {
        switch (c) {
        case '/': case '\\': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
            c = '-';
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) c = '-';
        }
    }
    return text;
}

}  // namespace

bool IsMidnight(const DateTime& value) {
    return value.hour == 0 && value.minute == 0 && value.second == 0;
}

std::string EnglishMonthAbbreviation(int month) {
    return month < 1 || month > 12 ? "???" : kEnglishMonths[month - 1];
}

std::string FormatUsDateTime(const DateTime& value) {
    char text[96];
    std::snprintf(text, sizeof text, "%d/%d/%d", value.month, value.day, value.year);
    std::string result = text;
    if (IsMidnight(value)) return result;
    const int hour12 = value.hour % 12 == 0 ? 12 : value.hour % 12;
    std::snprintf(text, sizeof text, " %d:%02d:%02d %s", hour12, value.minute, value.second,
                  value.hour < 12 ? "AM" : "PM");
    return result + text;
}

std::string IsoUtcText(const DateTime& value) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", value.year, value.month, value.day, value.hour,
                  value.minute, value.second);
    return text;
}

std::string OutputFolderStamp(const DateTime& localTime, std::string_view month) {
    char rest[64];
    std::snprintf(rest, sizeof rest, " %02d, %04d - %02d%02d%02d", localTime.day, localTime.year,
                  localTime.hour, localTime.minute, localTime.second);
    return FolderSafe(month) + rest;
}

}  // namespace snapsift
