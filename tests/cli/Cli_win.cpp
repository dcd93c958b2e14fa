// snapsift-cli.exe as a Windows user runs it: drive roots in every form an examiner types.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "support/CliRun.h"

namespace snapsift::test {

namespace fs = std::filesystem;

// A drive holding Users and Documents and Settings, named "X:", "x:", "X:\", "X:/" and "\\?\X:\" for
// the profiles, the folder searched and the output: every form finds the two photos under the
// drive's own paths (profile folders first) and nothing in the run's own folder, which it puts
// at the drive's root; the summary gives the total and the report's path.
TEST(CliWin, DriveRootsInEveryForm) {
    // The test's wrapper maps an empty folder to a drive letter of the test's own, named here.
    const char* drive = std::getenv("SNAPSIFT_TEST_DRIVE");
    if (drive == nullptr || *drive == '\0') GTEST_SKIP() << "no drive of the test's own: run through wine-drive.sh";
    TempTree tree;
    const std::string x = drive, lower = std::string(1, static_cast<char>(x[0] | 0x20)) + ":";
    const fs::path root = FromText(x + "\\");
    fs::create_directories(root / "Users/ana");
    fs::create_directories(root / "Documents and Settings/bo");
    std::ofstream(root / "Users/ana/n1234567_890_123[1].jpg") << "abc";
    std::ofstream(root / "Documents and Settings/bo/n7654321_1_2[1].jpg") << "a";
    const struct { std::vector<std::string> arguments; std::string root; } cases[] = {
        {{"--profiles", x}, x}, {{"--profiles", lower}, lower}, {{"--profiles", x + "\\"}, x},
        {{"--profiles", "\\\\?\\" + x + "\\"}, x}, {{"--folder", x + "/"}, x}};
    for (const auto& c : cases) {
        if (const fs::path made = RunReport(root); !made.empty()) fs::remove_all(made.parent_path());
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), {"--output", x, "--no-photos"});
        const CliResult finished = RunCli(tree, arguments);
        EXPECT_EQ(finished.exitCode, 0) << c.arguments[1] << ": " << finished.err;
        const fs::path report = RunReport(root);
        ASSERT_FALSE(report.empty()) << c.arguments[1];
        std::vector<std::string> paths, expected{c.root + "\\Users\\ana\\n1234567_890_123[1].jpg",
                                                 c.root + "\\Documents and Settings\\bo\\n7654321_1_2[1].jpg"};
        for (const ParsedEntry& entry : ParseReport(ReadBytes(report)).entries) paths.push_back(entry.path);
        if (c.arguments[0] == "--folder") std::ranges::sort(paths), std::ranges::sort(expected);
        EXPECT_EQ(paths, expected) << c.arguments[1];
        EXPECT_EQ(WithoutDigestLine(finished.out), "Operation complete.\n\nTotal files found: 2\nReport: " + x + "\\" +
                           report.parent_path().filename().string() + "\\Quorvia JPG Files.htm\n") << c.arguments[1];
    }
}

}  // namespace snapsift::test
