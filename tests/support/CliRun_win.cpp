#include <windows.h>

#include "platform/WideText.h"
#include "support/CliRun.h"

namespace snapsift::test {

// Options are POSIX's; a Windows run takes the arguments alone.
CliResult RunCli(const TempTree& tree, const std::vector<std::string>& arguments, const CliOptions&) {
    static int runs = 0;
    const std::string base = tree.Text("capture" + std::to_string(runs++));
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const auto capture = [&](const std::string& path) {
        return CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE out = capture(base + "1"), err = capture(base + "2");
    std::wstring command = L"\"" + WideFromUtf8(SNAPSIFT_CLI) + L"\"";
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
    finished.out = ReadBytes(FromText(base + "1"));
    finished.err = ReadBytes(FromText(base + "2"));
    for (std::string* text : {&finished.out, &finished.err}) std::erase(*text, '\r');  // read as on POSIX
    return finished;
}

}  // namespace snapsift::test
