#include "platform/OutputFile.h"
#include "platform/WideText.h"
#include "platform/WinHandle.h"

#include <windows.h>

#include <string>

namespace snapsift {

bool WriteOutputFile(const std::string& path, std::string_view bytes, OutputWrite mode) {
    WinHandle file(CreateFileW(ApiPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               mode == OutputWrite::Create ? CREATE_ALWAYS : OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return false;
    LARGE_INTEGER before{};
    if (!SetFilePointerEx(file.Get(), LARGE_INTEGER{}, &before, FILE_END)) return false;
    if (!WriteAll(file.Get(), bytes)) {
        // Take back what a short write left, so no part of it stays in the file.
        SetFilePointerEx(file.Get(), before, nullptr, FILE_BEGIN);
        SetEndOfFile(file.Get());
        return false;
    }
    return file.Close();
}

}  // namespace snapsift
