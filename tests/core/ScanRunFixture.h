// Whole scan runs over temporary trees: a source and an output folder, files with fixed times
// and known contents, and the report expected of them, written out line by line.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "platform/Paths.h"
#include "scan/ScanRun.h"
#include "support/RecordingHost.h"
#include "support/TempTree.h"

namespace snapsift::test {

namespace fs = std::filesystem;
using Messages = std::vector<std::pair<MessageKind, std::string>>;
inline const std::string kSep(1, kSeparator);

// Every file's last access and last write: 2009-06-01 08:00:00 and 2010-03-15 14:05:09 UTC, in
// seconds since 1970 (the sample drive's generator uses the same), and their lines in an entry.
inline constexpr std::int64_t kAccessedAt = 1243843200, kModifiedAt = 1268661909;
inline const std::string kTimeLines = "<b>Modified time:</b> 3/15/2010 2:05:09 PM (UTC) <br>\r\n"
                                      "<b>Last Accessed time:</b> 6/1/2009 8:00:00 AM (UTC) <br>\r\n";
bool SetFileTimesUtc(const fs::path& path);
// The entry's created-time line, from the test's own reading of the file's creation time.
std::string CreatedLine(const std::string& path);
// False where the report's dates do not take the United States form of the C locale that the
// tests run in (on Windows, a user locale other than en-US).
bool UsDateForms();

// The created-time line in the United States form: 12-hour clock, the date alone at midnight.
inline std::string UsCreatedLine(int year, int month, int day, int hour, int minute, int second) {
    char text[64];
    if (hour == 0 && minute == 0 && second == 0)
        std::snprintf(text, sizeof text, "%d/%d/%d", month, day, year);
    else
        std::snprintf(text, sizeof text, "%d/%d/%d %d:%02d:%02d %s", month, day, year, (hour + 11) % 12 + 1, minute,
                      second, hour < 12 ? "AM" : "PM");
    return "<b>Created time:</b> " + std::string(text) + " (UTC) <br>\r\n";
}

// Contents with their MD5 digests, from the test vectors of RFC 1321.
struct Content { std::string bytes, md5; };
inline const Content kAbc{"abc", "900150983cd24fb0d6963f7d28e17f72"}, kA{"a", "0cc175b9c0f1b6a831c399e269772661"},
    kAlphabet{"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"};
inline fs::path FromText(const std::string& text) { return std::u8string(text.begin(), text.end()); }

// A recognised file as its entry should show it. path: as the walk shows it; pathText,
// nameText, copySource: the path, the name and the copy's name before "-N.jpg" as the report
// writes them. unreadable: gone before it is read, so no times, the digest failure, no copy.
struct Row {
    std::string path, pathText, nameText, copySource, userId, contents, digest;
    bool unreadable = false;
};

class ScanRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!UsDateForms()) GTEST_SKIP() << "report dates here follow a user locale other than en-US";
        tree.Entries({{"src/", ""}, {"out/", ""}});
    }
    ScanResult Run() { return RunScan(state, host, environment); }
    void ClearHost() {
        host.shownPaths.clear();
        host.messages.clear();
        host.looks.clear();
    }
    // A cleared host and a later second of the clock, so that the run makes its own output folder.
    void NextRun() {
        ClearHost();
        environment.localNow = [s = ++second] { return DateTime{2010, 3, 5, 9, 7, s}; };
    }
    Row RowOf(const std::string& relative, const std::string& userId, const Content& content) const {
        const std::string name = relative.substr(relative.rfind('/') + 1), stem = name.substr(0, name.size() - 4);
        return {tree.Text(relative), tree.Text(relative), name, stem, userId, content.bytes, content.md5};
    }
    Row AddFile(const std::string& relative, const std::string& userId, const Content& content = kAbc) {
        tree.File(relative, content.bytes);
        return RowOf(relative, userId, content);
    }
    // Runs a scan and expects its report to be the header, an entry for each file shown that has
    // a row (numbered in the order shown) and the tail; checks the copies and that nothing else is made.
    ScanResult RunAndCheck(const std::vector<Row>& rows, bool aborted = false) {
        for (const Row& row : rows) EXPECT_TRUE(SetFileTimesUtc(FromText(row.path)));  // Wine moves them on a read
        const ScanResult result = Run();
        EXPECT_EQ(result.outcome, aborted ? ScanOutcome::Aborted : ScanOutcome::Completed);
        std::string report = "<html><head><title>Possible Quorvia JPG files and ID's</title><body>"
                             "<h1>Possible Quorvia JPG files and ID's</h1><br>\r\n";
        int copies = 0;
        entries = 0;
        for (const std::string& shown : host.shownPaths) {
            const auto row = std::ranges::find(rows, shown, &Row::path);
            if (row == rows.end()) continue;
            ++entries;
            const std::string suffix = "-" + std::to_string(entries) + ".jpg";
            report += "<hr>\r\n<b>Full path:</b> " + row->pathText + "<br>\r\n<b>Short name:</b> " + row->nameText +
                      "<br>\r\n";
            if (row->unreadable)
                report += "<b>Created time:</b> Unable to determine<br>\r\n<b>Modified time:</b> Unable to determine"
                          "<br>\r\n<b>Last Accessed time:</b> Unable to determine<br>\r\n<b>MD5:</b> error generating "
                          "md5 hash<br>----<br>\r\n";
            else
                report += CreatedLine(row->path) + kTimeLines + "<b>MD5:</b> " + row->digest + "<br>----<br>\r\n";
            report += "<b>This photo possibly belongs to Quorvia user ID #</b> <a href=\"http://www.quorvia.com/home."
                      "php?#/profile.php?id=" + row->userId + "\">" + row->userId + "</a><br><br>\r\n";
            if (!host.includePhotos) continue;
            report += "<img src=\"" + row->copySource + suffix + "\"><br><br>\r\n";
            if (row->unreadable) continue;
            ++copies;
            const std::string name = row->path.substr(row->path.rfind(kSeparator) + 1);
            EXPECT_EQ(ReadBytes(FromText(result.runFolder + name.substr(0, name.size() - 4) + suffix)), row->contents);
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(FromText(result.runFolder)), {}), copies + 1);
        report += aborted ? "<br><Br><hr>Operation was aborted before completion.<br>\r\n"
                          : "<hr>End of Report<br>\r\n";
        report += "Total files found: " + std::to_string(entries) + "<hr>\r\n</body></html>\r\n";
        EXPECT_EQ(ReadBytes(FromText(result.reportPath)), report);
        return result;
    }

    TempTree tree;
    ScanState state{AddBackslash(tree.Text("src")), AddBackslash(tree.Text("out"))};
    RecordingHost host{state};
    int second = 3, entries = 0;  // entries: in the last report checked
    ScanEnvironment environment{[] { return DateTime{2010, 3, 5, 9, 7, 3}; }, nullptr};
};

}  // namespace snapsift::test
