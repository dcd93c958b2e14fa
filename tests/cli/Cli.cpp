// What snapsift-cli says and returns, the same on Linux and on Windows: usage errors and checks
// that stop a run. (A whole scan's summary and report: Cli_posix.cpp, Cli_win.cpp.)
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <map>

#include "cli/ConsoleText.h"
#include "hash/Sha256.h"
#include "report/CsvReport.h"
#include "report/Report.h"
#include "report/RunFiles.h"
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

// One display rule for every reader: what a name holds that cannot be shown as itself is written
// "\xHH" per byte, a backslash that separates no names doubled; the report adds only its markup,
// the CSV its quoting, the terminal nothing. windows: the row where a backslash separates names.
TEST(DisplayRule, TheReportTheCsvAndTheTerminalShowANameAlike) {
    const struct {
        const char* row;
        std::string value;
        const char *html, *csv, *terminal;
        const char* windows = nullptr;  // the report's text where "\" is the separator
    } cases[] = {
        {"ordinary name", "n1234567_890_123[1] - a.b:c \xE6\xBC\xA2\xF0\x9F\x98\x80.jpg",
         "n1234567_890_123[1] - a.b:c &#28450;&#128512;.jpg", "n1234567_890_123[1] - a.b:c \xE6\xBC\xA2\xF0\x9F\x98\x80.jpg",
         "n1234567_890_123[1] - a.b:c \xE6\xBC\xA2\xF0\x9F\x98\x80.jpg"},
        {"markup", "<a href=\"x\">Tom & 'J'</a>", "&lt;a href=&quot;x&quot;&gt;Tom &amp; 'J'&lt;/a&gt;",
         "<a href=\"x\">Tom & 'J'</a>", "<a href=\"x\">Tom & 'J'</a>"},
        // An overlong "/", a surrogate, a cut-off sequence, a byte alone.
        {"not UTF-8", "\xC0\xAF|\xED\xA0\x80|\xE6\xBC|\xFF", "&#92;xC0&#92;xAF|&#92;xED&#92;xA0&#92;x80|&#92;xE6&#92;xBC|&#92;xFF",
         "\\xC0\\xAF|\\xED\\xA0\\x80|\\xE6\\xBC|\\xFF", "\\xC0\\xAF|\\xED\\xA0\\x80|\\xE6\\xBC|\\xFF"},
        {"C0, DEL, C1", std::string("\n\r\t\0\x7F\xC2\x85", 7), "&#92;x0A&#92;x0D&#92;x09&#92;x00&#92;x7F&#92;xC2&#92;x85",
         "\\x0A\\x0D\\x09\\x00\\x7F\\xC2\\x85", "\\x0A\\x0D\\x09\\x00\\x7F\\xC2\\x85"},
        {"terminal escape", "a\x1B[2Jb", "a&#92;x1B[2Jb", "a\\x1B[2Jb", "a\\x1B[2Jb"},
        {"bidirectional controls", "a\xE2\x80\xAEgpj|\xD8\x9C|\xE2\x81\xA9",
         "a&#92;xE2&#92;x80&#92;xAEgpj|&#92;xD8&#92;x9C|&#92;xE2&#92;x81&#92;xA9", "a\\xE2\\x80\\xAEgpj|\\xD8\\x9C|\\xE2\\x81\\xA9",
         "a\\xE2\\x80\\xAEgpj|\\xD8\\x9C|\\xE2\\x81\\xA9"},
        // Soft hyphen, zero-width space, byte order mark, a variation selector, a tag.
        {"invisible", "\xC2\xAD|\xE2\x80\x8B|\xEF\xBB\xBF|\xEF\xB8\x8F|\xF3\xA0\x81\x81",
         "&#92;xC2&#92;xAD|&#92;xE2&#92;x80&#92;x8B|&#92;xEF&#92;xBB&#92;xBF|&#92;xEF&#92;xB8&#92;x8F|&#92;xF3&#92;xA0&#92;x81&#92;x81",
         "\\xC2\\xAD|\\xE2\\x80\\x8B|\\xEF\\xBB\\xBF|\\xEF\\xB8\\x8F|\\xF3\\xA0\\x81\\x81",
         "\\xC2\\xAD|\\xE2\\x80\\x8B|\\xEF\\xBB\\xBF|\\xEF\\xB8\\x8F|\\xF3\\xA0\\x81\\x81"},
        // No-break space, ideographic space, line separator, narrow no-break space.
        {"white space", "\xC2\xA0|\xE3\x80\x80|\xE2\x80\xA8|\xE2\x80\xAF",
         "&#92;xC2&#92;xA0|&#92;xE3&#92;x80&#92;x80|&#92;xE2&#92;x80&#92;xA8|&#92;xE2&#92;x80&#92;xAF",
         "\\xC2\\xA0|\\xE3\\x80\\x80|\\xE2\\x80\\xA8|\\xE2\\x80\\xAF", "\\xC2\\xA0|\\xE3\\x80\\x80|\\xE2\\x80\\xA8|\\xE2\\x80\\xAF"},
        // U+2010, U+2027, U+205E, U+2070, U+FE10, U+E1000: just outside the ranges above.
        {"neighbours", "\xE2\x80\x90\xE2\x80\xA7\xE2\x81\x9E\xE2\x81\xB0\xEF\xB8\x90\xF3\xA1\x80\x80",
         "&#8208;&#8231;&#8286;&#8304;&#65040;&#921600;",
         "\xE2\x80\x90\xE2\x80\xA7\xE2\x81\x9E\xE2\x81\xB0\xEF\xB8\x90\xF3\xA1\x80\x80",
         "\xE2\x80\x90\xE2\x80\xA7\xE2\x81\x9E\xE2\x81\xB0\xEF\xB8\x90\xF3\xA1\x80\x80"},
        // A page shows two spaces as one; a terminal shows both.
        {"space runs", "a b  c   d", "a b &#92;x20c &#92;x20&#92;x20d", "a b \\x20c \\x20\\x20d", "a b  c   d"},
        {"name's own \\xFF and byte FF", "\\xFF|\xFF", "&#92;&#92;xFF|&#92;xFF", "\\\\xFF|\\xFF", "\\\\xFF|\\xFF",
         "\\xFF|&#92;xFF"},
        {"formula", "=1+2", "=1+2", "\\x3D1+2", "=1+2"}};
    const bool windows = kSeparator == '\\';
    for (const auto& c : cases) {
        EXPECT_EQ(ReportText(c.value), windows && c.windows ? c.windows : c.html) << c.row;
        ReportEntry entry;
        entry.fileName = c.value;
        const auto rows = ReadCsvRows("\xEF\xBB\xBF" + FormatCsvRow(entry));
        ASSERT_TRUE(rows && rows->size() == 1) << c.row;
        if (windows && c.windows) continue;
        EXPECT_EQ((*rows)[0][2], c.csv) << c.row;
        EXPECT_EQ(cli::TerminalText(c.value, false), std::string(c.terminal) + "\n") << c.row;
    }
    // A URL is no path: its backslash is doubled on every system, in the listing as in the report.
    EXPECT_EQ(cli::TerminalText("http://a/\\xFF", false, '/'), "http://a/\\\\xFF\n");
    EXPECT_EQ(ReportText("http://a/\\xFF", '/'), "http://a/&#92;&#92;xFF");
}

