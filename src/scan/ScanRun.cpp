#include "scan/ScanRun.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <system_error>
#include <utility>
#include <vector>

#include "hash/MD5.h"
#include "volume/LiveVolume.h"
#include "platform/LocaleText.h"
#include "platform/RunnerFacts.h"
#include "platform/SystemError.h"
#include "scan/Version.h"
#include "text/PathText.h"
#include "text/Utf8.h"
#include "evidence/EvidenceRecorder.h"
#include "search/FolderWalk.h"
#include "report/CsvReport.h"
#include "report/Report.h"
#include "report/RunFiles.h"
#include "report/UserSummary.h"

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
    } catch (const std::exception&) {
        return false;  // a digest engine that fails its first call
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
    void CarvingProgress(const std::string& area, std::uint64_t bytesRead, std::uint64_t bytesTotal) override {
        host_.CarvingProgress(area, bytesRead, bytesTotal);
    }
    void ShowMessage(std::string_view text, MessageKind kind) override { host_.ShowMessage(text, kind); }
    void FolderUnreadable(const std::string& folderPath, const SystemError& error) override {
        gaps.Add(&EvidenceGaps::foldersUnreadable, folderPath + ": " + SystemErrorText(error.code), separator);
        host_.FolderUnreadable(folderPath, error);
    }
    void AccessTimeNotKept(const std::string& path) override {
        gaps.Add(&EvidenceGaps::accessTimesNotKept, path, separator);
        host_.AccessTimeNotKept(path);
    }
    void FileChangedWhileRead(const std::string& fullPath) override { host_.FileChangedWhileRead(fullPath); }
    void CandidateLost(const std::string& fullPath, std::string_view why) override {
        lost.emplace_back(fullPath + ": " + std::string(why), separator);
        host_.CandidateLost(fullPath, why);
    }
    void CacheProblem(const std::string& where, std::string_view problem) override {
        host_.CacheProblem(where, problem);
    }

    // The folders not read and the access times not kept, with their names; the files the walk
    // could not examine (it counts them itself).
    EvidenceGaps gaps;
    std::vector<std::pair<std::string, char>> lost;
    char separator = kSeparator;  // of the volume being searched

private:
    ScanHost& host_;
};

EvidenceTally TallyOf(const EvidenceRecorder& evidence, const FolderWalk& walk, CountingHost& host) {
    EvidenceTally tally = evidence.Tally();
    // The walk counts the files it could not examine; the host has their names.
    for (std::uint64_t i = 0; i < walk.CandidatesLost(); ++i) {
        const bool named = i < host.lost.size();
        tally.gaps.Add(&EvidenceGaps::candidatesLost, named ? host.lost[i].first : std::string(),
                       named ? host.lost[i].second : kSeparator);
    }
    host.lost.clear();
    return tally;
}

// Searches one volume: in profile mode the drive's "Users" and then "Documents and Settings",
// in folder mode sourceFolder. A profile root is walked only when it is a real folder of the
// drive: on Vista and later "Documents and Settings" is a junction to "Users", and walking it
// would report every file twice. Gives the tally with this volume's entries, and the files that
// passed the name filter but could not be examined, added.
EvidenceTally SearchVolume(ScanState& state, ScanHost& settings, CountingHost& host, Volume& volume,
                           const std::string& runFolder, const std::string& drive, const EvidenceTally& earlier,
                           RunFolderEntries& entries) {
    EvidenceRecorder evidence(WithTrailingSeparator(runFolder), host, entries, volume.Separator(), earlier,
                              &state.abortRequested);
    host.separator = volume.Separator();
    FolderWalk walk(state.abortRequested, host, evidence, volume);
    // An output folder chosen inside the searched tree: the run's own copies are no evidence.
    if (const auto runFolderIdentity = volume.IdentityOfLocalFolder(runFolder)) walk.SkipFolder(*runFolderIdentity);
    if (!settings.ProfileMode()) {
        if (settings.SearchSubfolders())
            walk.SearchFolderTree(state.sourceFolder);
        else
            walk.SearchFolder(state.sourceFolder);
        return TallyOf(evidence, walk, host);
    }
    const std::string users = drive + volume.Separator() + "Users";
    const std::string documents = drive + volume.Separator() + "Documents and Settings";
    const bool usersThere = volume.IsPlainEntry(users), documentsThere = volume.IsPlainEntry(documents);
    if (usersThere) walk.SearchFolderTree(users + volume.Separator());
    if (!state.abortRequested && documentsThere) walk.SearchFolderTree(documents + volume.Separator());
    // Neither is there: unless the drive's own root could not be read (a damaged index), and then
    // the run does not know.
    SystemError error;
    const std::string root = drive + volume.Separator();
    EvidenceTally tally = TallyOf(evidence, walk, host);
    if (!usersThere && !documentsThere) {
        if (!volume.OpenRoot(root, error))
            host.FolderUnreadable(root, error);
        else
            tally.gaps.Add(&EvidenceGaps::volumesWithoutProfiles, root, volume.Separator());
    }
    return tally;
}

