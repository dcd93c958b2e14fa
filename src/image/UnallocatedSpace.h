// The unallocated clusters of a file system, read in order and once, as contiguous runs handed
// over in windows of bounded size: what a search for files that no longer have a name reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

struct TSK_FS_INFO;

namespace snapsift {

// A window of one run of contiguous unallocated clusters.
struct UnallocatedWindow {
    std::uint64_t clusterSize = 0;
    std::uint64_t firstCluster = 0;  // the window's first cluster, numbered from the file system's start
    std::uint64_t imageOffset = 0;   // where its first byte lies in the image's data
    std::span<const std::uint8_t> bytes;  // whole clusters
    bool runEnds = false;  // the run ends with these bytes; otherwise it goes on past them
};

// The reader of the windows: how many of the window's first bytes it is done with (whole
// clusters; at least one when the run goes on). The rest is handed again with what follows.
using UnallocatedReader = std::function<std::size_t(const UnallocatedWindow& window)>;

struct UnallocatedWalk {
    std::uint64_t clusterSize = 0;
    std::uint64_t bytesRead = 0;  // of unallocated space
    std::string failure;          // why the walk ended before the last cluster; empty when it did not
    bool stopped = false;         // stop() said so
};

// The unallocated space of one partition of an image, searched after its files.
struct UnallocatedArea {
    std::string name;  // "case.E01, partition 2"; "case.img" for an image holding a bare file system
    std::uint64_t clusterSize = 0;
    std::uint64_t bytes = 0;  // how much of it there is, counted from the allocation map
    // Walks it as WalkUnallocatedClusters does.
    std::function<UnallocatedWalk(std::size_t windowBytes, const UnallocatedReader& read,
                                  const std::function<bool()>& stop)>
        walk;
    // Whether a byte of the image's data in [offset, offset + length) lies in a damaged part, read as zeros.
    std::function<bool(std::uint64_t offset, std::uint64_t length)> damaged;
};

// Walks the unallocated clusters of `fs` (whose first byte lies at fsOffset in the image's
// data): each run of contiguous ones is handed to `read` in windows of at most windowBytes (and
// at least one cluster), the last with runEnds. stop is asked between clusters. Memory: one window.
// The bytes of `fs`'s unallocated clusters, counted from its allocation map without reading them.
std::uint64_t UnallocatedBytes(TSK_FS_INFO* fs);

UnallocatedWalk WalkUnallocatedClusters(TSK_FS_INFO* fs, std::uint64_t fsOffset, std::size_t windowBytes,
                                        const UnallocatedReader& read, const std::function<bool()>& stop);

}  // namespace snapsift
