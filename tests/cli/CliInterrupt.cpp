#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "CliProcess.h"
#include "support/TempTree.h"

namespace snapsift::test {
namespace {

namespace fs = std::filesystem;

const std::string kHeader =
    "<html><head><title>Possible Quorvia JPG files and ID's</title><body>"
    "<h1>Possible Quorvia JPG files and ID's</h1><br>\r\n";

class CliScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.Folder("capture");
        tree.Folder("out");
    }
    // Many recognised files, so that a scan lasts long enough to be interrupted.
    void MakeManyPhotos(int folders, int perFolder) {
        const std::string contents(2048, 'j');
        for (int f = 0; f < folders; ++f)
            for (int i = 0; i < perFolder; ++i)
                tree.File("src/f" + std::to_string(f) + "/n" + std::to_string(1000000 + f * perFolder + i) + "_1_2[1].jpg",
                          contents);
    }
    std::string OnlyRunFolder() const {
        std::vector<fs::path> folders;
        for (const auto& item : fs::directory_iterator(tree.Path("out"))) folders.push_back(item.path());
        EXPECT_EQ(folders.size(), 1u);
        return folders.empty() ? std::string() : ToText(folders[0]) + "/";
    }
    // Waits until the report holds at least `entries` entries.
    static bool WaitForEntries(const std::string& outFolder, std::size_t entries) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        std::uintmax_t lastSize = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            std::error_code error;
            for (const auto& item : fs::directory_iterator(outFolder, error)) {
                const fs::path report = item.path() / "Quorvia JPG Files.htm";
                const std::uintmax_t size = fs::file_size(report, error);
                if (error || size == lastSize) continue;
                lastSize = size;
                const std::string bytes = ReadBytes(report);
                std::size_t count = 0;
                for (std::size_t at = bytes.find("<hr>\r\n"); at != std::string::npos; at = bytes.find("<hr>\r\n", at + 1))
                    ++count;
                if (count >= entries) return true;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        return false;
    }

    TempTree tree;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start != text.size()) lines.push_back(text.substr(start));  // an unfinished line
    return lines;
}

// Checks that the report is the header and whole entries numbered 1, 2, ... (each with its
// copy), then optionally the tail; gives the number of entries.
int CheckWholeEntries(const std::string& runFolder, bool withTail) {
    const std::string report = ReadBytes(runFolder + "Quorvia JPG Files.htm");
    EXPECT_EQ(report.rfind(kHeader, 0), 0u);
    const std::vector<std::string> lines = Lines(report.substr(std::min(kHeader.size(), report.size())));
    EXPECT_TRUE(report.ends_with("\r\n")) << "the report ends inside a line";
    const std::size_t tailLines = withTail ? 3 : 0;
    EXPECT_GE(lines.size(), tailLines);
    const std::size_t entryLines = lines.size() - tailLines;
    EXPECT_EQ(entryLines % 9, 0u) << "an entry is cut short";
    const char* prefixes[] = {"<hr>", "<b>Full path:</b> ", "<b>Short name:</b> ", "<b>Created time:</b> ",
                              "<b>Modified time:</b> ", "<b>Last Accessed time:</b> ", "<b>MD5:</b> ",
                              "<b>This photo possibly belongs to Quorvia user ID #</b> <a href=\"http://www.quorvia.com/home.php?#/profile.php?id=",
                              "<img src=\""};
    int entries = 0;
    for (std::size_t i = 0; i + 9 <= entryLines; i += 9) {
        ++entries;
        for (std::size_t k = 0; k < 9; ++k)
            EXPECT_EQ(lines[i + k].rfind(prefixes[k], 0), 0u) << "entry " << entries << ": " << lines[i + k];
        EXPECT_EQ(lines[i].size(), 4u);
        const std::string& md5 = lines[i + 6];
        EXPECT_EQ(md5.size(), std::string("<b>MD5:</b> ").size() + 32 + std::string("<br>----<br>").size()) << md5;
        const std::string& image = lines[i + 8];
        const std::string number = std::string("-").append(std::to_string(entries)) + ".jpg\"><br><br>";
        EXPECT_TRUE(image.ends_with(number)) << image;
        const std::string copy = image.substr(10, image.size() - 10 - std::string("\"><br><br>").size());
        EXPECT_EQ(ReadBytes(runFolder + copy), std::string(2048, 'j')) << copy;
    }
    return entries;
}

TEST_F(CliScanTest, AKillInTheMiddleLeavesOnlyWholeEntries) {
    MakeManyPhotos(20, 60);
    for (const std::size_t killAfter : {3u, 30u, 200u}) {
        SCOPED_TRACE(killAfter);
        fs::remove_all(tree.Path("out"));
        tree.Folder("out");
        CliProcess process({"--folder", tree.Text("src"), "--output", tree.Text("out")}, tree.Text("capture"));
        ASSERT_TRUE(WaitForEntries(tree.Text("out"), killAfter));
        process.Signal(SIGKILL);
        const Finished finished = process.Wait();
        ASSERT_EQ(finished.signal, SIGKILL) << "the scan ended before the kill";
        const int entries = CheckWholeEntries(OnlyRunFolder(), false);
        EXPECT_GE(entries, static_cast<int>(killAfter));
        EXPECT_LT(entries, 1200);
    }
}

