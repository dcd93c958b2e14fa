#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <regex>

#include "CliRun.h"
#include "support/OrdinaryUser.h"
#include "support/TempTree.h"

namespace snapsift::test {

namespace fs = std::filesystem;

const std::string kPhoto(2048, 'j');
struct Finished { int exitCode = -1, signal = 0; std::string out, err; };

// Starts snapsift-cli with its standard output and error going to capture + "1" and "2": as user
// 65534 when asked for (and the tests run as root), with a limit on the size of files it writes.
pid_t Start(const std::string& capture, std::vector<std::string> arguments, bool ordinaryUser = false,
            rlim_t fileSizeLimit = RLIM_INFINITY) {
    std::fflush(nullptr);  // nothing of ours left buffered for the child to write out
    const pid_t pid = fork();
    if (pid == 0) {
        freopen((capture + "1").c_str(), "w", stdout);  // before giving up root, so no one else need write there
        freopen((capture + "2").c_str(), "w", stderr);
        if (ordinaryUser && !BecomeOrdinaryUser()) _exit(125);
        // A full disk, as far as the program can tell: writes past the limit fail with EFBIG.
        const rlimit limit{fileSizeLimit, fileSizeLimit};
        if (fileSizeLimit != RLIM_INFINITY && (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || setrlimit(RLIMIT_FSIZE, &limit) != 0))
            _exit(125);
        std::vector<char*> argv{const_cast<char*>(SNAPSIFT_CLI)};
        for (auto& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        _exit(execv(argv[0], argv.data()));
    }
    return pid;
}

Finished Wait(pid_t pid, const std::string& capture) {
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, WIFSIGNALED(status) ? WTERMSIG(status) : 0,
            ReadBytes(capture + "1"), ReadBytes(capture + "2")};
}

CliResult RunCli(const TempTree& tree, const std::vector<std::string>& arguments) {
    static int runs = 0;
    const std::string capture = tree.Text("capture-" + std::to_string(runs++));
    const Finished finished = Wait(Start(capture, arguments), capture);
    return {finished.exitCode, finished.out, finished.err};
}

// snapsift-cli in a temporary tree: to its end, or until the report has reached reportBytes and
// then the signal.
class CliTest : public ::testing::Test {
protected:
    Finished Run(std::vector<std::string> arguments, bool ordinaryUser = false, int signal = 0,
                 std::uintmax_t reportBytes = 0, rlim_t fileSizeLimit = RLIM_INFINITY) {
        tree.Folder("out");
        const std::string capture = tree.Text("capture" + std::to_string(runs++));
        const pid_t pid = Start(capture, std::move(arguments), ordinaryUser, fileSizeLimit);
        std::error_code noReport;
        for (int wait = 0; signal != 0 && wait < 30000; ++wait) {
            if (fs::file_size(ReportPath(), noReport) >= reportBytes && !noReport) break;
            usleep(1000);
        }
        if (signal != 0) kill(pid, signal);
        return Wait(pid, capture);
    }
    std::string ReportPath() const {  // the report of the one run folder, or ""
        const fs::directory_iterator folder(tree.Path("out"));
        return folder == fs::directory_iterator() ? "" : ToText(folder->path() / "Quorvia JPG Files.htm");
    }
    TempTree tree;
    int runs = 0;
};

// Run by user 65534 (when the tests run as root), so that a mode-000 folder cannot be opened and
// the evidence's access times cannot be kept; a copy whose name would pass the file system's limit
// is made under a shortened name; the scan goes on, and its report counts as incomplete.
TEST_F(CliTest, ExitStatusAndWhatGoesToStandardOutputAndError) {
    const std::string longName = "1111_222_333_444_555_" + std::string(224, 'x') + "5_n[1].jpg";
    tree.Entries({{"src/n12345_67[1].jpg", "abc"}, {"src/" + longName, "abc"}, {"src/Locked/n22222_22[1].jpg", "abc"},
                  {"src/Open/n33333_33[1].jpg", "a"}, {"out/", ""}});
    for (const char* folder : {"", "src", "src/Open"}) ASSERT_EQ(chmod(tree.Text(folder).c_str(), 0755), 0);
    ASSERT_EQ(chmod(tree.Text("out").c_str(), 0777), 0);
    ASSERT_EQ(chmod(tree.Text("src/Locked").c_str(), 0), 0);
    const std::string src = tree.Text("src"), out = tree.Text("out");
    const struct { std::vector<std::string> arguments; int status; std::string out, err; } cases[] = {
        {{"--folder", out + "/no", "--output", out}, 2, "", "Folder to search not found: " + out + "/no\n"},
        {{"--folder", src, "--output", out}, 3,
         "Operation complete.\n\nTotal files found: 3\nFolders that could not be read: 1\nReport: ",
         "Warning: access times will change. This user may read " + src + "/ (and files like it) only in a way "
         "that updates its last-access time. To keep access times, mount the evidence read-only or run as root.\n"
         "Cannot read folder: " + src + "/Locked/: Permission denied\n"}};
    for (const auto& c : cases) {
        const Finished finished = Run(c.arguments, true);
        const std::string report = ReportPath().empty() ? "" : ReportPath() + "\n";
        EXPECT_EQ(std::tuple(finished.exitCode, finished.out, finished.err),
                  std::tuple(c.status, c.out + report, c.err));
    }
    std::vector<std::size_t> lengths;
    for (const auto& made : fs::directory_iterator(fs::path(ReportPath()).parent_path()))
        lengths.push_back(made.path().filename().string().size());
    std::ranges::sort(lengths);
    EXPECT_EQ(lengths, (std::vector<std::size_t>{18, 18, 21, 255}));  // two copies, the report, the long copy
}

// The output's file system full (a file size limit of 1,000 bytes): copies and entries fail, and
// the run says so in its counts and its exit status.
TEST_F(CliTest, AFullOutputDiskMakesTheReportIncomplete) {
    for (int i = 0; i < 4; ++i) tree.File("src/n1234567_" + std::to_string(i) + "[1].jpg", kPhoto);
    const Finished finished = Run({"--folder", tree.Text("src"), "--output", tree.Text("out")}, false, 0, 0, 1000);
    EXPECT_EQ(finished.exitCode, 3);
    EXPECT_EQ(finished.out, "Operation complete.\n\nTotal files found: 4\nCopies that could not be made: 4\n"
                            "Entries that could not be written to the report: 3\nReport: " + ReportPath() + "\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(ReportPath()).parent_path()), {}), 1);
    // The one entry that fitted, then the tail: an entry that does not fit leaves nothing of itself.
    EXPECT_TRUE(ReadBytes(ReportPath()).ends_with("<br><br>\r\n<hr>End of Report<br>\r\nTotal files found: 4<hr>\r\n"
                                                  "</body></html>\r\n"));
}

// 1200 photos, and the signal sent once the report has reached the given size.
class CliSignalTest : public CliTest {
protected:
    void SetUp() override {
        for (int i = 0; i < 1200; ++i)
            tree.File("src/f" + std::to_string(i / 60) + "/n" + std::to_string(1000000 + i) + "_1_2[1].jpg", kPhoto);
    }
    // Runs a scan of src until the signal; then expects the report's entries, some but not all of them,
    // each whole and numbered in order with its copy. rest: what follows them.
    std::tuple<Finished, int, std::string> Interrupted(int signal, std::uintmax_t reportBytes) {
        const Finished finished = Run({"--folder", tree.Text("src"), "--output", tree.Text("out")}, false, signal,
                                      reportBytes);
        static const std::regex kEntry(
            "<hr>\r\n<b>Full path:</b> [^\r\n]+<br>\r\n<b>Short name:</b> [^\r\n]+<br>\r\n"
            "(<b>[A-Za-z ]+ time:</b> [^\r\n]+ \\(UTC\\) <br>\r\n){3}<b>MD5:</b> [0-9a-f]{32}<br>----<br>\r\n"
            "<b>This photo possibly belongs to Quorvia user ID #</b> <a href=\"http://www\\.quorvia\\.com/home\\.php"
            "\\?#/profile\\.php\\?id=(\\d+)\">\\2</a><br><br>\r\n<img src=\"([^\"]+-(\\d+)\\.jpg)\"><br><br>\r\n");
        const std::string report = ReadBytes(ReportPath());
        int entries = 0;
        auto at = report.cbegin() + static_cast<long>(std::min(report.find("<br>\r\n") + 6, report.size()));  // header
        for (std::smatch m; std::regex_search(at, report.cend(), m, kEntry, std::regex_constants::match_continuous);) {
            EXPECT_EQ(m[4].str(), std::to_string(++entries));
            EXPECT_EQ(ReadBytes(fs::path(ReportPath()).parent_path() / m[3].str()), kPhoto) << m[3];
            at = m[0].second;
        }
        EXPECT_TRUE(entries > 0 && entries < 1200) << entries;
        return {finished, entries, std::string(at, report.cend())};
    }
};

TEST_F(CliSignalTest, AKillLeavesWholeEntriesOnly) {
    const auto [finished, entries, rest] = Interrupted(SIGKILL, 50000);
    EXPECT_EQ(rest, "");
    EXPECT_EQ(std::tuple(finished.signal, finished.out, finished.err), std::tuple(SIGKILL, "", ""));
}

TEST_F(CliSignalTest, CtrlCEndsTheScanAsAnAbortedRun) {
    const auto [finished, entries, rest] = Interrupted(SIGINT, 3000);
    const std::string total = "Total files found: " + std::to_string(entries);
    EXPECT_EQ(rest,
              "<br><Br><hr>Operation was aborted before completion.<br>\r\n" + total + "<hr>\r\n</body></html>\r\n");
    EXPECT_EQ(std::tuple(finished.exitCode, finished.out, finished.err),
              std::tuple(1, "Operation aborted.\n\n" + total + "\nReport: " + ReportPath() + "\n", ""));
}

}  // namespace snapsift::test
