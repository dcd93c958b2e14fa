#include "search/FolderReadAhead.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <string_view>

#include "search/CacheFiles.h"
#include "search/Recognition.h"

namespace snapsift {

namespace {

// How far the helpers go ahead of the walk: folders listed, and files it hands over (those with a
// user ID recognised, and a cache's files but index.dat, are read ahead: the others are never
// opened).
constexpr std::size_t kFoldersAhead = 2048;
constexpr std::size_t kFilesAhead = 64;
// Two helpers list at first; twice as many whenever, in kWalkStepsPerGrowthCheck steps of the
// walk (folders entered, candidates come to), the walk waited more than kWaitsToGrow times for a listing and as
// many listings took longer than kSlowListing: the disk is slower than the walk, and more reads
// under way at once pay. With everything in memory more helpers would only share the processors.
constexpr unsigned kFirstHelpers = 2;
constexpr std::size_t kWalkStepsPerGrowthCheck = 32, kWaitsToGrow = 4;
constexpr auto kSlowListing = std::chrono::microseconds(400);
// Files read ahead through one open of their folder.
constexpr std::size_t kFilesPerOpen = 8;

}  // namespace

// One folder's listing as it was read, in the walk's order: its files and the subfolders the walk
// queues (nothing it passes over), how the listing ended, what tells a later open of the folder
// whether it changed, and which files the walk hands over.
struct FolderReadAhead::Listing {
    struct Entry {
        std::size_t end;  // of the name in `names`
        EntryKind kind;
        FileIdentity identity;
    };
    std::string names;
    std::vector<Entry> entries;
    ListingStep last = ListingStep::End;
    SystemError error;
    FolderVersion version;
    std::size_t filterPasses = 0;  // files the walk hands over (passes)
    struct FileToRead {
        std::size_t filterPass;  // which of those passes
        std::size_t entry;
    };
    std::vector<FileToRead> filesToRead;  // those passes whose user ID is recognised

