#include "scan/ScanRun.h"

#include <cstdint>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "hash/MD5.h"
#include "volume/LiveVolume.h"
#include "platform/LocaleText.h"
#include "text/PathText.h"
#include "text/Utf8.h"
#include "search/EvidenceEntry.h"
#include "search/FolderWalk.h"
#include "report/CsvReport.h"
#include "report/Report.h"
#include "report/RunFiles.h"

namespace snapsift {

namespace {

constexpr std::string_view kSelfTestText = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::string_view kSelfTestDigest = "d174ab98d277d9f5a5611c2c9f419d9f";

bool SelfTestPasses(const ScanEnvironment& environment) {
    try {
        const std::string digest = environment.selfTestDigest
                                       ? environment.selfTestDigest(kSelfTestText)
                                       : MD5().DigestStrToHexStr(kSelfTestText);
        return LowerAscii(digest) == kSelfTestDigest;
    } catch (...) {
        return false;
    }
}

// A single-level folder that did not exist before; false when it existed or cannot be made.
bool CreateNewFolder(const std::string& path) {
    std::error_code error;
    const bool created = std::filesystem::create_directory(PathFromText(path), error);
    return created && !error;
}

// Takes back the run folder of a run that stopped before its report's and spreadsheet's headers
// were in: the two files, which hold no more than a header (the folder is the run's own, made a
// moment ago), then the folder, which is removed only when nothing else is in it. True when the
// folder is gone.
bool RemoveUnusedRunFolder(const std::string& runFolder, const std::vector<std::string>& headerFiles) {
    std::error_code error;
    for (const std::string& path : headerFiles) {
        const std::filesystem::path file = PathFromText(path);
        if (std::filesystem::is_regular_file(std::filesystem::symlink_status(file, error)))
            std::filesystem::remove(file, error);
    }
    return std::filesystem::remove(PathFromText(runFolder), error) && !error;
}

// The host as the walk and the evidence entries see it: every word goes through to the run's
// host, and the folders that could not be read and the access times not kept are counted on the
// way, so that every host ends the run with the same counts.
class CountingHost : public SearchHost {
public:
    explicit CountingHost(ScanHost& host) : host_(host) {}

    bool IncludePhotos() const override { return host_.IncludePhotos(); }
    bool IncludeDeletedCacheEntries() const override { return host_.IncludeDeletedCacheEntries(); }
    void ShowPath(const std::string& fullPath) override { host_.ShowPath(fullPath); }
    void Yield() override { host_.Yield(); }
    void FileFound(std::int32_t filesFound) override { host_.FileFound(filesFound); }
    void ShowMessage(std::string_view text, MessageKind kind) override { host_.ShowMessage(text, kind); }
    void FolderUnreadable(const std::string& folderPath, const SystemError& error) override {
        ++foldersUnreadable;
        host_.FolderUnreadable(folderPath, error);
    }
    void AccessTimeNotKept(const std::string& path) override {
        ++accessTimesNotKept;
        host_.AccessTimeNotKept(path);
    }
    void FileChangedWhileRead(const std::string& fullPath) override { host_.FileChangedWhileRead(fullPath); }
    void CandidateLost(const std::string& fullPath) override { host_.CandidateLost(fullPath); }
    void CacheProblem(const std::string& where, std::string_view problem) override {
        host_.CacheProblem(where, problem);
    }

