#include "image/UnallocatedSpace.h"

#include <tsk/libtsk.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace snapsift {

namespace {

// The runs of unallocated clusters are read on a thread of their own, a few pieces ahead of the
// reader of the windows, so that the disk image's reading (and an E01's inflating) goes on while
// the windows are searched. The walk itself runs on that thread and touches the file system
// alone; the windows, `read` and `stop` stay on the caller's.
constexpr std::size_t kPieceBytes = std::size_t{16} << 20;
constexpr std::size_t kPiecesAhead = 3;

struct Piece {
    std::uint64_t firstCluster = 0;
    std::size_t bytes = 0;  // read into `buffer`
    bool runEnds = false;   // the run ends with these bytes
    bool last = false;      // the walk ended: nothing follows
    std::string failure;    // why it ended before the last cluster
    std::unique_ptr<std::uint8_t[]> buffer;
};

class PieceQueue {
public:
    // Blocks while kPiecesAhead pieces wait; false when the reader has gone.
    bool Push(Piece piece) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return closed_ || waiting_.size() < kPiecesAhead; });
        if (closed_) return false;
        waiting_.push_back(std::move(piece));
        changed_.notify_all();
        return true;
    }
    Piece Pop() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !waiting_.empty(); });
        Piece piece = std::move(waiting_.front());
        waiting_.pop_front();
        changed_.notify_all();
        return piece;
    }
    // A buffer handed back, for the next piece to be read into.
    void Recycle(std::unique_ptr<std::uint8_t[]> buffer) {
        const std::lock_guard lock(mutex_);
        spare_.push_back(std::move(buffer));
    }
    std::unique_ptr<std::uint8_t[]> Buffer() {
        {
            const std::lock_guard lock(mutex_);
            if (!spare_.empty()) {
                auto buffer = std::move(spare_.back());
                spare_.pop_back();
                return buffer;
            }
        }
        return std::unique_ptr<std::uint8_t[]>(new std::uint8_t[kPieceBytes]);
    }
    bool Closed() {
        const std::lock_guard lock(mutex_);
        return closed_;
    }
    void Close() {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Piece> waiting_;
    std::vector<std::unique_ptr<std::uint8_t[]>> spare_;
    bool closed_ = false;
};

// The reading thread: the allocation map's unallocated clusters gathered into runs, each run
// read in pieces of at most kPieceBytes.
struct RunReader {
    TSK_FS_INFO* fs;
    std::uint64_t clusterSize;
    PieceQueue& queue;
    std::uint64_t firstCluster = 0, clusters = 0;  // gathered, not read yet
    bool any = false;                              // a cluster was met
    std::string failure{};

    bool Send(bool runEnds) {
        Piece piece;
        piece.firstCluster = firstCluster;
        piece.runEnds = runEnds;
        if (clusters != 0) {
            piece.bytes = static_cast<std::size_t>(clusters * clusterSize);
            piece.buffer = queue.Buffer();
            const ssize_t got = tsk_fs_read(fs, static_cast<TSK_OFF_T>(firstCluster * clusterSize),
                                            reinterpret_cast<char*>(piece.buffer.get()), piece.bytes);
            if (got != static_cast<ssize_t>(piece.bytes)) {
                const char* why = tsk_error_get();
                failure = std::string("the clusters could not be read: ") + (why != nullptr ? why : "unknown error");
                tsk_error_reset();
                return false;
            }
        }
        firstCluster += clusters;
        clusters = 0;
        return queue.Push(std::move(piece));
    }

    TSK_WALK_RET_ENUM Block(const TSK_FS_BLOCK* block) {
        const auto ended = [&] { return queue.Closed() ? TSK_WALK_STOP : TSK_WALK_ERROR; };
        if (queue.Closed()) return TSK_WALK_STOP;
        if (any && block->addr != firstCluster + clusters && !Send(true)) return ended();
        if (clusters == 0) firstCluster = block->addr;
        any = true;
        ++clusters;
        if ((clusters + 1) * clusterSize > kPieceBytes && !Send(false)) return ended();
        return TSK_WALK_CONT;
    }

