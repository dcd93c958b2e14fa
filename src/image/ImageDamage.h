// The parts of a disk image that could not be read as they were stored: an E01 chunk that fails
// its checksum or will not decompress, or what partitions and file systems hold past the end of
// a truncated image. The image's reader gives their bytes as zeros.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace snapsift {

class ImageDamage {
public:
    virtual ~ImageDamage() = default;
    // True when a byte of [offset, offset + length) of the image's data lies in a damaged part
    // that the reads have met so far.
    virtual bool Overlaps(std::uint64_t offset, std::uint64_t length) const = 0;
    // How many damaged parts the reads have met so far.
    virtual std::uint64_t Count() const = 0;
    // Those parts, in the order met: each one's offset in the image's data and its length.
    virtual std::vector<std::pair<std::uint64_t, std::uint64_t>> Parts() const = 0;
};

}  // namespace snapsift