// The closing lines of the counts that are not 0 among those that leave the report incomplete
// (problems) or not (notes), each with the names it counts.
std::vector<ClosingLine> LinesOf(const EvidenceGaps& gaps, bool problems) {
    std::vector<ClosingLine> lines;
    for (const GapKind& kind : kGapKinds) {
        const std::uint64_t counted = gaps.*kind.count;
        if (kind.incomplete != problems || counted == 0) continue;
        ClosingLine line{kind.label + std::to_string(counted), {}, 0};
        for (const EvidenceGaps::Named& named : gaps.named)
            if (named.count == kind.count && !named.name.empty()) line.names.emplace_back(named.name, named.separator);
        if (!line.names.empty()) line.unnamed = counted - line.names.size();
        lines.push_back(std::move(line));
    }
    return lines;
}

// How the run ended, for the report's last lines.
std::string ResultText(bool aborted, const EvidenceGaps& gaps, std::int32_t filesFound) {
    if (aborted) return "aborted after entry " + std::to_string(filesFound);
    return gaps.Any() ? "not complete: see the lines above" : "complete";
}

// A new run folder: the time-stamped name, or " (2)", " (3)"... after it when a run of the same
// second made that one. Empty when none can be made.
std::string NewRunFolder(const std::string& stamped) {
    if (CreateNewFolder(stamped)) return stamped;
    for (int number = 2; number <= 99; ++number) {
        const std::string numbered = stamped + " (" + std::to_string(number) + ")";
        if (CreateNewFolder(numbered)) return numbered;
        std::error_code error;
        if (!std::filesystem::exists(PathFromText(numbered), error)) break;  // not taken: it cannot be made
    }
    return {};
}

}  // namespace

std::string NewStampedFolder(const std::string& outputFolder, const DateTime& localNow) {
    return NewRunFolder(outputFolder + "Snapsift - " + OutputFolderStamp(localNow, MonthAbbreviation(localNow.month)));
}

namespace {

// What the report says of the run before its first entry.
RunFacts FactsOf(const ScanState& state, const ScanHost& host, const ScanEnvironment& environment) {
    RunFacts facts;
    const ImageSource* image = host.Image();
    const std::string drive = WithoutTrailingSeparators(host.SelectedDriveRoot());
    if (image != nullptr)
        facts.source = image->facts.path + (host.ProfileMode() ? std::string() : ", " + state.sourceFolder);
    else
        facts.source = host.ProfileMode() ? (drive.empty() ? std::string(1, kSeparator) : drive) : state.sourceFolder;
    facts.mode = host.ProfileMode()             ? "the profile folders (Users, Documents and Settings) of each volume"
                 : host.SearchSubfolders() ? "the folder and its subfolders"
                                           : "the folder alone, without its subfolders";
    facts.options = std::string(host.IncludePhotos() ? "photos copied" : "no photos copied") +
                    (host.IncludeDeletedCacheEntries() ? "; cache entries the browser had let go of reported"
                                                       : "; cache entries the browser had let go of not reported");
    if (image != nullptr && !image->unallocated.empty()) facts.options += "; unallocated space searched for deleted cache entries";
    facts.started = environment.utcNow ? environment.utcNow() : UtcNow();
    facts.program = std::string(kAppTitle) + " " + std::string(kAppVersion);
    facts.host = HostName();
    facts.user = UserName();
    return facts;
}

std::uint64_t VolumesSearched(const ImageSource* image) { return image == nullptr ? 1 : image->volumes.size(); }

}  // namespace

std::vector<ClosingLine> ProblemLines(const EvidenceGaps& gaps) { return LinesOf(gaps, true); }

std::vector<ClosingLine> NoteLines(const EvidenceGaps& gaps) { return LinesOf(gaps, false); }

