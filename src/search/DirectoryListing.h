// One folder's entries in the order the file system lists them, read in a single pass;
// the open handle is released by the destructor. Internal to the folder walk.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace snapsift {

enum class EntryKind {
    Folder,  // a real folder, never a link or junction to one
    File,    // a regular file, never a link to one
    Other,   // links, junctions, FIFOs, sockets, devices: passed over by the walk
};

class DirectoryListing {
public:
    // Opens the folder at folderPath (program text, may end in the separator). The folder
    // itself is reached through a link only when followLink is true (a chosen root).
    DirectoryListing(const std::string& folderPath, bool followLink);
    ~DirectoryListing();
    DirectoryListing(const DirectoryListing&) = delete;
    DirectoryListing& operator=(const DirectoryListing&) = delete;

    // The next entry other than "." and "..": its name as listed (valid until the next call)
    // and its kind. False at the end of the listing, when the folder could not be opened, or
    // when reading it fails (what was read before stays valid for the caller).
    bool Next(std::string_view& name, EntryKind& kind);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// True when a folder, or a link or junction that leads to one, exists at the path.
bool FolderExists(const std::string& path);

}  // namespace snapsift