    std::uint64_t foldersUnreadable = 0;
    std::uint64_t accessTimesNotKept = 0;

private:
    ScanHost& host_;
};

EvidenceTally TallyOf(const EvidenceEntry& evidence, const FolderWalk& walk) {
    EvidenceTally tally = evidence.Tally();
    tally.gaps.candidatesLost += walk.CandidatesLost();
    return tally;
}

// Searches one volume: in profile mode the drive's "Users" and then "Documents and Settings",
// in folder mode SourceFolder. A profile root is walked only when it is a real folder of the
// drive: on Vista and later "Documents and Settings" is a junction to "Users", and walking it
// would report every file twice. Gives the tally with this volume's entries, and the files that
// passed the name filter but could not be examined, added.
EvidenceTally SearchVolume(ScanState& state, ScanHost& settings, CountingHost& host, Volume& volume,
                           const std::string& runFolder, const std::string& drive, const EvidenceTally& earlier) {
    EvidenceEntry evidence(WithTrailingSeparator(runFolder), host, volume.Separator(), earlier, &state.AbortRequested);
    FolderWalk walk(state.AbortRequested, host, evidence, volume);
    // An output folder chosen inside the searched tree: the run's own copies are no evidence.
    if (const auto runFolderIdentity = volume.IdentityOfLocalFolder(runFolder)) walk.SkipFolder(*runFolderIdentity);
    if (!settings.ProfileMode()) {
        if (settings.SearchSubfolders())
            walk.SearchFolderTree(state.SourceFolder);
        else
            walk.SearchFolder(state.SourceFolder);
        return TallyOf(evidence, walk);
    }
    const std::string users = drive + volume.Separator() + "Users";
    const std::string documents = drive + volume.Separator() + "Documents and Settings";
    const bool usersThere = volume.IsPlainEntry(users), documentsThere = volume.IsPlainEntry(documents);
    if (usersThere) walk.SearchFolderTree(users + volume.Separator());
    if (!state.AbortRequested && documentsThere) walk.SearchFolderTree(documents + volume.Separator());
    // Neither is there: unless the drive's own root could not be read (a damaged index), and then
    // the run does not know.
    SystemError error;
    const std::string root = drive + volume.Separator();
    if (!usersThere && !documentsThere && !volume.OpenRoot(root, error)) host.FolderUnreadable(root, error);
    return TallyOf(evidence, walk);
}

}  // namespace

std::vector<std::string> ProblemLines(const EvidenceGaps& gaps) {
    const std::pair<const char*, std::uint64_t> counts[] = {
        {"Folders that could not be read: ", gaps.foldersUnreadable},
        {"Entries without their MD5 or times: ", gaps.entriesIncomplete},
        {"Files that changed while they were read: ", gaps.filesChanged},
        {"Copies that could not be made: ", gaps.copiesFailed},
        {"Entries that could not be written to the report: ", gaps.entriesNotWritten},
        {"Files that could not be examined: ", gaps.candidatesLost},
        {"Entries whose bytes lie in a damaged part of the disk image: ", gaps.entriesFromDamage},
        {"Damaged parts of the disk image (read as zeros): ", gaps.imageDamage},
        {"Report lines that could not be written: ", gaps.reportWritesFailed},
        {"Timeline or digest list that could not be written: ", gaps.runFilesNotWritten},
        {"Photos' cache entries not read whole: ", gaps.cacheEntriesDamaged},
        {"Cache entries or parts whose URL could not be read: ", gaps.cacheEntriesUnreadable},
        {"Cached photos cut short: ", gaps.cachedBodiesCutShort},
        {"Cached photos whose body could not be decoded: ", gaps.bodiesNotDecoded},
        {"Caches this build cannot read: ", gaps.cachesNotReadable},
        {"Files and folders whose access time changed when read: ", gaps.accessTimesNotKept}};
    std::vector<std::string> lines;
    for (const auto& [label, count] : counts)
        if (count != 0) lines.push_back(label + std::to_string(count));
    return lines;
}

std::vector<std::string> FactLines(const EvidenceGaps& gaps) {
    std::vector<std::string> lines;
    if (gaps.cachedNotPhotos != 0)
        lines.push_back("Cached responses that are not photos: " + std::to_string(gaps.cachedNotPhotos));
    return lines;
}

ScanResult RunScan(ScanState& state, ScanHost& host, const ScanEnvironment& environment) {
    ScanResult result;

    if (!SelfTestPasses(environment)) {
        host.ShowMessage("Internal calculation error!! Can not continue.", MessageKind::Stop);
        return result;
    }
    if (state.SourceFolder.empty() && !host.ProfileMode()) {
        host.ShowMessage("Please choose a folder to search.", MessageKind::Stop);
        return result;
    }
    if (state.OutputFolder.empty()) {
        host.ShowMessage("Please choose an output folder.", MessageKind::Stop);
        return result;
    }

    const DateTime now = environment.localNow ? environment.localNow() : LocalNow();
    const std::string runFolder = state.OutputFolder + "Snapsift - " + OutputFolderStamp(now, MonthAbbreviation(now.month));
    if (!CreateNewFolder(runFolder)) {
        host.ShowMessage("Error creating output folder.", MessageKind::Stop);
        return result;
    }
    result.runFolder = WithTrailingSeparator(runFolder);

    const std::string reportPath = result.runFolder + std::string(kReportFileName);
    const ImageSource* image = host.Image();
    const std::string csvPath = result.runFolder + std::string(kCsvFileName);
    if (!WriteReportHeader(reportPath, image != nullptr ? &image->facts : nullptr) || !WriteCsvHeader(csvPath)) {
        if (RemoveUnusedRunFolder(runFolder, {reportPath, csvPath})) result.runFolder.clear();
        host.ShowMessage("Error opening output file.", MessageKind::Stop);
        return result;
    }
    result.reportPath = reportPath;

    state.AbortRequested = false;
    host.SetRunningLook(true);

    // The view's first turn with the running look on, before anything is listed: a slow first
    // folder must not leave the window half drawn.
    host.Yield();

    EvidenceTally tally;
    CountingHost counting(host);
    if (image == nullptr) {
        tally = SearchVolume(state, host, counting, LiveVolume(), runFolder,
                             WithoutTrailingSeparators(host.SelectedDriveRoot()), tally);
    } else {
        for (Volume* volume : image->volumes) {
            if (state.AbortRequested) break;
            tally = SearchVolume(state, host, counting, *volume, runFolder, volume->DriveRoot(), tally);
            if (!host.ProfileMode()) break;
        }
    }
    tally.gaps.foldersUnreadable = counting.foldersUnreadable;
    tally.gaps.accessTimesNotKept = counting.accessTimesNotKept;

    // Damage met anywhere in the image, in an entry's bytes or not, is said before the tail.
    if (image != nullptr && image->damagedParts) {
        if (const std::uint64_t damagedParts = image->damagedParts(); damagedParts != 0) {
            tally.gaps.imageDamage = damagedParts;
            if (!AppendImageDamageWarning(reportPath, damagedParts)) ++tally.gaps.reportWritesFailed;
        }
    }
    const bool aborted = state.AbortRequested;
    // A tail that cannot be written is itself one of the problems, said in the message only.
    if (!AppendReportTail(reportPath, aborted, tally.filesFound, ProblemLines(tally.gaps), FactLines(tally.gaps)))
        ++tally.gaps.reportWritesFailed;
    // From what the report and its spreadsheet form now hold, the timeline, then the digests of
    // every file of the run folder, the report's own last: a failure can only be said below.
    tally.gaps.runFilesNotWritten += WriteTimelineAndDigestList(result.runFolder);
    std::string message = std::string(aborted ? "Operation aborted." : "Operation complete.") +
                          "\r\n\r\nTotal files found: " + std::to_string(tally.filesFound);
    for (const std::string& line : FactLines(tally.gaps)) message += "\r\n" + line;
    for (const std::string& line : ProblemLines(tally.gaps)) message += "\r\n" + line;
    message += "\r\nReport: " + reportPath;
    host.ShowMessage(message, MessageKind::Final);
    result.outcome = aborted ? ScanOutcome::Aborted : ScanOutcome::Completed;
    result.filesFound = tally.filesFound;
    result.gaps = tally.gaps;

    host.SetRunningLook(false);
    return result;
}

}  // namespace snapsift
