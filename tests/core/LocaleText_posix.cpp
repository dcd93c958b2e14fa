#include <gtest/gtest.h>

#include <locale.h>
#include <stdlib.h>

#include "platform/LocaleText.h"

// Four-digit years even where the locale's short date has two; UTF-8 from an ISO-8859-1 locale.
TEST(LocaleTextPosix, EachLocaleWritesItsOwnForms) {
    const struct { const char *locale, *afternoon, *smallHours, *midnight, *stamp; } cases[] = {
        {"C", "3/15/2010 2:05:09 PM", "1/5/2010 12:00:01 AM", "3/5/2010", "Mar 05, 2010 - 090703"},
        {"xx_NOWHERE.UTF-8", "3/15/2010 2:05:09 PM", "1/5/2010 12:00:01 AM", "3/5/2010", "Mar 05, 2010 - 090703"},
        {"en_GB.UTF-8", "15/03/2010 14:05:09", "05/01/2010 00:00:01", "05/03/2010", "Mar 05, 2010 - 090703"},
        {"de_DE.ISO-8859-1", "15.03.2010 14:05:09", "05.01.2010 00:00:01", "05.03.2010",
         "M\xC3\xA4r 05, 2010 - 090703"},
    };
    const auto use = [](const char* locale) {
        setenv("LC_ALL", locale, 1);
        snapsift::UseUserLocale();
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale);
        // A locale not installed here is passed over; the made-up one tests the fallback.
        const locale_t installed = newlocale(LC_TIME_MASK, c.locale, nullptr);
        if (installed != nullptr) freelocale(installed);
        if (installed == nullptr && c.locale[0] != 'x') continue;
        use(c.locale);
        EXPECT_EQ(snapsift::FormatReportDateTime({2010, 3, 15, 14, 5, 9}), c.afternoon);
        EXPECT_EQ(snapsift::FormatReportDateTime({2010, 1, 5, 0, 0, 1}), c.smallHours);
        EXPECT_EQ(snapsift::FormatReportDateTime({2010, 3, 5, 0, 0, 0}), c.midnight);
        EXPECT_EQ(snapsift::OutputFolderStamp({2010, 3, 5, 9, 7, 3}), c.stamp);
    }
    use("C");  // as the other tests expect
    EXPECT_EQ(snapsift::FormatReportDateTime({2009, 12, 31, 12, 0, 0}), "12/31/2009 12:00:00 PM");
    EXPECT_EQ(snapsift::OutputFolderStamp({2009, 12, 31, 12, 0, 0}), "Dec 31, 2009 - 120000");
}
