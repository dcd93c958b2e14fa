// snapsift-cli run as a program, on POSIX and under Windows alike: its arguments, its standard
// output and error captured in files of a temporary tree, its exit status; and the report of
// the run folder it made.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "support/ReportParser.h"
#include "support/TempTree.h"

namespace snapsift::test {

struct CliResult {
    int exitCode = -1, signal = 0;  // signal: the one that ended it (POSIX), else 0
    std::string out, err;           // standard output and error, Windows' CR LF line ends as LF
};

// What POSIX runs may add; Windows runs take none of it.
struct CliOptions {
    bool ordinaryUser = false;        // as user 65534 when the tests run as root
    std::uint64_t fileSizeLimit = 0;  // writes past so many bytes fail with EFBIG, as on a full disk; 0: none
    int signal = 0;                   // sent once sendWhen() holds, or after 30 seconds, unless it ended before
    std::function<bool()> sendWhen = {};
};

CliResult RunCli(const TempTree& tree, const std::vector<std::string>& arguments, const CliOptions& options = {});

// A run's standard output without its "Digest list SHA-256: ..." line, which differs from run to
// run (the report holds the run's times).
inline std::string WithoutDigestLine(std::string out) {
    constexpr std::string_view kLine = "Digest list SHA-256: ";
    if (const std::size_t at = out.find(kLine); at != std::string::npos && out.size() >= at + kLine.size() + 65)
        out.erase(at, kLine.size() + 65);
    return out;
}

// The report in the "Snapsift - ..." folder a run made in output; empty when there is none.
inline std::filesystem::path RunReport(const std::filesystem::path& output) {
    for (const auto& made : std::filesystem::directory_iterator(output))
        if (made.path().filename().string().starts_with("Snapsift - ")) return made.path() / "Quorvia JPG Files.htm";
    return {};
}

// A scan of the tree's "src" into its "out", emptied first; and the entries of the report it left.
inline CliResult ScanSrc(const TempTree& tree, std::vector<std::string> more = {}, const CliOptions& options = {}) {
    std::filesystem::create_directories(tree.Path("out"));
    for (const auto& made : std::filesystem::directory_iterator(tree.Path("out"))) std::filesystem::remove_all(made.path());
    more.insert(more.begin(), {"--folder", tree.Text("src"), "--output", tree.Text("out")});
    return RunCli(tree, more, options);
}
inline std::vector<ParsedEntry> ReportEntries(const TempTree& tree) {
    return ParseReport(ReadBytes(RunReport(tree.Path("out")))).entries;
}

// Whether text holds part; when not, the text is the failure's message.
inline ::testing::AssertionResult Holds(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no \"" << part << "\" in:\n" << text;
}

}  // namespace snapsift::test
