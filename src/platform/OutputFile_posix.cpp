#include "platform/OutputFile.h"
#include "platform/Descriptor.h"

#include <fcntl.h>
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
