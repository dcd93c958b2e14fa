// A Windows HANDLE that closes itself, and the write of a whole buffer through a handle, for
// the platform code of Windows builds only. Include it after <windows.h>.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace snapsift {

class WinHandle {
public:
    explicit WinHandle(HANDLE handle) : handle_(handle) {}
    ~WinHandle() { Close(); }
    WinHandle(const WinHandle&) = delete;
    WinHandle& operator=(const WinHandle&) = delete;

    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    // Closes now; false when closing reports a failure (GetLastError() tells which).
    bool Close() {
        if (!Valid()) return true;
        const bool closed = ::CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle_;
};

// Writes every byte to a file or pipe, going on after partial writes. False when a write
// fails (GetLastError() tells why) or takes no byte at all.
inline bool WriteAll(HANDLE handle, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(handle, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace snapsift
