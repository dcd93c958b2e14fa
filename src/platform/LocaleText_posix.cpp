#include "platform/LocaleText.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <time.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>

// The C and POSIX locales and en_US use the United States form, written out here because
// strftime's forms for them differ from it ("%x" gives 03/15/10, "%r" 02:05:09 PM). Any other
// locale gives its own date form (D_FMT) with a four-digit year, a blank and its own time form
// (T_FMT), or hh:mm:ss when that has no seconds.

namespace snapsift {

namespace {

class TimeLocale {
public:
    ~TimeLocale() { Reset(); }
    void Reset() {
        if (handle_ != nullptr) freelocale(handle_);
        handle_ = nullptr;
    }
    void Set(locale_t handle, bool usForm) {
        Reset();
        handle_ = handle;
        usForm_ = usForm || handle == nullptr;
    }
    locale_t Handle() const { return handle_; }
    bool UsForm() const { return usForm_; }

private:
    locale_t handle_ = nullptr;  // nullptr: the C locale
    bool usForm_ = true;
};

TimeLocale& Current() {
    static TimeLocale current;
    return current;
}

// The name the LC_TIME category takes from the environment, as setlocale would find it.
std::string EnvironmentTimeLocaleName() {
    for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return value;
    }
    return "C";
}

bool UsesUsForm(std::string_view name) {
    return name == "C" || name == "POSIX" || name.starts_with("C.") || name.starts_with("en_US");
}

// Text from the locale's own character set to UTF-8.
std::string ToUtf8(const std::string& text, locale_t handle) {
    const char* codeset = nl_langinfo_l(CODESET, handle);
    bool ascii = true;
    for (unsigned char c : text) ascii = ascii && c < 0x80;
    if (ascii || codeset == nullptr || std::strcmp(codeset, "UTF-8") == 0) return text;
    iconv_t converter = iconv_open("UTF-8", codeset);
    if (converter == reinterpret_cast<iconv_t>(-1)) return text;
    std::string out(text.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t converted = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(converter);
    if (converted == static_cast<std::size_t>(-1)) return text;
    out.resize(out.size() - outLeft);
    return out;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long DaysFromCivil(int year, int month, int day) {
    year -= month <= 2;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yoe = year - era * 400;
    const long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::tm ToTm(const DateTime& value) {
    std::tm tm{};
    tm.tm_year = value.year - 1900;
    tm.tm_mon = value.month - 1;
    tm.tm_mday = value.day;
    tm.tm_hour = value.hour;
    tm.tm_min = value.minute;
    tm.tm_sec = value.second;
    const long days = DaysFromCivil(value.year, value.month, value.day);
    tm.tm_wday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    tm.tm_yday = static_cast<int>(days - DaysFromCivil(value.year, 1, 1));
    return tm;
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

std::string Format(const char* pattern, const std::tm& tm, locale_t handle) {
    char buffer[256];
    const std::size_t length = strftime_l(buffer, sizeof buffer, pattern, &tm, handle);
    return std::string(buffer, length);
}

}  // namespace

void UseUserLocale() {
    const std::string name = EnvironmentTimeLocaleName();
    // LC_CTYPE from the same name, so that CODESET names the character set of its time data.
    locale_t handle = newlocale(LC_CTYPE_MASK | LC_TIME_MASK, name.c_str(), static_cast<locale_t>(nullptr));
    Current().Set(handle, UsesUsForm(name));
}

std::string FormatReportDateTime(const DateTime& value) {
    const TimeLocale& locale = Current();
    if (locale.UsForm()) return FormatUsDateTime(value);
    const locale_t handle = locale.Handle();
    const std::tm tm = ToTm(value);

    std::string datePattern = nl_langinfo_l(D_FMT, handle);
    ReplaceAll(datePattern, "%D", "%m/%d/%Y");
    ReplaceAll(datePattern, "%y", "%Y");
    if (datePattern.empty()) return FormatUsDateTime(value);
    std::string text = Format(datePattern.c_str(), tm, handle);
    if (IsMidnight(value)) return ToUtf8(text, handle);

    std::string timePattern = nl_langinfo_l(T_FMT, handle);
    const bool hasSeconds = timePattern.find("%S") != std::string::npos ||
                            timePattern.find("%T") != std::string::npos ||
                            timePattern.find("%r") != std::string::npos;
    if (!hasSeconds) timePattern = "%H:%M:%S";
    text += ' ';
    text += Format(timePattern.c_str(), tm, handle);
    return ToUtf8(text, handle);
}

DateTime LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return DateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                    local.tm_hour, local.tm_min, local.tm_sec};
}

std::string detail::LocaleMonthAbbreviation(int month) {
    const TimeLocale& locale = Current();
    if (locale.Handle() == nullptr) return {};
    const char* name = nl_langinfo_l(static_cast<nl_item>(ABMON_1 + month - 1), locale.Handle());
    if (name == nullptr || *name == '\0') return {};
    return ToUtf8(name, locale.Handle());
}

}  // namespace snapsift
