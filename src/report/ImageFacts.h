// What the report says of a disk image, as the image gives it.
#pragma once

#include <cstdint>
#include <string>

namespace snapsift {

// What the report says of a disk image: its (first) file's full path, the bytes of all its
// files, how many files it has, the digests that an E01 image keeps of its own data, and, when
// the image's data was read whole and digested before the scan, what that found.
struct ImageFacts {
    std::string path;
    std::uint64_t bytes = 0;
    int files = 1;
    bool hasStoredMd5 = false;  // an image format that keeps a digest
    std::string storedMd5;      // lower-case hexadecimal; empty when none was stored
    std::string storedSha1;     // lower-case hexadecimal; empty when none was stored

    enum class DataCheck {
        NotMade,        // the data was not read whole
        Matches,        // its digest is the one stored (MD5, else SHA-1)
        DoesNotMatch,   // it is not
        NothingStored,  // no digest stored to compare with
        Unreadable,     // the data could not be read whole
    };
    DataCheck dataCheck = DataCheck::NotMade;
    std::string dataMd5;   // the data's MD5 as read, when the check was made
    std::string dataSha1;  // and its SHA-1
};

}  // namespace snapsift
