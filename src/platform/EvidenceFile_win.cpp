#include "platform/EvidenceFile.h"
#include "platform/WideText.h"
#include "platform/WinHandle.h"

#include <windows.h>

#include <memory>
#include <string>

namespace snapsift {

namespace {

bool IsNotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME;
}

}  // namespace

EvidenceFile::~EvidenceFile() { Close(); }

bool EvidenceFile::IsOpen() const { return handle_ != nullptr; }

void EvidenceFile::Close() {
    if (handle_ != nullptr) CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
    size_ = 0;
}

bool EvidenceFile::Open(const std::string& path) {
    Close();
    error_ = 0;
    const std::wstring wide = ApiPath(path);
    if (wide.empty()) {
        error_ = ERROR_INVALID_NAME;
        return false;
    }
    // Write-attributes access lets SetFileTime below keep the access time; where it is
    // refused (read-only media, an access list that grants reading only) read access alone.
    constexpr DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    bool canKeepAccessTime = true;
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES, share, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE && !IsNotFound(GetLastError())) {
        canKeepAccessTime = false;
        handle = CreateFileW(wide.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                             nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        error_ = static_cast<long>(GetLastError());
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(handle);
        error_ = ERROR_INVALID_FUNCTION;
        return false;
    }
    if (canKeepAccessTime) {
        // All bits set: reads through this handle leave the last-access time as it is.
        FILETIME keep;
        keep.dwLowDateTime = 0xFFFFFFFF;
        keep.dwHighDateTime = 0xFFFFFFFF;
        SetFileTime(handle, nullptr, &keep, nullptr);
    }
    handle_ = handle;
    size_ = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    return true;
}

std::int64_t EvidenceFile::Read(void* buffer, std::size_t size) {
    if (handle_ == nullptr) {
        error_ = ERROR_INVALID_HANDLE;
        return -1;
    }
    const DWORD request = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD got = 0;
    if (!ReadFile(static_cast<HANDLE>(handle_), buffer, request, &got, nullptr)) {
        error_ = static_cast<long>(GetLastError());
        return -1;
    }
    return got;
}

long CopyEvidenceFile(const std::string& from, const std::string& to) {
    EvidenceFile source;
    if (!source.Open(from)) return source.LastError();
    const std::wstring wide = ApiPath(to);
    if (wide.empty()) return ERROR_INVALID_NAME;

    // No sharing: a copy onto the source itself fails here, as the source is open.
    WinHandle out(CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (out.Get() == INVALID_HANDLE_VALUE) return static_cast<long>(GetLastError());

    constexpr DWORD kChunk = 1 << 20;
    const auto buffer = std::make_unique<char[]>(kChunk);
    DWORD error = 0;
    for (;;) {
        const std::int64_t got = source.Read(buffer.get(), kChunk);
        if (got < 0) {
            error = static_cast<DWORD>(source.LastError());
            break;
        }
        if (got == 0) break;
        if (!WriteAll(out.Get(), std::string_view(buffer.get(), static_cast<std::size_t>(got)))) {
            error = GetLastError();
            if (error == 0) error = ERROR_WRITE_FAULT;
            break;
        }
    }
    const DWORD closeError = out.Close() ? 0 : GetLastError();
    if (error == 0) error = closeError;
    if (error != 0) DeleteFileW(wide.c_str());
    return static_cast<long>(error);
}

}  // namespace snapsift
