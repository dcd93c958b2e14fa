// snapsift-cli on POSIX: what an incomplete run says and returns (a folder it may not read or
// has seen, access times it cannot keep, a full output disk), and a run ended by Ctrl-C or a kill.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>


#include "report/CsvReport.h"
#include "support/CliRun.h"

namespace snapsift::test {

namespace fs = std::filesystem;

// 2,048 bytes of "j" and md5sum's word on them.
const std::string kPhoto(2048, 'j'), kPhotoMd5 = "b98fdf7ca3b2bbc4dc92b559890e34c4";

// A bind mount, undone at the end of the scope; empty when it could not be made.
struct Mount {
    Mount(const std::string& from, const std::string& at) : at(::mount(from.c_str(), at.c_str(), nullptr, MS_BIND, nullptr) == 0 ? at : "") {}
    ~Mount() { if (!at.empty()) ::umount2(at.c_str(), MNT_DETACH); }
    std::string at;
};

// What a run with gaps writes to standard output, its digest line left out.
std::string Summary(const TempTree& tree, const std::string& counts) {
    return "Operation complete.\n\nTotal files found: " + counts + "Report: " + ToText(RunReport(tree.Path("out"))) + "\n";
}

// Run by user 65534 (when the tests run as root), so that a mode-000 folder cannot be opened, below
// the root or as the root, and the evidence's access times cannot be kept (except on a read-only
// mount, where nothing moves them); as root, a mount of src below itself is a loop, said once, each
// photo reported once (a run that loops is killed once its report passes a megabyte). The scan goes
// on, and its report counts as incomplete and names the folder not read.
TEST(CliPosix, AnIncompleteRunSaysWhyOnStandardErrorAndExitsWithThree) {
    TempTree tree;
    tree.Entries({{"src/n12345_67[1].jpg", "abc"}, {"src/Locked/n22222_22[1].jpg", "abc"}, {"src/Open/n33333_33[1].jpg", "a"}, {"out/", ""}});
    for (const char* folder : {"", "src/Open"}) ASSERT_EQ(chmod(tree.Text(folder).c_str(), 0755), 0);
    ASSERT_EQ(chmod(tree.Text("out").c_str(), 0777), 0);
    const std::string src = tree.Text("src"), denied = "Permission denied";
    const std::string warning = "Warning: access times will change. This user may read " + src + "/ (and files like it) only in a way that "
                                "updates its last-access time. To keep access times, mount the evidence read-only or run as root.\n";
    // The folders and files read in a way that moved their access time: src, Open and a photo in each.
    const std::string accessTimes = "Files and folders whose access time changed when read: 4\n";
    const struct { const char* row; std::string unread; std::size_t found; std::string why, warning = "", more = "";
                   bool readOnly = false, loop = false; } cases[] = {
        {"a folder below the root", "src/Locked", 2, denied, warning, accessTimes},
        {"the root", "src", 0, denied},
        {"a read-only mount", "src/Locked", 2, denied, "", "", true},
        {"a mount of an ancestor", "src/Open/loop", 3, "A folder already searched (a loop); not searched again", "", "", false, true}};
    for (const auto& c : cases) {
        ASSERT_EQ(chmod(src.c_str(), 0755), 0);
        ASSERT_EQ(c.loop ? (tree.Folder(c.unread), 0) : chmod(tree.Text(c.unread).c_str(), 0), 0);
        const Mount mounted(c.readOnly || c.loop ? src : "", c.loop ? tree.Text(c.unread) : src);
        if ((c.readOnly || c.loop) && mounted.at.empty()) continue;  // no mounts here
        if (c.readOnly) {
            ASSERT_EQ(::mount(nullptr, src.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0);
        }
        const CliResult run = ScanSrc(tree, {}, {.ordinaryUser = !c.loop, .signal = SIGKILL, .sendWhen = [&] {
            siginfo_t ended{};
            if (::waitid(P_ALL, 0, &ended, WEXITED | WNOHANG | WNOWAIT) == 0 && ended.si_pid != 0) return true;
            std::error_code none;
            return fs::file_size(RunReport(tree.Path("out")), none) > 1'000'000 && !none;
        }});
        EXPECT_EQ(std::tuple(run.exitCode, WithoutDigestLine(run.out), run.err, ReportEntries(tree).size()),
                  std::tuple(3, Summary(tree, std::to_string(c.found) + "\nFolders that could not be read: 1\n" + c.more + "The report names each of them.\n"),
                             c.warning + "Cannot read folder: " + tree.Text(c.unread) + "/: " + c.why + "\n", c.found)) << c.row;
        EXPECT_TRUE(Holds(ReadBytes(RunReport(tree.Path("out"))), "&nbsp;" + tree.Text(c.unread) + "/: " + c.why + "<br>")) << c.row;
    }
}

// The output's file system full at `limit` bytes (at 0: one byte short of the whole report): what
// fails is counted, an entry that does not fit leaves nothing, a report without its header leaves
// no run folder, and the report never claims to have finished; a name in a message about a file
// that failed cannot steer the terminal.
TEST(CliPosix, AFullOutputDiskIsCountedAndTheReportNeverClaimsToBeWhole) {
    const struct { const char* row; std::vector<std::string> photos; std::string bytes; std::uint64_t limit; int status;
                   const char* counts; std::string err; std::size_t files, entries; } cases[] = {
        {"copies and entries", {"n1234567_0[1].jpg", "n1234567_1[1].jpg", "n1234567_2[1].jpg", "n1234567_3[1].jpg"}, kPhoto, 1500, 3,
         "4\nCopies that could not be made: 4\nEntries that could not be written to the report: 3\n"
         "Report lines that could not be written: 1\nThe report names each of them.\n", "", 4, 1},
        {"the report's header", {"n1234567_1[1].jpg"}, "abc", 50, 2, nullptr, "Error opening output file.\n", 0, 0},
        {"the report's tail", {"n1234567_1[1].jpg"}, "abc", 0, 3, "1\nReport lines that could not be written: 1\n", "", 5, 1},
        {"a name that would steer the terminal", {"e\x1B]0;x\x07\xE2\x80\xAE/n1234567_1[1].jpg"}, kPhoto, 1000, 3,
         "1\nCopies that could not be made: 1\nEntries that could not be written to the report: 1\nReport lines that could not be written: 1\n"
         "The report names each of them.\n",
         "/e\\x1B]0;x\\x07\\xE2\\x80\\xAE/n1234567_1[1].jpg. Error number: 27 (File too large).\n", 4, 0}};
    for (const auto& c : cases) {
        TempTree tree;
        for (const std::string& photo : c.photos) tree.File("src/" + photo, c.bytes);
        std::uint64_t limit = c.limit;
        if (limit == 0) {
            ASSERT_EQ(ScanSrc(tree).exitCode, 0);
            limit = fs::file_size(RunReport(tree.Path("out"))) - 1;
        }
        const CliResult run = ScanSrc(tree, {}, {.fileSizeLimit = limit});
        EXPECT_EQ(run.exitCode, c.status) << c.row;
        EXPECT_TRUE(Holds(run.err, c.err)) << c.row;
        EXPECT_EQ(std::distance(fs::directory_iterator(tree.Path("out")), {}), c.files > 0) << c.row;
        EXPECT_EQ(run.out.empty(), c.files == 0) << c.row;
        if (c.files == 0) continue;
        EXPECT_EQ(WithoutDigestLine(run.out), Summary(tree, c.counts)) << c.row;
        // The report, its CSV, SHA256SUMS, the timeline, and the copies made.
        EXPECT_EQ(std::distance(fs::directory_iterator(RunReport(tree.Path("out")).parent_path()), {}), c.files) << c.row;
        const ParsedReport report = ParseReport(ReadBytes(RunReport(tree.Path("out"))));
        EXPECT_EQ(std::tuple(report.entries.size(), report.rest, report.runEnd), std::tuple(c.entries, "", "")) << c.row;
    }
}

// 1200 photos, the signal sent once the report has reached so many bytes: the report's entries,
// some but not all of them, each whole and numbered in order with its copy, and the CSV's rows
// the same, each whole (a kill between an entry's two writes leaves its row alone out).
std::pair<CliResult, ParsedReport> Interrupted(TempTree& tree, int signal, std::uintmax_t reportBytes) {
    for (int i = 0; i < 1200; ++i) tree.File("src/f" + std::to_string(i / 60) + "/n" + std::to_string(1000000 + i) + "_1_2[1].jpg", kPhoto);
    const CliResult run = ScanSrc(tree, {}, {.signal = signal, .sendWhen = [&] {
        std::error_code none;
        return fs::file_size(RunReport(tree.Path("out")), none) >= reportBytes && !none;
    }});
    const fs::path report = RunReport(tree.Path("out"));
    const ParsedReport parsed = ParseReport(ReadBytes(report));
    EXPECT_TRUE(parsed.entries.size() > 0 && parsed.entries.size() < 1200) << parsed.entries.size();
    for (std::size_t i = 0; i < parsed.entries.size(); ++i) {
        const ParsedEntry& entry = parsed.entries[i];
        EXPECT_EQ(std::tuple(entry.md5, entry.image.ends_with(std::string("-") + std::to_string(i + 1) + ".jpg"), ReadBytes(report.parent_path() / entry.image)),
                  std::tuple(kPhotoMd5, true, kPhoto)) << entry.image;
    }
    const auto rows = ReadCsvRows(ReadBytes(report.parent_path() / "Quorvia JPG Files.csv"));
    EXPECT_TRUE(rows && rows->size() >= parsed.entries.size() && rows->size() <= parsed.entries.size() + 1);
    for (std::size_t i = 1; rows && i < rows->size(); ++i)
        EXPECT_EQ(std::tuple((*rows)[i][0], (*rows)[i][1], (*rows)[i][7]),
                  std::tuple(std::to_string(i), parsed.entries[i - 1].path, parsed.entries[i - 1].md5));
    return {run, parsed};
}

TEST(CliSignal, AKillLeavesWholeEntriesOnly) {
    TempTree tree;
    const auto [run, report] = Interrupted(tree, SIGKILL, 50000);
    EXPECT_EQ(std::tuple(run.signal, run.out, run.err, report.rest), std::tuple(SIGKILL, "", "", ""));
    // Killed before its end, the run has no digest list: a check of its folder cannot pass.
    const CliResult check = RunCli(tree, {"--verify", ToText(RunReport(tree.Path("out")).parent_path())});
    EXPECT_EQ(check.exitCode, 4);
    EXPECT_TRUE(Holds(check.out, "SHA256SUMS: the digest list is missing: nothing can be checked\n"));
}

TEST(CliSignal, CtrlCEndsTheScanAsAnAbortedRun) {
    TempTree tree;
    const auto [run, report] = Interrupted(tree, SIGINT, 3000);
    const std::string total = "Total files found: " + std::to_string(report.entries.size());
    EXPECT_EQ(report.rest, "<br><Br><hr>Operation was aborted before completion.<br>\r\n" + total + "<hr>\r\n</body></html>\r\n");
    EXPECT_TRUE(Holds(report.runEnd, "<b>Result:</b> aborted after entry " + std::to_string(report.entries.size()) + "<br>"));
    EXPECT_EQ(std::tuple(run.exitCode, WithoutDigestLine(run.out), run.err),
              std::tuple(1, "Operation aborted.\n\n" + total + "\nReport: " + ToText(RunReport(tree.Path("out"))) + "\n", ""));
    // Aborted, it still ends whole: its folder checks out, the report's total and the CSV agreeing.
    EXPECT_EQ(RunCli(tree, {"--verify", ToText(RunReport(tree.Path("out")).parent_path())}).exitCode, 0);
}

}  // namespace snapsift::test
