// What snapsift-cli says and returns, the same on Linux and on Windows: usage errors and checks
// that stop a run, the terminal's text, and --verify of a run folder. On POSIX, what an incomplete
// run says and returns (a folder it may not read or has seen, access times it cannot keep, a full
// output disk), and a run ended by Ctrl-C or a kill; on Windows, drive roots in every form an
// examiner types.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>

#ifndef _WIN32
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "cli/ConsoleText.h"
#include "hash/Sha256.h"
#include "report/CsvReport.h"
#include "report/Report.h"
#include "report/RunFiles.h"
#include "support/CliRun.h"
#include "text/Hex.h"

namespace snapsift::test {

namespace fs = std::filesystem;

TEST(Cli, UsageErrorsAndChecksStopWithStatusTwo) {
    TempTree tree;
    tree.Entries({{"src/", ""}, {"out/", ""}, {"disk.img", ""}});
    const std::string src = tree.Text("src"), out = tree.Text("out"), missing = tree.Text("missing");
    const std::string tryHelp = "\nTry 'snapsift-cli --help' for more information.\n",
                      alone = "snapsift-cli: --list-partitions FILE goes alone" + tryHelp, image = tree.Text("disk.img");
    const struct { std::vector<std::string> arguments; int status; std::string out, err; } cases[] = {
        {{"--version"}, 0, "snapsift-cli " SNAPSIFT_VERSION "\n", ""},
        {{"--folder", src}, 2, "", "snapsift-cli: give --output DIR" + tryHelp},
        {{"--folder", src, "--profiles", src, "--output", out}, 2, "", "snapsift-cli: give either --folder or --profiles, not both" + tryHelp},
        {{"--folder", src, "--output", out, "--frobnicate"}, 2, "", "snapsift-cli: unknown argument: --frobnicate" + tryHelp},
        {{"--folder", missing, "--output", out}, 2, "", "Folder to search not found: " + missing + "\n"},
        {{"--profiles", missing, "--output", out}, 2, "", "Drive root not found: " + missing + "\n"},
        {{"--folder", src, "--output", missing}, 2, "", "Output folder not found: " + missing + "\n"},
#ifdef SNAPSIFT_IMAGES
        // Whatever its form, and wherever the other option stands, nothing else is taken with it.
        {{"--list-partitions=" + image, "--no-photos"}, 2, "", alone}, {{"--no-photos", "--list-partitions", image}, 2, "", alone},
        {{"--list-partitions=" + image, "--output", out}, 2, "", alone}, {{"--no-photos", "--list-partitions=" + image}, 2, "", alone},
        {{"--folder", src, "--output", out, "--carve"}, 2, "", "snapsift-cli: --carve goes with --image" + tryHelp},
#endif
    };
    for (const auto& c : cases) {
        const CliResult result = RunCli(tree, c.arguments);
        EXPECT_EQ(std::tuple(result.exitCode, result.out, result.err), std::tuple(c.status, c.out, c.err)) << c.arguments.back();
    }
}

// One display rule for every reader: what a name holds that cannot be shown as itself is written
// "\xHH" per byte, a backslash that separates no names doubled; the report adds only its markup,
// the CSV its quoting, the terminal nothing. shown: the CSV's text (nullptr: every byte but "|"
// written out); html: the report's (nullptr: shown, each backslash as "&#92;"); terminal
// (nullptr: shown); windows: the report's where "\" is the separator.
TEST(DisplayRule, TheReportTheCsvAndTheTerminalShowANameAlike) {
    const struct { const char* row; std::string value; const char *shown, *html = nullptr, *terminal = nullptr, *windows = nullptr; } cases[] = {
        {"ordinary name", "n1_2[1] - a.b:c \xE6\xBC\xA2\xF0\x9F\x98\x80.jpg", "n1_2[1] - a.b:c \xE6\xBC\xA2\xF0\x9F\x98\x80.jpg",
         "n1_2[1] - a.b:c &#28450;&#128512;.jpg"},
        {"markup", "<a href=\"x\">Tom & 'J'</a>", "<a href=\"x\">Tom & 'J'</a>", "&lt;a href=&quot;x&quot;&gt;Tom &amp; 'J'&lt;/a&gt;"},
        // An overlong "/", a surrogate, a cut-off sequence, a byte alone.
        {"not UTF-8", "\xC0\xAF|\xED\xA0\x80|\xE6\xBC|\xFF", nullptr},
        {"C0, DEL, C1", std::string("\n\r\t\0\x7F\xC2\x85", 7), nullptr},
        {"terminal escape", "a\x1B[2Jb", "a\\x1B[2Jb"},
        {"bidirectional controls", "a\xE2\x80\xAEgpj|\xD8\x9C", "a\\xE2\\x80\\xAEgpj|\\xD8\\x9C"},
        // Soft hyphen, zero-width space, byte order mark, a variation selector, a tag, U+2069.
        {"invisible", "\xC2\xAD|\xE2\x80\x8B|\xEF\xBB\xBF|\xEF\xB8\x8F|\xF3\xA0\x81\x81|\xE2\x81\xA9", nullptr},
        // No-break space, ideographic space, line separator, narrow no-break space.
        {"white space", "\xC2\xA0|\xE3\x80\x80|\xE2\x80\xA8|\xE2\x80\xAF", nullptr},
        // U+2010, U+2027, U+205E, U+2070, U+FE10, U+E1000: just outside the ranges above.
        {"neighbours", "\xE2\x80\x90\xE2\x80\xA7\xE2\x81\x9E\xE2\x81\xB0\xEF\xB8\x90\xF3\xA1\x80\x80",
         "\xE2\x80\x90\xE2\x80\xA7\xE2\x81\x9E\xE2\x81\xB0\xEF\xB8\x90\xF3\xA1\x80\x80", "&#8208;&#8231;&#8286;&#8304;&#65040;&#921600;"},
        // A page shows two spaces as one; a terminal shows both.
        {"space runs", "a b  c   d", "a b \\x20c \\x20\\x20d", nullptr, "a b  c   d"},
        {"name's own \\xFF and byte FF", "\\xFF|\xFF", "\\\\xFF|\\xFF", nullptr, nullptr, "\\xFF|&#92;xFF"},
        {"formula", "=1+2", "\\x3D1+2", "=1+2", "=1+2"}};
    const bool windows = kSeparator == '\\';
    for (const auto& c : cases) {
        std::string shown = c.shown ? c.shown : "";
        for (std::size_t at = 0; !c.shown && at < c.value.size(); ++at) shown += c.value[at] == '|' ? "|" : "\\x" + HexText(c.value.substr(at, 1));
        std::string html = c.html ? c.html : "";
        for (std::size_t at = 0; !c.html && at < shown.size(); ++at) html += shown[at] == '\\' ? "&#92;" : shown.substr(at, 1);
        EXPECT_EQ(ReportText(c.value), windows && c.windows ? c.windows : html) << c.row;
        if (windows && c.windows) continue;
        ReportEntry entry;
        entry.fileName = c.value;
        const auto rows = ReadCsvRows("\xEF\xBB\xBF" + FormatCsvRow(entry));
        EXPECT_EQ(rows && rows->size() == 1 ? (*rows)[0][2] : "unreadable", shown) << c.row;
        EXPECT_EQ(cli::TerminalText(c.value, false), std::string(c.terminal ? c.terminal : shown) + "\n") << c.row;
    }
    // A URL is no path: its backslash is doubled on every system, in the listing as in the report.
    EXPECT_EQ(cli::TerminalText("http://a/\\xFF", false, '/'), "http://a/\\\\xFF\n");
    EXPECT_EQ(ReportText("http://a/\\xFF", '/'), "http://a/&#92;&#92;xFF");
}

TEST(DisplayRule, TheTerminalKeepsTheRunsLineBreaksAndCutsTheProgressLineAfterWritingOut) {
    // In a name's line, and in a message about one file, CR LF is written out too; the line breaks
    // of a message of the run's own stay.
    EXPECT_EQ(cli::ProgressLine(3, 7, "a\r\n", 200), "3 found, 7 examined: a\\x0D\\x0A");
    EXPECT_EQ(cli::TerminalText("Error copying file: /a\r\nOperation complete.", false), "Error copying file: /a\\x0D\\x0AOperation complete.\n");
    EXPECT_EQ(cli::TerminalText("Done.\r\n\r\nTotal: 1"), "Done.\n\nTotal: 1\n");
    // Cut to the width after the name is written out: 30 columns leave 8 for the path.
    EXPECT_EQ(cli::ProgressLine(3, 7, "/evidence/\x1B]0;x\x07", 30), "3 found, 7 examined: ...x\\x07");
}

// A run of two photos (one below a folder with a comma in its name) checked by --verify: whole,
// it matches (and sha256sum agrees where it is at hand); then each change is found and named,
// with status 4 (2 where no CSV is left to check against), each check ended in time: a name that
// leads out of the folder, or to what is no file, is never opened, nor counted as checked.
TEST(CliVerify, ARunFolderMatchesUntilSomethingInItChanges) {
    TempTree tree;
    const std::string photo = "\xFF\xD8\xFF\xE0 photo";
    tree.Entries({{"src/n1234567_890_123[1].jpg", photo}, {"src/a,b'c/n7654321_1_2[1].jpg", photo + "2"}, {"outside.txt", photo}});
    ASSERT_EQ(ScanSrc(tree).exitCode, 0);
    const fs::path run = RunReport(tree.Path("out")).parent_path();
    const std::string copy = "n1234567_890_123[1]-1.jpg", csv = "Quorvia JPG Files.csv", report = "Quorvia JPG Files.htm",
                      outside = tree.Text("outside.txt");
    const CliOptions inTime{.signal = 9};  // SIGKILL after 30 seconds; a Windows run takes none, and gives up after a minute
    const auto verify = [&] { return RunCli(tree, {"--verify", ToText(run)}, inTime); };
    const auto write = [&](const std::string& name, const std::string& text) { std::ofstream(run / name, std::ios::binary) << text; };
    const CliResult clean = verify();
    EXPECT_EQ(std::tuple(clean.exitCode, clean.out), std::tuple(0, "Digest list SHA-256: " + Sha256::Of(ReadBytes(run / "SHA256SUMS")) +
                                                                       "\nFiles checked: 7\nMissing: 0\nChanged: 0\nNot listed: 0\nEverything matches.\n"));
#ifndef _WIN32
    EXPECT_EQ(std::system(("cd '" + ToText(run) + "' && sha256sum --quiet -c SHA256SUMS").c_str()), 0);
#endif
    // Every file as the run left it, put back after each change.
    std::map<std::string, std::string> original;
    for (const auto& file : fs::directory_iterator(run)) original[file.path().filename().string()] = ReadBytes(file.path());
    const auto restore = [&] {
        for (const auto& file : fs::directory_iterator(run))
            if (!original.contains(file.path().filename().string()) || !fs::is_regular_file(fs::symlink_status(file.path())))
                fs::remove_all(file.path());
        for (const auto& [name, text] : original) write(name, text);
    };
    const auto edited = [&](const std::string& name, const std::string& from, const std::string& to) {
        std::string text = original[name];
        return text.replace(text.find(from), from.size(), to);
    };
    // A change made with the digest list made again over it, as one who forges both would.
    const auto relisted = [&](const std::string& name, const std::string& text) {
        std::string list;
        for (const auto& line : ReadDigestList(original["SHA256SUMS"]))
            list += DigestListLine(Sha256::Of(line->second == name ? text : original[line->second]), line->second);
        write(name, text), write("SHA256SUMS", list);
    };
    const auto listed = [&](const std::string& name) { write("SHA256SUMS", original["SHA256SUMS"] + DigestListLine(Sha256::Of(photo), name)); };
    const std::string notAFile = "Not a file of the run folder (a path, not a name in it): ";
#ifndef _WIN32
    const std::string special = "Not a file of the run folder (a FIFO, socket or device): ";
    const auto replaced = [&](const std::string& name, const std::function<bool(const std::string&)>& make) {
        return fs::remove(run / name), make(ToText(run / name));
    };
    const auto fifo = [](const std::string& at) { return ::mkfifo(at.c_str(), 0600) == 0; };
    const auto link = [](std::string to) { return [to](const std::string& at) { return ::symlink(to.c_str(), at.c_str()) == 0; }; };
    // A device is made by root alone; for another user, a FIFO stands in.
    const auto device = [&](const std::string& at) { return ::mknod(at.c_str(), S_IFCHR | 0600, makedev(1, 5)) == 0 || fifo(at); };
#endif
    const struct { const char* why; std::function<void()> change; std::string line; int status = 4; std::string also = ""; } rows[] = {
        {"a byte of a copy flipped", [&] { write(copy, edited(copy, "\xFF\xD8\xFF\xE0", "\xFF\xD8\xFF\xE1")); }, "Changed: " + copy},
        {"a copy removed", [&] { fs::remove(run / copy); }, "Missing: " + copy},
        {"a file added", [&] { write("notes.txt", "x"); }, "Not listed: notes.txt"},
        {"the CSV edited", [&] { write(csv, edited(csv, "1234567,", "7654321,")); }, "Changed: " + csv},
        {"the digest list removed", [&] { fs::remove(run / "SHA256SUMS"); },
         "SHA256SUMS: the digest list is missing: nothing can be checked"},
        {"a second line for a copy", [&] { write("SHA256SUMS", original["SHA256SUMS"] + DigestListLine(std::string(64, '0'), copy)); },
         "Listed twice with different digests: " + copy},
        {"a name up and out", [&] { listed("../../outside.txt"); }, notAFile + "../../outside.txt", 4, "Files checked: 7\n"},
        {"a name not UTF-8", [&] { listed("a\xFF.jpg"); }, "Missing: a\\xFF.jpg"},
        {"a copy's name in the CSV up and out", [&] { write(csv, edited(csv, copy, "../../outside.txt")); }, notAFile + "../../outside.txt"},
        {"a folder for a copy", [&] { fs::remove(run / copy), fs::create_directory(run / copy); },
         "Not a file of the run folder (a folder): " + copy},
        {"the report's total", [&] { relisted(report, edited(report, "Total files found: 2", "Total files found: 3")); },
         report + " says \"Total files found: 3\", " + csv + " holds 2 rows."},
        {"the CSV's entry numbers", [&] { relisted(csv, edited(csv, "\r\n2,", "\r\n3,")); },
         "The entry numbers of " + csv + " do not run from 1 to 2: row 2 is not entry 2."},
        // Killed while it wrote a row: the rows before it are checked, and the cut is said.
        {"the CSV's last row cut", [&] { write(csv, original[csv] + "3,/e/n1_2[1].jp"); },
         "The last row of Quorvia JPG Files.csv is cut short", 4, "Files checked: 7\n"},
        {"the CSV removed", [&] { fs::remove(run / csv); }, "Not a run folder (no readable " + csv + ")", 2},
#ifdef _WIN32
        {"a name up and out, Windows' way", [&] { listed("..\\..\\outside.txt"); }, notAFile + "..\\..\\outside.txt"},
        {"a long path", [&] { listed("\\\\?\\" + outside); }, notAFile + "\\\\?\\" + outside},
#else
        // An open of a FIFO would wait for a writer that never comes, a read of /dev/zero never end.
        {"a FIFO for a copy", [&] { replaced(copy, fifo); }, special + copy},
        {"a link to /dev/zero for a copy", [&] { replaced(copy, link("/dev/zero")); }, "Not a file of the run folder (a link): " + copy},
        {"a link to the same bytes", [&] { replaced(copy, link(outside)); }, "Not a file of the run folder (a link): " + copy},
        {"a device for a copy", [&] { replaced(copy, device); }, special + copy},
        {"a FIFO for the digest list", [&] { replaced("SHA256SUMS", fifo); }, special + "SHA256SUMS"},
        {"a FIFO for the CSV", [&] { replaced(csv, fifo); }, "Not a run folder (no readable " + csv + ")", 2},
#endif
    };
    for (const auto& row : rows) {
        row.change();
        const CliResult changed = verify();
        EXPECT_EQ(std::tuple(changed.exitCode, changed.out.ends_with("Not everything matches.\n")),
                  std::tuple(row.status, row.status == 4)) << row.why << ": " << changed.out;
        EXPECT_TRUE(Holds(changed.out + changed.err, row.line)) << row.why;
        EXPECT_TRUE(Holds(changed.out, row.also)) << row.why;
        restore();
    }
    EXPECT_EQ(RunCli(tree, {"--verify", tree.Text("src")}).exitCode, 2);
    EXPECT_EQ(RunCli(tree, {"--verify", ToText(run), "--no-photos"}).exitCode, 2);
}

#ifndef _WIN32
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
    const fs::path report = RunReport(tree.Path("out"));
    return "Operation complete.\n\nTotal files found: " + counts + "Report: " + ToText(report) + "\nSummary: " +
           ToText(report.parent_path() / "Quorvia user IDs.htm") + "\n";
}

