// A cache folder made from a fuzz input: a list of patches, each a file number (an index into
// `names`), a 4-byte offset, a 2-byte length and that many bytes. A file is zeros up to the end
// of its last patch, and no longer than maxFileSize.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "cache/CacheReader.h"

namespace snapsift::fuzz {

inline MemoryCacheSource PatchedFiles(const std::uint8_t* data, std::size_t size, std::span<const char* const> names,
                                      std::size_t maxFileSize) {
    MemoryCacheSource source;
    std::size_t at = 0;
    while (size - at >= 7) {
        const char* name = names[data[at] % names.size()];
        const std::size_t offset =
            (data[at + 1] | data[at + 2] << 8 | data[at + 3] << 16 | std::size_t{data[at + 4]} << 24) % maxFileSize;
        std::size_t length = data[at + 5] | data[at + 6] << 8;
        at += 7;
        length = std::min({length, size - at, maxFileSize - offset});
        std::string& file = source.files[name];
        if (file.size() < offset + length) file.resize(offset + length);
        file.replace(offset, length, reinterpret_cast<const char*>(data + at), length);
        at += length;
    }
    return source;
}

}  // namespace snapsift::fuzz
