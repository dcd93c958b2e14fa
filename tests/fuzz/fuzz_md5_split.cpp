// MD5Update over any split of a message gives the digest of the message in one call.
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
    whole.MD5Init();
    whole.MD5Update(static_cast<std::int32_t>(message.size()), message);
    whole.MD5Final();

    MD5 pieces;
    pieces.MD5Init();
    std::size_t offset = 0;
    for (unsigned step = 0; offset < message.size(); ++step) {
        const std::size_t want = 1 + ((pattern >> (step % 8)) * 37 + step * 11) % 97;
        const std::size_t take = std::min(want, message.size() - offset);
        pieces.MD5Update(static_cast<std::int32_t>(take), message.subspan(offset, take));
        offset += take;
    }
    pieces.MD5Final();

    if (whole.GetValues() != pieces.GetValues()) std::abort();
    if (whole.RegisterA() != pieces.RegisterA() || whole.RegisterD() != pieces.RegisterD()) std::abort();
    return 0;
}
