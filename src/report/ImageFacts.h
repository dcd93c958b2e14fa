// What the report says of a disk image, as the image gives it.
#pragma once

#include <cstdint>
#include <string>

namespace snapsift {

// What the report says of a disk image: its (first) file's full path, the bytes of all its
// files, how many files it has, and the MD5 digest that an E01 image keeps of its own data.
struct ImageFacts {
    std::string path;
    std::uint64_t bytes = 0;
    int files = 1;
    bool hasStoredMd5 = false;  // an image format that keeps a digest
    std::string storedMd5;      // lower-case hexadecimal; empty when none was stored
};

}  // namespace snapsift
