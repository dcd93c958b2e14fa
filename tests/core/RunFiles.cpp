// The run folder's files for other tools: the CSV's rows, the digest list's lines.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "platform/RunFolderFile.h"
#include "report/CsvReport.h"
#include "report/RunFiles.h"
#include "report/UserSummary.h"
#include "text/ShownText.h"
#include "support/TempTree.h"

namespace snapsift::test {

namespace {

// An entry numbered 7; dated: with all three times and both digests.
ReportEntry Entry(std::string fullPath, std::string fileName, bool dated = false) {
    ReportEntry entry;
    entry.fullPath = std::move(fullPath);
    entry.fileName = std::move(fileName);
    entry.userId = "1234567";
    entry.separator = '/';
    entry.number = 7;
    if (!dated) return entry;
    entry.timesAvailable = true;
    entry.timeCreated = DateTime{2026, 12, 7, 12, 34, 56};
    entry.timeModified = DateTime{2010, 3, 15, 14, 5, 9};
    entry.timeAccessed = DateTime{2009, 6, 1, 8, 0, 0};
    entry.md5 = "900150983CD24FB0D6963F7D28E17F72";
    entry.sha256 = std::string(64, 'a');
    return entry;
}

}  // namespace

// Each row: the fields of an entry as a spreadsheet must take them, quoted where they hold a
// comma or a quote, escaped as the report escapes them, a formula's first character escaped.
TEST(CsvReport, RowsQuoteEscapeAndDisarmFormulas) {
    const std::string tail = ",,,,,,,1234567,http://www.quorvia.com/home.php?#/profile.php?id=1234567,,,,,,,,,,,,\r\n";
    ReportEntry whole = Entry("/e/n1_2[1].jpg", "n1_2[1].jpg", true);
    whole.copyFileName = "n1_2[1]-7.jpg";
    whole.copyMade = true;
    whole.cache.emplace();
    whole.cache->url = "https://x.example/p?a=1,b=\"2\"";
    whole.cache->format = "Firefox cache2";
    whole.cache->created = DateTime{2026, 1, 2, 3, 4, 5};
    whole.timesOf = "data_2, shared by 7 entries";
    whole.cache->statusLine = "HTTP/1.1 200 OK";
    whole.cache->server = "@SUM(1+1)";
    whole.cache->etag = "\"-2\"";
    whole.cache->contentLength = "-1";
    ReportEntry windows = Entry("C:\\e\\n1_2[1].jpg", "n1_2[1].jpg");
    windows.separator = '\\';
    const struct { const char* why; ReportEntry entry; std::string row; } rows[] = {
        {"whole, with its cache", whole,
         "7,/e/n1_2[1].jpg,n1_2[1].jpg,,2026-12-07T12:34:56Z,2010-03-15T14:05:09Z,2009-06-01T08:00:00Z,"
         "900150983cd24fb0d6963f7d28e17f72," + std::string(64, 'a') + ",1234567,"
         "http://www.quorvia.com/home.php?#/profile.php?id=1234567,n1_2[1]-7.jpg,"
         "\"https://x.example/p?a=1,b=\"\"2\"\"\",Firefox cache2,2026-01-02T03:04:05Z,,"
         "\"data_2, shared by 7 entries\",HTTP/1.1 200 OK,,,\\x40SUM(1+1),\"\"\"-2\"\"\",\\x2D1\r\n"},
        {"comma and quote", Entry("/e/a,b\"c/n1_2[1].jpg", "n1_2[1].jpg"), "7,\"/e/a,b\"\"c/n1_2[1].jpg\",n1_2[1].jpg" + tail},
        {"formulas", Entry("=cmd|' /C calc'!A0", "+n1_2[1].jpg"), "7,\\x3Dcmd|' /C calc'!A0,\\x2Bn1_2[1].jpg" + tail},
        {"backslashes that separate", windows, "7,C:\\e\\n1_2[1].jpg,n1_2[1].jpg" + tail}};
    for (const auto& row : rows) EXPECT_EQ(FormatCsvRow(row.entry), row.row) << row.why;
}

// What FormatCsvRow writes comes back field for field; text not in the form is refused.
TEST(CsvReport, ReadsBackWhatItWrites) {
    const auto rows = ReadCsvRows("\xEF\xBB\xBF" "a,b\r\n" + FormatCsvRow(Entry("/e/a,b\"c\"/n1_2[1].jpg", "n1_2[1].jpg")));
    ASSERT_TRUE(rows && rows->size() == 2u);
    EXPECT_EQ(std::pair((*rows)[1][1], (*rows)[1].size()), std::pair(std::string("/e/a,b\"c\"/n1_2[1].jpg"), std::size(kCsvColumns)));
    for (const char* bad : {"a,b\r\n", "\xEF\xBB\xBF" "a,\"b\r\n", "\xEF\xBB\xBF" "a,b", "\xEF\xBB\xBF" "a\nb\r\n"})
        EXPECT_FALSE(ReadCsvRows(bad)) << bad;
}

// Names as sha256sum writes them, read back; sha256sum itself checks the list where it is at hand.
TEST(DigestList, LinesInSha256sumsFormRoundTrip) {
    const std::string digest = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    const struct { std::string name, line; } rows[] = {
        {"a b.jpg", digest + "  a b.jpg\n"},
        {"a\\b", "\\" + digest + "  a\\\\b\n"},
        {"n\nl", "\\" + digest + "  n\\nl\n"}, {"r\rr", "\\" + digest + "  r\\rr\n"}};
    TempTree tree;
    std::string list;
    for (const auto& row : rows) {
        EXPECT_EQ(DigestListLine(digest, row.name), row.line);
        const auto read = ReadDigestList(row.line);
        ASSERT_EQ(read.size(), 1u);
        EXPECT_EQ(read[0], std::optional(std::pair(digest, row.name)));
#ifndef _WIN32  // names Windows cannot hold
        tree.File(row.name, "abc");
#endif
        list += row.line;
    }
    EXPECT_EQ(ReadDigestList("nonsense\n" + digest + " one space\n").size(), 2u);
    EXPECT_FALSE(ReadDigestList("nonsense\n")[0]);
#ifndef _WIN32
    tree.File("SHA256SUMS", list);
    EXPECT_EQ(std::system(("cd '" + tree.Text(".") + "' && sha256sum --quiet -c SHA256SUMS").c_str()), 0);
#endif
}

// The timeline: a line per known time, oldest first (equal times in the entries' order), each
// with its entry's attributes, escaped for JSON; the digest list then covers the CSV and it.
TEST(RunFolderFiles, TimelineInTimeOrderAndTheDigestListOverIt) {
    TempTree tree;
    const std::string folder = tree.Folder("run");
    ReportEntry first = Entry("/e/a\"b\\c/n1_2[1].jpg", "n1_2[1].jpg", true), second = Entry("/e/n2_3[1].jpg", "n2_3[1].jpg");
    first.number = 1;
    second.number = 2;
    second.userId = "7654321";
    second.cache.emplace();
    second.cache->created = DateTime{2026, 1, 2, 3, 4, 5};
    second.cache->lastUsed = DateTime{2010, 3, 15, 14, 5, 9};
    // The times of a file that holds several entries' bodies are no event of this photo.
    second.timesAvailable = true;
    second.timeModified = DateTime{1999, 1, 1, 0, 0, 0};
    second.timesOf = "data_2, shared by 2 entries";
    const std::string csv = folder + std::string(kCsvFileName);
    ASSERT_TRUE(WriteCsvHeader(csv) && AppendCsvRow(csv, first) && AppendCsvRow(csv, second));
    EXPECT_EQ(WriteTimelineAndDigestList(folder), 0);

    const std::string path1 = R"(/e/a\"b\\\\c/n1_2[1].jpg)", path2 = "/e/n2_3[1].jpg",
                      attributes1 = R"("entry":"1","full_path":")" + path1 + R"(","md5":"900150983cd24fb0d6963f7d28e17f72",)"
                                    R"("sha256":")" + std::string(64, 'a') + R"(","user_id":"1234567"})",
                      attributes2 = R"("entry":"2","full_path":"/e/n2_3[1].jpg","md5":"","sha256":"","user_id":"7654321"})";
    std::string expected;
    const std::tuple<std::string, std::string, std::string, std::string> lines[] = {
        {"Last Accessed time", path1, "2009-06-01T08:00:00", attributes1}, {"Modified time", path1, "2010-03-15T14:05:09", attributes1}, {"Cache entry last used", path2, "2010-03-15T14:05:09", attributes2},
             {"Cache entry created", path2, "2026-01-02T03:04:05", attributes2}, {"Created time", path1, "2026-12-07T12:34:56", attributes1}};
    for (const auto& [what, path, at, attributes] : lines)
        expected += R"({"message":")" + what + ": " + path + R"(","datetime":")" + at + R"(+00:00","timestamp_desc":")" +
                    what + "\"," + attributes + "\n";
    EXPECT_EQ(ReadBytes(tree.Path("run/" + std::string(kTimelineFileName))), expected);

