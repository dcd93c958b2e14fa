#include "platform/OutputFile.h"
#include "platform/Descriptor.h"

#include <fcntl.h>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace snapsift {

bool WriteOutputFile(const std::string& path, std::string_view bytes, OutputWrite mode) {
    const int flags =
        O_WRONLY | O_CLOEXEC | O_NOCTTY | (mode == OutputWrite::Create ? O_CREAT | O_TRUNC : O_APPEND);
    Descriptor file(OpenRetrying(AT_FDCWD, path.c_str(), flags, 0666));
    if (!file.Valid()) return false;
    struct stat before {};
    if (::fstat(file.Get(), &before) != 0 || !S_ISREG(before.st_mode)) return false;
    if (!WriteAll(file.Get(), bytes)) {
        // Take back what a short write left, so no part of it stays in the file.
        [[maybe_unused]] const int truncated = ::ftruncate(file.Get(), before.st_size);
        return false;
    }
    return file.Close() == 0;
}

}  // namespace snapsift

namespace snapsift {

NewOutputFile::~NewOutputFile() { Abandon(); }

bool NewOutputFile::Create(const std::string& path) {
    Abandon();
    error_ = 0;
    if (path.find('\0') != std::string::npos) {
        error_ = EINVAL;
        return false;
    }
    // O_EXCL with O_CREAT: never onto anything already there, a link included.
    fd_ = OpenRetrying(AT_FDCWD, path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd_ < 0) {
        error_ = errno;
        return false;
    }
    path_ = path;
    return true;
}

bool NewOutputFile::Write(std::string_view bytes) {
    if (fd_ < 0 || error_ != 0) return false;
    if (WriteAll(fd_, bytes)) return true;
    error_ = errno;
    return false;
}

long NewOutputFile::Finish() {
    if (fd_ < 0) return error_ != 0 ? error_ : EBADF;
    if (error_ == 0) {
        Descriptor fd(fd_);
        fd_ = -1;
        // A late write failure (a full disk on a network file system) shows at the close.
        if (const int closeError = fd.Close(); closeError != 0) {
            error_ = closeError;
            ::unlink(path_.c_str());
        }
        path_.clear();
        return error_;
    }
    Abandon();
    return error_;
}

void NewOutputFile::Abandon() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
    ::unlink(path_.c_str());
    path_.clear();
}

}  // namespace snapsift
