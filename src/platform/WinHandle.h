// Windows handles that close themselves (kernel objects, listings), and the write of a whole
// buffer through a handle, for the platform code of Windows builds only. Include it after
// <windows.h>.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace snapsift {

// A handle that closes itself with Closer::Close. A handle of either invalid value
// (INVALID_HANDLE_VALUE, or null) is never closed.
template <class Closer>
class ClosingHandle {
public:
    explicit ClosingHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~ClosingHandle() { Close(); }
    ClosingHandle(const ClosingHandle&) = delete;
    ClosingHandle& operator=(const ClosingHandle&) = delete;

    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    // Hands the handle over; closing it is then the caller's business.
    HANDLE Release() {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle;
    }
    // Closes the handle held, if any, and holds handle instead.
    void Reset(HANDLE handle) {
        Close();
        handle_ = handle;
    }
    // Closes now; false when closing reports a failure (GetLastError() tells which).
    bool Close() { return !Valid() || Closer::Close(Release()); }

private:
    HANDLE handle_;
};

struct KernelHandleCloser {
    static bool Close(HANDLE handle) { return ::CloseHandle(handle) != 0; }
};
struct FindHandleCloser {
    static bool Close(HANDLE handle) { return ::FindClose(handle) != 0; }
};

// A file or other kernel object's handle (CreateFileW and the like).
using WinHandle = ClosingHandle<KernelHandleCloser>;
// A listing's handle from FindFirstFileExW.
using FindHandle = ClosingHandle<FindHandleCloser>;

// One ReadFile of at most `size` bytes and never more than `left`: the bytes read (0 at the end
// or when nothing is left), or -1 (GetLastError() tells why).
inline std::int64_t ReadWithin(HANDLE handle, void* buffer, std::size_t size, std::uint64_t left) {
    const auto request = static_cast<DWORD>(std::min<std::uint64_t>(std::min<std::size_t>(size, 1u << 30), left));
    if (request == 0) return 0;
    DWORD got = 0;
    return ::ReadFile(handle, buffer, request, &got, nullptr) ? static_cast<std::int64_t>(got) : -1;
}

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
