// Any bytes as a cached body under each content encoding (the first byte picks it): never a
// crash or a hang, nothing decoded past the limit, and a note exactly when nothing is decoded
// for an encoding that was named.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

#include "cache/BodyDecoding.h"

using namespace snapsift;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static constexpr std::string_view kEncodings[] = {"gzip", "deflate", "br", "zstd", "x-gzip, br", "deflate,zstd",
                                                      "identity", "", "compress", "gzip, gzip"};
    if (size == 0) return 0;
    const std::string_view encoding = kEncodings[data[0] % std::size(kEncodings)];
    constexpr std::size_t kLimit = 1 << 20;  // a bomb stops here, and quickly
    const DecodedBody body = DecodeBody(encoding, std::span(data + 1, size - 1), kLimit);
    using Outcome = DecodedBody::Outcome;
    switch (body.outcome) {
    case Outcome::Decoded:
        if (body.bytes.size() > kLimit || !body.note.empty()) std::abort();
        break;
    case Outcome::NotEncoded:
        if (!body.bytes.empty() || !body.note.empty() || (encoding != "identity" && !encoding.empty())) std::abort();
        break;
    case Outcome::Unsupported:
    case Outcome::Failed:
        if (!body.bytes.empty() || body.note.empty()) std::abort();
        break;
    }
    return 0;
}
