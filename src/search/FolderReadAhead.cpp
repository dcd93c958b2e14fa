#include "search/FolderReadAhead.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <string_view>

#include "search/Recognition.h"

namespace snapsift {

namespace {

// How far the helpers go ahead of the walk: folders listed, and files passing the name filter
// (only those with a user ID recognised are read ahead: the others are never opened).
constexpr std::size_t kFoldersAhead = 2048;
constexpr std::size_t kFilesAhead = 64;
// Two helpers work at first; twice as many whenever, in kStepsPerLook steps of the walk (folders
// entered, files come to), the walk waited more than kWaitsToGrow times for a listing and as
// many listings took longer than kSlowListing: the disk is slower than the walk, and more reads
// under way at once pay. With everything in memory more helpers would only share the processors.
constexpr unsigned kFirstHelpers = 2;
constexpr std::size_t kStepsPerLook = 32, kWaitsToGrow = 4;
constexpr auto kSlowListing = std::chrono::microseconds(400);
// Files read ahead through one open of their folder.
constexpr std::size_t kFilesPerOpen = 8;

}  // namespace

// One folder's listing as it was read: every entry, how the listing ended, what tells a later
// open of the folder whether it changed, and which files pass the name filter.
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
    std::size_t passes = 0;  // entries passing the name filter
    struct Candidate {
        std::size_t pass;   // which of those passes
        std::size_t entry;
    };
    std::vector<Candidate> candidates;  // those passes whose user ID is recognised: the files read

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
    std::size_t firstCandidate = 0;          // among all the walk's candidates, once committed
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
    void ReadAhead(std::string_view name) const override { open_->ReadAhead(name); }

private:
    std::unique_ptr<VolumeFolder> open_;
    std::shared_ptr<const FolderReadAhead::Listing> listing_;
    std::size_t at_ = 0;
};

}  // namespace

FolderReadAhead::FolderReadAhead(Volume& volume, const VolumeFolder& root, char separator,
                                 const std::optional<FileIdentity>& skip, const std::deque<QueuedFolder>& queued,
                                 unsigned helpers)
    : volume_(volume), root_(root), separator_(separator), skip_(skip), readsFiles_(volume.ReadsFilesAhead()) {
    for (const QueuedFolder& folder : queued) items_.emplace_back(folder);
    active_ = std::min(helpers, kFirstHelpers);
    for (unsigned i = 0; i < helpers; ++i) helpers_.emplace_back([this, i] { Help(i); });
}

FolderReadAhead::~FolderReadAhead() {
    std::unique_lock lock(mutex_);
    Stop(lock);
}

void FolderReadAhead::Stop(std::unique_lock<std::mutex>& lock) {
    stopping_ = true;
    lock.unlock();
    work_.notify_all();
    idle_.notify_all();
    for (std::thread& helper : helpers_)
        if (helper.joinable()) helper.join();
    lock.lock();
    stopped_ = true;
}

FolderReadAhead::Item& FolderReadAhead::At(std::size_t index) { return items_[index - first_]; }

std::shared_ptr<FolderReadAhead::Listing> FolderReadAhead::List(VolumeFolder& folder) const {
    auto listing = std::make_shared<Listing>();
    listing->version = folder.Version();
    std::string_view name;
    EntryKind kind;
    FileIdentity identity;
    ListingStep step;
    while ((step = folder.Next(name, kind, &identity)) == ListingStep::Entry) {
        if (kind == EntryKind::Folder && identity == skip_) continue;
        if (kind == EntryKind::File) {
            if (const auto style = NameFilter(name)) {
                if (RecognizeCandidate(name, *style))
                    listing->candidates.push_back({listing->passes, listing->entries.size()});
                ++listing->passes;
            }
        }
        listing->names.append(name);
        listing->entries.push_back({listing->names.size(), kind, kind == EntryKind::Folder ? identity : FileIdentity{}});
    }
    listing->last = step;
    if (step == ListingStep::Failed) listing->error = folder.Error();
    return listing;
}

// Folders listed, in the walk's order, put their subfolders at the end of the order: the
// folders the walk will queue, in the order it will queue them.
void FolderReadAhead::Commit() {
    while (nextToCommit_ < first_ + items_.size() && At(nextToCommit_).state == Item::State::Listed) {
        Item& item = At(nextToCommit_++);
        item.firstCandidate = candidates_;
        if (!item.listing) continue;
        candidates_ += item.listing->passes;
        const Listing& listing = *item.listing;
        for (std::size_t i = 0; i < listing.entries.size(); ++i) {
            if (listing.entries[i].kind != EntryKind::Folder) continue;
            const std::string_view name = listing.Name(i);
            QueuedFolder sub;
            sub.path.reserve(item.folder.path.size() + name.size() + 1);
            sub.path.append(item.folder.path).append(name).push_back(separator_);
            sub.identity = listing.entries[i].identity;
            items_.emplace_back(std::move(sub));
        }
    }
}

