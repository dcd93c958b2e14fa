// Shared by the core tests: a folder walk that records its candidates, and whole scan runs over a
// temporary tree checked against the report written out.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <span>
#include <stdexcept>

#include "platform/Paths.h"
#include "report/RunFiles.h"
#include "search/Recognition.h"
#include "platform/SystemError.h"
#include "support/EvidenceWalk.h"

namespace snapsift::test {

namespace fs = std::filesystem;
inline const std::string kSep(1, kSeparator);
// The code of a folder that is not there: ENOENT, or ERROR_PATH_NOT_FOUND on Windows.
inline constexpr long kNoSuchFolder = kSeparator == '\\' ? 3 : ENOENT;

// A walk whose candidates are recorded in order, and by path with their name and style, marked
// "late" unless their path was the last one shown.
struct WalkRun : CandidateHandler {
    ScanState state;
    RecordingHost host{state};
    FolderWalk walk{state.abortRequested, host, *this};
    Paths candidates;
    std::map<std::string, std::string> arrivals;
    std::string throwOn;  // a file name whose processing fails once recorded

    void ProcessCandidate(const VolumeFolder&, const std::string& fullPath, const std::string& name,
                          NameStyle style) override {
        candidates.push_back(fullPath);
        const bool late = host.shownPaths.empty() || host.shownPaths.back() != fullPath;
        arrivals[fullPath] = name + (style == NameStyle::LetterFirst ? " letter-first" : " digit-first") + (late ? " late" : "");
        if (name == throwOn) throw std::runtime_error("failure inside one file");
    }
};

// Every file's last access and last write: 2009-06-01 08:00:00 and 2010-03-15 14:05:09 UTC, in
// seconds since 1970 (the sample drive's generator uses the same).
inline constexpr std::int64_t kAccessedAt = 1243843200, kModifiedAt = 1268661909;
inline const DateTime kAccessed{2009, 6, 1, 8, 0, 0}, kModified{2010, 3, 15, 14, 5, 9};
bool SetFileTimesUtc(const fs::path& path);
// The file's creation time as the test itself reads it; none where the file system keeps none.
std::optional<DateTime> CreatedAt(const std::string& path);
// False where report dates do not take the United States form (a Windows user locale other than en-US).
bool UsDateForms();

// A time as an entry writes it in the United States form: 12-hour clock, the date alone at midnight.
inline std::string UsTime(const std::optional<DateTime>& t) {
    if (!t) return "Unable to determine";
    std::string text = std::to_string(t->month) + "/" + std::to_string(t->day) + "/" + std::to_string(t->year);
    char time[32];
    std::snprintf(time, sizeof time, " %d:%02d:%02d %s", (t->hour + 11) % 12 + 1, t->minute, t->second, t->hour < 12 ? "AM" : "PM");
    return text + (t->hour != 0 || t->minute != 0 || t->second != 0 ? time : "") + " (UTC) ";
}

// The final message of a run with these problem lines (which name what they count), its digest
// list's SHA-256 and report's path as RecordingHost logs them.
inline std::pair<MessageKind, std::string> Final(const std::string& outcome, int total,
                                                 const std::vector<std::string>& problems = {}, bool digestList = true) {
    std::string text = "Operation " + outcome + ".\r\n\r\nTotal files found: " + std::to_string(total);
    for (const std::string& problem : problems) text += "\r\n" + problem;
    if (!problems.empty()) text += "\r\nThe report names each of them.";
    if (digestList) text += "\r\nDigest list SHA-256: <digest>";
    return {MessageKind::Final, text + "\r\nReport: <report>\r\nSummary: <summary>"};
}

// Contents with their MD5 digests.
struct Content { std::string bytes, md5; };
inline const Content kAbc{"abc", "900150983cd24fb0d6963f7d28e17f72"}, kA{"a", "0cc175b9c0f1b6a831c399e269772661"},
    kAlphabet{"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"};

// A recognised file as its entry should show it. path: as the walk shows it; stem: its name before
// ".jpg", as its copy is named before "-N.jpg"; pathText, nameText, copySource: the path, the name and
// the copy's stem as the report writes them. unreadable: gone before it is read, so no times, the
// digest failure, no copy.
struct Row {
    std::string path, stem, pathText, nameText, copySource, userId;
    Content content;
    bool unreadable = false;
};

class ScanRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!UsDateForms()) GTEST_SKIP() << "report dates here follow a user locale other than en-US";
        tree.Entries({{"src/", ""}, {"out/", ""}});
    }
    ScanResult Run() { return RunScan(state, host, environment); }
    Row AddFile(const std::string& relative, const std::string& userId, const Content& content = kAbc) {
        tree.File(relative, content.bytes);
        const std::string name = relative.substr(relative.rfind('/') + 1), stem = name.substr(0, name.size() - 4);
        return {tree.Text(relative), stem, tree.Text(relative), name, stem, userId, content};
    }
    // Runs a scan and expects its report to be the header, an entry for each file shown that has a
    // row (numbered in the order shown) and the tail with the problem lines; checks the copies and
    // that nothing else is made.
    // problems: the closing lines, each count followed by the names it counts.
    ScanResult RunAndCheck(const std::vector<Row>& rows, bool aborted = false,
                           const std::vector<std::string>& problems = {}) {
        for (const Row& row : rows) EXPECT_TRUE(SetFileTimesUtc(FromText(row.path)));  // Wine moves them on a read
        const ScanResult result = Run();
        std::string report = "<html><head><title>Possible Quorvia JPG files and ID's</title><body>"
                             "<h1>Possible Quorvia JPG files and ID's</h1><br>\r\n";
        int copies = 0;
        entries = 0;
        std::map<std::string, int> firstOfBytes;  // an entry of bytes seen before links to the first
        // The file on display when an abort came is not examined.
        const std::size_t examined = host.shownPaths.size() - (aborted && !host.shownPaths.empty() ? 1 : 0);
        for (const std::string& shown : std::span(host.shownPaths).first(examined)) {
            const auto row = std::ranges::find(rows, shown, &Row::path);
            if (row == rows.end()) continue;
            const std::string number = std::string("-").append(std::to_string(++entries)).append(".jpg");
            const bool copied = host.includePhotos && !row->unreadable;
            const auto time = [&](const char* label, const std::optional<DateTime>& t) {
                return "<b>" + std::string(label) + " time:</b> " + (row->unreadable ? "Not read (see Status)" : UsTime(t)) + "<br>\r\n";
            };
            const auto first = row->unreadable ? firstOfBytes.end() : firstOfBytes.emplace(row->content.md5, entries).first;
            const std::string same = first == firstOfBytes.end() || first->second == entries ? "" :
                "<b>Same bytes as entry</b> <a href=\"#entry-" + std::to_string(first->second) + "\">" + std::to_string(first->second) + "</a><br>\r\n";
            report += "<hr id=\"entry-" + std::to_string(entries) + "\">\r\n<b>Full path:</b> " + row->pathText + "<br>\r\n<b>Short name:</b> " + row->nameText + "<br>\r\n" +
                      (row->unreadable ? "<b>Status:</b> could not be opened: " + SystemErrorText(2) + "<br>\r\n" : "") +
                      time("Created", CreatedAt(row->path)) + time("Modified", kModified) + time("Last Accessed", kAccessed) + same +
                      "<b>MD5:</b> " + (row->unreadable ? "error generating md5 hash" : row->content.md5) +
                      "<br>----<br>\r\n<b>This photo possibly belongs to Quorvia user ID #</b> "
                      "<a href=\"http://www.quorvia.com/home.php?#/profile.php?id=" + row->userId + "\">" + row->userId +
                      "</a><br><br>\r\n" + (copied ? "<img src=\"" + row->copySource + number + "\"><br><br>\r\n" : "");
            if (copied && ++copies) { EXPECT_EQ(ReadBytes(FromText(result.runFolder + row->stem + number)), row->content.bytes); }
        }
        report += (aborted ? "<br><Br><hr>Operation was aborted before completion.<br>\r\n" : "<hr>End of Report<br>\r\n") +
                  std::string("Total files found: ") + std::to_string(entries) + "<hr>\r\n" +
                  (problems.empty() ? "" : "<b>This report is not complete:</b><br>\r\n");
        for (const std::string& problem : problems) report += problem + "<br>\r\n";
        // The run's facts and how it ended, checked and then taken out of the comparison.
        std::string written = ReadBytes(FromText(result.reportPath));
        const ParsedReport parsed = ParseReport(written);
        for (const std::string* part : {&parsed.runFacts, &parsed.runEnd}) written.erase(written.find(*part), part->size());
        const std::string ending = aborted ? "aborted after entry " + std::to_string(entries)
                                           : problems.empty() ? "complete" : "not complete: see the lines above";
        EXPECT_NE(parsed.runFacts.find("<b>Run started:</b> 3/5/2010 9:07:03 AM (UTC) <br>"), std::string::npos);
        EXPECT_EQ(parsed.runEnd, "<b>Run ended:</b> 3/5/2010 9:07:03 AM (UTC) <br>\r\n<b>Result:</b> " + ending + "<br>\r\n");
        EXPECT_EQ(written, report + "</body></html>\r\n");
        // The copies, the report, its CSV and timeline, the summary's two files, and SHA256SUMS, which
        // checks them all.
        const RunCheck check = CheckRunFolder(result.runFolder);
        EXPECT_TRUE(check.finished && check.AllMatch()) << result.runFolder;
        EXPECT_EQ(std::tuple(result.outcome, result.filesFound, host.found, check.filesChecked,
                             std::distance(fs::directory_iterator(FromText(result.runFolder)), {})),
                  std::tuple(aborted ? ScanOutcome::Aborted : ScanOutcome::Completed, entries, entries,
                             static_cast<std::size_t>(copies + 5), copies + 6));
        return result;
    }

    TempTree tree;
    ScanState state{WithTrailingSeparator(tree.Text("src")), WithTrailingSeparator(tree.Text("out"))};
    RecordingHost host{state};
    int second = 3, entries = 0;  // entries: in the last report checked
    ScanEnvironment environment{[] { return DateTime{2010, 3, 5, 9, 7, 3}; }, nullptr, [] { return DateTime{2010, 3, 5, 9, 7, 3}; }};
};

}  // namespace snapsift::test
