// One folder's entries in the order the file system lists them, read in a single pass;
// the open handle is released by the destructor.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/SystemError.h"

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

class DirectoryListing {
public:
    // Opens the folder at folderPath (program text, may end in the separator). The folder
    // itself is reached through a link only when followLink is true (a chosen root).
    DirectoryListing(const std::string& folderPath, bool followLink);
    ~DirectoryListing();
    DirectoryListing(const DirectoryListing&) = delete;
    DirectoryListing& operator=(const DirectoryListing&) = delete;

    // The next entry other than "." and "..": its name as listed (valid until the next call)
    // and its kind; or the end; or the failure that ends the listing early. After End or
    // Failed every further call gives the same.
    ListingStep Next(std::string_view& name, EntryKind& kind);

    // The failure behind a Failed step.
    SystemError Error() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// True when a folder, or a link or junction that leads to one, exists at the path.
bool FolderExists(const std::string& path);

}  // namespace snapsift
