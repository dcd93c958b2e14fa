// The walk's order of one folder listing: which entries are files to examine, which are
// subfolders to queue (in listing order, under which path) and which are passed over (links,
// special files, the run's own output folder). The walk and the read-ahead helpers both read
// every listing through it, so that the helpers' queue of folders is the walk's own; both keep
// the folders met in the same order, so that a loop leaves the same folder out of both queues.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "volume/Volume.h"

namespace snapsift {

// A folder in the walk's queue: its path, and which folder its parent listed under the name.
struct QueuedFolder {
    std::string path;
    FileIdentity identity;
};

// The folders of one tree walk, by identity: the root (where its identity is known) and every
// folder queued. A folder met again, through an index entry or a mount that leads back to a folder
// already entered or queued, is a loop: it is never queued a second time.
class FoldersMet {
public:
    // True the first time the identity is met; the identity is kept from then on.
    bool FirstMeeting(const FileIdentity& identity) { return met_.insert(identity).second; }

private:
    struct Hash {
        std::size_t operator()(const FileIdentity& identity) const noexcept {
            return std::hash<std::uint64_t>()(identity.object * 0x9E3779B97F4A7C15ull ^ identity.volume);
        }
    };
    std::unordered_set<FileIdentity, Hash> met_;
};

class WalkOrder {
public:
    // separator: the volume's; skip: a folder never entered; subfolders: false when the walk
    // examines the files of one folder only (then no subfolder is queued or even identified).
    WalkOrder(char separator, const std::optional<FileIdentity>& skip, bool subfolders)
        : separator_(separator), skip_(skip), subfolders_(subfolders) {}

    // Reads `listing` to its end: file(name) for each regular file and subfolder(name, identity)
    // for each folder to queue, both in listing order; everything else is passed over. Returns
    // how the listing ended (End or Failed). The names live until the listing's next step.
    template <class OnFile, class OnSubfolder>
    ListingStep Read(VolumeFolder& listing, OnFile&& file, OnSubfolder&& subfolder) const {
        std::string_view name;
        EntryKind kind;
        FileIdentity identity;
        FileIdentity* const wanted = subfolders_ ? &identity : nullptr;
        ListingStep step;
        while ((step = listing.Next(name, kind, wanted)) == ListingStep::Entry) {
            if (kind == EntryKind::File)
                file(name);
            else if (kind == EntryKind::Folder && subfolders_ && identity != skip_)
                subfolder(name, static_cast<const FileIdentity&>(identity));
        }
        return step;
    }

    // The queue entry of subfolder `name` of the folder at parentPath (which ends in the separator).
    QueuedFolder Subfolder(const std::string& parentPath, std::string_view name, const FileIdentity& identity) const {
        QueuedFolder sub;
        sub.path.reserve(parentPath.size() + name.size() + 1);
        sub.path.append(parentPath).append(name).push_back(separator_);
        sub.identity = identity;
        return sub;
    }

private:
    char separator_;
    std::optional<FileIdentity> skip_;
    bool subfolders_;
};

}  // namespace snapsift
