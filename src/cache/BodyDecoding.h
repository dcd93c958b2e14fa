// A cached body as the browser received it: the stored bytes decoded by the Content-Encoding the
// response was sent with (a cache keeps the body as it came over the wire).
#pragma once

#include <cstddef>
#include <cstdint>
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

// Decodes `stored` by `contentEncoding` as the header gave it ("gzip", "x-gzip", "deflate", "br",
// "zstd", "identity", or a list of them in the order they were applied). gzip and deflate are
// always decoded; br and zstd where this build has their libraries.
DecodedBody DecodeBody(std::string_view contentEncoding, std::span<const std::uint8_t> stored,
                       std::size_t limit = kDecodedBodyLimit);

}  // namespace snapsift
