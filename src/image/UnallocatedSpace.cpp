#include "image/UnallocatedSpace.h"

#include <tsk/libtsk.h>

#include <algorithm>
#include <exception>
#include <vector>

namespace snapsift {

namespace {

struct Walker {
    const UnallocatedReader& read;
    const std::function<bool()>& stop;
    std::uint64_t fsOffset, clusterSize;
    std::size_t windowBytes;
    UnallocatedWalk walk{};
    std::vector<std::uint8_t> window{};
    std::uint64_t firstCluster = 0, nextCluster = 0;

    // Hands the window over; at a run's end all of it is dropped, otherwise what the reader is done with.
    void Hand(bool runEnds) {
        if (window.empty()) return;
        const std::size_t done = read({clusterSize, firstCluster, fsOffset + firstCluster * clusterSize,
                                       {window.data(), window.size()}, runEnds});
        if (runEnds) {
            window.clear();
            return;
        }
        // Whole clusters, and at least one, so that the window moves on.
        const std::size_t clusters = std::clamp<std::size_t>(done / clusterSize, 1, window.size() / clusterSize);
        window.erase(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(clusters * clusterSize));
        firstCluster += clusters;
    }

    TSK_WALK_RET_ENUM Block(const TSK_FS_BLOCK* block) {
        if (stop && stop()) {
            walk.stopped = true;
            return TSK_WALK_STOP;
        }
        if (block->addr != nextCluster || window.empty()) {
            Hand(true);
            firstCluster = block->addr;
        }
        window.insert(window.end(), block->buf, block->buf + clusterSize);
        nextCluster = block->addr + 1;
        walk.bytesRead += clusterSize;
        if (window.size() >= windowBytes) Hand(false);
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
    Walker walker{read, stop, fsOffset, fs->block_size, std::max<std::size_t>(windowBytes, fs->block_size)};
    walker.walk.clusterSize = fs->block_size;
    walker.window.reserve(walker.windowBytes);
    const auto flags = static_cast<TSK_FS_BLOCK_WALK_FLAG_ENUM>(TSK_FS_BLOCK_WALK_FLAG_UNALLOC | TSK_FS_BLOCK_WALK_FLAG_CONT);
    const bool failed = tsk_fs_block_walk(fs, fs->first_block, fs->last_block, flags, OnBlock, &walker) != 0;
    if (failed && walker.walk.failure.empty()) {
        const char* why = tsk_error_get();
        walker.walk.failure = std::string("the clusters could not be read: ") + (why != nullptr ? why : "unknown error");
        tsk_error_reset();
    }
    if (!walker.walk.stopped) walker.Hand(true);  // the last run, or what was read before a failure
    return walker.walk;
}

}  // namespace snapsift
