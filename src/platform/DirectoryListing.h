// An open folder and its listing: the entries in the order the file system lists them, read in
// a single pass through the folder's own handle. The folder stays open until the object goes,
// so that its files can be opened in it, not by a path that could have changed meanwhile.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/FileIdentity.h"
#include "platform/SystemError.h"

namespace snapsift {

class DirectoryListing {
public:
    DirectoryListing();
    ~DirectoryListing();
    DirectoryListing(const DirectoryListing&) = delete;
    DirectoryListing& operator=(const DirectoryListing&) = delete;

    // Opens a search root by its path (program text, ending in the separator). A link at the
    // root itself is followed: the examiner chose it.
    bool OpenRoot(const std::string& rootPath);
    // Opens a folder below an open root. folderPath is the root's path followed by the names
    // that lead down to the folder, each ending in the separator. No name on the way is
    // followed through a link, and the folder opened must be `expected`, the folder that its
    // parent listed; one put in its place since fails with kReplacedDuringScan.
    bool OpenBelow(const DirectoryListing& root, const std::string& folderPath, const FileIdentity& expected);

    // The next entry other than "." and "..": its name as listed (valid until the next call)
    // and its kind; or the end; or the failure that ends the listing early. After End or
    // Failed every further call gives the same. For a Folder entry, when folderIdentity is
    // given, it receives that folder's identity (a folder that can no longer be looked at is
    // passed over).
    ListingStep Next(std::string_view& name, EntryKind& kind, FileIdentity* folderIdentity = nullptr);

    // The failure behind a Failed step.
    SystemError Error() const;
    // False when the system would only let this folder be listed in a way that moves its
    // last-access time (POSIX: not its owner, and without the capability to list it otherwise).
    bool AccessTimeKept() const { return accessTimeKept_; }
    // When the folder was opened, what tells a later open whether its entries changed since.
    FolderVersion Version() const;

    struct State;

private:
    friend class EvidenceFile;
    friend int FolderDescriptor(const DirectoryListing& listing);  // POSIX: the open folder's descriptor
    std::unique_ptr<State> state_;
    bool accessTimeKept_ = true;
};

// True when a folder, or a link or junction that leads to one, exists at the path.
bool FolderExists(const std::string& path);

// The identity of what is at the path (a link at the path is followed); nothing when it
// cannot be looked at.
std::optional<FileIdentity> IdentityOf(const std::string& path);

}  // namespace snapsift
