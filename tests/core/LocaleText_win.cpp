#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "platform/LocaleText.h"

namespace snapsift {
namespace {

std::wstring UserLocaleName() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
    return name;
}

TEST(LocaleTextWin, UnitedStatesUserLocaleGivesTheUnitedStatesForms) {
    if (UserLocaleName() != L"en-US") GTEST_SKIP() << "the user's locale here is not en-US";
    EXPECT_EQ(FormatReportDateTime({2010, 3, 15, 14, 5, 9}), "3/15/2010 2:05:09 PM");
    EXPECT_EQ(FormatReportDateTime({2010, 3, 15, 0, 0, 1}), "3/15/2010 12:00:01 AM");
    EXPECT_EQ(FormatReportDateTime({2010, 3, 5, 0, 0, 0}), "3/5/2010");
    EXPECT_EQ(OutputFolderStamp({2010, 3, 5, 9, 7, 3}), "Mar 05, 2010 - 090703");
}

TEST(LocaleTextWin, DatesBeforeTheSystemCalendarFallBackToTheUnitedStatesForm) {
    EXPECT_EQ(FormatReportDateTime({1500, 6, 1, 13, 0, 0}), "6/1/1500 1:00:00 PM");
}

TEST(LocaleTextWin, MidnightGivesTheDateAlone) {
    const std::string dateOnly = FormatReportDateTime({2010, 3, 15, 0, 0, 0});
    const std::string withTime = FormatReportDateTime({2010, 3, 15, 0, 0, 1});
    EXPECT_FALSE(dateOnly.empty());
    EXPECT_EQ(withTime.rfind(dateOnly + " ", 0), 0u) << withTime;
    EXPECT_GT(withTime.size(), dateOnly.size() + 1);
}

}  // namespace
}  // namespace snapsift
