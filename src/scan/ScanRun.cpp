#include "scan/ScanRun.h"

#include <cstdint>
#include <filesystem>
#include <system_error>

#include "hash/MD5.h"
#include "volume/LiveVolume.h"
#include "platform/LocaleText.h"
#include "text/PathText.h"
#include "text/Utf8.h"
#include "search/EvidenceEntry.h"
#include "search/FolderWalk.h"
#include "report/Report.h"

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

// Takes back the run folder of a run that stopped before its report's header was in: the report
// left empty by the failed write, then the folder, which is removed only when nothing else is in it.
// True when the folder is gone.
bool RemoveUnusedRunFolder(const std::string& runFolder, const std::string& reportPath) {
    std::error_code error;
    const std::filesystem::path report = PathFromText(reportPath);
    if (std::filesystem::is_regular_file(std::filesystem::symlink_status(report, error)) &&
        std::filesystem::file_size(report, error) == 0 && !error)
        std::filesystem::remove(report, error);
    return std::filesystem::remove(PathFromText(runFolder), error) && !error;
}

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
EvidenceTally SearchVolume(ScanState& state, ScanHost& host, Volume& volume, const std::string& runFolder,
                           const std::string& drive, const EvidenceTally& earlier) {
    EvidenceEntry evidence(WithTrailingSeparator(runFolder), host, volume.Separator(), earlier, &state.AbortRequested);
    FolderWalk walk(state.AbortRequested, host, evidence, volume);
    // An output folder chosen inside the searched tree: the run's own copies are no evidence.
    if (const auto runFolderIdentity = volume.IdentityOfLocalFolder(runFolder)) walk.SkipFolder(*runFolderIdentity);
    if (!host.ProfileMode()) {
        if (host.SearchSubfolders())
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
    if (!WriteReportHeader(reportPath, image != nullptr ? &image->facts : nullptr)) {
        if (RemoveUnusedRunFolder(runFolder, reportPath)) result.runFolder.clear();
        host.ShowMessage("Error opening output file.", MessageKind::Stop);
        return result;
    }
    result.reportPath = reportPath;

    state.AbortRequested = false;
    host.SetRunningLook(true);

    EvidenceTally tally;
    if (image == nullptr) {
        tally = SearchVolume(state, host, LiveVolume(), runFolder, WithoutTrailingSeparators(host.SelectedDriveRoot()),
                             tally);
    } else {
        for (Volume* volume : image->volumes) {
            if (state.AbortRequested) break;
            tally = SearchVolume(state, host, *volume, runFolder, volume->DriveRoot(), tally);
            if (!host.ProfileMode()) break;
        }
    }

    // Damage met anywhere in the image, in an entry's bytes or not, is said before the tail.
    if (image != nullptr && image->damagedParts) {
        if (const std::uint64_t damagedParts = image->damagedParts(); damagedParts != 0) {
            tally.gaps.imageDamage = damagedParts;
            if (!AppendImageDamageWarning(reportPath, damagedParts)) ++tally.gaps.reportWritesFailed;
        }
    }
    const bool aborted = state.AbortRequested;
    if (!AppendReportTail(reportPath, aborted, tally.filesFound)) ++tally.gaps.reportWritesFailed;
    host.ShowMessage(std::string(aborted ? "Operation aborted." : "Operation complete.") +
                         "\r\n\r\nTotal files found: " + std::to_string(tally.filesFound),
                     MessageKind::Final);
    result.outcome = aborted ? ScanOutcome::Aborted : ScanOutcome::Completed;
    result.filesFound = tally.filesFound;
    result.gaps = tally.gaps;

    host.SetRunningLook(false);
    return result;
}

}  // namespace snapsift
