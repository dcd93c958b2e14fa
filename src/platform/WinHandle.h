// A Windows HANDLE that closes itself, for the platform code of Windows builds only.
// Include it after <windows.h>.
#pragma once

#include <windows.h>

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

}  // namespace snapsift