TEST(DisplayRule, TheTerminalKeepsTheRunsLineBreaksAndCutsTheProgressLineAfterWritingOut) {
    EXPECT_EQ(cli::ProgressLine(3, 7, "x\xE2\x80\xAEgpj", 200), "3 found, 7 examined: x\\xE2\\x80\\xAEgpj");
    // In a name's line, and in a message about one file, CR LF is written out too; the line breaks
    // of a message of the run's own stay.
    EXPECT_EQ(cli::ProgressLine(3, 7, "a\r\n", 200), "3 found, 7 examined: a\\x0D\\x0A");
    EXPECT_EQ(cli::TerminalText("Error copying file: /a\r\nOperation complete.", false),
              "Error copying file: /a\\x0D\\x0AOperation complete.\n");
    EXPECT_EQ(cli::TerminalText("Done.\r\n\r\nTotal: 1"), "Done.\n\nTotal: 1\n");
    // Cut to the width after the name is written out: 30 columns leave 8 for the path.
    EXPECT_EQ(cli::ProgressLine(3, 7, "/evidence/\x1B]0;x\x07", 30), "3 found, 7 examined: ...x\\x07");
}

#ifdef SNAPSIFT_IMAGES
// Whatever its form, and wherever the other option stands, nothing else is taken with it.
TEST(Cli, ListPartitionsGoesAlone) {
    TempTree tree;
    tree.File("disk.img", std::string(512, '\0'));
    const std::string image = tree.Text("disk.img"), out = tree.Folder("out");
    const std::string alone = "snapsift-cli: --list-partitions FILE goes alone\nTry 'snapsift-cli --help' for more information.\n";
    const struct { const char* row; std::vector<std::string> arguments; } cases[] = {
        {"joined, a flag after", {"--list-partitions=" + image, "--no-photos"}},
        {"joined, a flag before", {"--no-photos", "--list-partitions=" + image}},
        {"separate, a flag before", {"--no-photos", "--list-partitions", image}},
        {"joined, an option with a value", {"--list-partitions=" + image, "--output", out}}};
    for (const auto& c : cases) {
        const CliResult result = RunCli(tree, c.arguments);
        EXPECT_EQ(std::tuple(result.exitCode, result.out, result.err), std::tuple(2, "", alone)) << c.row;
    }
}
#endif

}  // namespace snapsift::test

