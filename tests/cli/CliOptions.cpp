#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "CliProcess.h"
#include "support/TempTree.h"

namespace snapsift::test {
namespace {

namespace fs = std::filesystem;

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.Folder("capture");
        tree.Folder("src");
        tree.Folder("out");
    }
    Finished Run(const std::vector<std::string>& arguments, const std::string& workFolder = "") {
        return RunCli(arguments, tree.Text("capture"), workFolder);
    }
    std::vector<fs::path> RunFolders() const {
        std::vector<fs::path> folders;
        for (const auto& item : fs::directory_iterator(tree.Path("out"))) folders.push_back(item.path());
        return folders;
    }
    TempTree tree;
};

TEST_F(CliTest, HelpAndVersionGoToStandardOutput) {
    const Finished help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("Usage: snapsift-cli --folder DIR [--no-subfolders] --output DIR [--no-photos]\n", 0), 0u)
        << help.out;
    EXPECT_NE(help.out.find("--profiles ROOT"), std::string::npos);
    EXPECT_EQ(help.err, "");

    const Finished version = Run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "snapsift-cli 1.2.0\n");
    EXPECT_EQ(version.err, "");
}

TEST_F(CliTest, UsageErrorsStopWithStatusTwo) {
    const std::string src = tree.Text("src"), out = tree.Text("out");
    const struct {
        std::vector<std::string> arguments;
        const char* problem;
    } cases[] = {
        {{}, "give --folder DIR or --profiles ROOT"},
        {{"--output", out}, "give --folder DIR or --profiles ROOT"},
        {{"--folder", src}, "give --output DIR"},
        {{"--folder", src, "--profiles", src, "--output", out}, "give either --folder or --profiles, not both"},
        {{"--profiles", src, "--no-subfolders", "--output", out}, "--no-subfolders goes with --folder"},
        {{"--folder"}, "option --folder needs a value"},
        {{"--folder=", "--output", out}, "option --folder needs a value"},
        {{"--folder", src, "--folder", src, "--output", out}, "option --folder is given twice"},
        {{"--folder", src, "--output", out, "--no-photos=yes"}, "option --no-photos takes no value"},
        {{"--folder", src, "--output", out, "--fast"}, "unknown argument: --fast"},
        {{"--folder", src, "--output", out, "extra"}, "unknown argument: extra"},
    };
    for (const auto& c : cases) {
        const Finished finished = Run(c.arguments);
        EXPECT_EQ(finished.exitCode, 2) << c.problem;
        EXPECT_EQ(finished.out, "") << c.problem;
        EXPECT_EQ(finished.err, std::string("snapsift-cli: ") + c.problem +
                                    "\nTry 'snapsift-cli --help' for more information.\n");
    }
    EXPECT_TRUE(RunFolders().empty());
}

TEST_F(CliTest, MissingFoldersStopBeforeAnythingIsMade) {
    const std::string src = tree.Text("src"), out = tree.Text("out");
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"--folder", tree.Text("nowhere"), "--output", out}, "Folder to search not found: " + tree.Text("nowhere")},
        {{"--profiles", tree.Text("nowhere"), "--output", out}, "Drive root not found: " + tree.Text("nowhere")},
        {{"--folder", src, "--output", tree.Text("nowhere")}, "Output folder not found: " + tree.Text("nowhere")},
    };
    for (const auto& c : cases) {
        const Finished finished = Run(c.arguments);
        EXPECT_EQ(finished.exitCode, 2) << c.message;
        EXPECT_EQ(finished.out, "");
        EXPECT_EQ(finished.err, c.message + "\n");
    }
    EXPECT_TRUE(RunFolders().empty());
}