    EXPECT_EQ(ReadBytes(tree.Path("run/SHA256SUMS")), DigestListLine(*FileSha256(csv), kCsvFileName) +
              DigestListLine(*FileSha256(folder + std::string(kTimelineFileName)), kTimelineFileName));
    EXPECT_TRUE(CheckRunFolder(folder).finished);
}

// Only one name within a folder is opened in it: nothing that climbs out, starts at a root or
// a drive, or goes down into a subfolder.
TEST(RunFolderFiles, OnlyASingleNameIsOpenedInTheFolder) {
    const struct { std::string name; bool single; } rows[] = {
        {"n1_2[1]-1.jpg", true}, {"a b\xFF", true}, {"..", false}, {".", false}, {"", false}, {"../x", false},
        {"/etc/hostname", false}, {"sub/x", false}, {std::string("a\0b", 3), false},
#ifdef _WIN32
        {"..\\x", false}, {"C:x", false}, {"x:stream", false}};
#else
        {"a\\b", true}};  // a backslash is part of a name here
#endif
    for (const auto& row : rows) EXPECT_EQ(IsSingleName(row.name), row.single) << row.name;
}

// The report's total, read from its tail however the tail goes on, and where the tail's first
// line lies across two reads; no tail is a run killed before its end, and a tail whose total is
// not a number is said.
TEST(RunFolderFiles, TheReportsTotalComesFromItsTail) {
    TempTree tree;
    const std::string folder = tree.Folder("run");
    ASSERT_TRUE(WriteCsvHeader(folder + std::string(kCsvFileName)));
    const std::string completed = "<hr>End of Report<br>\r\nTotal files found: ";
    const struct {
        const char* why;
        std::string report;
        std::optional<std::uint64_t> total;
        bool unreadable = false;
    } rows[] = {
        {"completed", completed + "2<hr>\r\n</body></html>\r\n", 2},
        {"aborted, a note after it", "<br><Br><hr>Operation was aborted before completion.<br>\r\nTotal files found: 7"
                                     "<br>Cached responses that are not photos: 7<hr>\r\n", 7},
        {"across two reads", std::string((1 << 16) - 10, 'x') + completed + "12<hr>\r\n", 12},
        {"the last of two", completed + "9<hr>\r\n" + completed + "3<hr>\r\n", 3},
        {"no tail", "<hr>\r\n<b>MD5:</b> 1<br>\r\n", std::nullopt},
        {"no number", completed + "two<hr>\r\n", std::nullopt, true},
        {"a number run on", completed + "2x<hr>\r\n", std::nullopt, true}};
    for (const auto& row : rows) {
        std::ofstream(tree.Path("run/" + std::string(kReportFileName)), std::ios::binary | std::ios::trunc) << row.report;
        const RunCheck check = CheckRunFolder(folder);
        EXPECT_EQ(std::tuple(check.reportTotal, check.reportTotalUnreadable), std::tuple(row.total, row.unreadable))
            << row.why;
    }
}

}  // namespace snapsift::test

