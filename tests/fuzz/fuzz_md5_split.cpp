// Update over any split of a message gives the digest of the message in one call.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "hash/MD5.h"

using namespace snapsift;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The first byte picks the piece sizes; the rest is the message.
    const unsigned pattern = data[0];
    const std::span<const std::uint8_t> message(data + 1, size - 1);

    MD5 whole;
    whole.Init();
    whole.Update(message);

    MD5 pieces;
    pieces.Init();
    std::size_t offset = 0;
    for (unsigned step = 0; offset < message.size(); ++step) {
        const std::size_t want = 1 + ((pattern >> (step % 8)) * 37 + step * 11) % 97;
        const std::size_t take = std::min(want, message.size() - offset);
        pieces.Update(message.subspan(offset, take));
        offset += take;
    }
    if (whole.Final() != pieces.Final()) std::abort();
    return 0;
}
