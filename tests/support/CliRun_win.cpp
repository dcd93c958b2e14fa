#include <windows.h>

#include "platform/WideText.h"
#include "support/CliRun.h"

namespace snapsift::test {

// Options are POSIX's; a Windows run takes the arguments alone.
CliResult RunCli(const TempTree& tree, const std::vector<std::string>& arguments, const CliOptions&) {
    static int runs = 0;
    const std::string base = tree.Text("capture" + std::to_string(runs++));
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE capture[2];
    for (int i = 0; i < 2; ++i)
        capture[i] = CreateFileW(WideFromUtf8(base + static_cast<char>('1' + i)).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::wstring command = L"\"" + WideFromUtf8(SNAPSIFT_CLI) + L"\"";
    for (const std::string& argument : arguments) {
        // Quoted as the runtime reads it back: backslashes before the closing quote doubled.
        std::wstring quoted = WideFromUtf8(argument);
        quoted.append(quoted.size() - (quoted.find_last_not_of(L'\\') + 1), L'\\');
        command += L" \"" + quoted + L"\"";
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(STARTUPINFOW);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = capture[0];
    startup.hStdError = capture[1];
    PROCESS_INFORMATION process{};
    CliResult finished;
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, 60000);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        finished.exitCode = static_cast<int>(code);
        CloseHandle(process.hThread), CloseHandle(process.hProcess);
    }
    CloseHandle(capture[0]), CloseHandle(capture[1]);
    finished.out = ReadBytes(FromText(base + "1"));
    finished.err = ReadBytes(FromText(base + "2"));
    for (std::string* text : {&finished.out, &finished.err}) std::erase(*text, '\r');  // read as on POSIX
    return finished;
}

}  // namespace snapsift::test
