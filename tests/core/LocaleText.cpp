#include <gtest/gtest.h>

#include "platform/LocaleText.h"

TEST(LocaleText, UnitedStatesFormAndOutputFolderStamp) {
    const struct { snapsift::DateTime value; const char *text, *stampRest; } cases[] = {
        {{2010, 3, 15, 14, 5, 9}, "3/15/2010 2:05:09 PM", " 15, 2010 - 140509"},
        {{2010, 1, 5, 7, 3, 9}, "1/5/2010 7:03:09 AM", " 05, 2010 - 070309"},
        {{2010, 3, 15, 12, 0, 0}, "3/15/2010 12:00:00 PM", " 15, 2010 - 120000"},
        {{2010, 3, 15, 0, 0, 1}, "3/15/2010 12:00:01 AM", " 15, 2010 - 000001"},
        {{2009, 12, 31, 0, 0, 0}, "12/31/2009", " 31, 2009 - 000000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(snapsift::FormatUsDateTime(c.value), c.text);
        EXPECT_EQ(snapsift::OutputFolderStamp(c.value), snapsift::MonthAbbreviation(c.value.month) + c.stampRest);
    }
}
