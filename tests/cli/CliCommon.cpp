// What snapsift-cli says and returns, the same on Linux and on Windows: usage errors, checks
// that stop a run, and a whole scan's summary with its report.
#include <gtest/gtest.h>

#include <algorithm>

#include "CliRun.h"

namespace snapsift::test {

namespace {

// The report's path as the summary gives it.
std::filesystem::path FromOutput(std::string text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// Line ends as written on Windows (CR LF) made plain, so both platforms compare alike.
std::string Plain(std::string text) {
    std::erase(text, '\r');
    return text;
}

}  // namespace

TEST(Cli, UsageErrorsAndChecksStopWithStatusTwo) {
    TempTree tree;
    tree.Entries({{"src/", ""}, {"out/", ""}});
    const std::string src = tree.Text("src"), out = tree.Text("out"), missing = tree.Text("missing");
    const std::string tryHelp = "\nTry 'snapsift-cli --help' for more information.\n";
    const struct { std::vector<std::string> arguments; int status; std::string out, err; } cases[] = {
        {{"--version"}, 0, "snapsift-cli " SNAPSIFT_VERSION "\n", ""},
        {{"--folder", src}, 2, "", "snapsift-cli: give --output DIR" + tryHelp},
        {{"--folder", src, "--profiles", src, "--output", out}, 2, "",
         "snapsift-cli: give either --folder or --profiles, not both" + tryHelp},
        {{"--folder", src, "--output", out, "--frobnicate"}, 2, "", "snapsift-cli: unknown argument: --frobnicate" + tryHelp},
        {{"--folder", missing, "--output", out}, 2, "", "Folder to search not found: " + missing + "\n"},
        {{"--profiles", missing, "--output", out}, 2, "", "Drive root not found: " + missing + "\n"},
        {{"--folder", src, "--output", missing}, 2, "", "Output folder not found: " + missing + "\n"}};
    for (const auto& c : cases) {
        const CliResult result = RunCli(tree, c.arguments);
        EXPECT_EQ(std::tuple(result.exitCode, Plain(result.out), Plain(result.err)), std::tuple(c.status, c.out, c.err))
            << c.arguments.back();
    }
}

// Two photos and a look-alike: the summary, and a report that holds both entries.
TEST(Cli, AScanSaysItsTotalAndWhereItsReportIs) {
    TempTree tree;
    tree.Entries({{"src/n1234567_890_123[1].jpg", "abc"}, {"src/sub/1111_222_333_444_555_n[1].jpg", "a"},
                  {"src/sub/photo.JPG", "x"}, {"out/", ""}});
    const CliResult result = RunCli(tree, {"--folder", tree.Text("src"), "--output", tree.Text("out")});
    const std::string out = Plain(result.out);
    const std::string prefix = "Operation complete.\n\nTotal files found: 2\nReport: " + tree.Text("out");
    EXPECT_EQ(std::tuple(result.exitCode, out.substr(0, prefix.size()), Plain(result.err)), std::tuple(0, prefix, ""));
    const std::string report = ReadBytes(FromOutput(out.substr(out.find("Report: ") + 8)));
    EXPECT_NE(report.find("<b>MD5:</b> 900150983cd24fb0d6963f7d28e17f72<br>"), std::string::npos) << report;
    EXPECT_NE(report.find("<b>MD5:</b> 0cc175b9c0f1b6a831c399e269772661<br>"), std::string::npos) << report;
    EXPECT_NE(report.find("Total files found: 2<hr>"), std::string::npos) << report;
}

}  // namespace snapsift::test
