#include <gtest/gtest.h>

#include <windows.h>

#include "platform/LocaleText.h"

TEST(LocaleTextWin, DatesBefore1601InTheUnitedStatesForm) {
    EXPECT_EQ(snapsift::FormatReportDateTime({1500, 6, 1, 13, 0, 0}), "6/1/1500 1:00:00 PM");
}

TEST(LocaleTextWin, TheUserLocalesForms) {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    if (!GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) || std::wstring(name) != L"en-US") GTEST_SKIP();
    EXPECT_EQ(snapsift::FormatReportDateTime({2010, 3, 15, 0, 0, 1}), "3/15/2010 12:00:01 AM");
    EXPECT_EQ(snapsift::FormatReportDateTime({2010, 3, 5, 0, 0, 0}), "3/5/2010");
    EXPECT_EQ(snapsift::OutputFolderStamp({2010, 3, 5, 9, 7, 3}), "Mar 05, 2010 - 090703");
}
