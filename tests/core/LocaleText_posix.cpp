#include <gtest/gtest.h>

#include <locale.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/LocaleText.h"

namespace snapsift {
namespace {

// Sets LC_ALL for the duration of a test and makes the locale the one in use; restores both.
class ScopedLocale {
public:
    explicit ScopedLocale(const char* name) {
        if (const char* old = std::getenv("LC_ALL")) saved_ = old;
        setenv("LC_ALL", name, 1);
        UseUserLocale();
    }
    ~ScopedLocale() {
        if (saved_)
            setenv("LC_ALL", saved_->c_str(), 1);
        else
            unsetenv("LC_ALL");
        UseUserLocale();
    }

private:
    std::optional<std::string> saved_;
};

bool Installed(const char* name) {
    locale_t handle = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr));
    if (handle == nullptr) return false;
    freelocale(handle);
    return true;
}

const DateTime kAfternoon{2010, 3, 15, 14, 5, 9};
const DateTime kMidnight{2010, 3, 5, 0, 0, 0};

TEST(LocaleTextPosix, DefaultLocaleIsTheUnitedStatesForm) {
    EXPECT_EQ(FormatReportDateTime(kAfternoon), "3/15/2010 2:05:09 PM");
    EXPECT_EQ(FormatReportDateTime(kMidnight), "3/5/2010");
    EXPECT_EQ(OutputFolderStamp({2010, 3, 5, 9, 7, 3}), "Mar 05, 2010 - 090703");
}

TEST(LocaleTextPosix, EachLocaleWritesItsOwnForms) {
    const struct {
        const char* locale;
        const char* afternoon;
        const char* midnight;
        const char* stamp;  // for 5 March 2010, 09:07:03
    } cases[] = {
        {"C", "3/15/2010 2:05:09 PM", "3/5/2010", "Mar 05, 2010 - 090703"},
        {"POSIX", "3/15/2010 2:05:09 PM", "3/5/2010", "Mar 05, 2010 - 090703"},
        {"C.UTF-8", "3/15/2010 2:05:09 PM", "3/5/2010", "Mar 05, 2010 - 090703"},
        {"en_US.UTF-8", "3/15/2010 2:05:09 PM", "3/5/2010", "Mar 05, 2010 - 090703"},
        // Four-digit years even where the locale's own short date has two.
        {"en_GB.UTF-8", "15/03/2010 14:05:09", "05/03/2010", "Mar 05, 2010 - 090703"},
        {"de_DE.UTF-8", "15.03.2010 14:05:09", "05.03.2010", "M\xC3\xA4r 05, 2010 - 090703"},
        // A locale whose data is in ISO-8859-1 still gives UTF-8.
        {"de_DE.ISO-8859-1", "15.03.2010 14:05:09", "05.03.2010", "M\xC3\xA4r 05, 2010 - 090703"},
    };
    std::vector<std::string> missing;
    for (const auto& c : cases) {
        if (!Installed(c.locale)) {
            missing.push_back(c.locale);
            continue;
        }
        SCOPED_TRACE(c.locale);
        ScopedLocale locale(c.locale);
        EXPECT_EQ(FormatReportDateTime(kAfternoon), c.afternoon);
        EXPECT_EQ(FormatReportDateTime(kMidnight), c.midnight);
        EXPECT_EQ(OutputFolderStamp({2010, 3, 5, 9, 7, 3}), c.stamp);
    }
    if (!missing.empty()) {
        std::string names;
        for (const auto& name : missing) names += " " + name;
        GTEST_SKIP() << "locales not installed on this machine (localedef can make them):" << names;
    }
}

TEST(LocaleTextPosix, UnknownLocaleFallsBackToTheUnitedStatesForm) {
    ScopedLocale locale("xx_NOWHERE.UTF-8");
    EXPECT_EQ(FormatReportDateTime(kAfternoon), "3/15/2010 2:05:09 PM");
    EXPECT_EQ(MonthAbbreviation(3), "Mar");
}

}  // namespace
}  // namespace snapsift
