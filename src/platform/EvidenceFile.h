// Read-only access to files under the search roots that leaves them untouched: regular
// files only, no lock taken, no access-time change where the platform lets us avoid it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace snapsift {

class EvidenceFile {
public:
    EvidenceFile() = default;
    ~EvidenceFile();
    EvidenceFile(const EvidenceFile&) = delete;
    EvidenceFile& operator=(const EvidenceFile&) = delete;

    // Opens an existing regular file for reading. Fails at once, without blocking, for
    // folders, FIFOs, sockets, devices and links to them. Sets LastError() on failure.
    bool Open(const std::string& path);
    // Reads up to size bytes; 0 at end of file, -1 on error.
    std::int64_t Read(void* buffer, std::size_t size);
    std::int64_t Size() const { return size_; }
    bool IsOpen() const;
    void Close();
    // The platform's error code of the last failure (errno, or GetLastError() on Windows).
    long LastError() const { return error_; }

private:
    friend long CopyEvidenceFile(const std::string&, const std::string&);
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    std::int64_t size_ = 0;
    long error_ = 0;
};

// Copies a regular file's bytes to a new file at `to` (created or truncated). Returns 0 on
// success, else the platform's error code (errno, or GetLastError() on Windows).
long CopyEvidenceFile(const std::string& from, const std::string& to);

}  // namespace snapsift
