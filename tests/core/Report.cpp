#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/CodePage.h"
#include "platform/LocaleText.h"
#include "search/Report.h"
#include "support/TempTree.h"

namespace snapsift {
namespace {

using test::TempTree;

TEST(ReportText, EscapesMarkupAndKeepsEverythingElse) {
    const struct {
        const char* value;
        const char* text;
    } cases[] = {
        {"n1234567_890_123[1].jpg", "n1234567_890_123[1].jpg"},
        {"a12345\\6^7_8[1].jpg", "a12345\\6^7_8[1].jpg"},
        {"C:\\Users\\alice\\n1_2[1].jpg", "C:\\Users\\alice\\n1_2[1].jpg"},
        {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
        {"Tom & Jerry", "Tom &amp; Jerry"},
        {"say \"cheese\"", "say &quot;cheese&quot;"},
        {"&amp;", "&amp;amp;"},
        {"100% #1 ?", "100% #1 ?"},
        {"it's", "it's"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ReportText(c.value), c.text) << c.value;
}

TEST(ReportText, WritesUnshowableBytesRecognisably) {
    const struct {
        std::string value;
        const char* text;
    } cases[] = {
        {"a\xFF" "b", "a&#92;xFFb"},
        {"\xC0\xAF", "&#92;xC0&#92;xAF"},            // overlong "/"
        {"\xED\xA0\x80", "&#92;xED&#92;xA0&#92;x80"},  // encoded surrogate
        {"x\xE6\xBC", "x&#92;xE6&#92;xBC"},            // cut-off sequence
        {"line\nbreak", "line&#92;x0Abreak"},
        {"cr\rtab\t", "cr&#92;x0Dtab&#92;x09"},
        {std::string("nul\0", 4), "nul&#92;x00"},
        {"del\x7F", "del&#92;x7F"},
        {"<\xFF>", "&lt;&#92;xFF&gt;"},
    };
    for (const auto& c : cases) EXPECT_EQ(ReportText(c.value), c.text);
}

TEST(ReportText, CharactersOutsideTheCodePageBecomeReferences) {
    EXPECT_EQ(ReportText("\xE6\xBC\xA2\xE5\xAD\x97"), "&#28450;&#23383;");  // 漢字
    EXPECT_EQ(ReportText("\xF0\x9F\x93\xB7"), "&#128247;");                // camera emoji
    // Characters that the code page holds are single bytes.
    const auto eAcute = ToReportCodePage("\xC3\xA9");
    ASSERT_TRUE(eAcute.has_value());
    EXPECT_EQ(ReportText("caf\xC3\xA9 & <x>"), "caf" + *eAcute + " &amp; &lt;x&gt;");
}

TEST(ReportImageSource, PercentEncodesWhatWouldBreakTheLink) {
    const struct {
        std::string name;
        const char* source;
    } cases[] = {
        {"n1234567_890_123[1]-1.jpg", "n1234567_890_123[1]-1.jpg"},
        {"1111_222_333_444_555_100%-2.jpg", "1111_222_333_444_555_100%25-2.jpg"},
        {"1111_222_333_444_555_#1?-3.jpg", "1111_222_333_444_555_%231%3F-3.jpg"},
        {"a&b\"<c>-4.jpg", "a&amp;b&quot;&lt;c&gt;-4.jpg"},
        {"%25-5.jpg", "%2525-5.jpg"},
        {"a12345\\6_7[1]-6.jpg", "a12345%5C6_7[1]-6.jpg"},
        {"raw\xFF\xFE-7.jpg", "raw%FF%FE-7.jpg"},
        {"new\nline-8.jpg", "new%0Aline-8.jpg"},
        {"space and 'quote'-9.jpg", "space and 'quote'-9.jpg"},
        {"\xE6\xBC\xA2-10.jpg", "&#28450;-10.jpg"},
    };
    for (const auto& c : cases) EXPECT_EQ(ReportImageSource(c.name), c.source) << c.name;
}

ReportEntry SampleEntry() {
    ReportEntry entry;
    entry.fullPath = "/cases/Users/alice/n1234567_890_123[1].jpg";
    entry.fileName = "n1234567_890_123[1].jpg";
    entry.timesAvailable = true;
    entry.timeCreated = DateTime{2010, 1, 5, 7, 3, 9};
    entry.timeModified = DateTime{2010, 3, 15, 14, 5, 9};
    entry.timeAccessed = DateTime{2010, 3, 16, 0, 0, 0};
    entry.digest = "D41D8CD98F00B204E9800998ECF8427E";
    entry.userId = "1234567";
    entry.copyFileName = "n1234567_890_123[1]-1.jpg";
    return entry;
}

std::string TimeLine(const char* label, const DateTime& value) {
    return std::string("<b>") + label + ":</b> " + ReportText(FormatReportDateTime(value)) + " (UTC) <br>\r\n";
}

TEST(ReportEntryLines, FollowTheRowsInOrder) {
    ReportEntry entry = SampleEntry();
    const std::string head =
        "<hr>\r\n"
        "<b>Full path:</b> /cases/Users/alice/n1234567_890_123[1].jpg<br>\r\n"
        "<b>Short name:</b> n1234567_890_123[1].jpg<br>\r\n";
    const std::string tail =
        "<b>MD5:</b> d41d8cd98f00b204e9800998ecf8427e<br>----<br>\r\n"
        "<b>This photo possibly belongs to Quorvia user ID #</b> <a href=\"http://www.quorvia.com"
        "/home.php?#/profile.php?id=1234567\">1234567</a><br><br>\r\n";
    const std::string image = "<img src=\"n1234567_890_123[1]-1.jpg\"><br><br>\r\n";
    const std::string times = TimeLine("Created time", *entry.timeCreated) +
                              TimeLine("Modified time", entry.timeModified) +
                              TimeLine("Last Accessed time", entry.timeAccessed);
    EXPECT_EQ(FormatReportEntry(entry), head + times + tail + image);

    entry.copyFileName.reset();
    EXPECT_EQ(FormatReportEntry(entry), head + times + tail);

    entry.timeCreated.reset();
    EXPECT_EQ(FormatReportEntry(entry),
              head + "<b>Created time:</b> Unable to determine<br>\r\n" +
                  TimeLine("Modified time", entry.timeModified) +
                  TimeLine("Last Accessed time", entry.timeAccessed) + tail);

    entry.timesAvailable = false;
    entry.timeCreated = DateTime{2010, 1, 5, 7, 3, 9};
    EXPECT_EQ(FormatReportEntry(entry), head +
                                            "<b>Created time:</b> Unable to determine<br>\r\n"
                                            "<b>Modified time:</b> Unable to determine<br>\r\n"
                                            "<b>Last Accessed time:</b> Unable to determine<br>\r\n" +
                                            tail);
}

TEST(ReportEntryLines, DigestFailureAndUserIdsAreWrittenAsText) {
    ReportEntry entry = SampleEntry();
    entry.digest = "Error generating MD5 hash";
    entry.userId = "0012345^\\_";
    const std::string lines = FormatReportEntry(entry);
    EXPECT_NE(lines.find("<b>MD5:</b> error generating md5 hash<br>----<br>\r\n"), std::string::npos);
    EXPECT_NE(lines.find("id=0012345^\\_\">0012345^\\_</a><br><br>\r\n"), std::string::npos);
}

TEST(ReportFile, WritesThatCannotOpenTheFileFailAndCreateNothing) {
    TempTree tree;
    tree.Folder("folder.htm");
    EXPECT_FALSE(AppendReportEntry(tree.Text("missing.htm"), SampleEntry()));
    EXPECT_FALSE(std::filesystem::exists(tree.Path("missing.htm")));
    EXPECT_FALSE(AppendReportEntry(tree.Text("folder.htm"), SampleEntry()));
    EXPECT_FALSE(WriteReportHeader(tree.Text("folder.htm")));
    EXPECT_FALSE(WriteReportHeader(tree.Text("no such folder/r.htm")));
    AppendReportTail(tree.Text("missing.htm"), false, 1);
    EXPECT_FALSE(std::filesystem::exists(tree.Path("missing.htm")));
}

}  // namespace
}  // namespace snapsift
