#include <gtest/gtest.h>

#include "search/Report.h"

TEST(ReportText, EscapesMarkupAndWritesUnshowableBytesRecognisably) {
    const struct { std::string value; const char* text; } cases[] = {
        {"<a href=\"x\">Tom & 'J'</a> 100% #1 ?\\x41",
         "&lt;a href=&quot;x&quot;&gt;Tom &amp; 'J'&lt;/a&gt; 100% #1 ?\\x41"},
        {"\xE6\xBC\xA2\xF0\x9F\x93\xB7|a\xFF", "&#28450;&#128247;|a&#92;xFF"},
        // An overlong "/", a surrogate, a cut-off sequence.
        {"\xC0\xAF|\xED\xA0\x80|\xE6\xBC", "&#92;xC0&#92;xAF|&#92;xED&#92;xA0&#92;x80|&#92;xE6&#92;xBC"},
        {std::string("\n\r\t\0\x7F", 5), "&#92;x0A&#92;x0D&#92;x09&#92;x00&#92;x7F"},
    };
    for (const auto& c : cases) EXPECT_EQ(snapsift::ReportText(c.value), c.text) << c.value;
}
