#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <stdexcept>

#include "support/TempTree.h"

namespace snapsift::test {

namespace fs = std::filesystem;

static const std::string kPhoto(2048, 'j');
struct Finished { int exitCode = -1, signal = 0; std::string out, err; };

// snapsift-cli with standard output and error going to files; killed if still running at the end.
struct CliProcess {
    CliProcess(std::vector<std::string> arguments, const std::string& capture) : capture_(capture) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, (capture + ".out").c_str(), O_WRONLY | O_CREAT, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, (capture + ".err").c_str(), O_WRONLY | O_CREAT, 0644);
        std::vector<char*> argv{const_cast<char*>(SNAPSIFT_CLI)};
        for (auto& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        const int error = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0) throw std::runtime_error("cannot start snapsift-cli");
    }
    CliProcess(const CliProcess&) = delete;
    ~CliProcess() { if (pid_ > 0) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0); }
    Finished Wait(int signal = 0) {
        int status = 0;
        if (signal != 0) kill(pid_, signal);
        waitpid(std::exchange(pid_, -1), &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, WIFSIGNALED(status) ? WTERMSIG(status) : 0,
                ReadBytes(capture_ + ".out"), ReadBytes(capture_ + ".err")};
    }
    pid_t pid_ = -1;
    std::string capture_;
};

// The report's entries, each whole and numbered in order with its copy; rest: what follows them.
static int WholeEntries(const fs::path& reportPath, std::string& rest) {
    static const std::regex kEntry(
        "<hr>\r\n<b>Full path:</b> [^\r\n]+<br>\r\n<b>Short name:</b> [^\r\n]+<br>\r\n"
        "(<b>[A-Za-z ]+ time:</b> [^\r\n]+ \\(UTC\\) <br>\r\n){3}<b>MD5:</b> [0-9a-f]{32}<br>----<br>\r\n"
        "<b>This photo possibly belongs to Quorvia user ID #</b> <a href=\"http://www\\.quorvia\\.com/home\\.php"
        "\\?#/profile\\.php\\?id=(\\d+)\">\\2</a><br><br>\r\n<img src=\"([^\"]+-(\\d+)\\.jpg)\"><br><br>\r\n");
    const std::string report = ReadBytes(reportPath);
    int entries = 0;
    auto at = report.cbegin() + static_cast<long>(std::min(report.find("<br>\r\n") + 6, report.size()));  // header
    for (std::smatch m; std::regex_search(at, report.cend(), m, kEntry, std::regex_constants::match_continuous);
         at = m[0].second) {
        EXPECT_EQ(m[4].str(), std::to_string(++entries));
        EXPECT_EQ(ReadBytes(reportPath.parent_path() / m[3].str()), kPhoto) << m[3];
    }
    rest.assign(at, report.cend());
    return entries;
}

class CliTest : public ::testing::Test {
protected:
    CliProcess Start(const std::vector<std::string>& arguments) {
        tree.Folder("out");
        return CliProcess(arguments, tree.Text("capture" + std::to_string(runs++)));
    }
    std::string ReportPath() const {  // the report of the one run folder, or ""
        for (const auto& folder : fs::directory_iterator(tree.Path("out")))
            return ToText(folder.path() / "Quorvia JPG Files.htm");
        return "";
    }
    TempTree tree;
    int runs = 0;
};

TEST_F(CliTest, ExitStatusAndWhatGoesToStandardOutputAndError) {
    // A copy whose name passes the file system's limit fails; the scan goes on.
    const std::string longName = "1111_222_333_444_555_" + std::string(224, 'x') + "5_n[1].jpg";
    tree.Entries({{"src/n12345_67[1].jpg", "abc"}, {"src/" + longName, "abc"}});
    const std::string src = tree.Text("src"), out = tree.Text("out");
    const std::string usage = "\nTry 'snapsift-cli --help' for more information.\n";
    const struct { std::vector<std::string> arguments; int status; std::string out, err; } cases[] = {
        {{"--version"}, 0, "snapsift-cli 1.2.0\n", ""},
        {{"--folder", src}, 2, "", "snapsift-cli: give --output DIR" + usage},
        {{"--folder", out + "/no", "--output", out}, 2, "", "Folder to search not found: " + out + "/no\n"},
        {{"--folder", src, "--output", out}, 0, "Operation complete.\n\nTotal files found: 2\nReport: ",
         "Error copying file: " + src + "/" + longName + ". Error number: 36. Click OK to continue.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        const Finished finished = Start(c.arguments).Wait();
        EXPECT_EQ(finished.exitCode, c.status);
        EXPECT_EQ(finished.err, c.err);
        EXPECT_EQ(finished.out, c.out + (ReportPath().empty() ? "" : ReportPath() + "\n"));
    }
}

// A kill leaves whole entries only; Ctrl-C ends the scan as an aborted run, status 1.
TEST_F(CliTest, AKillOrCtrlCInTheMiddleOfAScan) {
    for (int i = 0; i < 1200; ++i)
        tree.File("src/f" + std::to_string(i / 60) + "/n" + std::to_string(1000000 + i) + "_1_2[1].jpg", kPhoto);
    // The signal, and the size the report reaches before it is sent.
    const std::pair<int, std::uintmax_t> kinds[] = {{SIGKILL, 2000}, {SIGKILL, 100000}, {SIGINT, 3000}};
    for (const auto& [signal, reportBytes] : kinds) {
        SCOPED_TRACE(reportBytes);
        fs::remove_all(tree.Path("out"));
        CliProcess process = Start({"--folder", tree.Text("src"), "--output", tree.Text("out")});
        std::error_code error;  // no report yet
        for (int wait = 0; wait < 30000 && (fs::file_size(ReportPath(), error) < reportBytes || error); ++wait)
            usleep(1000);
        const Finished finished = process.Wait(signal);
        std::string rest;
        const int entries = WholeEntries(ReportPath(), rest);
        const std::string total = "Total files found: " + std::to_string(entries);
        EXPECT_TRUE(entries > 0 && entries < 1200) << entries;
        const bool killed = signal == SIGKILL;
        EXPECT_EQ(finished.signal, killed ? SIGKILL : 0);
        EXPECT_EQ(finished.exitCode, killed ? -1 : 1);
        EXPECT_EQ(rest, killed ? "" : "<br><Br><hr>Operation was aborted before completion.<br>\r\n" + total +
                                          "<hr>\r\n</body></html>\r\n");
        EXPECT_EQ(finished.out, killed ? "" : "Operation aborted.\n\n" + total + "\nReport: " + ReportPath() + "\n");
        EXPECT_EQ(finished.err, "");
    }
}

}  // namespace snapsift::test
