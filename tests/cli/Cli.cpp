// What snapsift-cli says and returns, the same on Linux and on Windows: usage errors and checks
// that stop a run. (A whole scan's summary and report: Cli_posix.cpp, Cli_win.cpp.)
#include <gtest/gtest.h>

#include "support/CliRun.h"

namespace snapsift::test {

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
        EXPECT_EQ(std::tuple(result.exitCode, result.out, result.err), std::tuple(c.status, c.out, c.err))
            << c.arguments.back();
    }
}

}  // namespace snapsift::test
