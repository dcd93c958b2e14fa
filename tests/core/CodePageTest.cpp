#include <gtest/gtest.h>

#include "platform/CodePage.h"

namespace snapsift {

TEST(CodePage, BytesAndHtml) {
    const std::string bad = "&#xFFFD;";
    const std::tuple<std::string, std::string, std::optional<std::string>> cases[] = {  // UTF-8, HTML, bytes
        {"C:\\n1_2[1] \xE6\xBC\xA2\xF0\x9F\x98\x80", "C:\\n1_2[1] &#28450;&#128512;", std::nullopt},
        {"a\x80" "b\xFF\xE2\x82", "a" + bad + "b" + bad + bad + bad, std::nullopt},
        {"\xC0\xAF\xED\xA0\x80", bad + bad + bad + bad + bad, std::nullopt},  // overlong, surrogate
        {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xE9 \x80", "caf\xE9 \x80"},  // the last two in code page 1252 only
        {"caf\xC3\xA9 \xC4\x8D", "caf\xE9 &#269;", std::nullopt}};
    for (std::size_t i = 0; i < (ReportCodePageNumber() == 1252 ? 5u : 3u); ++i) {
        const auto& [utf8, html, bytes] = cases[i];
        EXPECT_EQ(ToReportCodePage(utf8), bytes) << utf8;
        EXPECT_EQ(ToReportCodePageHtml(utf8), html) << utf8;
    }
}

}  // namespace snapsift
