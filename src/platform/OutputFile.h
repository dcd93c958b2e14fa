// Files the program writes itself. The report: every write opens the file, puts its bytes in
// whole or not at all, and closes the file again. A photo's copy: a new file written in pieces
// that is either finished whole or not left behind.
#pragma once

#include <string>
#include <string_view>

namespace snapsift {

enum class OutputWrite {
    Create,  // the file is created, or emptied when it exists
    Append,  // the bytes go after what an existing file holds
};

// Writes the bytes to the file at path. A write that fails or falls short is taken back, so
// the file keeps what it held before the bytes. False when the bytes are not all in the file
// or the file could not be opened or closed.
bool WriteOutputFile(const std::string& path, std::string_view bytes, OutputWrite mode);

class NewOutputFile {
public:
    NewOutputFile() = default;
    ~NewOutputFile();  // an unfinished file is removed
    NewOutputFile(const NewOutputFile&) = delete;
    NewOutputFile& operator=(const NewOutputFile&) = delete;

    // Creates the file; fails when anything (a file, a link) is at the path already.
    bool Create(const std::string& path);
    // Appends the bytes. After the first failure nothing more is written and false comes back.
    bool Write(std::string_view bytes);
    // Closes the file: 0 when it was created and every byte is in it; else the platform's error
    // code of the first failure (errno, or GetLastError() on Windows), and the file is removed.
    long Finish();
    // The first failure's code, 0 while none.
    long Error() const { return error_; }

private:
    void Abandon();

    std::string path_;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    long error_ = 0;
};

}  // namespace snapsift
