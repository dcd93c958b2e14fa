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

NewOutputFile::~NewOutputFile() { Abandon(); }

bool NewOutputFile::Create(const std::string& path) {
    Abandon();
    error_ = 0;
    path_ = path;
    const std::wstring wide = ApiPath(path);
    if (wide.empty()) {
        error_ = ERROR_INVALID_NAME;
        return false;
    }
    // CREATE_NEW fails for anything at the path already, a link or junction included.
    const HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error_ = static_cast<long>(::GetLastError());
        return false;
    }
    handle_ = file;
    return true;
}

bool NewOutputFile::Write(std::string_view bytes) {
    if (error_ != 0) return false;
    if (handle_ == nullptr) {
        error_ = ERROR_INVALID_HANDLE;
        return false;
    }
    if (!WriteAll(static_cast<HANDLE>(handle_), bytes)) {
        error_ = static_cast<long>(::GetLastError());
        if (error_ == 0) error_ = ERROR_WRITE_FAULT;  // a write that took nothing and gave no reason
        return false;
    }
    return true;
}

long NewOutputFile::Finish() {
    if (handle_ == nullptr) return error_ != 0 ? error_ : ERROR_INVALID_HANDLE;
    const bool closed = ::CloseHandle(static_cast<HANDLE>(handle_)) != 0;
    handle_ = nullptr;
    if (!closed && error_ == 0) error_ = static_cast<long>(::GetLastError());
    if (error_ != 0) ::DeleteFileW(ApiPath(path_).c_str());
    return error_;
}

void NewOutputFile::Abandon() {
    if (handle_ == nullptr) return;  // never created, or finished: nothing of ours to remove
    ::CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
    ::DeleteFileW(ApiPath(path_).c_str());
}

}  // namespace snapsift
