// snapsift-cli on POSIX: what an incomplete run says and returns (a folder it may not read,
// access times it cannot keep, a full output disk), and a run ended by Ctrl-C or a kill.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <utility>

#include "report/CsvReport.h"
#include "support/CliRun.h"
#include "support/ReportParser.h"

namespace snapsift::test {

namespace fs = std::filesystem;

// 2,048 bytes of "j" and md5sum's word on them.
const std::string kPhoto(2048, 'j'), kPhotoMd5 = "b98fdf7ca3b2bbc4dc92b559890e34c4";

// snapsift-cli searching src of a temporary tree, its run folder made in out.
class CliTest : public ::testing::Test {
protected:
    void SetUp() override { tree.Folder("out"); }
    CliResult Scan(const CliOptions& options = {}) {
        return RunCli(tree, {"--folder", tree.Text("src"), "--output", tree.Text("out")}, options);
    }
    fs::path Report() const { return RunReport(tree.Path("out")); }
    TempTree tree;
};

// Run by user 65534 (when the tests run as root), so that a mode-000 folder cannot be opened, below
// the root or as the root, and the evidence's access times cannot be kept (except on a read-only
// mount, where nothing moves them); the scan goes on, and its report counts as incomplete.
TEST_F(CliTest, AnIncompleteRunSaysWhyOnStandardErrorAndExitsWithThree) {
    tree.Entries({{"src/n12345_67[1].jpg", "abc"}, {"src/Locked/n22222_22[1].jpg", "abc"},
                  {"src/Open/n33333_33[1].jpg", "a"}});
    for (const char* folder : {"", "src", "src/Open"}) ASSERT_EQ(chmod(tree.Text(folder).c_str(), 0755), 0);
    ASSERT_EQ(chmod(tree.Text("out").c_str(), 0777), 0);
    const std::string src = tree.Text("src");
    // The folders and files read in a way that moved their access time: src, Open and a photo in each.
    const std::string accessTimes = "Files and folders whose access time changed when read: 4\n";
    const std::string lockedLine = "Cannot read folder: " + src + "/Locked/: Permission denied\n";
    const struct { const char *row, *locked; int found; std::string err, more = ""; bool readOnly = false; } cases[] = {
        {"a folder below the root", "src/Locked", 2, "Warning: access times will change. This user may read " + src +
         "/ (and files like it) only in a way that updates its last-access time. To keep access times, mount the "
         "evidence read-only or run as root.\n" + lockedLine, accessTimes},
        {"the root", "src", 0, "Cannot read folder: " + src + "/: Permission denied\n"},
        {"a read-only mount", "src/Locked", 2, lockedLine, "", true}};
    for (const auto& c : cases) {
        ASSERT_EQ(chmod(src.c_str(), 0755), 0);
        ASSERT_EQ(chmod(tree.Text(c.locked).c_str(), 0), 0);
        struct Unmount {
            std::string at;
            ~Unmount() { if (!at.empty()) ::umount2(at.c_str(), MNT_DETACH); }
        } mounted;
        if (c.readOnly) {
            if (::mount(src.c_str(), src.c_str(), nullptr, MS_BIND, nullptr) != 0) continue;  // no mounts here
            mounted.at = src;
            ASSERT_EQ(::mount(nullptr, src.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0);
        }
        const CliResult run = Scan({.ordinaryUser = true});
        EXPECT_EQ(std::tuple(run.exitCode, WithoutDigestLine(run.out), run.err),
                  std::tuple(3, "Operation complete.\n\nTotal files found: " + std::to_string(c.found) +
                                    "\nFolders that could not be read: 1\n" + c.more + "The report names each of them.\nReport: " +
                                    ToText(Report()) + "\n",
                             c.err))
            << c.row;
        // The report names the folder not read, and the files whose access time moved.
        const std::string report = ReadBytes(Report());
        EXPECT_NE(report.find("&nbsp;" + tree.Text(c.locked) + "/: Permission denied<br>"), std::string::npos) << c.row;
        fs::remove_all(Report().parent_path());
    }
}

// The output's file system full (a file size limit of 1,500 bytes: the report's opening lines and
// one entry): copies and entries fail, and the run says so in its counts and its exit status; an
// entry that does not fit leaves nothing, and the report never claims to have finished.
TEST_F(CliTest, AFullOutputDiskMakesTheReportIncomplete) {
    for (int i = 0; i < 4; ++i) tree.File("src/n1234567_" + std::to_string(i) + "[1].jpg", kPhoto);
    const CliResult run = Scan({.fileSizeLimit = 1500});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(WithoutDigestLine(run.out),
              "Operation complete.\n\nTotal files found: 4\nCopies that could not be made: 4\n"
              "Entries that could not be written to the report: 3\nReport lines that could not be written: 1\n"
              "The report names each of them.\nReport: " + ToText(Report()) + "\n");
    // No copy; the report, its CSV, SHA256SUMS and the timeline.
    EXPECT_EQ(std::distance(fs::directory_iterator(Report().parent_path()), {}), 4);
    const ParsedReport report = ParseReport(ReadBytes(Report()));
    EXPECT_EQ(std::tuple(report.entries.size(), report.rest, report.runEnd), std::tuple(1u, "", ""));
}

// The output disk full at the report's own lines: before the header is in, the run stops and
// leaves no run folder; after the last entry, the report has no tail and the run says so.
TEST_F(CliTest, AReportWhoseHeaderOrTailCannotBeWrittenIsNeverPresentedAsWhole) {
    tree.File("src/n1234567_1[1].jpg", "abc");
    ASSERT_EQ(Scan().exitCode, 0);
    const std::uintmax_t whole = fs::file_size(Report());
    const std::string tail = "<hr>End of Report<br>\r\nTotal files found: 1<hr>\r\n" +
                             ParseReport(ReadBytes(Report())).runEnd + "</body></html>\r\n";
    fs::remove_all(Report().parent_path());

    const CliResult noHeader = Scan({.fileSizeLimit = 50});
    EXPECT_EQ(std::tuple(noHeader.exitCode, noHeader.out, noHeader.err),
              std::tuple(2, "", "Error opening output file.\n"));
    EXPECT_EQ(std::distance(fs::directory_iterator(tree.Path("out")), {}), 0);

    const CliResult noTail = Scan({.fileSizeLimit = whole - 1});
    EXPECT_EQ(std::tuple(noTail.exitCode, WithoutDigestLine(noTail.out)),
              std::tuple(3, "Operation complete.\n\nTotal files found: 1\nReport lines that could not be written: 1\n"
                            "Report: " + ToText(Report()) + "\n"));
    const ParsedReport report = ParseReport(ReadBytes(Report()));
    EXPECT_EQ(std::tuple(report.entries.size(), report.rest + report.runEnd, fs::file_size(Report())),
              std::tuple(1u, "", whole - tail.size()));
}

// src/A/loop is src itself, mounted there (as root only). The run ends, says the loop once, and
// reports each photo once; a run that loops is killed once its report passes a megabyte.
TEST_F(CliTest, AMountOfAnAncestorIsWalkedOnce) {
    tree.Entries({{"src/n11111_11[1].jpg", "a"}, {"src/A/n22222_22[1].jpg", "b"}, {"src/A/loop/", ""}});
    if (::mount(tree.Text("src").c_str(), tree.Text("src/A/loop").c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "no bind mount here: " << std::strerror(errno);
    struct Unmount {
        std::string at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } mounted{tree.Text("src/A/loop")};
    const CliResult run = Scan({.signal = SIGKILL, .sendWhen = [&] {
        siginfo_t ended{};
        if (::waitid(P_ALL, 0, &ended, WEXITED | WNOHANG | WNOWAIT) == 0 && ended.si_pid != 0) return true;
        std::error_code none;
        return fs::file_size(Report(), none) > 1'000'000 && !none;
    }});
    EXPECT_EQ(std::tuple(run.exitCode, run.signal, run.err),
              std::tuple(3, 0, "Cannot read folder: " + tree.Text("src/A/loop/") +
                                   ": A folder already searched (a loop); not searched again\n"));
    EXPECT_EQ(WithoutDigestLine(run.out), "Operation complete.\n\nTotal files found: 2\nFolders that could not be read: 1\n"
                                          "The report names each of them.\nReport: " + ToText(Report()) + "\n");
    std::vector<std::string> paths;
    for (const ParsedEntry& entry : ParseReport(ReadBytes(Report())).entries) paths.push_back(entry.path);
    EXPECT_EQ(paths, (std::vector{tree.Text("src/n11111_11[1].jpg"), tree.Text("src/A/n22222_22[1].jpg")}));
}

// A folder whose name would retitle the terminal and reverse what follows: its photo's copy fails
// (the disk full at 1,000 bytes), and the message writes those characters out, byte by byte.
TEST_F(CliTest, AFileNameCannotSteerTheTerminal) {
    tree.File("src/e\x1B]0;x\x07\xE2\x80\xAE/n1234567_1[1].jpg", kPhoto);
    const CliResult run = Scan({.fileSizeLimit = 1000});
    EXPECT_EQ(std::tuple(run.exitCode, run.err),
              std::tuple(3, "Error copying file: " + tree.Text("src") +
                                "/e\\x1B]0;x\\x07\\xE2\\x80\\xAE/n1234567_1[1].jpg. Error number: 27 (File too large).\n"
                                "Error writing to HTML report for file: " + tree.Text("src") +
                                "/e\\x1B]0;x\\x07\\xE2\\x80\\xAE/n1234567_1[1].jpg.\n"));
}

// --verify with something else than a file in a file's place, or a listed name that leads to
// a FIFO outside the run folder: each is named, status 4 (2 for the CSV), and none is opened:
// an open of a FIFO would wait for a writer that never comes, a read of /dev/zero would never
// end, and the check would be killed after 30 seconds.
TEST_F(CliTest, VerifyOpensNothingButTheRunFoldersOwnFiles) {
    tree.File("src/n1234567_1[1].jpg", kPhoto);
    tree.File("photo", kPhoto);
    ASSERT_EQ(Scan().exitCode, 0);
    ASSERT_EQ(::mkfifo(tree.Text("fifo").c_str(), 0600), 0);
    const fs::path run = Report().parent_path();
    const std::string copy = "n1234567_1[1]-1.jpg", list = ReadBytes(run / "SHA256SUMS");
    const auto fifo = [](const std::string& at) { return ::mkfifo(at.c_str(), 0600) == 0; };
    const auto link = [](std::string to) {
        return [to](const std::string& at) { return ::symlink(to.c_str(), at.c_str()) == 0; };
    };
    const std::string special = "Not a file of the run folder (a FIFO, socket or device): ";
    const struct { const char* why; std::string name; std::function<bool(const std::string&)> make; std::string line;
                   int status = 4; } rows[] = {
        {"a FIFO for a copy", copy, fifo, special + copy},
        {"a link to /dev/zero for a copy", copy, link("/dev/zero"), "Not a file of the run folder (a link): " + copy},
        {"a link to the same bytes outside", copy, link(tree.Text("photo")), "Not a file of the run folder (a link): " + copy},
        {"a device for a copy", copy,
         [](const std::string& at) { return ::mknod(at.c_str(), S_IFCHR | 0600, makedev(1, 5)) == 0; }, special + copy},
        {"a FIFO for the digest list", "SHA256SUMS", fifo, special + "SHA256SUMS"},
        {"a name that leads to a FIFO outside", "SHA256SUMS",
         [&](const std::string& at) {
             return static_cast<bool>(std::ofstream(at) << list << std::string(64, '0') << "  ../../fifo\n");
         },
         "Not a file of the run folder (a path, not a name in it): ../../fifo"},
        {"a FIFO for the CSV", "Quorvia JPG Files.csv", fifo, "Not a run folder (no readable Quorvia JPG Files.csv)", 2}};
    for (const auto& row : rows) {
        const std::string kept = ReadBytes(run / row.name);
        fs::remove(run / row.name);
        if (row.make(ToText(run / row.name))) {
            const CliResult checked = RunCli(tree, {"--verify", ToText(run)}, {.signal = SIGKILL});
            EXPECT_EQ(std::tuple(checked.exitCode, checked.signal), std::tuple(row.status, 0)) << row.why;
            EXPECT_NE((checked.out + checked.err).find(row.line), std::string::npos)
                << row.why << ": " << checked.out << checked.err;
        } else {
            EXPECT_EQ(errno, EPERM) << row.why;  // a device is made by root alone
        }
        fs::remove(run / row.name);
        std::ofstream(run / row.name, std::ios::binary) << kept;
    }
    EXPECT_EQ(RunCli(tree, {"--verify", ToText(run)}).exitCode, 0);
}

// 1200 photos, and the signal sent once the report has reached the given size.
class CliSignalTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        for (int i = 0; i < 1200; ++i)
            tree.File("src/f" + std::to_string(i / 60) + "/n" + std::to_string(1000000 + i) + "_1_2[1].jpg", kPhoto);
    }
    // Expects the report's entries, some but not all of them, each whole and numbered in order
    // with its copy.
    std::pair<CliResult, ParsedReport> Interrupted(int signal, std::uintmax_t reportBytes) {
        const CliResult run = Scan({.signal = signal, .sendWhen = [&] {
            std::error_code none;
            return fs::file_size(Report(), none) >= reportBytes && !none;
        }});
        const ParsedReport report = ParseReport(ReadBytes(Report()));
        EXPECT_TRUE(report.entries.size() > 0 && report.entries.size() < 1200) << report.entries.size();
        for (std::size_t i = 0; i < report.entries.size(); ++i) {
            const ParsedEntry& entry = report.entries[i];
            const std::string number = std::to_string(i + 1);
            EXPECT_EQ(entry.md5, kPhotoMd5) << entry.path;
            EXPECT_TRUE(entry.image.ends_with("-" + number + ".jpg")) << entry.image;
            EXPECT_EQ(ReadBytes(Report().parent_path() / entry.image), kPhoto) << entry.image;
        }
        // The CSV holds the same entries, each row whole; a kill between an entry's two writes
        // leaves its row alone out.
        const auto rows = ReadCsvRows(ReadBytes(Report().parent_path() / "Quorvia JPG Files.csv"));
        EXPECT_TRUE(rows && rows->size() >= report.entries.size() && rows->size() <= report.entries.size() + 1);
        for (std::size_t i = 1; rows && i < rows->size(); ++i)
            EXPECT_EQ(std::tuple((*rows)[i][0], (*rows)[i][1], (*rows)[i][7]),
                      std::tuple(std::to_string(i), report.entries[i - 1].path, report.entries[i - 1].md5));
        return {run, report};
    }
};

TEST_F(CliSignalTest, AKillLeavesWholeEntriesOnly) {
    const auto [run, report] = Interrupted(SIGKILL, 50000);
    EXPECT_EQ(std::tuple(run.signal, run.out, run.err, report.rest), std::tuple(SIGKILL, "", "", ""));
    // Killed before its end, the run has no digest list: a check of its folder cannot pass.
    const CliResult check = RunCli(tree, {"--verify", ToText(Report().parent_path())});
    EXPECT_EQ(check.exitCode, 4);
    EXPECT_NE(check.out.find("SHA256SUMS: the digest list is missing: nothing can be checked\n"), std::string::npos)
        << check.out;
}

TEST_F(CliSignalTest, CtrlCEndsTheScanAsAnAbortedRun) {
    const auto [run, report] = Interrupted(SIGINT, 3000);
    const std::string total = "Total files found: " + std::to_string(report.entries.size());
    EXPECT_EQ(report.rest,
              "<br><Br><hr>Operation was aborted before completion.<br>\r\n" + total + "<hr>\r\n</body></html>\r\n");
    EXPECT_NE(report.runEnd.find("<b>Result:</b> aborted after entry " + std::to_string(report.entries.size()) + "<br>"),
              std::string::npos);
    EXPECT_EQ(std::tuple(run.exitCode, WithoutDigestLine(run.out), run.err),
              std::tuple(1, "Operation aborted.\n\n" + total + "\nReport: " + ToText(Report()) + "\n", ""));
    // Aborted, it still ends whole: its folder checks out, the report's total and the CSV agreeing.
    EXPECT_EQ(RunCli(tree, {"--verify", ToText(Report().parent_path())}).exitCode, 0);
}

}  // namespace snapsift::test