namespace snapsift::test {

// What the summary keeps of an entry: the profile under the last Users or Documents and Settings
// (a file directly in it has none), the browser by its folders, and the earliest and latest time of
// fetching or use: the cache's where the photo came from a cache, its own file's where it is one.
TEST(UserSummary, AnEntrysProfileBrowserAndTimes) {
    const DateTime early{2014, 4, 30, 16, 44, 36}, late{2015, 1, 2, 3, 4, 5};
    CacheRecord cache;
    cache.format = "Firefox cache2";
    cache.lastAccessed = late;
    cache.responseTime = early;
    const struct { const char* path; char separator; bool cached; const char* profile; const char* cache; const char* first; const char* last; } rows[] = {
        {"/m/Users/ana/AppData/Local/Mozilla/Firefox/Profiles/p/cache2/entries/A", '/', true, "ana", "Firefox cache2 (Firefox)",
         "2014-04-30T16:44:36Z", "2015-01-02T03:04:05Z"},
        {"C:\\Documents and Settings\\bo\\Local Settings\\Temporary Internet Files\\n1_2[1].jpg", '\\', false, "bo",
         "Internet Explorer", "2010-03-15T14:05:09Z", "2026-12-07T12:34:56Z"},
        {"/home/Users/x/m/users/n1_2[1].jpg", '/', false, "", "", "2010-03-15T14:05:09Z", "2026-12-07T12:34:56Z"},
        {"/Users/ex/m/USERS/cy/Google/Chrome/x", '/', true, "cy", "Firefox cache2 (Chrome)", "2014-04-30T16:44:36Z", "2015-01-02T03:04:05Z"}};
    for (const auto& row : rows) {
        ReportEntry entry;
        entry.fullPath = row.path;
        entry.separator = row.separator;
        entry.timesAvailable = true;
        entry.timeCreated = DateTime{2026, 12, 7, 12, 34, 56};
        entry.timeModified = entry.timeAccessed = DateTime{2010, 3, 15, 14, 5, 9};
        if (row.cached) entry.cache = cache;
        const SummaryEntry summary = SummaryEntryOf(entry);
        EXPECT_EQ(std::tuple(summary.profile, summary.cache, summary.first, summary.last),
                  std::tuple(row.profile, row.cache, row.first, row.last)) << row.path;
    }
}

// The run's source read back from its report's run facts as the CSV would show it: the report's
// markup and code page undone.
TEST(UserSummary, TheRunsSourceFromItsReport) {
    RunFacts facts;
    facts.source = "/media/Ca\xC3\xA9 <&> \"x\" \xE6\xBC\xA2\\y";
    const std::string report = "<h1>x</h1><br>\r\n" + FormatRunFacts(facts);
    EXPECT_EQ(ReportSource(report), ShownText(facts.source, ShowRule{true}));
    EXPECT_EQ(ReportSource("<b>Source</b> x<br>\r\n"), std::nullopt);
}

}  // namespace snapsift::test
