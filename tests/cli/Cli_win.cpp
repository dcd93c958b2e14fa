// snapsift-cli.exe as a Windows user runs it: drive roots in every form an examiner types, a
// drive letter put on a temporary tree for the run; names of a run folder that Windows would
// take for paths.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "hash/Sha256.h"
#include "platform/WideText.h"
#include "report/RunFiles.h"
#include "support/CliRun.h"
#include "support/ReportParser.h"

namespace snapsift::test {

namespace fs = std::filesystem;
using Paths = std::vector<std::string>;

namespace {

// A drive letter for the test's own use: the one named in SNAPSIFT_TEST_DRIVE (under Wine the
// test's wrapper maps an empty folder there), else one made for a folder as "subst" makes it.
class TestDrive {
public:
    explicit TestDrive(const fs::path& fallback) {
        if (const char* given = std::getenv("SNAPSIFT_TEST_DRIVE"); given != nullptr && *given != '\0') {
            name_ = WideFromUtf8(given);
            return;
        }
        fs::create_directories(fallback);
        for (wchar_t letter = L'P'; letter <= L'Y' && name_.empty(); ++letter) {
            const wchar_t drive[] = {letter, L':', 0};
            if (GetDriveTypeW((std::wstring(drive) + L"\\").c_str()) == DRIVE_NO_ROOT_DIR &&
                DefineDosDeviceW(0, drive, fallback.wstring().c_str()))
                name_ = defined_ = drive;
        }
    }
    ~TestDrive() {
        if (!defined_.empty()) DefineDosDeviceW(DDD_REMOVE_DEFINITION, defined_.c_str(), nullptr);
    }
    std::string Name() const { return Utf8FromWide(name_); }
    fs::path Root() const { return fs::path(name_ + L"\\"); }

private:
    std::wstring name_, defined_;
};

}  // namespace

// A drive holding Users and Documents and Settings, named "X:", "x:", "X:\", "X:/" and "\\?\X:\" for
// the profiles, the folder searched and the output: every form finds the two photos under the
// drive's own paths (profile folders first) and nothing in the run's own folder, which it puts
// at the drive's root; the summary gives the total and the report's path.
TEST(CliWin, DriveRootsInEveryForm) {
    TempTree tree;
    const TestDrive drive(tree.Path("drive"));
    ASSERT_FALSE(drive.Name().empty()) << "no drive letter could be defined";
    const fs::path root = drive.Root();
    fs::create_directories(root / "Users/ana");
    fs::create_directories(root / "Documents and Settings/bo");
    std::ofstream(root / "Users/ana/n1234567_890_123[1].jpg") << "abc";
    std::ofstream(root / "Documents and Settings/bo/n7654321_1_2[1].jpg") << "a";
    const std::string x = drive.Name(), lower = std::string(1, static_cast<char>(x[0] | 0x20)) + ":";
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
        const ParsedReport parsed = ParseReport(ReadBytes(report));
        const std::string users = c.root + "\\Users\\ana\\n1234567_890_123[1].jpg",
                          documents = c.root + "\\Documents and Settings\\bo\\n7654321_1_2[1].jpg";
        Paths paths, expected{users, documents};
        for (const ParsedEntry& entry : parsed.entries) paths.push_back(entry.path);
        if (c.arguments[0] == "--folder") std::ranges::sort(paths), std::ranges::sort(expected);
        EXPECT_EQ(paths, expected) << c.arguments[1];
        EXPECT_EQ(WithoutDigestLine(finished.out), "Operation complete.\n\nTotal files found: 2\nReport: " + x + "\\" +
                           report.parent_path().filename().string() + "\\Quorvia JPG Files.htm\n") << c.arguments[1];
    }
}

// --verify with names that Windows takes for a path: each is named as no file of the run folder,
// never opened (the file outside holds the bytes listed, and would match), and a copy's name
// in the CSV that is not UTF-8 is missing, not an exception.
TEST(CliWin, VerifyTakesNoWindowsPathForAName) {
    TempTree tree;
    tree.Entries({{"src/n1234567_1[1].jpg", "abc"}, {"out/", ""}, {"outside.txt", "abc"}});
    ASSERT_EQ(RunCli(tree, {"--folder", tree.Text("src"), "--output", tree.Text("out")}).exitCode, 0);
    const fs::path run = RunReport(tree.Path("out")).parent_path();
    const std::string copy = "n1234567_1[1]-1.jpg", list = ReadBytes(run / "SHA256SUMS"),
                      csv = ReadBytes(run / "Quorvia JPG Files.csv");
    const auto write = [&](const char* name, const std::string& text) {
        std::ofstream(run / name, std::ios::binary | std::ios::trunc) << text;
    };
    std::string renamed = csv;
    renamed.replace(renamed.find(copy), copy.size(), "a\\xFF.jpg");
    const std::string notAFile = "Not a file of the run folder (a path, not a name in it): ";
    const std::string drive = tree.Text("outside.txt").substr(0, 2);
    const struct { std::string name, line; } listed[] = {
        {"..\\..\\outside.txt", notAFile + "..\\..\\outside.txt"},
        {drive + "outside.txt", notAFile + drive + "outside.txt"},
        {copy + ":stream", notAFile + copy + ":stream"},
        {"\\\\?\\" + tree.Text("outside.txt"), notAFile + "\\\\?\\" + tree.Text("outside.txt")}};
    for (const auto& row : listed) {
        write("SHA256SUMS", list + DigestListLine(Sha256::Of("abc"), row.name));
        const CliResult checked = RunCli(tree, {"--verify", ToText(run)});
        EXPECT_EQ(checked.exitCode, 4) << row.name;
        EXPECT_NE(checked.out.find(row.line + "\n"), std::string::npos) << checked.out;
    }
    write("SHA256SUMS", list);
    write("Quorvia JPG Files.csv", renamed);
    const CliResult checked = RunCli(tree, {"--verify", ToText(run)});
    EXPECT_EQ(checked.exitCode, 4) << checked.err;
    EXPECT_NE(checked.out.find("Missing: a\\xFF.jpg\n"), std::string::npos) << checked.out;
}

}  // namespace snapsift::test
