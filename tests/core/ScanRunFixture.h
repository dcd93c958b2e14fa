// Whole scan runs over temporary trees: a source and an output folder, files with chosen
// times and contents, and the report their rows give, byte for byte.
#pragma once

#include <gtest/gtest.h>

#include "scan/ScanRun.h"
#include "platform/LocaleText.h"
#include "platform/Paths.h"
#include "search/FolderWalk.h"
#include "support/RecordingHost.h"
#include "support/TempTree.h"

namespace snapsift::test {

namespace fs = std::filesystem;
using Messages = std::vector<std::pair<MessageKind, std::string>>;

// Sets a file's last-access and last-write times, in seconds since 1970 UTC.
bool SetFileTimesUtc(const fs::path& path, std::int64_t accessed, std::int64_t modified);

inline const DateTime kNow{2010, 3, 5, 9, 7, 3}, kAccessed{2009, 6, 1, 8, 0, 0}, kModified{2010, 3, 15, 14, 5, 9};
// Contents with their MD5 digests, from the test vectors of RFC 1321.
struct Content { std::string bytes, md5; };
inline const Content kAbc{"abc", "900150983cd24fb0d6963f7d28e17f72"}, kA{"a", "0cc175b9c0f1b6a831c399e269772661"},
    kAlphabet{"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"};
inline fs::path FromText(const std::string& text) { return std::u8string(text.begin(), text.end()); }

// A recognised file as its report entry should show it.
struct Row {
    // copy, copySource: the copy's name before "-N.jpg" on disk, and as the image line gives it.
    std::string path, pathText, nameText, userId, contents, digest, copy, copySource;
    bool unreadable = false;  // no times, the digest failure text and no copy
};

class ScanRunTest : public ::testing::Test {
protected:
    void SetUp() override { tree.Entries({{"src/", ""}, {"out/", ""}}); }
    ScanResult Run() { return RunScan(state, host, environment); }
    void ClearHost() { host.shownPaths.clear(), host.messages.clear(), host.looks.clear(); }
    Row AddFile(const std::string& relative, const std::string& userId, const Content& content = kAbc) {
        tree.File(relative, content.bytes);
        EXPECT_TRUE(SetFileTimesUtc(tree.Path(relative), 1243843200, 1268661909));  // kAccessed and kModified
        const std::string name = relative.substr(relative.rfind('/') + 1), stem = name.substr(0, name.size() - 4);
        return {tree.Text(relative), tree.Text(relative), name, userId, content.bytes, content.md5, stem, stem};
    }
    // Runs a scan and expects its report to be the header, an entry for each file shown that has
    // a row (numbered in the order shown) and the tail; checks the copies and that nothing else is made.
    ScanResult RunAndCheck(const std::vector<Row>& rows) {
        // Under Wine, reading a file in an earlier run sets its access time.
        for (const Row& row : rows) EXPECT_TRUE(SetFileTimesUtc(FromText(row.path), 1243843200, 1268661909));
        const ScanResult result = Run();
        std::string report = "<html><head><title>Possible Quorvia JPG files and ID's</title><body>"
                             "<h1>Possible Quorvia JPG files and ID's</h1><br>\r\n";
        const auto time = [](const char* label, const std::optional<DateTime>& value) {
            return "<b>" + std::string(label) + ":</b> " +
                   (value ? FormatReportDateTime(*value) + " (UTC) " : "Unable to determine") + "<br>\r\n";
        };
        int number = 0, copies = 0;
        for (const std::string& shown : host.shownPaths)
            for (const Row& row : rows) {
                if (row.path != shown) continue;
                const std::string suffix = "-" + std::to_string(++number) + ".jpg";
                std::optional<DateTime> created, modified = kModified, accessed = kAccessed;
                if (DateTime ignored; row.unreadable) modified = accessed = std::nullopt;
                else GetFileTimes(row.path, created, ignored, ignored);
                report += "<hr>\r\n<b>Full path:</b> " + row.pathText + "<br>\r\n<b>Short name:</b> " + row.nameText +
                          "<br>\r\n" + time("Created time", created) + time("Modified time", modified) +
                          time("Last Accessed time", accessed) + "<b>MD5:</b> " +
                          (row.unreadable ? "error generating md5 hash" : row.digest) + "<br>----<br>\r\n<b>This "
                          "photo possibly belongs to Quorvia user ID #</b> <a href=\"http://www.quorvia.com/home.php?#"
                          "/profile.php?id=" + row.userId + "\">" + row.userId + "</a><br><br>\r\n";
                if (host.includePhotos) report += "<img src=\"" + row.copySource + suffix + "\"><br><br>\r\n";
                if (host.includePhotos && !row.unreadable && ++copies) {
                    EXPECT_EQ(ReadBytes(FromText(result.runFolder + row.copy + suffix)), row.contents) << row.copy;
                }
            }
        EXPECT_EQ(std::distance(fs::directory_iterator(FromText(result.runFolder)), {}), copies + 1);
        report += (result.outcome == ScanOutcome::Aborted ? "<br><Br><hr>Operation was aborted before completion.<br>"
                                                          : "<hr>End of Report<br>") +
                  ("\r\nTotal files found: " + std::to_string(number)) + "<hr>\r\n</body></html>\r\n";
        EXPECT_EQ(ReadBytes(FromText(result.reportPath)), report);
        return result;
    }

    TempTree tree;
    ScanState state{AddBackslash(tree.Text("src")), AddBackslash(tree.Text("out"))};
    RecordingHost host{state};
    ScanEnvironment environment{[] { return kNow; }, nullptr};
};

}  // namespace snapsift::test
