// Read-ahead beside the folder walk, for a first scan of a drive whose folders and files are not
// yet in memory: helper threads open and list the folders that the walk will enter next, in the
// walk's own breadth-first order and a bounded number of folders ahead of it, and start the
// reads of the files that pass the name filter shortly before the walk examines them.
// The walk still opens every folder itself, on its own thread, checked as always. It replays the
// listing made ahead only when the folder it opened is the one listed ahead and unchanged since;
// otherwise it lists its own open folder, as without read-ahead. Nothing here reports anything:
// every word to the host, and every file's evidence, stays with the walk.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "volume/Volume.h"

namespace snapsift {

// A folder in the walk's queue: its path, and which folder its parent listed under the name.
struct QueuedFolder {
    std::string path;
    FileIdentity identity;
};

class FolderReadAhead {
public:
    // Starts `helpers` threads on the folders `queued` below the open `root` (the walk's queue
    // after the folder it read last) and on every folder below them, each subfolder taken as the walk
    // takes it: a real folder, never `skip`.
    FolderReadAhead(Volume& volume, const VolumeFolder& root, char separator, const std::optional<FileIdentity>& skip,
                    const std::deque<QueuedFolder>& queued, unsigned helpers);
    // Stops the helpers; a listing under way is finished first.
    ~FolderReadAhead();
    FolderReadAhead(const FolderReadAhead&) = delete;
    FolderReadAhead& operator=(const FolderReadAhead&) = delete;

    // Opens `folder`, the next in the walk's order, with Volume::OpenBelow on the calling thread,
    // and gives it with the listing to read: the one made ahead when still good, else its own.
    // Nothing, with the open's failure in `error`, when the open fails.
    std::unique_ptr<VolumeFolder> Open(const QueuedFolder& folder, SystemError& error);
    // The walk has come to the next file of the folder last opened that passes the name filter.
    void Reached();

    struct Listing;

private:
    struct Item;
    Item& At(std::size_t index);
    void Help(unsigned helper);
    bool ClaimReads(QueuedFolder& folder, std::shared_ptr<const Listing>& listing, std::size_t& begin,
                    std::size_t& end);
    std::shared_ptr<Listing> List(VolumeFolder& folder) const;
    void Commit();
    void Look();
    void Stop(std::unique_lock<std::mutex>& lock);

    Volume& volume_;
    const VolumeFolder& root_;
    const char separator_;
    const std::optional<FileIdentity> skip_;
    const bool readsFiles_;  // the volume reads files ahead: worth opening their folders for

    std::mutex mutex_;
    std::condition_variable work_;    // helpers: a folder to list or files to read ahead
    std::condition_variable listed_;  // the walk: a folder listed
    std::condition_variable idle_;    // helpers not yet working: more are wanted
    std::deque<Item> items_;          // every folder in the walk's order, from index first_ on
    std::size_t first_ = 0;
    std::size_t nextToList_ = 0, nextToCommit_ = 0, nextToTake_ = 0;
    std::size_t candidates_ = 0;              // files passing the name filter in the folders committed
    std::size_t reached_ = 0;                 // the walk's place among those files
    std::size_t readItem_ = 0, readIndex_ = 0;  // the next file to read ahead: folder, place in it
    unsigned active_ = 0;    // helpers that list: the first few, more while the walk waits
    std::size_t waits_ = 0;  // times lately the walk was at a folder or file before the helpers
    std::size_t slow_ = 0;   // listings lately that had to wait for the disk
    std::size_t looks_ = 0;
    unsigned waiting_ = 0;   // working helpers waiting for work
    bool walkWaits_ = false;
    bool stopping_ = false, stopped_ = false;
    std::vector<std::thread> helpers_;
};

}  // namespace snapsift