    void Walk() {
        const auto flags = static_cast<TSK_FS_BLOCK_WALK_FLAG_ENUM>(TSK_FS_BLOCK_WALK_FLAG_UNALLOC | TSK_FS_BLOCK_WALK_FLAG_CONT |
                                                                    TSK_FS_BLOCK_WALK_FLAG_AONLY);
        const auto onBlock = [](const TSK_FS_BLOCK* block, void* reader) {
            try {
                return static_cast<RunReader*>(reader)->Block(block);
            } catch (const std::exception& e) {  // memory running out
                static_cast<RunReader*>(reader)->failure = std::string("cannot hold the clusters read: ") + e.what();
                return TSK_WALK_ERROR;
            }
        };
        const bool failed = tsk_fs_block_walk(fs, fs->first_block, fs->last_block, flags, onBlock, this) != 0;
        if (failed && failure.empty()) {
            const char* why = tsk_error_get();
            failure = std::string("the clusters could not be read: ") + (why != nullptr ? why : "unknown error");
            tsk_error_reset();
        }
        if (failure.empty() && any && !Send(true)) return;
        Piece end;
        end.last = true;
        end.failure = failure;
        queue.Push(std::move(end));
    }
};

// The caller's side: the pieces put together into windows of one run each.
struct Windows {
    const UnallocatedReader& read;
    const std::function<bool()>& stop;
    std::uint64_t fsOffset, clusterSize;
    std::size_t windowBytes;
    UnallocatedWalk walk{};
    std::unique_ptr<std::uint8_t[]> window{};
    std::size_t held = 0;  // the window's bytes
    std::uint64_t firstCluster = 0;

    // Hands the window over; at a run's end all of it is dropped, otherwise what the reader is
    // done with.
    void Hand(bool runEnds) {
        if (held == 0) return;
        const std::size_t done = read({clusterSize, firstCluster, fsOffset + firstCluster * clusterSize,
                                       {window.get(), held}, runEnds});
        if (runEnds) {
            held = 0;
            return;
        }
        // Whole clusters, and at least one, so that the window moves on.
        const std::size_t clusters = std::clamp<std::size_t>(done / clusterSize, 1, held / clusterSize);
        std::memmove(window.get(), window.get() + clusters * clusterSize, held - clusters * clusterSize);
        held -= clusters * clusterSize;
        firstCluster += clusters;
    }

    // False when stop() said so.
    bool Take(const Piece& piece) {
        if (held == 0) firstCluster = piece.firstCluster;
        for (std::size_t at = 0; at < piece.bytes;) {
            const std::size_t room = windowBytes - held;
            const std::size_t bytes = std::min(room, piece.bytes - at);
            for (std::size_t cluster = 0; cluster < bytes; cluster += clusterSize)
                if (stop && stop()) return !(walk.stopped = true);
            std::memcpy(window.get() + held, piece.buffer.get() + at, bytes);
            held += bytes;
            at += bytes;
            walk.bytesRead += bytes;
            if (held == windowBytes) Hand(false);
        }
        if (piece.runEnds) Hand(true);
        return true;
    }
};

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
    Windows windows{read, stop, fsOffset, cluster, std::max<std::size_t>(windowBytes / cluster * cluster, cluster)};
    windows.walk.clusterSize = cluster;
    try {
        windows.window.reset(new std::uint8_t[windows.windowBytes]);
    } catch (const std::exception& e) {
        windows.walk.failure = std::string("cannot hold the clusters read: ") + e.what();
        return windows.walk;
    }
    PieceQueue queue;
    RunReader reader{fs, cluster, queue};
    std::thread reading([&reader] { reader.Walk(); });
    // The reading thread is told to end, and waited for, however the windows' reading ends.
    struct Ending {
        PieceQueue& queue;
        std::thread& reading;
        ~Ending() {
            queue.Close();
            reading.join();
        }
    } ending{queue, reading};
    for (;;) {
        Piece piece = queue.Pop();
        if (piece.last) {
            windows.walk.failure = piece.failure;
            if (piece.failure.empty()) windows.Hand(true);  // the last run
            break;
        }
        if (!windows.Take(piece)) break;
        if (piece.buffer) queue.Recycle(std::move(piece.buffer));
    }
    return windows.walk;
}

}  // namespace snapsift
