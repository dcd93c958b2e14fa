// A whole scan run over a folder tree, timed: walk, recognition, digest, times, copy and the
// report, with a host that shows nothing. Prints the files found and the seconds taken; then the
// seconds that the run's summary by user ID takes over the same entries (read back from the run's
// CSV beforehand): each entry's summary facts, the rows, and both files written into a folder of
// their own in OUTPUT_FOLDER.
// Usage: bench_scan SOURCE_FOLDER OUTPUT_FOLDER [--no-photos]
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "report/CsvReport.h"
#include "report/UserSummary.h"
#include "scan/ScanRun.h"
#include "text/PathText.h"

namespace {

class SilentHost : public snapsift::ScanHost {
public:
    explicit SilentHost(bool photos) : photos_(photos) {}
    bool ProfileMode() const override { return false; }
    bool SearchSubfolders() const override { return true; }
    bool IncludePhotos() const override { return photos_; }
    std::string SelectedDriveRoot() const override { return {}; }
    void ShowPath(const std::string&) override {}
    void Yield() override {}
    void ShowMessage(std::string_view text, snapsift::MessageKind kind) override {
        if (kind != snapsift::MessageKind::Final) std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    }
    bool AskYesNo(std::string_view) override { return false; }
    void SetRunningLook(bool) override {}
    void FolderUnreadable(const std::string& folder, const snapsift::SystemError& error) override {
        std::fprintf(stderr, "Cannot read folder: %s: %s\n", folder.c_str(), snapsift::SystemErrorText(error.code).c_str());
    }

private:
    bool photos_;
};

// The run's entries as far as the summary reads them, from the run's CSV.
std::vector<snapsift::ReportEntry> EntriesOf(const std::string& runFolder) {
    std::ifstream in(runFolder + std::string(snapsift::kCsvFileName), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<snapsift::ReportEntry> entries;
    const auto rows = snapsift::ReadCsvRows(text);
    if (!rows) return entries;
    for (std::size_t r = 1; r < rows->size(); ++r) {
        const auto& row = (*rows)[r];
        snapsift::ReportEntry entry;
        entry.number = static_cast<std::int32_t>(r);
        entry.fullPath = row[1];
        entry.sha256 = row[8];
        entry.userId = row[9];
        entry.copyFileName = row[11];
        entry.copyMade = !row[11].empty();
        entry.timesAvailable = true;
        entry.timeCreated = entry.timeModified = entry.timeAccessed = snapsift::DateTime{2026, 12, 7, 12, 34, 56};
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_scan SOURCE_FOLDER OUTPUT_FOLDER [--no-photos]\n");
        return 2;
    }
    const bool photos = !(argc > 3 && std::strcmp(argv[3], "--no-photos") == 0);
    snapsift::ScanState state;
    state.sourceFolder = snapsift::WithTrailingSeparator(argv[1]);
    state.outputFolder = snapsift::WithTrailingSeparator(argv[2]);
    SilentHost host(photos);
    const auto start = std::chrono::steady_clock::now();
    const snapsift::ScanResult result = snapsift::RunScan(state, host);
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    if (result.outcome != snapsift::ScanOutcome::Completed) return 1;
    std::printf("files %d seconds %.3f report %s\n", result.filesFound, seconds.count(), result.reportPath.c_str());

    const std::vector<snapsift::ReportEntry> entries = EntriesOf(result.runFolder);
    const std::string folder = state.outputFolder + "summary-bench";
    if (entries.size() != static_cast<std::size_t>(result.filesFound) || !std::filesystem::create_directory(snapsift::PathFromText(folder))) return 1;
    const auto summaryStart = std::chrono::steady_clock::now();
    std::vector<snapsift::SummaryEntry> kept;
    kept.reserve(entries.size());
    for (const snapsift::ReportEntry& entry : entries) kept.push_back(snapsift::SummaryEntryOf(entry));
    const bool written = snapsift::WriteSummaryFiles(snapsift::WithTrailingSeparator(folder), snapsift::SummaryRows(kept), false);
    const std::chrono::duration<double> summary = std::chrono::steady_clock::now() - summaryStart;
    if (!written) return 1;
    std::printf("summary seconds %.4f\n", summary.count());
    return 0;
}
