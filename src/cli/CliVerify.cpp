#include "cli/CliVerify.h"

#include "cli/Console.h"
#include "cli/ConsoleText.h"
#include "report/CsvReport.h"
#include "report/RunFiles.h"
#include "text/PathText.h"

namespace snapsift::cli {

namespace {

constexpr int kAllMatch = 0;
constexpr int kNotRunFolder = 2;
constexpr int kMismatch = 4;

}  // namespace

int VerifyRunFolder(const std::string& folder) {
    const RunCheck check = CheckRunFolder(WithTrailingSeparator(folder));
    if (!check.runFolder) {
        Write(Stream::Err, TerminalText("Not a run folder (no readable " + std::string(kCsvFileName) + "): " + folder,
                                        false));
        return kNotRunFolder;
    }
    const auto say = [](const char* what, const std::vector<std::string>& names) {
        for (const std::string& name : names) Write(Stream::Out, TerminalText(std::string(what) + name, false));
    };
    say("Missing: ", check.missing);
    say("Changed: ", check.changed);
    say("Not listed: ", check.notListed);
    std::string summary = "Files checked: " + std::to_string(check.filesChecked) +
                          "\nMissing: " + std::to_string(check.missing.size()) +
                          "\nChanged: " + std::to_string(check.changed.size()) +
                          "\nNot listed: " + std::to_string(check.notListed.size()) + "\n";
    if (check.unreadableLines != 0)
        summary += "Lines of " + std::string(kDigestListFileName) + " not in its form: " +
                   std::to_string(check.unreadableLines) + "\n";
    if (check.csvCutShort)
        summary += "The last row of " + std::string(kCsvFileName) + " is cut short; the rows before it were checked.\n";
    if (!check.finished)
        summary += "The run did not finish (it has no " + std::string(kDigestListFileName) +
                   "): its copies were checked against " + std::string(kCsvFileName) + " alone.\n";
    summary += check.AllMatch() ? "Everything matches.\n" : "Not everything matches.\n";
    Write(Stream::Out, summary);
    return check.AllMatch() ? kAllMatch : kMismatch;
}

}  // namespace snapsift::cli