// Run by user 65534 (when the tests run as root), so that a mode-000 folder cannot be opened, below
// the root or as the root, and the evidence's access times cannot be kept (except on a read-only
// mount, where nothing moves them); as root, a mount of src below itself is a loop, said once, each
// photo reported once (a run that loops is killed once its report passes a megabyte). The scan goes
// on, and its report counts as incomplete and names the folder not read.
TEST(CliPosix, AnIncompleteRunSaysWhyOnStandardErrorAndExitsWithThree) {
    TempTree tree;
    tree.Entries({{"src/n12345_67[1].jpg", "abc"}, {"src/Locked/n22222_22[1].jpg", "abc"}, {"src/Open/n33333_33[1].jpg", "a"}, {"out/", ""}});
    for (const auto& [folder, mode] : {std::pair{"", 0755}, {"src/Open", 0755}, {"out", 0777}}) ASSERT_EQ(chmod(tree.Text(folder).c_str(), mode), 0);
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
         "Report lines that could not be written: 1\nThe report names each of them.\n", "", 6, 1},
        {"the report's header", {"n1234567_1[1].jpg"}, "abc", 50, 2, nullptr, "Error opening output file.\n", 0, 0},
        {"the report's tail", {"n1234567_1[1].jpg"}, "abc", 0, 3, "1\nReport lines that could not be written: 1\n", "", 7, 1},
        {"a name that would steer the terminal", {"e\x1B]0;x\x07\xE2\x80\xAE/n1234567_1[1].jpg"}, kPhoto, 1000, 3,
         "1\nCopies that could not be made: 1\nEntries that could not be written to the report: 1\nReport lines that could not be written: 1\n"
         "The report names each of them.\n",
         "/e\\x1B]0;x\\x07\\xE2\\x80\\xAE/n1234567_1[1].jpg. Error number: 27 (File too large).\n", 6, 0}};
    for (const auto& c : cases) {
        TempTree tree;
        for (const std::string& photo : c.photos) tree.File("src/" + photo, c.bytes);
        std::uint64_t limit = c.limit;
        if (limit == 0) {
            ASSERT_EQ(ScanSrc(tree).exitCode, 0);
            limit = fs::file_size(RunReport(tree.Path("out"))) - 1;
        }
        const CliResult run = ScanSrc(tree, {}, {.fileSizeLimit = limit});
        EXPECT_TRUE(Holds(run.err, c.err)) << c.row;
        EXPECT_EQ(std::tuple(run.exitCode, std::distance(fs::directory_iterator(tree.Path("out")), {}), run.out.empty()),
                  std::tuple(c.status, c.files > 0, c.files == 0)) << c.row;
        if (c.files == 0) continue;
        // The report, its CSV, SHA256SUMS, the timeline, and the copies made.
        const ParsedReport report = ParseReport(ReadBytes(RunReport(tree.Path("out"))));
        EXPECT_EQ(std::tuple(WithoutDigestLine(run.out), std::distance(fs::directory_iterator(RunReport(tree.Path("out")).parent_path()), {}),
                             report.entries.size(), report.rest, report.runEnd), std::tuple(Summary(tree, c.counts), c.files, c.entries, "", "")) << c.row;
    }
}

