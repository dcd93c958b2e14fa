#include "scan/ScanRun.h"

#include <filesystem>
#include <system_error>

#include "hash/MD5.h"
#include "platform/DirectoryListing.h"
#include "platform/LocaleText.h"
#include "platform/Paths.h"
#include "platform/Utf8.h"
#include "search/EvidenceEntry.h"
#include "search/FolderWalk.h"
#include "search/Report.h"

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

// A profile root is walked only when it is a real folder of the drive. On Vista and later
// "Documents and Settings" is a junction to "Users"; walking it would report every file twice.
bool IsProfileRoot(const std::string& path) {
    return PathExists(path, true) && !IsLinkOrJunction(path);
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

    const std::string chosenOutput = state.OutputFolder;
    const DateTime now = environment.localNow ? environment.localNow() : LocalNow();
    const std::string runFolder = chosenOutput + "Snapsift - " + OutputFolderStamp(now);
    if (!CreateNewFolder(runFolder)) {
        host.ShowMessage("Error creating output folder.", MessageKind::Stop);
        return result;
    }
    state.OutputFolder = AddBackslash(runFolder);
    result.runFolder = state.OutputFolder;

    const std::string reportPath = state.OutputFolder + std::string(kReportFileName);
    if (!WriteReportHeader(reportPath)) {
        state.OutputFolder = chosenOutput;
        host.ShowMessage("Error opening output file.", MessageKind::Stop);
        return result;
    }
    result.reportPath = reportPath;

    state.AbortRequested = false;
    host.SetRunningLook(true);
    state.FilesFound = 0;

    EvidenceEntry evidence(state.OutputFolder, state.FilesFound, host);
    FolderWalk walk(state.AbortRequested, host, evidence);
    // An output folder chosen inside the searched tree: the run's own copies are no evidence.
    if (const auto runFolderIdentity = IdentityOf(runFolder)) walk.SkipFolder(*runFolderIdentity);
    if (!host.ProfileMode()) {
        if (host.SearchSubfolders())
            walk.SearchFolderTree(state.SourceFolder);
        else
            walk.SearchFolder(state.SourceFolder);
    } else {
        const std::string drive = WithoutTrailingSeparators(host.SelectedDriveRoot());
        const std::string users = drive + kSeparator + "Users";
        const std::string documents = drive + kSeparator + "Documents and Settings";
        if (IsProfileRoot(users)) walk.SearchFolderTree(AddBackslash(users));
        if (!state.AbortRequested && IsProfileRoot(documents))
            walk.SearchFolderTree(AddBackslash(documents));
    }

    const bool aborted = state.AbortRequested;
    AppendReportTail(reportPath, aborted, state.FilesFound);
    host.ShowMessage(std::string(aborted ? "Operation aborted." : "Operation complete.") +
                         "\r\n\r\nTotal files found: " + std::to_string(state.FilesFound),
                     MessageKind::Final);
    result.outcome = aborted ? ScanOutcome::Aborted : ScanOutcome::Completed;
    result.gaps = evidence.Gaps();

    state.OutputFolder = chosenOutput;
    host.SetRunningLook(false);
    return result;
}

}  // namespace snapsift
