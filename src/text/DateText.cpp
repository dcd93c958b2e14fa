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
    // "YYYY-MM-DDTHH:MM:SSZ", by hand: it is written for every time of every entry.
    std::string text = "0000-00-00T00:00:00Z";
    const auto put = [&](std::size_t at, int number, int digits) {
        for (int i = digits - 1; i >= 0; --i, number /= 10) text[at + i] = static_cast<char>('0' + number % 10);
    };
    const auto twoDigits = [](int number) { return number >= 0 && number <= 99; };
    if (value.year < 0 || value.year > 9999 || !twoDigits(value.month) || !twoDigits(value.day) ||
        !twoDigits(value.hour) || !twoDigits(value.minute) || !twoDigits(value.second)) {
        char fallback[48];
        std::snprintf(fallback, sizeof fallback, "%04d-%02d-%02dT%02d:%02d:%02dZ", value.year, value.month, value.day,
                      value.hour, value.minute, value.second);
        return fallback;
    }
    put(0, value.year, 4);
    put(5, value.month, 2);
    put(8, value.day, 2);
    put(11, value.hour, 2);
    put(14, value.minute, 2);
    put(17, value.second, 2);
    return text;
}

std::string OutputFolderStamp(const DateTime& localTime, std::string_view month) {
    char rest[64];
    std::snprintf(rest, sizeof rest, " %02d, %04d - %02d%02d%02d", localTime.day, localTime.year,
                  localTime.hour, localTime.minute, localTime.second);
    return FolderSafe(month) + rest;
}

}  // namespace snapsift
