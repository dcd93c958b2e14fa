// Read-only access to files under the search roots that leaves them untouched: regular files
// only, never reached through a link, no lock taken, no access-time change where the platform
// lets us avoid it. One open gives everything an entry reports: the times as they were at the
// open, and the bytes that were there at the open and nothing after them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/DirectoryListing.h"
#include "text/DateTime.h"

namespace snapsift {

class EvidenceFile {
public:
    EvidenceFile() = default;
    ~EvidenceFile();
    EvidenceFile(const EvidenceFile&) = delete;
    EvidenceFile& operator=(const EvidenceFile&) = delete;

    // Opens the regular file `name` that the open folder listed; fullPath is the whole path
    // text of the same file. Fails at once, without blocking, for folders, FIFOs, sockets,
    // devices and links of any kind. Sets LastError() on failure.
    bool Open(const DirectoryListing& folder, std::string_view name, const std::string& fullPath);
    // Opens a regular file by its path; a link in the last component is not followed.
    bool Open(const std::string& path);
    // Opens the file as Open does and asks the system to start reading it into memory, so that
    // its bytes are on their way before they are read. Reads nothing itself; a failure is passed
    // over. No effect on Windows.
    static void ReadAhead(const DirectoryListing& folder, std::string_view name);

    // The size at the open; reads stop there.
    std::int64_t Size() const { return size_; }
    // The times read from the open file before any byte was: created (empty where the file
    // system keeps none), last accessed, last modified. False when they could not be read or
    // fall outside the years 100 to 9999.
    bool Times(std::optional<DateTime>& created, DateTime& accessed, DateTime& modified) const;
    // Reads on from the last read, up to size bytes but never past Size(): 0 there, -1 on error.
    std::int64_t Read(void* buffer, std::size_t size);
    // True when the file's size and modification time are still those of the open.
    bool UnchangedSinceOpen();
    // False when the system would only let this file be read in a way that moves its
    // last-access time (POSIX: not its owner, and without the capability to read it otherwise).
    bool AccessTimeKept() const { return accessTimeKept_; }

    void Close();
    // The platform's error code of the last failure (errno, or GetLastError() on Windows).
    long LastError() const { return error_; }

private:
#ifndef _WIN32
    bool OpenAt(int folder, const char* name);
#endif
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    std::int64_t size_ = 0;
    std::int64_t offset_ = 0;
    std::int64_t modifiedAtOpen_ = 0;  // the platform's own count, compared only with itself
    bool timesRead_ = false;
    std::optional<DateTime> created_;
    DateTime accessed_, modified_;
    bool accessTimeKept_ = true;
    long error_ = 0;
};

}  // namespace snapsift
