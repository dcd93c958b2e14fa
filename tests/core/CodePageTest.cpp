#include <gtest/gtest.h>

#include "platform/CodePage.h"

namespace snapsift {

TEST(CodePage, BytesAndHtml) {
    struct Case {
        std::string utf8, html;
        std::optional<std::string> bytes;
        bool only1252;
    };
    const std::string bad = "&#xFFFD;";
    const Case cases[] = {
        {"C:\\n1_2[1] \xE6\xBC\xA2\xF0\x9F\x98\x80", "C:\\n1_2[1] &#28450;&#128512;", std::nullopt, false},
        {"a\x80" "b\xFF\xE2\x82", "a" + bad + "b" + bad + bad + bad, std::nullopt, false},
        {"\xC0\xAF\xED\xA0\x80", bad + bad + bad + bad + bad, std::nullopt, false},  // overlong, surrogate
        {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xE9 \x80", "caf\xE9 \x80", true},
        {"caf\xC3\xA9 \xC4\x8D", "caf\xE9 &#269;", std::nullopt, true},
    };
    for (const auto& c : cases) {
        if (c.only1252 && ReportCodePageNumber() != 1252) continue;
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(ToReportCodePage(c.utf8), c.bytes);
        EXPECT_EQ(ToReportCodePageHtml(c.utf8), c.html);
    }
}

}  // namespace snapsift