ScanResult RunScan(ScanState& state, ScanHost& host, const ScanEnvironment& environment) {
    ScanResult result;

    if (!SelfTestPasses(environment)) {
        host.ShowMessage("Internal calculation error!! Can not continue.", MessageKind::Stop);
        return result;
    }
    if (state.sourceFolder.empty() && !host.ProfileMode()) {
        host.ShowMessage("Please choose a folder to search.", MessageKind::Stop);
        return result;
    }
    if (state.outputFolder.empty()) {
        host.ShowMessage("Please choose an output folder.", MessageKind::Stop);
        return result;
    }

    const std::string runFolder =
        NewStampedFolder(state.outputFolder, environment.localNow ? environment.localNow() : LocalNow());
    if (runFolder.empty()) {
        host.ShowMessage("Error creating output folder.", MessageKind::Stop);
        return result;
    }
    result.runFolder = WithTrailingSeparator(runFolder);

    const std::string reportPath = result.runFolder + std::string(kReportFileName);
    const ImageSource* image = host.Image();
    const std::string csvPath = result.runFolder + std::string(kCsvFileName);
    const RunFacts facts = FactsOf(state, host, environment);
    if (!WriteReportHeader(reportPath, image != nullptr ? &image->facts : nullptr, &facts) || !WriteCsvHeader(csvPath)) {
        if (RemoveUnusedRunFolder(runFolder, {reportPath, csvPath})) result.runFolder.clear();
        host.ShowMessage("Error opening output file.", MessageKind::Stop);
        return result;
    }
    result.reportPath = reportPath;

    state.abortRequested = false;
    host.SetRunningLook(true);
    // The host's first word before anything is listed (a terminal's interrupt, for one).
    host.Yield();

    EvidenceTally tally;
    CountingHost counting(host);
    // One sink for every volume and its unallocated space: an entry's bytes are linked to the run's
    // earlier entries, and the summary holds them all.
    RunFolderEntries entries(result.runFolder);
    if (image == nullptr) {
        Volume& live = environment.liveVolume != nullptr ? *environment.liveVolume : LiveVolume();
        tally = SearchVolume(state, host, counting, live, runFolder,
                             WithoutTrailingSeparators(host.SelectedDriveRoot()), tally, entries);
    } else {
        for (Volume* volume : image->volumes) {
            if (state.abortRequested) break;
            tally = SearchVolume(state, host, counting, *volume, runFolder, volume->DriveRoot(), tally, entries);
            if (!host.ProfileMode()) break;
        }
    }
    // Then the unallocated space of each partition searched, in the same order.
    const std::int32_t foundInFiles = tally.filesFound;
    for (const UnallocatedArea& area : image != nullptr ? image->unallocated : std::vector<UnallocatedArea>{}) {
        if (state.abortRequested) break;
        EvidenceRecorder evidence(result.runFolder, counting, entries, '\\', tally, &state.abortRequested);
        evidence.CarveUnallocated(area);
        tally = evidence.Tally();
    }
    tally.gaps.foldersUnreadable = counting.gaps.foldersUnreadable;
    tally.gaps.accessTimesNotKept = counting.gaps.accessTimesNotKept;
    tally.gaps.named.insert(tally.gaps.named.end(), counting.gaps.named.begin(), counting.gaps.named.end());

    // Damage met anywhere in the image, in an entry's bytes or not, is said before the tail.
    if (image != nullptr && image->damagedParts) {
        if (const auto parts = image->damagedParts(); !parts.empty()) {
            for (const auto& [offset, length] : parts)
                tally.gaps.Add(&EvidenceGaps::imageDamage, "bytes " + std::to_string(offset) + " to " +
                                                               std::to_string(offset + length - 1) + " of the image's data");
            if (!AppendImageDamageWarning(reportPath, parts.size())) ++tally.gaps.reportWritesFailed;
        }
    }
    const bool aborted = state.abortRequested;
    // A tail that cannot be written is itself one of the problems, said in the message only.
    const RunEnd end{environment.utcNow ? environment.utcNow() : UtcNow(),
                     ResultText(aborted, tally.gaps, tally.filesFound)};
    if (!AppendReportTail(reportPath, aborted, tally.filesFound, ProblemLines(tally.gaps), NoteLines(tally.gaps), &end))
        ++tally.gaps.reportWritesFailed;
    // From what the report and its spreadsheet form now hold, the timeline, then the digests of
    // every file of the run folder, the report's own last: a failure can only be said below.
    const bool summaryWritten = entries.WriteSummary();
    if (!summaryWritten) ++tally.gaps.runFilesNotWritten;
    tally.gaps.runFilesNotWritten += WriteTimelineAndDigestList(result.runFolder);
    // A profile search that found no profile folder anywhere searched nothing, and says so first.
    const bool nothingSearched = host.ProfileMode() && !aborted && tally.gaps.volumesWithoutProfiles != 0 &&
                                 tally.gaps.volumesWithoutProfiles == VolumesSearched(image);
    std::string message = std::string(aborted           ? "Operation aborted."
                                      : nothingSearched ? "Nothing was searched: no Users or Documents and Settings folder."
                                                        : "Operation complete.") +
                          "\r\n\r\nTotal files found: " + std::to_string(tally.filesFound);
    if (image != nullptr && !image->unallocated.empty())
        message += "\r\nOf them recovered from unallocated space: " + std::to_string(tally.filesFound - foundInFiles);
    bool named = false;
    // What the report lacks first, then what only happened: as the report's closing lines.
    for (const auto& lines : {ProblemLines(tally.gaps), NoteLines(tally.gaps)})
        for (const ClosingLine& line : lines) {
            message += "\r\n" + line.text;
            named = named || !line.names.empty();
        }
    if (named) message += "\r\nThe report names each of them.";
    if (const auto listDigest = FileSha256(result.runFolder + std::string(kDigestListFileName)))
        message += "\r\nDigest list SHA-256: " + *listDigest;
    message += "\r\nReport: " + reportPath;
    if (summaryWritten) message += "\r\nSummary: " + result.runFolder + std::string(kSummaryFileName);
    host.ShowMessage(message, MessageKind::Final);
    result.outcome = aborted ? ScanOutcome::Aborted : ScanOutcome::Completed;
    result.filesFound = tally.filesFound;
    result.gaps = tally.gaps;

    host.SetRunningLook(false);
    return result;
}

}  // namespace snapsift
