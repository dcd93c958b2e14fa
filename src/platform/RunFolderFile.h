// A run folder read back to be checked: the folder held open while it is, its entries listed as
// they are (a link is a link, never what it leads to), and a file opened only when it is a
// regular file of the folder itself: looked at first, opened without following a link and
// without waiting (a FIFO or a device never blocks the open), looked at again through the open
// file, and read no further than the size it had at its open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace snapsift {

// What an entry of the run folder is.
enum class RunEntryKind {
    File,     // a regular file
    Folder,   // a real folder
    Link,     // a symbolic link, a junction, or another entry that names one elsewhere
    Special,  // a FIFO, a socket or a device
    Missing,  // nothing by that name
};

struct RunEntry {
    // Program text. On Windows a name that is not valid UTF-16 keeps each unpaired surrogate
    // as its three bytes of the generalized UTF-8 form, which are no valid UTF-8: such a name
    // is shown and compared, but never opened by a name that would be another file's.
    std::string name;
    RunEntryKind kind = RunEntryKind::File;
};

// True when the text is one name inside a folder, so that opening it in the folder cannot
// reach anything outside it: not empty, not "." or "..", no NUL, and no separator ("/"; on
// Windows also "\" and the ":" of a drive or a file's stream).
inline bool IsSingleName(std::string_view name) {
#ifdef _WIN32
    constexpr std::string_view kNotInAName("/\\:\0", 4);
#else
    constexpr std::string_view kNotInAName("/\0", 2);
#endif
    return !name.empty() && name != "." && name != ".." && name.find_first_of(kNotInAName) == std::string_view::npos;
}

class RunFolder {
public:
    RunFolder();
    ~RunFolder();
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    // Opens the folder at the path (program text). A link at the path itself is followed: the
    // examiner named it. On Windows the folder cannot be renamed or removed while it is open.
    bool Open(const std::string& path);
    // Every entry but "." and "..", in the folder's own order; nothing when it cannot be listed.
    std::optional<std::vector<RunEntry>> Entries() const;

    struct State;

private:
    friend class RunFolderFile;
    std::unique_ptr<State> state_;
};

class RunFolderFile {
public:
    RunFolderFile() = default;
    ~RunFolderFile();
    RunFolderFile(const RunFolderFile&) = delete;
    RunFolderFile& operator=(const RunFolderFile&) = delete;

    // Opens the entry `name` (IsSingleName) of the open folder when it is a regular file: File.
    // Anything else there is not opened and its kind comes back (Missing for no entry at all).
    // Nothing when the entry could not be looked at or opened: LastError() says why.
    std::optional<RunEntryKind> Open(const RunFolder& folder, std::string_view name);
    // The size at the open; reads stop there.
    std::uint64_t Size() const { return size_; }
    // Reads on from the last read, never past Size(): the bytes read, 0 there, -1 on failure.
    std::int64_t Read(void* buffer, std::size_t size);
    // True when the open file's size is still the one it had at the open.
    bool SizeUnchanged() const;
    void Close();
    // The platform's error code of the last failure (errno, or GetLastError() on Windows).
    long LastError() const { return error_; }

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    std::uint64_t size_ = 0, offset_ = 0;
    long error_ = 0;
};

}  // namespace snapsift
