// What snapsift-cli says and returns, the same on Linux and on Windows: usage errors and checks
// that stop a run, the terminal's text, and --verify of a run folder; on Windows, drive roots in
// every form an examiner types.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <map>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/sysmacros.h>
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
        {{"--list-partitions=" + image, "--output", out}, 2, "", alone},
#endif
    };
    for (const auto& c : cases) {
        const CliResult result = RunCli(tree, c.arguments);
        EXPECT_EQ(std::tuple(result.exitCode, result.out, result.err), std::tuple(c.status, c.out, c.err)) << c.arguments.back();
    }
}

// Each byte but "|" as "\xHH".
std::string AllWrittenOut(std::string_view value) {
    std::string out;
    for (const char c : value) out += c == '|' ? "|" : "\\x" + HexText(std::string_view(&c, 1));
    return out;
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
        const std::string shown = c.shown ? c.shown : AllWrittenOut(c.value);
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
#ifdef _WIN32
    const CliOptions inTime;  // the Windows runner gives up after a minute by itself
#else
    const CliOptions inTime{.signal = SIGKILL};  // after 30 seconds
#endif
    const auto verify = [&] { return RunCli(tree, {"--verify", ToText(run)}, inTime); };
    const auto write = [&](const std::string& name, const std::string& text) { std::ofstream(run / name, std::ios::binary) << text; };
    const CliResult clean = verify();
    EXPECT_EQ(std::tuple(clean.exitCode, clean.out), std::tuple(0, "Digest list SHA-256: " + Sha256::Of(ReadBytes(run / "SHA256SUMS")) +
                                                                       "\nFiles checked: 5\nMissing: 0\nChanged: 0\nNot listed: 0\nEverything matches.\n"));
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
    ASSERT_EQ(::mkfifo(tree.Text("fifo").c_str(), 0600), 0);
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
        {"a name up and out", [&] { listed("../../outside.txt"); }, notAFile + "../../outside.txt", 4, "Files checked: 5\n"},
        {"an absolute name", [&] { listed(outside); }, notAFile + outside},
        {"a name in a subfolder not there", [&] { listed("sub/" + copy); }, notAFile + "sub/" + copy},
        {"a name not UTF-8", [&] { listed("a\xFF.jpg"); }, "Missing: a\\xFF.jpg"},
        {"a copy's name in the CSV up and out", [&] { write(csv, edited(csv, copy, "../../outside.txt")); }, notAFile + "../../outside.txt"},
        {"a copy's name in the CSV not UTF-8", [&] { write(csv, edited(csv, copy, "a\\xFF.jpg")); }, "Missing: a\\xFF.jpg"},
        {"a folder for a copy", [&] { fs::remove(run / copy), fs::create_directory(run / copy); },
         "Not a file of the run folder (a folder): " + copy},
        {"the report's total", [&] { relisted(report, edited(report, "Total files found: 2", "Total files found: 3")); },
         report + " says \"Total files found: 3\", " + csv + " holds 2 rows."},
        {"the CSV's entry numbers", [&] { relisted(csv, edited(csv, "\r\n2,", "\r\n3,")); },
         "The entry numbers of " + csv + " do not run from 1 to 2: row 2 is not entry 2."},
        // Killed while it wrote a row: the rows before it are checked, and the cut is said.
        {"the CSV's last row cut", [&] { write(csv, original[csv] + "3,/e/n1_2[1].jp"); },
         "The last row of Quorvia JPG Files.csv is cut short", 4, "Files checked: 5\n"},
        {"the CSV removed", [&] { fs::remove(run / csv); }, "Not a run folder (no readable " + csv + ")", 2},
#ifdef _WIN32
        {"a name up and out, Windows' way", [&] { listed("..\\..\\outside.txt"); }, notAFile + "..\\..\\outside.txt"},
        {"a name on a drive", [&] { listed(outside.substr(0, 2) + "outside.txt"); }, notAFile + outside.substr(0, 2) + "outside.txt"},
        {"a stream of a copy", [&] { listed(copy + ":stream"); }, notAFile + copy + ":stream"},
        {"a long path", [&] { listed("\\\\?\\" + outside); }, notAFile + "\\\\?\\" + outside},
#else
        // An open of a FIFO would wait for a writer that never comes, a read of /dev/zero never end.
        {"a FIFO for a copy", [&] { replaced(copy, fifo); }, special + copy},
        {"a link to /dev/zero for a copy", [&] { replaced(copy, link("/dev/zero")); }, "Not a file of the run folder (a link): " + copy},
        {"a link to the same bytes", [&] { replaced(copy, link(outside)); }, "Not a file of the run folder (a link): " + copy},
        {"a device for a copy", [&] { replaced(copy, device); }, special + copy},
        {"a FIFO for the digest list", [&] { replaced("SHA256SUMS", fifo); }, special + "SHA256SUMS"},
        {"a name that leads to a FIFO outside", [&] { listed("../../fifo"); }, notAFile + "../../fifo"},
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
    EXPECT_EQ(verify().out, clean.out);
    EXPECT_EQ(RunCli(tree, {"--verify", tree.Text("src")}).exitCode, 2);
    EXPECT_EQ(RunCli(tree, {"--verify", ToText(run), "--no-photos"}).exitCode, 2);
}

#ifdef _WIN32
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
#endif

}  // namespace snapsift::test
