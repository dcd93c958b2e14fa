// Files the program writes itself (the report): every write opens the file, puts its bytes in
// whole or not at all, and closes the file again.
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

}  // namespace snapsift
