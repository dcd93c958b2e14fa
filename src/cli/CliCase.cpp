#include "cli/CliCase.h"

#include <filesystem>
#include <system_error>

#include "cli/ExitStatus.h"
#include "cli/CliVerify.h"
#include "cli/Console.h"
#include "cli/ConsoleText.h"
#include "platform/DirectoryListing.h"
#include "platform/LocaleText.h"
#include "platform/OutputFile.h"
#include "report/RunFiles.h"
#include "report/UserSummary.h"
#include "scan/ScanRun.h"
#include "text/PathText.h"

namespace snapsift::cli {

namespace {

namespace fs = std::filesystem;

std::string GenericText(const fs::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

// The run folder as a link from the case folder: a relative one where there is one (the case
// and its runs can move together), else the absolute one as a file URL.
std::string SeenFrom(const std::string& caseFolder, const std::string& runFolder) {
    std::error_code error;
    const fs::path run = PathFromText(runFolder), from = PathFromText(caseFolder);
    const fs::path relative = fs::relative(run, from, error);
    if (!error && !relative.empty() && run.root_name() == from.root_name()) return GenericText(relative) + "/";
    const std::string absolute = GenericText(fs::absolute(run, error));
    return (absolute.starts_with("/") ? "file://" : "file:///") + absolute + "/";
}

}  // namespace

int WriteCase(const std::string& output, const std::vector<std::string>& runFolders) {
    if (!FolderExists(output)) {
        Write(Stream::Err, TerminalText("Output folder not found: " + output, false));
        return kStopped;
    }
    std::vector<std::string> verified;
    int status = kCompleted;
    for (const std::string& folder : runFolders) {
        Write(Stream::Out, TerminalText("Run folder: " + folder, false));
        if (VerifyRunFolder(folder) == 0) {
            verified.push_back(folder);
            continue;
        }
        Write(Stream::Err, TerminalText("Left out of the case, as it does not verify: " + folder, false));
        status = kMismatch;
    }
    const std::string caseFolder = NewStampedFolder(WithTrailingSeparator(output), LocalNow());
    if (caseFolder.empty()) {
        Write(Stream::Err, "Error creating output folder.\n");
        return kStopped;
    }
    std::vector<SummaryRow> rows;
    for (const std::string& folder : verified) {
        auto runRows = ReadRunSummary(WithTrailingSeparator(folder), SeenFrom(caseFolder, folder));
        if (!runRows) {
            Write(Stream::Err, TerminalText("Left out of the case, as its summary cannot be read: " + folder, false));
            status = kMismatch;
            continue;
        }
        rows.insert(rows.end(), std::make_move_iterator(runRows->begin()), std::make_move_iterator(runRows->end()));
    }
    const std::string folder = WithTrailingSeparator(caseFolder);
    bool written = WriteSummaryFiles(folder, std::move(rows), true);
    std::string list;
    for (const std::string_view name : {kSummaryCsvFileName, kSummaryFileName}) {
        const auto sha256 = FileSha256(folder + std::string(name));
        if (sha256) list += DigestListLine(*sha256, name);
        written = written && sha256;
    }
    written = WriteOutputFile(folder + std::string(kDigestListFileName), list, OutputWrite::Create) && written;
    Write(Stream::Out, TerminalText("Case summary: " + folder + std::string(kSummaryFileName), false));
    if (!written) {
        Write(Stream::Err, "A file of the case folder could not be written.\n");
        return kIncomplete;
    }
    return status;
}

}  // namespace snapsift::cli