TEST_F(CliTest, ACompletedRunPrintsTheTotalAndTheReportPath) {
    tree.File("src/n12345_67[1].jpg", "abc");
    tree.File("src/sub/1111_222_333_444_555_n[1].jpg", "abcd");
    tree.File("src/photo.jpg", "decoy");
    // Relative folders are taken from the working folder and written absolute.
    const Finished finished = Run({"--folder", "src", "--output", "./out/"}, tree.RootText());
    EXPECT_EQ(finished.exitCode, 0);
    EXPECT_EQ(finished.err, "");  // standard error is no terminal: no progress line
    const auto folders = RunFolders();
    ASSERT_EQ(folders.size(), 1u);
    const std::string report = ToText(folders[0] / "Quorvia JPG Files.htm");
    EXPECT_EQ(finished.out, "Operation complete.\n\nTotal files found: 2\nReport: " + report + "\n");
    const std::string contents = ReadBytes(report);
    EXPECT_NE(contents.find("<b>Full path:</b> " + tree.Text("src") + "/n12345_67[1].jpg<br>\r\n"), std::string::npos);
    EXPECT_NE(contents.find("<b>Full path:</b> " + tree.Text("src") + "/sub/1111_222_333_444_555_n[1].jpg<br>\r\n"),
              std::string::npos);
    EXPECT_TRUE(fs::exists(folders[0] / "n12345_67[1]-1.jpg") || fs::exists(folders[0] / "n12345_67[1]-2.jpg"));
}

TEST_F(CliTest, OptionsChooseSubfoldersAndPhotos) {
    tree.File("src/n12345_67[1].jpg", "abc");
    tree.File("src/sub/n12345_67[2].jpg", "abc");
    const Finished finished =
        Run({"--folder=" + tree.Text("src"), "--no-subfolders", "--output=" + tree.Text("out"), "--no-photos"});
    EXPECT_EQ(finished.exitCode, 0);
    EXPECT_EQ(finished.out.rfind("Operation complete.\n\nTotal files found: 1\nReport: ", 0), 0u) << finished.out;
    const auto folders = RunFolders();
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(std::distance(fs::directory_iterator(folders[0]), fs::directory_iterator()), 1);
    EXPECT_EQ(ReadBytes(folders[0] / "Quorvia JPG Files.htm").find("<img"), std::string::npos);
}

// A copy whose name would pass the file system's limit fails; the scan goes on and the
// message goes to standard error.
TEST_F(CliTest, PerFileProblemsGoToStandardErrorAndTheScanGoesOn) {
    const std::string head = "1111_222_333_444_555_";
    const std::string tail = "5_n[1].jpg";
    const std::string longName = head + std::string(255 - head.size() - tail.size(), 'x') + tail;
    tree.File("src/" + longName, "abc");
    tree.File("src/n12345_67[1].jpg", "abc");
    const Finished finished = Run({"--folder", tree.Text("src"), "--output", tree.Text("out")});
    EXPECT_EQ(finished.exitCode, 0);
    EXPECT_EQ(finished.err, "Error copying file: " + tree.Text("src/" + longName) +
                                ". Error number: 36. Click OK to continue.\n");
    EXPECT_EQ(finished.out.rfind("Operation complete.\n\nTotal files found: 2\n", 0), 0u) << finished.out;
}

TEST_F(CliTest, TheSampleDriveGivesItsSixPhotos) {
    const Finished finished = Run({"--profiles", SNAPSIFT_SAMPLE_DRIVE "/", "--output", tree.Text("out")});
    EXPECT_EQ(finished.exitCode, 0);
    EXPECT_EQ(finished.err, "");
    EXPECT_EQ(finished.out.rfind("Operation complete.\n\nTotal files found: 6\nReport: ", 0), 0u) << finished.out;
    const auto folders = RunFolders();
    ASSERT_EQ(folders.size(), 1u);
    const std::string report = ReadBytes(folders[0] / "Quorvia JPG Files.htm");
    for (const char* id : {"1234567", "3456789", "100000234567", "12345^6", "0333", "7654321"})
        EXPECT_NE(report.find(std::string("id=") + id + "\">" + id + "</a>"), std::string::npos) << id;
    EXPECT_EQ(report.find("Wallpaper"), std::string::npos);
    for (int n = 1; n <= 6; ++n) {
        const std::string suffix = std::string("-").append(std::to_string(n)).append(".jpg");
        bool found = false;
        for (const auto& item : fs::directory_iterator(folders[0]))
            found = found || ToText(item.path().filename()).ends_with(suffix);
        EXPECT_TRUE(found) << n;
    }
}

}  // namespace
}  // namespace snapsift::test
