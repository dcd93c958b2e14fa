// A scan host that records what it is told, and the evidence walk a scan makes: that host,
// the real evidence entry writing its report and copies into a folder of the test's, and the
// folder walk handing it the candidates; each entry kept as it was handed on, and the report
// read back after the walk.
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "scan/ScanRun.h"
#include "evidence/EvidenceRecorder.h"
#include "search/FolderWalk.h"
#include "volume/LiveVolume.h"
#include "report/CsvReport.h"
#include "report/Report.h"
#include "report/UserSummary.h"
#include "support/ReportParser.h"
#include "support/TempTree.h"

namespace snapsift::test {

using Paths = std::vector<std::string>;
using Messages = std::vector<std::pair<MessageKind, std::string>>;
using Unreadable = std::vector<std::pair<std::string, long>>;  // folder, error code

// Fixed settings; a log of every path shown, message, look and folder not read; abortRequested
// set during the yield of the abortAtFile-th path shown (1-based), as a confirmed ABORT would.
struct RecordingHost : ScanHost {
    explicit RecordingHost(ScanState& state) : state(&state) {}
    ScanState* state;
    bool profileMode = false, searchSubfolders = true, includePhotos = true;
    std::string driveRoot;
    std::size_t abortAtFile = 0, yields = 0;
    std::int32_t found = 0;  // the count the host was last given
    std::function<void()> onYield;
    Paths shownPaths;
    Messages messages;
    std::vector<bool> looks;
    Unreadable unreadable;
    Paths lost;  // files that could not be examined

    bool ProfileMode() const override { return profileMode; }
    bool SearchSubfolders() const override { return searchSubfolders; }
    bool IncludePhotos() const override { return includePhotos; }
    std::string SelectedDriveRoot() const override { return driveRoot; }
    void ShowPath(const std::string& fullPath) override { shownPaths.push_back(fullPath); }
    void FileFound(std::int32_t filesFound) override { found = filesFound; }
    void Yield() override {
        ++yields;
        if (abortAtFile != 0 && shownPaths.size() == abortAtFile) state->abortRequested = true;
        if (onYield) onYield();
    }
    // A final message's report path ("\r\nReport: ...\Quorvia JPG Files.htm") is logged as "<report>",
    // and the summary's path beside it as "<summary>".
    void ShowMessage(std::string_view text, MessageKind kind) override {
        std::string logged(text);
        // The digest list's SHA-256 differs from run to run (the report holds the run's times).
        if (const std::size_t digest = logged.find("\r\nDigest list SHA-256: "); digest != std::string::npos)
            logged.replace(digest + 23, 64, "<digest>");
        const std::size_t report = logged.find("\r\nReport: "), summary = logged.find("\r\nSummary: ");
        if (kind == MessageKind::Final && report != std::string::npos && summary != std::string::npos) {
            const std::string reportPath = logged.substr(report + 10, summary - report - 10);
            const std::string folder = reportPath.substr(0, reportPath.size() - kReportFileName.size());
            if (reportPath.ends_with(kReportFileName) && logged.substr(summary + 11) == folder + std::string(kSummaryFileName))
                logged.replace(report + 10, std::string::npos, "<report>\r\nSummary: <summary>");
        }
        messages.emplace_back(kind, logged);
    }
    bool AskYesNo(std::string_view) override { return true; }
    void SetRunningLook(bool running) override { looks.push_back(running); }
    void FolderUnreadable(const std::string& at, const SystemError& e) override { unreadable.emplace_back(at, e.code); }
    void CandidateLost(const std::string& fullPath, std::string_view) override { lost.push_back(fullPath); }
};

// Keeps each entry it is handed, then hands it on to `next` when there is one.
struct RecordingSink : EntrySink {
    explicit RecordingSink(EntrySink* next = nullptr) : next(next) {}
    EntryWritten Append(const ReportEntry& entry) override {
        kept.push_back(entry);
        return next ? next->Append(entry) : EntryWritten::Whole;
    }
    EntrySink* next;
    std::vector<ReportEntry> kept;
};

// output: an existing folder, ending in the separator, that takes the report and the copies.
struct EvidenceWalk {
    explicit EvidenceWalk(std::string output) : out(std::move(output)) {
        EXPECT_TRUE(WriteReportHeader(out + std::string(kReportFileName)) && WriteCsvHeader(out + std::string(kCsvFileName)));
    }
    EvidenceWalk(const EvidenceWalk&) = delete;
    EvidenceWalk& operator=(const EvidenceWalk&) = delete;

    std::string Report() const { return ReadBytes(FromText(out + std::string(kReportFileName))); }
    ParsedReport Run(const std::string& root) {
        walk.SearchFolderTree(root);
        return ParseReport(Report());
    }

    const std::string out;
    ScanState state;
    RecordingHost host{state};
    RunFolderEntries entries{out};
    RecordingSink sink{&entries};
    EvidenceRecorder evidence{out, host, sink};
    FolderWalk walk{state.abortRequested, host, evidence, LiveVolume()};
};

}  // namespace snapsift::test
