// snapsift-cli's entry point on Windows: the wide command line, turned into UTF-8.
#include <windows.h>

#include <string>
#include <vector>

#include "cli/CliMain.h"
#include "platform/WideText.h"

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) arguments.push_back(snapsift::Utf8FromWide(argv[i]));
    return snapsift::cli::RunCli(arguments);
}
