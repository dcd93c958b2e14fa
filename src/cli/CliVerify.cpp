#include "cli/CliVerify.h"

#include <exception>

#include "cli/ExitStatus.h"
#include "cli/Console.h"
#include "cli/ConsoleText.h"
#include "report/CsvReport.h"
#include "report/Report.h"
#include "report/RunFiles.h"
#include "text/PathText.h"

namespace snapsift::cli {

namespace {

const char* NotAFileLine(NotAFile::Why why) {
    switch (why) {
    case NotAFile::Why::Path: return "Not a file of the run folder (a path, not a name in it): ";
    case NotAFile::Why::Link: return "Not a file of the run folder (a link): ";
    case NotAFile::Why::Folder: return "Not a file of the run folder (a folder): ";
    case NotAFile::Why::Special: return "Not a file of the run folder (a FIFO, socket or device): ";
    }
    return "Not a file of the run folder: ";
}

int Verify(const std::string& folder) {
    const RunCheck check = CheckRunFolder(WithTrailingSeparator(folder));
    if (!check.runFolder) {
        Write(Stream::Err, TerminalText("Not a run folder (no readable " + std::string(kCsvFileName) + "): " + folder,
                                        false));
        return kStopped;
    }
    // A name is written out as the terminal cannot act on it; the line's own words are the program's.
    const auto say = [](const std::string& what, const std::string& name) {
        Write(Stream::Out, what + TerminalText(name, false));
    };
    const auto sayAll = [&](const char* what, const std::vector<std::string>& names) {
        for (const std::string& name : names) say(what, name);
    };
    sayAll("Missing: ", check.missing);
    sayAll("Changed: ", check.changed);
    sayAll("Not listed: ", check.notListed);
    sayAll("Could not be read: ", check.unreadable);
    sayAll("Listed twice with different digests: ", check.conflicting);
    for (const NotAFile& file : check.notFiles) say(NotAFileLine(file.why), file.name);
    if (check.digestListSha256) Write(Stream::Out, "Digest list SHA-256: " + *check.digestListSha256 + "\n");

    std::string summary = "Files checked: " + std::to_string(check.filesChecked) +
                          "\nMissing: " + std::to_string(check.missing.size()) +
                          "\nChanged: " + std::to_string(check.changed.size()) +
                          "\nNot listed: " + std::to_string(check.notListed.size()) + "\n";
    const auto count = [&](const std::string& what, std::size_t n) {
        if (n != 0) summary += what + std::to_string(n) + "\n";
    };
    count("Could not be read: ", check.unreadable.size());
    count("Listed twice with different digests: ", check.conflicting.size());
    count("Not files of the run folder: ", check.notFiles.size());
    count("Lines of " + std::string(kDigestListFileName) + " not in its form: ", check.unreadableLines);
    if (check.csvCutShort)
        summary += "The last row of " + std::string(kCsvFileName) + " is cut short; the rows before it were checked.\n";
    if (check.misnumberedRow)
        summary += "The entry numbers of " + std::string(kCsvFileName) + " do not run from 1 to " +
                   std::to_string(check.csvRows) + ": row " + std::to_string(*check.misnumberedRow) +
                   " is not entry " + std::to_string(*check.misnumberedRow) + ".\n";
    if (check.reportTotalUnreadable)
        summary += "The total of " + std::string(kReportFileName) + " cannot be read.\n";
    if (check.reportTotal && *check.reportTotal != check.csvRows)
        summary += std::string(kReportFileName) + " says \"Total files found: " + std::to_string(*check.reportTotal) +
                   "\", " + std::string(kCsvFileName) + " holds " + std::to_string(check.csvRows) + " rows.\n";
    if (check.digestListMissing)
        summary += std::string(kDigestListFileName) + ": the digest list is missing: nothing can be checked\n"
                   "The run did not finish (it has no " + std::string(kDigestListFileName) + "): its copies were "
                   "checked against " + std::string(kCsvFileName) + " alone.\n";
    summary += check.AllMatch() ? "Everything matches.\n" : "Not everything matches.\n";
    Write(Stream::Out, summary);
    return check.AllMatch() ? kCompleted : kMismatch;
}

}  // namespace

int VerifyRunFolder(const std::string& folder) {
    // Whatever the system or the folder throws at the check is a check that did not pass.
    try {
        return Verify(folder);
    } catch (const std::exception& failure) {
        Write(Stream::Out, TerminalText(std::string("The run folder could not be checked: ") + failure.what(), false) +
                               "Not everything matches.\n");
        return kMismatch;
    }
}

}  // namespace snapsift::cli