// The next few files to read ahead, all of one folder, when the walk is near enough to them.
bool FolderReadAhead::ClaimReads(QueuedFolder& folder, std::shared_ptr<const Listing>& listing, std::size_t& begin,
                                 std::size_t& end) {
    if (!readsFiles_) return false;
    readItem_ = std::max(readItem_, first_);
    while (readItem_ < nextToCommit_) {
        const Item& item = At(readItem_);
        const std::size_t count = item.listing ? item.listing->candidates.size() : 0;
        // The place of a file among all passes of the name filter, as the walk comes to them.
        const auto place = [&](std::size_t i) { return item.firstCandidate + item.listing->candidates[i].pass; };
        while (readIndex_ < count && place(readIndex_) < reached_) {
            ++readIndex_;  // the walk is there before its read was started
        }
        if (readIndex_ >= count) {
            ++readItem_;
            readIndex_ = 0;
            continue;
        }
        const std::size_t limit = reached_ + kFilesAhead;
        if (place(readIndex_) >= limit) return false;
        begin = readIndex_;
        end = begin + 1;
        while (end < count && end < begin + kFilesPerOpen && place(end) < limit) ++end;
        readIndex_ = end;
        folder = item.folder;
        listing = item.listing;
        return true;
    }
    return false;
}

void FolderReadAhead::Help(unsigned helper) {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (helper >= active_) {
            idle_.wait(lock);
            continue;
        }
        QueuedFolder folder;
        std::shared_ptr<const Listing> reads;
        std::size_t begin = 0, end = 0;
        if (ClaimReads(folder, reads, begin, end)) {
            lock.unlock();
            try {
                SystemError error;
                if (const auto open = volume_.OpenBelow(root_, folder.path, folder.identity, error))
                    for (std::size_t i = begin; i < end; ++i) open->ReadAhead(reads->Name(reads->candidates[i].entry));
            } catch (...) {
                // A hint that could not be given costs nothing but time.
            }
            lock.lock();
            continue;
        }
        if (nextToList_ < first_ + items_.size() && nextToList_ < nextToTake_ + kFoldersAhead) {
            const std::size_t index = nextToList_++;
            At(index).state = Item::State::Listing;
            folder = At(index).folder;
            lock.unlock();
            std::shared_ptr<const Listing> listing;
            const auto start = std::chrono::steady_clock::now();
            try {
                SystemError error;
                if (const auto open = volume_.OpenBelow(root_, folder.path, folder.identity, error)) listing = List(*open);
            } catch (...) {
                // The walk lists the folder itself.
            }
            const bool slow = std::chrono::steady_clock::now() - start > kSlowListing;
            lock.lock();
            slow_ += slow ? 1 : 0;
            At(index).listing = std::move(listing);
            At(index).state = Item::State::Listed;
            Commit();
            if (walkWaits_) listed_.notify_one();
            if (waiting_ > 0) work_.notify_all();
            continue;
        }
        ++waiting_;
        work_.wait(lock);
        --waiting_;
    }
}

std::unique_ptr<VolumeFolder> FolderReadAhead::Open(const QueuedFolder& folder, SystemError& error) {
    std::unique_ptr<VolumeFolder> open = volume_.OpenBelow(root_, folder.path, folder.identity, error);
    std::unique_lock lock(mutex_);
    if (stopped_) return open;
    const std::size_t index = nextToTake_;
    if (index >= first_ + items_.size() || At(index).folder.path != folder.path ||
        At(index).folder.identity != folder.identity) {
        Stop(lock);  // out of step with the walk: it goes on alone
        return open;
    }
    bool outOfStep = false;
    std::shared_ptr<const Listing> listing;
    if (At(index).state == Item::State::Waiting) {
        // Not reached by the helpers yet: the walk lists its own open folder.
        ++nextToList_;
        At(index).state = Item::State::Listing;
        lock.unlock();
        if (open) listing = List(*open);
        lock.lock();
        At(index).listing = listing;
        At(index).state = Item::State::Listed;
        Commit();
        if (waiting_ > 0) work_.notify_all();
    } else {
        if (At(index).state != Item::State::Listed) ++waits_;
        walkWaits_ = true;
        listed_.wait(lock, [&] { return At(index).state == Item::State::Listed; });
        walkWaits_ = false;
        listing = At(index).listing;
        if (open && !(listing && SameEntries(listing->version, open->Version()))) {
            // Changed since, or listed ahead in the very tick of a change: the walk's own listing.
            lock.unlock();
            auto own = List(*open);
            lock.lock();
            outOfStep = !listing || !own->SameFolders(*listing);
            listing = std::move(own);
        } else if (!open && listing) {
            outOfStep = std::any_of(listing->entries.begin(), listing->entries.end(),
                                    [](const Listing::Entry& entry) { return entry.kind == EntryKind::Folder; });
        }
    }
    nextToTake_ = index + 1;
    Look();
    reached_ = At(index).firstCandidate;
    if (readItem_ < index) {
        readItem_ = index;
        readIndex_ = 0;
    }
    while (first_ < index && first_ < nextToCommit_) {
        items_.pop_front();
        ++first_;
    }
    if (outOfStep) Stop(lock);
    else if (waiting_ > 0) work_.notify_one();
    if (!open) return nullptr;
    return std::make_unique<ReplayedFolder>(std::move(open), std::move(listing));
}

void FolderReadAhead::Reached() {
    bool batch;
    {
        std::lock_guard lock(mutex_);
        batch = ++reached_ % kFilesPerOpen == 0 && waiting_ > 0;
        Look();
    }
    if (batch) work_.notify_one();
}

void FolderReadAhead::Look() {
    if (++looks_ % kStepsPerLook != 0) return;
    // The first steps wait for the helpers to start, wherever the tree is.
    if (looks_ > kStepsPerLook && waits_ > kWaitsToGrow && slow_ > kWaitsToGrow && active_ < helpers_.size()) {
        active_ = std::min<unsigned>(active_ * 2, helpers_.size());
        idle_.notify_all();
    }
    waits_ = slow_ = 0;
}

}  // namespace snapsift
