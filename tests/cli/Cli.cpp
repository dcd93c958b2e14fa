// What snapsift-cli says and returns, the same on Linux and on Windows: usage errors and checks
// that stop a run. (A whole scan's summary and report: Cli_posix.cpp, Cli_win.cpp.)
#include <gtest/gtest.h>

#include "cli/ConsoleText.h"
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

// What a name holds that a terminal would act on or show as nothing is written "\xHH" per byte,
// as the report writes it; the message's own CR LF line breaks stay line breaks.
TEST(Cli, TerminalTextWritesOutWhatANameCannotShow) {
    const struct { const char* row; std::string text, shown; } cases[] = {
        {"escape", "a\x1B[2Jb", "a\\x1B[2Jb"},
        {"next line, U+0085", "a\xC2\x85" "b", "a\\xC2\\x85b"},
        {"right-to-left override, U+202E", "x\xE2\x80\xAEgpj.exe", "x\\xE2\\x80\\xAEgpj.exe"},
        {"zero-width space, U+200B", "a\xE2\x80\x8B" "b", "a\\xE2\\x80\\x8Bb"},
        {"not UTF-8", "a\xFF" "b", "a\\xFFb"},
        {"a lone line feed and carriage return", "a\nb\rc", "a\\x0Ab\\x0Dc"},
        {"what shows as itself", "\xC3\xA9\xE6\xBC\xA2 \\  x", "\xC3\xA9\xE6\xBC\xA2 \\  x"}};
    for (const auto& c : cases) {
        EXPECT_EQ(cli::ProgressLine(3, 7, c.text, 200), "3 found, 7 examined: " + c.shown) << c.row;
        EXPECT_EQ(cli::TerminalText(c.text), c.shown + "\n") << c.row;
    }
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
