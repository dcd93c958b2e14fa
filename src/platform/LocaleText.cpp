#include "platform/LocaleText.h"

namespace snapsift {

std::string MonthAbbreviation(int month) {
    if (month < 1 || month > 12) return EnglishMonthAbbreviation(month);
    std::string name = detail::LocaleMonthAbbreviation(month);
    return name.empty() ? EnglishMonthAbbreviation(month) : name;
}

}  // namespace snapsift