TEST_F(CliScanTest, CtrlCEndsTheScanAsAnAbortedRun) {
    MakeManyPhotos(20, 60);
    CliProcess process({"--folder", tree.Text("src"), "--output", tree.Text("out")}, tree.Text("capture"));
    ASSERT_TRUE(WaitForEntries(tree.Text("out"), 5));
    process.Signal(SIGINT);
    const Finished finished = process.Wait();
    ASSERT_EQ(finished.exitCode, 1) << "signal " << finished.signal << "\n" << finished.out;
    EXPECT_EQ(finished.err, "");
    const std::string runFolder = OnlyRunFolder();
    const int entries = CheckWholeEntries(runFolder, true);
    EXPECT_GE(entries, 5);
    EXPECT_LT(entries, 1200);
    EXPECT_EQ(finished.out, "Operation aborted.\n\nTotal files found: " + std::to_string(entries) +
                                "\nReport: " + runFolder + "Quorvia JPG Files.htm\n");
    EXPECT_TRUE(ReadBytes(runFolder + "Quorvia JPG Files.htm")
                    .ends_with("<br><Br><hr>Operation was aborted before completion.<br>\r\nTotal files found: " +
                               std::to_string(entries) + "<hr>\r\n</body></html>\r\n"));
}

TEST_F(CliScanTest, SigtermAlsoAbortsTheRun) {
    MakeManyPhotos(20, 60);
    CliProcess process({"--folder", tree.Text("src"), "--output", tree.Text("out"), "--no-photos"}, tree.Text("capture"));
    ASSERT_TRUE(WaitForEntries(tree.Text("out"), 5));
    process.Signal(SIGTERM);
    const Finished finished = process.Wait();
    EXPECT_EQ(finished.exitCode, 1);
    EXPECT_EQ(finished.out.rfind("Operation aborted.\n\nTotal files found: ", 0), 0u) << finished.out;
}

TEST_F(CliScanTest, OnATerminalAProgressLineShowsAndIsClearedAtTheEnd) {
    MakeManyPhotos(2, 3);
    tree.File("src/other.txt", "x");
    CliProcess process({"--folder", tree.Text("src"), "--output", tree.Text("out")}, tree.Text("capture"), "", 100);
    const Finished finished = process.Wait();
    EXPECT_EQ(finished.exitCode, 0);
    EXPECT_EQ(finished.out.rfind("Operation complete.\n\nTotal files found: 6\n", 0), 0u) << finished.out;
    // At least the first file's line, each line within the terminal's width, then the clearing.
    ASSERT_FALSE(finished.err.empty());
    EXPECT_EQ(finished.err[0], '\r');
    EXPECT_NE(finished.err.find(" found, 1 examined: "), std::string::npos) << finished.err;
    std::size_t drawn = 0;
    std::size_t start = 0;
    for (std::size_t next; start < finished.err.size(); start = next) {
        next = finished.err.find('\r', start + 1);
        if (next == std::string::npos) next = finished.err.size();
        const std::string line = finished.err.substr(start + 1, next - start - 1);
        EXPECT_LT(line.size(), 100u) << line;
        drawn = std::max(drawn, line.size());
    }
    ASSERT_GE(finished.err.size(), 3u);
    const std::size_t clearing = finished.err.rfind('\r', finished.err.size() - 2);
    EXPECT_EQ(finished.err.back(), '\r');
    EXPECT_EQ(finished.err.find_first_not_of(' ', clearing + 1), finished.err.size() - 1) << finished.err;
    EXPECT_GT(finished.err.size() - 2, clearing);
    EXPECT_GT(drawn, 0u);
}

// Two runs that start in the same second: one makes the output folder, the other stops.
TEST_F(CliScanTest, TwoRunsInTheSameSecondStopTheSecond) {
    tree.File("src/n12345_67[1].jpg", "abc");
    for (int attempt = 0; attempt < 5; ++attempt) {
        fs::remove_all(tree.Path("out"));
        tree.Folder("out");
        // Start just after a second begins.
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        std::this_thread::sleep_for(std::chrono::seconds(1) - (now % std::chrono::seconds(1)) + std::chrono::milliseconds(20));
        CliProcess first({"--folder", tree.Text("src"), "--output", tree.Text("out")}, tree.Text("capture"));
        CliProcess second({"--folder", tree.Text("src"), "--output", tree.Text("out")}, tree.Text("capture"));
        const Finished a = first.Wait();
        const Finished b = second.Wait();
        if (a.exitCode == 0 && b.exitCode == 0) continue;  // the second fell into the next second
        const Finished& stopped = a.exitCode == 2 ? a : b;
        const Finished& completed = a.exitCode == 2 ? b : a;
        EXPECT_EQ(completed.exitCode, 0);
        EXPECT_EQ(stopped.exitCode, 2);
        EXPECT_EQ(stopped.err, "Error creating output folder.\n");
        EXPECT_EQ(stopped.out, "");
        return;
    }
    FAIL() << "no two runs fell into the same second";
}

TEST_F(CliScanTest, AReportFileThatCannotBeMadeStopsWithStatusTwo) {
    tree.File("src/n12345_67[1].jpg", "abc");
    // A run folder whose path fits PATH_MAX while the report's path inside it does not.
    std::string chosen = tree.Text("out") + "/";
    const std::size_t chosenLength = 4080 - std::string("Snapsift - Mar 05, 2010 - 090703").size();
    while (chosen.size() < chosenLength) {
        const std::size_t room = chosenLength - chosen.size();
        chosen.append(std::min<std::size_t>(room > 1 ? room - 1 : 1, 200), 'd');
        chosen += '/';
    }
    ASSERT_EQ(chosen.size(), chosenLength);
    fs::create_directories(chosen);
    const Finished finished = RunCli({"--folder", tree.Text("src"), "--output", chosen}, tree.Text("capture"));
    if (finished.exitCode == 0) GTEST_SKIP() << "month abbreviation of another length here";
    EXPECT_EQ(finished.exitCode, 2);
    EXPECT_EQ(finished.err, "Error opening output file.\n");
    EXPECT_EQ(finished.out, "");
}

}  // namespace
}  // namespace snapsift::test
