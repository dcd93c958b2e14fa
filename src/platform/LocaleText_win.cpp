#include "platform/LocaleText.h"
#include "platform/WideText.h"

#include <windows.h>

// Windows gives the user's own forms: the short date (GetDateFormatEx, DATE_SHORTDATE) and the
// time with seconds (GetTimeFormatEx), both for the user's default locale. Dates that the
// calls cannot take (before 1601) fall back to the United States form.

namespace snapsift {

void UseUserLocale() {}

std::string FormatReportDateTime(const DateTime& value) {
    if (value.year < 1601 || value.year > 9999) return FormatUsDateTime(value);
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(value.year);
    st.wMonth = static_cast<WORD>(value.month);
    st.wDay = static_cast<WORD>(value.day);
    st.wHour = static_cast<WORD>(value.hour);
    st.wMinute = static_cast<WORD>(value.minute);
    st.wSecond = static_cast<WORD>(value.second);
    wchar_t date[128];
    if (GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 128, nullptr) <= 0)
        return FormatUsDateTime(value);
    std::string text = Utf8FromWide(date);
    if (IsMidnight(value)) return text;
    wchar_t time[128];
    if (GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &st, nullptr, time, 128) <= 0)
        return FormatUsDateTime(value);
    return text + ' ' + Utf8FromWide(time);
}

DateTime LocalNow() {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    return DateTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

std::string detail::LocaleMonthAbbreviation(int month) {
    wchar_t name[64];
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SABBREVMONTHNAME1 + month - 1, name, 64) <= 0) return {};
    return Utf8FromWide(name);
}

}  // namespace snapsift