    std::string_view Name(std::size_t i) const {
        const std::size_t begin = i == 0 ? 0 : entries[i - 1].end;
        return std::string_view(names).substr(begin, entries[i].end - begin);
    }
    bool SameFolders(const Listing& other) const {
        std::vector<std::string_view> mine, theirs;
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (entries[i].kind == EntryKind::Folder) mine.push_back(Name(i));
        for (std::size_t i = 0; i < other.entries.size(); ++i)
            if (other.entries[i].kind == EntryKind::Folder) theirs.push_back(other.Name(i));
        return mine == theirs;
    }
};

struct FolderReadAhead::Item {
    explicit Item(QueuedFolder queued) : folder(std::move(queued)) {}
    QueuedFolder folder;
    enum class State { Waiting, Listing, Listed } state = State::Waiting;
    std::shared_ptr<const Listing> listing;  // nothing when the folder could not be opened
    std::size_t filterPassesBefore = 0;      // in all earlier items, once its subfolders are queued
};

namespace {

// A listing made earlier, given again entry by entry, over the folder as the walk opened it.
class ReplayedFolder final : public VolumeFolder {
public:
    ReplayedFolder(std::unique_ptr<VolumeFolder> open, std::shared_ptr<const FolderReadAhead::Listing> listing)
        : open_(std::move(open)), listing_(std::move(listing)) {}
    ListingStep Next(std::string_view& name, EntryKind& kind, FileIdentity* folderIdentity) override {
        if (at_ >= listing_->entries.size()) return listing_->last;
        const auto& entry = listing_->entries[at_];
        name = listing_->Name(at_++);
        kind = entry.kind;
        if (folderIdentity != nullptr && kind == EntryKind::Folder) *folderIdentity = entry.identity;
        return ListingStep::Entry;
    }
    SystemError Error() const override { return listing_->error; }
    bool AccessTimeKept() const override { return open_->AccessTimeKept(); }
    std::unique_ptr<VolumeFile> OpenFile(std::string_view name, const std::string& fullPath,
                                         SystemError& error) const override {
        return open_->OpenFile(name, fullPath, error);
    }
    FolderVersion Version() const override { return open_->Version(); }
    std::optional<FileIdentity> Identity() const override { return open_->Identity(); }
    void ReadAhead(std::string_view name) const override { open_->ReadAhead(name); }

private:
    std::unique_ptr<VolumeFolder> open_;
    std::shared_ptr<const FolderReadAhead::Listing> listing_;
    std::size_t at_ = 0;
};

}  // namespace

FolderReadAhead::FolderReadAhead(Volume& volume, const VolumeFolder& root, const WalkOrder& order,
                                 const std::deque<QueuedFolder>& queued, const FoldersMet& met, unsigned helpers)
    : volume_(volume), root_(root), order_(order), readsFiles_(volume.ReadsFilesAhead()), met_(met) {
    for (const QueuedFolder& folder : queued) items_.emplace_back(folder);
    helpersAllowed_ = std::min(helpers, kFirstHelpers);
    for (unsigned i = 0; i < helpers; ++i) helpers_.emplace_back([this, i] { RunHelper(i); });
}

FolderReadAhead::~FolderReadAhead() {
    std::unique_lock lock(mutex_);
    StopHelpers(lock);
}

void FolderReadAhead::StopHelpers(std::unique_lock<std::mutex>& lock) {
    stopping_ = true;
    lock.unlock();
    work_.notify_all();
    idle_.notify_all();
    for (std::thread& helper : helpers_)
        if (helper.joinable()) helper.join();
    lock.lock();
    stopped_ = true;
}

FolderReadAhead::Item& FolderReadAhead::ItemAt(std::size_t index) { return items_[index - firstKept_]; }

// Only what the walk takes from a listing is kept: replayed, it gives the walk the same files and
// subfolders again.
std::shared_ptr<FolderReadAhead::Listing> FolderReadAhead::ListInWalkOrder(VolumeFolder& folder) const {
    auto listing = std::make_shared<Listing>();
    listing->version = folder.Version();
    Listing& kept = *listing;
    kept.last = order_.Read(
        folder,
        [&kept](std::string_view name) {
            const auto style = NameFilter(name);
            const auto cacheFile = style ? std::nullopt : CacheFileOf(name);
            if (style || cacheFile) {
                // An index.dat is read only once a photo below it wants its records.
                if (style ? RecognizeCandidate(name, *style).has_value() : *cacheFile != CacheFileKind::IndexDat)
                    kept.filesToRead.push_back({kept.filterPasses, kept.entries.size()});
                ++kept.filterPasses;
            }
            kept.names.append(name);
            kept.entries.push_back({kept.names.size(), EntryKind::File, FileIdentity{}});
        },
        [&kept](std::string_view name, const FileIdentity& identity) {
            kept.names.append(name);
            kept.entries.push_back({kept.names.size(), EntryKind::Folder, identity});
        });
    if (kept.last == ListingStep::Failed) kept.error = folder.Error();
    return listing;
}

// Items listed, in the walk's order, append their subfolders to the items: the folders the walk
// will queue, in the order it will queue them, none met before.
void FolderReadAhead::QueueSubfoldersOfListed() {
    while (nextToQueueSubfolders_ < firstKept_ + items_.size() &&
           ItemAt(nextToQueueSubfolders_).state == Item::State::Listed) {
        Item& item = ItemAt(nextToQueueSubfolders_++);
        item.filterPassesBefore = filterPassesQueued_;
        if (!item.listing) continue;
        filterPassesQueued_ += item.listing->filterPasses;
        const Listing& listing = *item.listing;
        for (std::size_t i = 0; i < listing.entries.size(); ++i)
            if (listing.entries[i].kind == EntryKind::Folder && met_.FirstMeeting(listing.entries[i].identity))
                items_.emplace_back(order_.Subfolder(item.folder.path, listing.Name(i), listing.entries[i].identity));
    }
}

// The next few files to read ahead, all of one folder, when the walk is near enough to them.
bool FolderReadAhead::ClaimFileReads(QueuedFolder& folder, std::shared_ptr<const Listing>& listing,
                                     std::size_t& begin, std::size_t& end) {
    if (!readsFiles_) return false;
    readFolder_ = std::max(readFolder_, firstKept_);
    while (readFolder_ < nextToQueueSubfolders_) {
        const Item& item = ItemAt(readFolder_);
        const std::size_t count = item.listing ? item.listing->filesToRead.size() : 0;
        // The place of a file among all passes, as the walk comes to them.
        const auto place = [&](std::size_t i) {
            return item.filterPassesBefore + item.listing->filesToRead[i].filterPass;
        };
        while (readFile_ < count && place(readFile_) < walkFilterPasses_) {
            ++readFile_;  // the walk is there before its read was started
        }
        if (readFile_ >= count) {
            ++readFolder_;
            readFile_ = 0;
            continue;
        }
        const std::size_t limit = walkFilterPasses_ + kFilesAhead;
        if (place(readFile_) >= limit) return false;
        begin = readFile_;
        end = begin + 1;
        while (end < count && end < begin + kFilesPerOpen && place(end) < limit) ++end;
        readFile_ = end;
        folder = item.folder;
        listing = item.listing;
        return true;
    }
    return false;
}

void FolderReadAhead::RunHelper(unsigned helper) {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (helper >= helpersAllowed_) {
            idle_.wait(lock);
            continue;
        }
        QueuedFolder folder;
        std::shared_ptr<const Listing> reads;
        std::size_t begin = 0, end = 0;
        if (ClaimFileReads(folder, reads, begin, end)) {
            lock.unlock();
            try {
                SystemError error;
                if (const auto open = volume_.OpenBelow(root_, folder.path, folder.identity, error))
                    for (std::size_t i = begin; i < end; ++i) open->ReadAhead(reads->Name(reads->filesToRead[i].entry));
            } catch (const std::exception&) {
                // A hint that could not be given costs nothing but time.
            }
            lock.lock();
            continue;
        }
        if (nextToList_ < firstKept_ + items_.size() && nextToList_ < nextForWalk_ + kFoldersAhead) {
            const std::size_t index = nextToList_++;
            ItemAt(index).state = Item::State::Listing;
            folder = ItemAt(index).folder;
            lock.unlock();
            std::shared_ptr<const Listing> listing;
            const auto start = std::chrono::steady_clock::now();
            try {
                SystemError error;
                if (const auto open = volume_.OpenBelow(root_, folder.path, folder.identity, error))
                    listing = ListInWalkOrder(*open);
            } catch (const std::exception&) {
                // The walk lists the folder itself, and meets the failure there.
            }
            const bool slow = std::chrono::steady_clock::now() - start > kSlowListing;
            lock.lock();
            slowListingsLately_ += slow ? 1 : 0;
            ItemAt(index).listing = std::move(listing);
            ItemAt(index).state = Item::State::Listed;
            QueueSubfoldersOfListed();
            if (walkWaitsForListing_) listed_.notify_one();
            if (helpersWithoutWork_ > 0) work_.notify_all();
            continue;
        }
        ++helpersWithoutWork_;
        work_.wait(lock);
        --helpersWithoutWork_;
    }
}

