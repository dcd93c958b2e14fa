// Read-ahead beside the folder walk, for a first scan of a drive whose folders and files are not
// yet in memory: helper threads open and list the folders that the walk will enter next, in the
// walk's own breadth-first order and a bounded number of folders ahead of it, and start the
// reads of the files the walk will open (recognised photos, and a browser cache's files) shortly
// before the walk examines them.
// The walk still opens every folder itself, on its own thread, checked as always. Nothing here
// reports anything: every word to the host, and every file's evidence, stays with the walk.
//
// The folders ahead: one item per folder, in the order the walk will open them. It begins as the
// walk's queue when the helpers start, and grows as folders are listed: once every folder before
// it is listed too, a listed folder's subfolders are appended, each as the WalkOrder that the walk
// itself reads with makes it, but for a folder met before (a loop), which the walk does not queue
// either: the helpers keep the folders met from the walk's own at their start. So the items are the
// walk's queue to come, as long as every listing the walk reads has the same subfolders as the one
// the helpers queued from, and no folder is listed twice.
//
// An item is Waiting until a helper (or the walk, come to it first) claims it and it is Listing;
// whoever claimed it opens and lists it, with no lock held, and then it is Listed, with its
// listing or with nothing when the folder could not be opened. A listing is never changed once
// stored, and is shared from then on by the walk and the helpers reading files from it.
//
// When the walk opens its next folder and it is the next item (same path, same identity), the walk
// waits until that item is Listed, then replays the listing made ahead if the folder it opened is
// unchanged since; else it lists its open folder itself and the listing made ahead is dropped. If
// the walk's folders and the items part ways (the walk opened another folder, or the listing it
// reads has other subfolders than the one queued from), the helpers stop for good and the walk goes
// on alone, as without read-ahead. Items behind the walk are dropped.
//
// The limits: helpers list at most kFoldersAhead items past the walk's next folder, and start the
// reads of a file only within kFilesAhead passes of the walk's place (a listing counts its passes
// as the walk does: each regular file that NameFilter passes or that names a cache's file, in
// listing order, one ReachedCandidate of the walk each). Two helpers list at first; more whenever the walk keeps
// waiting on a slow disk, up to the number started.
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
#include "search/WalkOrder.h"

namespace snapsift {

class FolderReadAhead {
public:
    // Starts `helpers` threads on the folders `queued` below the open `root` (the walk's queue
    // after the folder it read last) and on every folder below them, each listing read in `order`,
    // the walk's own; `met`: the folders the walk has met so far, those queued among them.
    FolderReadAhead(Volume& volume, const VolumeFolder& root, const WalkOrder& order,
                    const std::deque<QueuedFolder>& queued, const FoldersMet& met, unsigned helpers);
    // Stops the helpers; a listing under way is finished first.
    ~FolderReadAhead();
    FolderReadAhead(const FolderReadAhead&) = delete;
    FolderReadAhead& operator=(const FolderReadAhead&) = delete;

    // Opens `folder`, the next in the walk's order, with Volume::OpenBelow on the calling thread,
    // and gives it with the listing to read: the one made ahead when still good, else its own.
    // Nothing, with the open's failure in `error`, when the open fails.
    std::unique_ptr<VolumeFolder> Open(const QueuedFolder& folder, SystemError& error);
    // The walk has come to the next file of the folder last opened that it hands over: one that
    // passes the name filter, or a cache's.
    void ReachedCandidate();

    struct Listing;

private:
    struct Item;
    Item& ItemAt(std::size_t index);  // by its place in the walk's order; kept from firstKept_ on
    void RunHelper(unsigned helper);
    // The next few files to read ahead, all of one folder: filesToRead [begin, end) of `listing`.
    bool ClaimFileReads(QueuedFolder& folder, std::shared_ptr<const Listing>& listing, std::size_t& begin,
                        std::size_t& end);
    std::shared_ptr<Listing> ListInWalkOrder(VolumeFolder& folder) const;
    void QueueSubfoldersOfListed();
    void CountWalkStep();  // and, every kWalkStepsPerGrowthCheck steps, lets more helpers list
    void StopHelpers(std::unique_lock<std::mutex>& lock);

    Volume& volume_;
    const VolumeFolder& root_;
    const WalkOrder order_;
    const bool readsFiles_;  // the volume reads files ahead: worth opening their folders for

    // Everything below is guarded by mutex_.
    std::mutex mutex_;
    std::condition_variable work_;    // helpers: a folder to list or files to read ahead
    std::condition_variable listed_;  // the walk: a folder listed
    std::condition_variable idle_;    // helpers not yet allowed to list: more are wanted
    std::deque<Item> items_;          // every folder in the walk's order, from index firstKept_ on
    FoldersMet met_;                  // the walk's at the start, and every item since
    std::size_t firstKept_ = 0;       // items before it are behind the walk and dropped
    std::size_t nextToList_ = 0;      // the first item still Waiting; all after it are Waiting too
    std::size_t nextToQueueSubfolders_ = 0;  // items before it have their subfolders among the items
    std::size_t nextForWalk_ = 0;     // the item the walk opens next
    std::size_t filterPassesQueued_ = 0;  // passes in the items before nextToQueueSubfolders_
    std::size_t walkFilterPasses_ = 0;    // the walk's place among those passes
    std::size_t readFolder_ = 0, readFile_ = 0;  // the next file to read ahead: item, place in its filesToRead
    unsigned helpersAllowed_ = 0;          // helpers that list: the first few, more while the walk waits
    std::size_t walkWaitsLately_ = 0;      // times lately the walk came to a folder before it was listed
    std::size_t slowListingsLately_ = 0;   // listings lately that had to wait for the disk
    std::size_t walkSteps_ = 0;            // folders opened and candidates reached by the walk
    unsigned helpersWithoutWork_ = 0;      // allowed helpers asleep until there is work
    bool walkWaitsForListing_ = false;
    bool stopping_ = false;  // the helpers are told to end
    bool stopped_ = false;   // they have ended: the walk goes on alone
    std::vector<std::thread> helpers_;
};

}  // namespace snapsift