// 1200 photos, the signal sent once the report has reached so many bytes. The report's entries are
// some but not all of them, each whole and numbered in order with its copy, and the CSV's rows the
// same, each whole (a kill between an entry's two writes leaves its row alone out). Killed, the
// run has no digest list, and a check of its folder cannot pass; Ctrl-C ends it as an aborted run,
// whole: its folder checks out, the report's total and the CSV agreeing.
TEST(CliSignal, AKillLeavesWholeEntriesOnlyAndCtrlCEndsTheScanAsAnAbortedRun) {
    const struct { int signal; std::uintmax_t reportBytes; int status, verified; std::string checked; } cases[] = {
        {SIGKILL, 50000, -1, 4, "SHA256SUMS: the digest list is missing: nothing can be checked\n"}, {SIGINT, 3000, 1, 0, "Everything matches.\n"}};
    for (const auto& c : cases) {
        TempTree tree;
        for (int i = 0; i < 1200; ++i) tree.File("src/f" + std::to_string(i / 60) + "/n" + std::to_string(1000000 + i) + "_1_2[1].jpg", kPhoto);
        const CliResult run = ScanSrc(tree, {}, {.signal = c.signal, .sendWhen = [&] {
            std::error_code none;
            return fs::file_size(RunReport(tree.Path("out")), none) >= c.reportBytes && !none;
        }});
        const fs::path report = RunReport(tree.Path("out"));
        const ParsedReport parsed = ParseReport(ReadBytes(report));
        const std::size_t found = parsed.entries.size();
        EXPECT_TRUE(found > 0 && found < 1200) << found;
        for (std::size_t i = 0; i < found; ++i)
            EXPECT_EQ(std::tuple(parsed.entries[i].md5, parsed.entries[i].image.ends_with(std::string("-") + std::to_string(i + 1) + ".jpg"),
                                 ReadBytes(report.parent_path() / parsed.entries[i].image)), std::tuple(kPhotoMd5, true, kPhoto)) << i;
        const auto rows = ReadCsvRows(ReadBytes(report.parent_path() / "Quorvia JPG Files.csv"));
        EXPECT_TRUE(rows && rows->size() >= found && rows->size() <= found + 1);
        for (std::size_t i = 1; rows && i < rows->size(); ++i)
            EXPECT_EQ(std::tuple((*rows)[i][0], (*rows)[i][1], (*rows)[i][7]), std::tuple(std::to_string(i), parsed.entries[i - 1].path, parsed.entries[i - 1].md5));
        const std::string total = "Total files found: " + std::to_string(found);
        const bool aborted = c.signal == SIGINT;
        EXPECT_EQ(std::tuple(run.exitCode, run.signal, WithoutDigestLine(run.out), run.err, parsed.rest),
                  std::tuple(c.status, aborted ? 0 : SIGKILL, aborted ? "Operation aborted.\n\n" + total + "\nReport: " + ToText(report) + "\nSummary: " +
                                            ToText(report.parent_path() / "Quorvia user IDs.htm") + "\n" : "", "",
                             aborted ? "<br><Br><hr>Operation was aborted before completion.<br>\r\n" + total + "<hr>\r\n</body></html>\r\n" : ""));
        EXPECT_TRUE(Holds(parsed.runEnd, aborted ? "<b>Result:</b> aborted after entry " + std::to_string(found) + "<br>" : ""));
        const CliResult check = RunCli(tree, {"--verify", ToText(report.parent_path())});
        EXPECT_EQ(check.exitCode, c.verified);
        EXPECT_TRUE(Holds(check.out, c.checked));
    }
}
#else
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
    for (const auto& [file, bytes] : {std::pair{"Users/ana/n1234567_890_123[1].jpg", "abc"}, {"Documents and Settings/bo/n7654321_1_2[1].jpg", "a"}})
        fs::create_directories((root / file).parent_path()), std::ofstream(root / file) << bytes;
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
                           report.parent_path().filename().string() + "\\Quorvia JPG Files.htm\nSummary: " + x + "\\" +
                           report.parent_path().filename().string() + "\\Quorvia user IDs.htm\n") << c.arguments[1];
    }
}
#endif

}  // namespace snapsift::test