namespace snapsift::test {

// A run of two photos (one below a folder with a comma in its name) checked by
// --verify: whole, it matches (and sha256sum agrees where it is at hand), and the digest list's
// own SHA-256 is said; then each change is found and named, with status 4 (2 where no CSV is
// left to check against), each check ended in time: a name that leads out of the folder is
// never opened, nor counted as checked. A folder that is no run folder gives 2.
TEST(CliVerify, ARunFolderMatchesUntilSomethingInItChanges) {
    TempTree tree;
    const std::string photo = "\xFF\xD8\xFF\xE0 photo";
    tree.Entries({{"src/n1234567_890_123[1].jpg", photo}, {"src/a,b'c/n7654321_1_2[1].jpg", photo + "2"}, {"out/", ""},
                  {"outside.txt", photo}});
    ASSERT_EQ(RunCli(tree, {"--folder", tree.Text("src"), "--output", tree.Text("out")}).exitCode, 0);
    const std::filesystem::path run = RunReport(tree.Path("out")).parent_path();
    const std::string runText = ToText(run), copy = "n1234567_890_123[1]-1.jpg", csv = "Quorvia JPG Files.csv",
                      report = "Quorvia JPG Files.htm";
#ifdef _WIN32
    const CliOptions inTime;  // the Windows runner gives up after a minute by itself
#else
    const CliOptions inTime{.signal = SIGKILL};  // after 30 seconds
#endif
    const auto verify = [&] { return RunCli(tree, {"--verify", runText}, inTime); };
    const auto bytes = [&](const std::string& name) { return ReadBytes(run / name); };
    const auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(run / name, std::ios::binary | std::ios::trunc) << text;
    };
    const std::string listLine = "Digest list SHA-256: " + Sha256::Of(bytes("SHA256SUMS")) + "\n";
    const CliResult clean = verify();
    EXPECT_EQ(std::tuple(clean.exitCode, clean.out),
              std::tuple(0, listLine + "Files checked: 5\nMissing: 0\nChanged: 0\nNot listed: 0\nEverything matches.\n"));
#ifndef _WIN32
    EXPECT_EQ(std::system(("cd '" + runText + "' && sha256sum --quiet -c SHA256SUMS").c_str()), 0);
#endif
    // Every file as the run left it, put back after each change.
    std::map<std::string, std::string> original;
    for (const auto& file : std::filesystem::directory_iterator(run))
        original[file.path().filename().string()] = ReadBytes(file.path());
    const auto restore = [&] {
        for (const auto& file : std::filesystem::directory_iterator(run))
            if (!original.contains(file.path().filename().string())) std::filesystem::remove_all(file.path());
        for (const auto& [name, text] : original) {
            if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(run / name)))
                std::filesystem::remove_all(run / name);
            write(name, text);
        }
    };
    // A change made with the digest list made again over it, as one who forges both would.
    const auto relisted = [&](const std::string& name, std::string text) {
        write(name, text);
        std::string list;
        for (const auto& line : ReadDigestList(original["SHA256SUMS"]))
            list += DigestListLine(Sha256::Of(bytes(line->second)), line->second);
        write("SHA256SUMS", list);
    };
    const auto listed = [&](const std::string& line) { write("SHA256SUMS", original["SHA256SUMS"] + line + "\n"); };
    const std::string outsideLine = Sha256::Of(photo) + "  ";
    std::string flipped = original[copy];
    flipped[3] ^= 1;
    std::string edited = original[csv], renumbered = original[csv], moreFound = original[report];
    edited.replace(edited.find("1234567,"), 8, "7654321,");
    renumbered.replace(renumbered.find("\r\n2,"), 4, "\r\n3,");
    moreFound.replace(moreFound.find("Total files found: 2"), 20, "Total files found: 3");
    std::string copyLeaves = original[csv];
    copyLeaves.replace(copyLeaves.find(copy), copy.size(), "../../outside.txt");
    const std::string notAFile = "Not a file of the run folder (a path, not a name in it): ";
    const struct { const char* why; std::function<void()> change; std::string line; int status = 4; } rows[] = {
        {"a byte of a copy flipped", [&] { write(copy, flipped); }, "Changed: " + copy},
        {"a copy removed", [&] { std::filesystem::remove(run / copy); }, "Missing: " + copy},
        {"a file added", [&] { write("notes.txt", "x"); }, "Not listed: notes.txt"},
        {"the CSV edited", [&] { write(csv, edited); }, "Changed: " + csv},
        {"the digest list removed", [&] { std::filesystem::remove(run / "SHA256SUMS"); },
         "SHA256SUMS: the digest list is missing: nothing can be checked"},
        {"a second line for a copy", [&] { listed(std::string(64, '0') + "  " + copy); },
         "Listed twice with different digests: " + copy},
        {"a name up and out", [&] { listed(outsideLine + "../../outside.txt"); }, notAFile + "../../outside.txt"},
        {"an absolute name", [&] { listed(outsideLine + tree.Text("outside.txt")); }, notAFile + tree.Text("outside.txt")},
        {"a name in a subfolder not there", [&] { listed(outsideLine + "sub/" + copy); }, notAFile + "sub/" + copy},
        {"a name not UTF-8", [&] { listed(outsideLine + "a\xFF.jpg"); }, "Missing: a\\xFF.jpg"},
        {"a copy's name in the CSV up and out", [&] { write(csv, copyLeaves); }, notAFile + "../../outside.txt"},
        {"a folder for a copy", [&] { std::filesystem::remove(run / copy), std::filesystem::create_directory(run / copy); },
         "Not a file of the run folder (a folder): " + copy},
        {"the report's total", [&] { relisted(report, moreFound); },
         report + " says \"Total files found: 3\", " + csv + " holds 2 rows."},
        {"the CSV's entry numbers", [&] { relisted(csv, renumbered); },
         "The entry numbers of " + csv + " do not run from 1 to 2: row 2 is not entry 2."},
        {"the CSV removed", [&] { std::filesystem::remove(run / csv); }, "Not a run folder (no readable " + csv + ")", 2}};
    for (const auto& row : rows) {
        row.change();
        const CliResult changed = verify();
        EXPECT_EQ(changed.exitCode, row.status) << row.why;
        EXPECT_NE((changed.out + changed.err).find(row.line), std::string::npos) << row.why << ": " << changed.out;
        EXPECT_EQ(changed.out.ends_with("Not everything matches.\n"), row.status == 4) << row.why << ": " << changed.out;
        restore();
    }
    EXPECT_EQ(verify().out, clean.out);
    listed(outsideLine + "../../outside.txt");
    EXPECT_NE(verify().out.find("Files checked: 5\n"), std::string::npos);
    restore();
    // Killed while it wrote a row: the rows before it are checked, and the cut is said.
    write(csv, original[csv] + "3,/e/n1_2[1].jp");
    const CliResult cut = verify();
    EXPECT_EQ(cut.exitCode, 4);
    EXPECT_NE(cut.out.find("Files checked: 5\n"), std::string::npos) << cut.out;
    EXPECT_NE(cut.out.find("The last row of Quorvia JPG Files.csv is cut short"), std::string::npos) << cut.out;
    EXPECT_EQ(RunCli(tree, {"--verify", tree.Text("src")}).exitCode, 2);
    EXPECT_EQ(RunCli(tree, {"--verify", runText, "--no-photos"}).exitCode, 2);
}

}  // namespace snapsift::test
