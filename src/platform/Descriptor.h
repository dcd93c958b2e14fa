// A POSIX file descriptor that closes itself, and the two calls that go on where a signal
// interrupts them: open, and the write of a whole buffer. POSIX builds only.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace snapsift {

class DirectoryListing;

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { Reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    // Hands the descriptor over; closing it is then the caller's business.
    int Release();
    // Closes the descriptor held, if any, and holds fd instead.
    void Reset(int fd = -1);
    // Closes now; the error that close reports (a late write error), or 0.
    int Close();

private:
    int fd_;
};

// The descriptor of the folder a listing holds open, or -1.
int FolderDescriptor(const DirectoryListing& listing);

// Folders below a root are opened in one openat2() call where the kernel has it, else name by
// name with O_NOFOLLOW; true makes every open go name by name (tests try both ways).
void OpenFoldersNameByName(bool nameByName);

// openat(), tried again while a signal interrupts it: the new descriptor, or -1 with errno.
int OpenRetrying(int folder, const char* path, int flags, mode_t mode = 0);

// Whether the volume holding the open file never moves access times: mounted read-only, or
// noatime. A file opened without O_NOATIME there keeps its access time all the same.
bool VolumeNeverMovesAccessTimes(int fd);

// One read() of at most `size` bytes and never more than `left`, tried again while a signal
// interrupts it: the bytes read (0 at the end or when nothing is left), or -1 with errno.
std::int64_t ReadWithin(int fd, void* buffer, std::size_t size, std::uint64_t left);

// Writes every byte, going on after interrupted and partial writes. False with errno set when
// a write fails (EIO when the system takes no byte at all).
bool WriteAll(int fd, std::string_view bytes);

}  // namespace snapsift
