#include "search/FolderWalk.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <optional>
#include <string_view>
#include <vector>

#include "volume/Volume.h"
#include "platform/Paths.h"
#include "platform/ThreadWaits.h"
#include "search/FolderReadAhead.h"
#include "search/Recognition.h"
#include "search/WalkOrder.h"

namespace snapsift {

namespace {

// The names of a folder's regular files in listing order, packed into one buffer so that a
// folder with many files costs two allocations, not one per file.
class FileNames {
public:
    void Clear() {
        text_.clear();
        ends_.clear();
    }
    void Add(std::string_view name) {
        text_.append(name);
        ends_.push_back(text_.size());
    }
    std::size_t Count() const { return ends_.size(); }
    std::string_view operator[](std::size_t i) const {
        const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
        return std::string_view(text_).substr(begin, ends_[i] - begin);
    }

private:
    std::string text_;
    std::vector<std::size_t> ends_;
};

// Reads one open folder in a single pass, in the walk's order: its subfolders to the queue (when
// the order queues them), its regular files to `files`. A subfolder met before is a loop: the host
// hears of it, and it is not queued. What was read before a failure is kept, and the failure goes
// to the host. A long listing yields to the host every kEntriesPerYield entries, so that a folder
// of many entries on a slow disk does not hold the window still.
void ReadFolder(SearchHost& host, VolumeFolder& listing, const std::string& folder, const WalkOrder& order,
                std::deque<QueuedFolder>& queue, FoldersMet& met, FileNames& files) {
    constexpr std::size_t kEntriesPerYield = 1024;
    std::size_t entries = 0;
    const auto counted = [&] {
        if (++entries % kEntriesPerYield == 0) host.Yield();
    };
    files.Clear();
    if (!listing.AccessTimeKept()) host.AccessTimeNotKept(folder);
    const ListingStep last = order.Read(
        listing,
        [&](std::string_view name) {
            files.Add(name);
            counted();
        },
        [&](std::string_view name, const FileIdentity& identity) {
            counted();
            QueuedFolder subfolder = order.Subfolder(folder, name, identity);
            if (met.FirstMeeting(identity))
                queue.push_back(std::move(subfolder));
            else
                host.FolderUnreadable(subfolder.path, SystemError{kFolderLoop});
        });
    if (last == ListingStep::Failed) host.FolderUnreadable(folder, listing.Error());
}

// The files of one folder, each: abort test, path shown, yield, name filter and, on a match,
// ProcessCandidate, or for a name a browser's cache gives its files, ProcessCacheFile; one whose processing fails is counted in candidatesLost and handed to the
// host. False when the walk was aborted.
bool ExamineFiles(const std::atomic<bool>& abortRequested, SearchHost& host, CandidateHandler& handler,
                  const VolumeFolder& listing, const std::string& folder, const FileNames& files,
                  std::uint64_t& candidatesLost, FolderReadAhead* readAhead = nullptr) {
    std::string fullPath = folder;
    for (std::size_t i = 0; i < files.Count(); ++i) {
        if (abortRequested) return false;
        const std::string_view name = files[i];
        fullPath.resize(folder.size());
        fullPath.append(name);
        host.ShowPath(fullPath);
        host.Yield();
        // An abort confirmed in that turn (the click may have come during a slow listing) ends
        // the walk before this file.
        if (abortRequested) return false;
        const auto nameStyle = NameFilter(name);
        const auto cacheFile = nameStyle ? std::nullopt : CacheFileOf(name);
        if (!nameStyle && !cacheFile) continue;
        // The helpers read ahead the files handed over, counted as the walk comes to them.
        if (readAhead != nullptr) readAhead->ReachedCandidate();
        try {
            if (nameStyle)
                handler.ProcessCandidate(listing, fullPath, std::string(name), *nameStyle);
            else
                handler.ProcessCacheFile(listing, fullPath, std::string(name), *cacheFile);
        } catch (const std::exception& failure) {
            // A failure inside one file's processing never stops the walk.
            ++candidatesLost;
            host.CandidateLost(fullPath, failure.what());
        }
    }
    return true;
}

// Whether the disk is slower than the walk, from the walk's own folder reads (open and listing,
// on a steady clock). Read-ahead pays only then: with the folders in memory the helpers would
// list every folder a second time and take the processors from the walk. Measured on a small
// machine (2 cores, ext4 on a virtual disk), a folder read from memory takes about 10 us, plus
// 0.35 us a file and 2 us a subfolder (each subfolder is looked at); from the disk 60 to 150 us
// for a few entries, 17 ms for a thousand subfolders. A read is slow past kRead plus kPerFile
// and kPerFolder for its entries, very slow past that plus kVerySlow, and counts only when the
// walk's thread went to sleep since the walk began or since the last slow read: a read from
// memory on a busy machine takes as long when the walk loses its processor, but the walk never
// sleeps then. (Asking at the slow reads alone keeps the question off a walk in memory.) Where
// the system does not tell sleeps from preemption, a slow read counts as it is. The disk is found
// slow after kSlowReads slow or kVerySlowReads very slow reads among the last 32.
class DiskClock {
public:
    DiskClock() : waits_(WaitsOfThisThread()) {}
    void Start() { start_ = std::chrono::steady_clock::now(); }
    // A folder of `files` files and `folders` subfolders was opened and listed since Start.
    bool Slow(std::size_t files, std::size_t folders) {
        using std::chrono::nanoseconds;
        constexpr nanoseconds kRead{25'000}, kPerFile{500}, kPerFolder{4'000}, kVerySlow{1'000'000};
        constexpr int kSlowReads = 4, kVerySlowReads = 2;
        const auto took = std::chrono::steady_clock::now() - start_;
        const auto allowed = kRead + kPerFile * static_cast<long long>(files) + kPerFolder * static_cast<long long>(folders);
        bool slow = took > allowed;
        if (slow && waits_) {
            const auto waits = WaitsOfThisThread();
            slow = !waits || *waits > *waits_;
            waits_ = waits;
        }
        slow_ = slow_ << 1 | (slow ? 1u : 0u);
        verySlow_ = verySlow_ << 1 | (slow && took > allowed + kVerySlow ? 1u : 0u);
        return std::popcount(slow_) >= kSlowReads || std::popcount(verySlow_) >= kVerySlowReads;
    }

private:
    std::chrono::steady_clock::time_point start_;
    std::optional<std::uint64_t> waits_;     // the thread's sleeps so far, at the start or the last slow read
    std::uint32_t slow_ = 0, verySlow_ = 0;  // a bit for each of the last 32 reads
};

// The walk's root handed to the handler for as long as the walk runs.
class RootHandedOver {
public:
    RootHandedOver(CandidateHandler& handler, Volume& volume, const VolumeFolder& root, const std::string& rootPath)
        : handler_(handler) {
        handler_.WalkRoot(&volume, &root, rootPath);
    }
    ~RootHandedOver() { handler_.WalkRoot(nullptr, nullptr, {}); }
    RootHandedOver(const RootHandedOver&) = delete;
    RootHandedOver& operator=(const RootHandedOver&) = delete;

private:
    CandidateHandler& handler_;
};

// The path with the volume's separator at its end: on the live volume as WithTrailingSeparator makes it.
std::string FolderPath(const Volume& volume, const std::string& path) {
    const char separator = volume.Separator();
    if (separator == kSeparator) return WithTrailingSeparator(path);
    return path.ends_with(separator) ? path : path + separator;
}

}  // namespace

unsigned DefaultReadAheadHelpers() {
    constexpr unsigned kHelpers = 8;
    const char* text = std::getenv("SNAPSIFT_READ_AHEAD");
    if (text == nullptr || *text == '\0') return kHelpers;
    char* end = nullptr;
    const unsigned long helpers = std::strtoul(text, &end, 10);
    return *end == '\0' ? static_cast<unsigned>(std::min(helpers, 64ul)) : kHelpers;
}

bool DefaultReadAheadAtOnce() {
    const char* text = std::getenv("SNAPSIFT_READ_AHEAD_AT_ONCE");
    return text != nullptr && std::string_view(text) == "1";
}

// The root stays open for the whole walk; every folder below it is opened through it, so that
// no link on the way is followed and the depth of the tree does not matter.
void FolderWalk::SearchFolderTree(const std::string& rootPath) {
    if (!volume_.FolderExists(rootPath)) return;
    const std::string rootFolder = FolderPath(volume_, rootPath);
    const WalkOrder order(volume_.Separator(), skip_, true);
    FileNames files;
    std::deque<QueuedFolder> queue;
    SystemError error;
    DiskClock disk;
    disk.Start();
    const std::unique_ptr<VolumeFolder> root = volume_.OpenRoot(rootFolder, error);
    if (!root) {
        host_.FolderUnreadable(rootFolder, error);
        return;
    }
    // Where the root's identity is unknown, a way back to it is walked once more before its
    // subfolders, met by then, end the loop.
    const RootHandedOver handedOver(handler_, volume_, *root, rootFolder);
    FoldersMet met;
    if (const auto rootIdentity = root->Identity()) met.FirstMeeting(*rootIdentity);
    ReadFolder(host_, *root, rootFolder, order, queue, met, files);
    // The helpers start on the folders queued once a folder read shows the disk slower than the
    // walk; they take the queue from there in the walk's order.
    std::optional<FolderReadAhead> readAhead;
    const bool mayReadAhead = helpers_ > 0 && volume_.ListsAhead();
    const auto startWhenSlow = [&](std::size_t subfolders) {
        if (mayReadAhead && !readAhead && (disk.Slow(files.Count(), subfolders) || atOnce_) && !queue.empty())
            readAhead.emplace(volume_, *root, order, queue, met, helpers_);
    };
    startWhenSlow(queue.size());
    if (!ExamineFiles(abortRequested_, host_, handler_, *root, rootFolder, files, candidatesLost_)) return;
    while (!queue.empty()) {
        // A turn between folders as well as between files: a run of folders without files, or
        // of folders that cannot be opened, keeps the host alive and can be aborted.
        host_.Yield();
        if (abortRequested_) return;
        const QueuedFolder folder = std::move(queue.front());
        queue.pop_front();
        disk.Start();
        const std::unique_ptr<VolumeFolder> listing =
            readAhead ? readAhead->Open(folder, error) : volume_.OpenBelow(*root, folder.path, folder.identity, error);
        if (!listing) {
            host_.FolderUnreadable(folder.path, error);
            continue;
        }
        const std::size_t queued = queue.size();
        ReadFolder(host_, *listing, folder.path, order, queue, met, files);
        // Files of a folder read before the helpers started are not theirs to read ahead.
        FolderReadAhead* const ahead = readAhead ? &*readAhead : nullptr;
        startWhenSlow(queue.size() - queued);
        if (!ExamineFiles(abortRequested_, host_, handler_, *listing, folder.path, files, candidatesLost_, ahead)) return;
    }
}

void FolderWalk::SearchFolder(const std::string& rootPath) {
    if (!volume_.FolderExists(rootPath)) return;
    const std::string folder = FolderPath(volume_, rootPath);
    const WalkOrder order(volume_.Separator(), skip_, false);
    FileNames files;
    std::deque<QueuedFolder> noQueue;
    FoldersMet noneQueued;
    SystemError error;
    const std::unique_ptr<VolumeFolder> listing = volume_.OpenRoot(folder, error);
    if (!listing) {
        host_.FolderUnreadable(folder, error);
        return;
    }
    const RootHandedOver handedOver(handler_, volume_, *listing, folder);
    ReadFolder(host_, *listing, folder, order, noQueue, noneQueued, files);
    ExamineFiles(abortRequested_, host_, handler_, *listing, folder, files, candidatesLost_);
}

}  // namespace snapsift
