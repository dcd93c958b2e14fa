// snapsift-cli.exe as a Windows user runs it: drive roots in every form an examiner types, a
// drive letter put on a temporary tree for the run.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <fstream>

#include "CliRun.h"
#include "platform/WideText.h"
#include "support/TempTree.h"

namespace snapsift::test {

namespace fs = std::filesystem;

// The program with its arguments, standard output and error going to files, waited for.
CliResult RunCli(const TempTree& tree, const std::vector<std::string>& arguments) {
    static int runs = 0;
    const std::string base = tree.Text("capture" + std::to_string(runs++));
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const auto capture = [&](const std::string& path) {
        return CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE out = capture(base + "1"), err = capture(base + "2");
    std::wstring command = L"\"" SNAPSIFT_CLI_W L"\"";
    for (const std::string& argument : arguments) {
        // Quoted as the runtime reads it back: backslashes before the closing quote doubled.
        std::wstring quoted = WideFromUtf8(argument);
        const std::size_t kept = quoted.find_last_not_of(L'\\') + 1;
        quoted.append(quoted.size() - kept, L'\\');
        command += L" \"" + quoted + L"\"";
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    CliResult finished;
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, 60000);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        finished.exitCode = static_cast<int>(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(out);
    CloseHandle(err);
    finished.out = ReadBytes(tree.Path("capture" + std::to_string(runs - 1) + "1"));
    finished.err = ReadBytes(tree.Path("capture" + std::to_string(runs - 1) + "2"));
    return finished;
}

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
        for (const auto& made : fs::directory_iterator(root))
            if (made.path().filename().string().starts_with("Snapsift - ")) fs::remove_all(made.path());
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), {"--output", x, "--no-photos"});
        const CliResult finished = RunCli(tree, arguments);
        EXPECT_EQ(finished.exitCode, 0) << c.arguments[1] << ": " << finished.err;
        std::string made;
        for (const auto& entry : fs::directory_iterator(root))
            if (entry.path().filename().string().starts_with("Snapsift - ")) made = entry.path().filename().string();
        ASSERT_FALSE(made.empty()) << c.arguments[1];
        const std::string text = ReadBytes(root / made / "Quorvia JPG Files.htm");
        const std::string users = "<b>Full path:</b> " + c.root + "\\Users\\ana\\n1234567_890_123[1].jpg<br>",
                          documents = "<b>Full path:</b> " + c.root + "\\Documents and Settings\\bo\\n7654321_1_2[1].jpg<br>";
        EXPECT_NE(text.find(users), std::string::npos) << c.arguments[1] << "\n" << text;
        EXPECT_NE(text.find(documents), std::string::npos) << c.arguments[1];
        if (c.arguments[0] == "--profiles") {
            EXPECT_LT(text.find(users), text.find(documents)) << c.arguments[1];
        }
        EXPECT_NE(text.find("Total files found: 2<hr>"), std::string::npos) << c.arguments[1];
        std::string out = finished.out;
        std::erase(out, '\r');
        EXPECT_EQ(out, "Operation complete.\n\nTotal files found: 2\nReport: " + x + "\\" + made +
                           "\\Quorvia JPG Files.htm\n") << c.arguments[1];
    }
}

}  // namespace snapsift::test
