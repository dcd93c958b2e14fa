// What the system's folder listings say of an entry: its kind, the step a listing took, which
// object of the file system it is, and whether a folder's entries changed between two opens.
#pragma once

#include <cstdint>

namespace snapsift {

enum class EntryKind {
    Folder,  // a real folder, never a link or junction to one
    File,    // a regular file, never a link to one
    Other,   // links, junctions, FIFOs, sockets, devices: passed over by the walk
};

// What one step through a listing gave.
enum class ListingStep {
    Entry,   // an entry: its name and kind
    End,     // the listing is complete
    Failed,  // the folder could not be opened, or reading it failed; Error() says why
};

// Which object of the file system an entry is: device and inode on POSIX, volume serial
// number and file ID on Windows, record number and sequence number inside a disk image.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t object = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// What tells whether a folder's entries changed between two opens of it: the folder, the time its
// entries last changed and the time the open began, both on the clock that the system stamps
// changes with (POSIX: the status-change time and the coarse real-time clock, in nanoseconds;
// Windows: the ChangeTime and the system time, in 100-ns units).
struct FolderVersion {
    FileIdentity identity;
    std::int64_t changed = 0;
    std::int64_t openedAt = 0;
    bool known = false;  // false where the system keeps no such time
};

// True when the folder opened as `now` still holds the entries that the open `earlier` listed:
// the same folder, unchanged since. A change within the clock tick in which `earlier` began
// would carry the same time as one made before, so a folder changed that late never counts as
// unchanged.
inline bool SameEntries(const FolderVersion& earlier, const FolderVersion& now) {
    return earlier.known && now.known && earlier.identity == now.identity && earlier.changed == now.changed &&
           earlier.changed < earlier.openedAt;
}

}  // namespace snapsift