std::unique_ptr<VolumeFolder> FolderReadAhead::Open(const QueuedFolder& folder, SystemError& error) {
    std::unique_ptr<VolumeFolder> open = volume_.OpenBelow(root_, folder.path, folder.identity, error);
    std::unique_lock lock(mutex_);
    if (stopped_) return open;
    const std::size_t index = nextForWalk_;
    if (index >= firstKept_ + items_.size() || ItemAt(index).folder.path != folder.path ||
        ItemAt(index).folder.identity != folder.identity) {
        StopHelpers(lock);  // out of step with the walk: it goes on alone
        return open;
    }
    bool outOfStep = false;
    std::shared_ptr<const Listing> listing;
    if (ItemAt(index).state == Item::State::Waiting) {
        // Not reached by the helpers yet: the walk lists its own open folder.
        ++nextToList_;
        ItemAt(index).state = Item::State::Listing;
        lock.unlock();
        if (open) listing = ListInWalkOrder(*open);
        lock.lock();
        ItemAt(index).listing = listing;
        ItemAt(index).state = Item::State::Listed;
        QueueSubfoldersOfListed();
        if (helpersWithoutWork_ > 0) work_.notify_all();
    } else {
        if (ItemAt(index).state != Item::State::Listed) ++walkWaitsLately_;
        walkWaitsForListing_ = true;
        listed_.wait(lock, [&] { return ItemAt(index).state == Item::State::Listed; });
        walkWaitsForListing_ = false;
        listing = ItemAt(index).listing;
        if (open && !(listing && SameEntries(listing->version, open->Version()))) {
            // Changed since, or listed ahead in the very tick of a change: the walk's own listing.
            lock.unlock();
            auto own = ListInWalkOrder(*open);
            lock.lock();
            outOfStep = !listing || !own->SameFolders(*listing);
            listing = std::move(own);
        } else if (!open && listing) {
            outOfStep = std::any_of(listing->entries.begin(), listing->entries.end(),
                                    [](const Listing::Entry& entry) { return entry.kind == EntryKind::Folder; });
        }
    }
    nextForWalk_ = index + 1;
    CountWalkStep();
    walkFilterPasses_ = ItemAt(index).filterPassesBefore;
    if (readFolder_ < index) {
        readFolder_ = index;
        readFile_ = 0;
    }
    while (firstKept_ < index && firstKept_ < nextToQueueSubfolders_) {
        items_.pop_front();
        ++firstKept_;
    }
    if (outOfStep) StopHelpers(lock);
    else if (helpersWithoutWork_ > 0) work_.notify_one();
    if (!open) return nullptr;
    return std::make_unique<ReplayedFolder>(std::move(open), std::move(listing));
}

void FolderReadAhead::ReachedCandidate() {
    bool batch;
    {
        std::lock_guard lock(mutex_);
        batch = ++walkFilterPasses_ % kFilesPerOpen == 0 && helpersWithoutWork_ > 0;
        CountWalkStep();
    }
    if (batch) work_.notify_one();
}

void FolderReadAhead::CountWalkStep() {
    if (++walkSteps_ % kWalkStepsPerGrowthCheck != 0) return;
    // The first steps wait for the helpers to start, wherever the tree is.
    if (walkSteps_ > kWalkStepsPerGrowthCheck && walkWaitsLately_ > kWaitsToGrow &&
        slowListingsLately_ > kWaitsToGrow && helpersAllowed_ < helpers_.size()) {
        helpersAllowed_ = std::min<unsigned>(helpersAllowed_ * 2, helpers_.size());
        idle_.notify_all();
    }
    walkWaitsLately_ = slowListingsLately_ = 0;
}

}  // namespace snapsift
