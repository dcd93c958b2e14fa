// Any bytes as a cached body under each content encoding (the first byte picks it): never a
// crash or a hang, nothing decoded past the limit, and a note exactly when nothing is decoded
// for an encoding that was named. Decoded in pieces, the body is the same as decoded whole, in
// pieces of no more than their size, and with the same outcome and note.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "cache/BodyDecoding.h"

using namespace snapsift;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static constexpr std::string_view kEncodings[] = {"gzip",     "deflate",    "br",       "zstd",
                                                      "x-gzip, br", "deflate,zstd", "identity", "",
                                                      "compress", "gzip, gzip", "deflate, gzip", "gzip, deflate, br"};
    if (size == 0) return 0;
    const std::string_view encoding = kEncodings[data[0] % std::size(kEncodings)];
    const std::span<const std::uint8_t> stored(data + 1, size - 1);
    constexpr std::size_t kLimit = 1 << 20;  // a bomb stops here, and quickly
    const DecodedBody body = DecodeBody(encoding, stored, kLimit);
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

    std::string pieces;
    const BodyDecoding streamed = DecodeBodyInPieces(
        encoding, stored,
        [&pieces](std::span<const std::uint8_t> piece) {
            if (piece.empty() || piece.size() > kDecodedPieceSize || pieces.size() + piece.size() > kLimit) std::abort();
            pieces.append(reinterpret_cast<const char*>(piece.data()), piece.size());
        },
        kLimit);
    if (streamed.outcome != body.outcome || streamed.note != body.note || streamed.decodedSize != pieces.size())
        std::abort();
    if (body.outcome == Outcome::Decoded && pieces != body.bytes) std::abort();
    if ((body.outcome == Outcome::NotEncoded || body.outcome == Outcome::Unsupported) && !pieces.empty()) std::abort();
    return 0;
}
