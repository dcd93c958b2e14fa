// A cached body as the browser received it: the stored bytes decoded by the Content-Encoding the
// response was sent with (a cache keeps the body as it came over the wire).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace snapsift {

struct DecodedBody {
    enum class Outcome {
        NotEncoded,   // no encoding, or "identity": the stored bytes are the body
        Decoded,      // `bytes` holds the decoded body
        Unsupported,  // an encoding this build cannot decode: the stored bytes are all there is
        Failed,       // the stored bytes do not decode (cut short, damaged, or too large)
    };
    Outcome outcome = Outcome::NotEncoded;
    std::string bytes;
    std::string note;  // why the body is not decoded; empty otherwise
};

// The largest decoded body accepted: anything larger is no photo, and a few bytes of gzip may
// claim gigabytes.
inline constexpr std::size_t kDecodedBodyLimit = std::size_t{256} << 20;

// The most encodings undone in turn. Each one undone at once holds a decoder and a piece; a
// longer list is Unsupported and its stored bytes are given (no server sends more than two).
inline constexpr std::size_t kMostEncodings = 8;

// The most a piece of a decoded body holds.
inline constexpr std::size_t kDecodedPieceSize = 64 * 1024;

// Receives the decoded body in order, a piece at a time (never an empty one).
using DecodedPieceSink = std::function<void(std::span<const std::uint8_t> piece)>;

struct BodyDecoding {
    DecodedBody::Outcome outcome = DecodedBody::Outcome::NotEncoded;
    std::string note;               // as DecodedBody's
    std::uint64_t decodedSize = 0;  // the bytes the sink received
};

// Decodes `stored` by `contentEncoding` as the header gave it ("gzip", "x-gzip", "deflate", "br",
// "zstd", "identity", or a list of them in the order they were applied, undone from the last)
// into `sink`, as a browser decodes it: "gzip" is a gzip stream only (zlib data or raw deflate
// under that name is Failed), and what follows its first member is ignored; "deflate" is zlib
// data, or raw deflate when the first bytes are not zlib's or fail as zlib data before a piece of
// it is decoded; a zstd frame may need a window of at most 8 MiB. gzip and deflate are always
// decoded; br and zstd where this build has their libraries.
// Each encoding's output streams into the decoder of the one applied before it, so no more than a
// few pieces per encoding and the decoders' own windows are held at any time, whatever the sizes. The
// output of every encoding, the body's among them, stops at `limit` bytes: Failed, and the sink
// never gets more. On Failed, what the sink got is to be discarded. NotEncoded and Unsupported
// give the sink nothing: the stored bytes are the body.
BodyDecoding DecodeBodyInPieces(std::string_view contentEncoding, std::span<const std::uint8_t> stored,
                                const DecodedPieceSink& sink, std::size_t limit = kDecodedBodyLimit);

// The same, the decoded body gathered into `bytes` (empty unless Decoded).
DecodedBody DecodeBody(std::string_view contentEncoding, std::span<const std::uint8_t> stored,
                       std::size_t limit = kDecodedBodyLimit);

}  // namespace snapsift
