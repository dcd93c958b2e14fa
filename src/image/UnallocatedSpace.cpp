#include "image/UnallocatedSpace.h"

#include <tsk/libtsk.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>

namespace snapsift {

namespace {

// The walk takes the unallocated clusters' addresses from the allocation map and reads each run's
// bytes straight into the window, as many clusters at a time as the window has room for.
struct Walker {
    TSK_FS_INFO* fs;
    const UnallocatedReader& read;
    const std::function<bool()>& stop;
    std::uint64_t fsOffset, clusterSize;
    std::size_t windowBytes;
    UnallocatedWalk walk{};
    std::unique_ptr<std::uint8_t[]> window{};
    std::size_t held = 0;           // the window's bytes read
    std::uint64_t unread = 0;       // the run's clusters after them, not read yet
    std::uint64_t firstCluster = 0, nextCluster = 0;

    // Reads the clusters not read yet, then hands the window over; at a run's end all of it is
    // dropped, otherwise what the reader is done with. False when the clusters could not be read.
    bool Hand(bool runEnds) {
        if (unread != 0) {
            const std::size_t bytes = static_cast<std::size_t>(unread * clusterSize);
            const ssize_t got = tsk_fs_read(fs, static_cast<TSK_OFF_T>(firstCluster * clusterSize + held),
                                            reinterpret_cast<char*>(window.get() + held), bytes);
            if (got != static_cast<ssize_t>(bytes)) {
                const char* why = tsk_error_get();
                walk.failure = std::string("the clusters could not be read: ") + (why != nullptr ? why : "unknown error");
                tsk_error_reset();
                return false;
            }
            held += bytes;
            unread = 0;
        }
        if (held == 0) return true;
        const std::size_t done = read({clusterSize, firstCluster, fsOffset + firstCluster * clusterSize,
                                       {window.get(), held}, runEnds});
        if (runEnds) {
            held = 0;
            return true;
        }
        // Whole clusters, and at least one, so that the window moves on.
        const std::size_t clusters = std::clamp<std::size_t>(done / clusterSize, 1, held / clusterSize);
        std::memmove(window.get(), window.get() + clusters * clusterSize, held - clusters * clusterSize);
        held -= clusters * clusterSize;
        firstCluster += clusters;
        return true;
    }

    TSK_WALK_RET_ENUM Block(const TSK_FS_BLOCK* block) {
        if (stop && stop()) {
            walk.stopped = true;
            return TSK_WALK_STOP;
        }
        if (block->addr != nextCluster || held + unread == 0) {
            if (!Hand(true)) return TSK_WALK_ERROR;
            firstCluster = block->addr;
        }
        ++unread;
        nextCluster = block->addr + 1;
        walk.bytesRead += clusterSize;
        if (held + unread * clusterSize >= windowBytes && !Hand(false)) return TSK_WALK_ERROR;
        return TSK_WALK_CONT;
    }
};

TSK_WALK_RET_ENUM OnBlock(const TSK_FS_BLOCK* block, void* walker) {
    try {
        return static_cast<Walker*>(walker)->Block(block);
    } catch (const std::exception& e) {  // memory running out
        static_cast<Walker*>(walker)->walk.failure = std::string("cannot hold the clusters read: ") + e.what();
        return TSK_WALK_ERROR;
    }
}

TSK_WALK_RET_ENUM CountBlock(const TSK_FS_BLOCK*, void* count) {
    ++*static_cast<std::uint64_t*>(count);
    return TSK_WALK_CONT;
}

}  // namespace

std::uint64_t UnallocatedBytes(TSK_FS_INFO* fs) {
    std::uint64_t clusters = 0;
    const auto flags = static_cast<TSK_FS_BLOCK_WALK_FLAG_ENUM>(TSK_FS_BLOCK_WALK_FLAG_UNALLOC | TSK_FS_BLOCK_WALK_FLAG_AONLY);
    if (tsk_fs_block_walk(fs, fs->first_block, fs->last_block, flags, CountBlock, &clusters) != 0) tsk_error_reset();
    return clusters * fs->block_size;
}

UnallocatedWalk WalkUnallocatedClusters(TSK_FS_INFO* fs, std::uint64_t fsOffset, std::size_t windowBytes,
                                        const UnallocatedReader& read, const std::function<bool()>& stop) {
    const std::size_t cluster = fs->block_size;
    Walker walker{fs, read, stop, fsOffset, cluster, std::max<std::size_t>(windowBytes / cluster * cluster, cluster)};
    walker.walk.clusterSize = cluster;
    const auto flags = static_cast<TSK_FS_BLOCK_WALK_FLAG_ENUM>(TSK_FS_BLOCK_WALK_FLAG_UNALLOC | TSK_FS_BLOCK_WALK_FLAG_CONT |
                                                                TSK_FS_BLOCK_WALK_FLAG_AONLY);
    try {
        walker.window.reset(new std::uint8_t[walker.windowBytes]);
    } catch (const std::exception& e) {
        walker.walk.failure = std::string("cannot hold the clusters read: ") + e.what();
        return walker.walk;
    }
    const bool failed = tsk_fs_block_walk(fs, fs->first_block, fs->last_block, flags, OnBlock, &walker) != 0;
    if (failed && walker.walk.failure.empty()) {
        const char* why = tsk_error_get();
        walker.walk.failure = std::string("the clusters could not be read: ") + (why != nullptr ? why : "unknown error");
        tsk_error_reset();
    }
    if (!walker.walk.stopped && walker.walk.failure.empty()) walker.Hand(true);  // the last run
    return walker.walk;
}

}  // namespace snapsift
