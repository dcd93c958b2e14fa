// The photos of cache entries carved from a partition's unallocated space: each one recorded
// through the loop that records the entries of a live cache, its full path where its bytes lie.
#include "cache/Carving.h"
#include "evidence/EvidenceRecorder.h"
#include "search/Recognition.h"

namespace snapsift {

namespace {

// The window the walk hands over: room for an entry of the largest size to begin anywhere in
// its first three quarters and end inside it; the last quarter is read again with the next.
constexpr std::size_t kCarvingWindow = 4 * kLargestCarvedEntry;

constexpr std::string_view kRecovered =
    "recovered from unallocated space: the file that held it was deleted; its times are gone";

}  // namespace

void EvidenceRecorder::CarveUnallocated(const UnallocatedArea& area) {
    carving_ = true;
    const CacheWanted photoKey = [](const CacheEntry& cached) { return PhotoOfCachedUrl(cached.url).has_value(); };
    std::uint64_t clusters = 0;  // asked about so far: each one read
    host_.CarvingProgress(area.name, 0, area.bytes);
    const auto stop = [&] {
        // The host is asked now and then: each cluster is a few microseconds' work.
        if (clusters++ % 256 == 0) {
            host_.CarvingProgress(area.name, clusters * area.clusterSize, area.bytes);
            host_.Yield();
        }
        return abortRequested_ != nullptr && *abortRequested_;
    };
    const auto read = [&](const UnallocatedWindow& window) -> std::size_t {
        // Before the run's end, entries are carved from those beginning before its last
        // kLargestCarvedEntry bytes only (its first half, when it is smaller): one there may run
        // past the window. The next window begins past the last of them.
        const std::uint64_t size = window.bytes.size(), cluster = window.clusterSize;
        const std::uint64_t startsBefore =
            window.runEnds ? size : (size - std::min<std::uint64_t>(size / 2, kLargestCarvedEntry)) / cluster * cluster;
        CarvedContents carved = CarveCacheEntries(window.bytes, static_cast<std::size_t>(window.clusterSize), startsBefore, photoKey);
        const std::string runPlace = area.name + ", unallocated space, clusters " + std::to_string(window.firstCluster) +
                                     "-" + std::to_string(window.firstCluster + window.bytes.size() / window.clusterSize - 1);
        if (carved.contents.findings.Damaged())
            CachePartUnreadable(runPlace, "part of it was not searched for cache entries: " + carved.contents.findings.Text());
        std::uint64_t done = startsBefore;
        for (std::size_t i = 0; i < carved.places.size(); ++i) {
            const CarvedPlace& place = carved.places[i];
            CacheContents one;
            one.entries.push_back(std::move(carved.contents.entries[i]));
            const std::uint64_t first = window.firstCluster + place.offset / window.clusterSize;
            const std::uint64_t last = window.firstCluster + (place.offset + place.length - 1) / window.clusterSize;
            const std::uint64_t offset = window.imageOffset + place.offset;
            if (area.damaged && area.damaged(offset, place.length))
                one.entries.front().findings.Add(Severity::Damaged, "its bytes lie in a damaged part of the disk image, "
                                                                    "which was read as zeros");
            const std::string where = area.name + ", unallocated space, byte offset " + std::to_string(offset) +
                                      " (clusters " + std::to_string(first) + "-" + std::to_string(last) + ")";
            RecordCacheContents(one, {}, {.path = where, .status = std::string(kRecovered)}, nullptr);
            done = std::max<std::uint64_t>(done, place.offset + place.length);
        }
        // The last entry's last cluster is its own to the end.
        return static_cast<std::size_t>(std::min(size, (done + cluster - 1) / cluster * cluster));
    };
    const UnallocatedWalk walk = area.walk(kCarvingWindow, read, stop);
    host_.CarvingProgress(area.name, walk.bytesRead, area.bytes);
    if (!walk.failure.empty())
        CachePartUnreadable(area.name + ", unallocated space", "not all of it could be read: " + walk.failure);
    carving_ = false;
}

}  // namespace snapsift
