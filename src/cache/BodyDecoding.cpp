#include "cache/BodyDecoding.h"

#include <algorithm>
#include <vector>

#include <zlib.h>
#ifdef SNAPSIFT_BROTLI
#include <brotli/decode.h>
#endif
#ifdef SNAPSIFT_ZSTD
#include <zstd.h>
#endif

#include "cache/CacheBytes.h"

namespace snapsift {

namespace {

using Outcome = DecodedBody::Outcome;

using cachebytes::LowerAscii;
using cachebytes::TrimBlanks;

constexpr std::string_view kDamaged = "its bytes are damaged";

struct Step {
    bool ok = false;
    std::string bytes;
    std::string problem;
};

constexpr std::size_t kChunk = 64 * 1024;

std::string TooLarge(std::size_t limit) {
    return "it decodes to more than " +
           (limit >= (1u << 20) ? std::to_string(limit >> 20) + " MiB" : std::to_string(limit) + " bytes");
}

// A zlib header: deflate with a window of at most 32 KiB, and its check bits.
bool StartsLikeZlib(std::string_view in) {
    if (in.size() < 2) return false;
    const auto first = static_cast<unsigned char>(in[0]), second = static_cast<unsigned char>(in[1]);
    return (first & 0x0F) == 8 && (first >> 4) <= 7 && (first * 256u + second) % 31 == 0;
}

// windowBits as zlib takes them: 15 + 32 for gzip or zlib found by the header, 15 for zlib, -15
// for raw deflate.
Step Inflate(std::string_view in, int windowBits, std::size_t limit) {
    Step step;
    z_stream stream{};
    if (inflateInit2(&stream, windowBits) != Z_OK) {
        step.problem = "the decoder could not start";
        return step;
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    std::size_t left = in.size();
    int result = Z_OK;
    std::vector<char> out(kChunk);
    while (result != Z_STREAM_END) {
        if (stream.avail_in == 0 && left > 0) {
            stream.avail_in = static_cast<uInt>(std::min<std::size_t>(left, 1u << 30));
            left -= stream.avail_in;
        }
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = static_cast<uInt>(out.size());
        result = inflate(&stream, Z_NO_FLUSH);
        step.bytes.append(out.data(), out.size() - stream.avail_out);
        if (step.bytes.size() > limit) {
            step.problem = TooLarge(limit);
            break;
        }
        if (result == Z_BUF_ERROR && stream.avail_in == 0 && left == 0) {
            step.problem = "it is cut short";
            break;
        }
        if (result != Z_OK && result != Z_STREAM_END) {
            step.problem = kDamaged;
            break;
        }
    }
    inflateEnd(&stream);
    step.ok = result == Z_STREAM_END && step.problem.empty();
    if (!step.ok) step.bytes.clear();
    return step;
}

#ifdef SNAPSIFT_BROTLI
Step Unbrotli(std::string_view in, std::size_t limit) {
    Step step;
    BrotliDecoderState* state = BrotliDecoderCreateInstance(nullptr, nullptr, nullptr);
    if (state == nullptr) {
        step.problem = "the decoder could not start";
        return step;
    }
    const auto* next_in = reinterpret_cast<const std::uint8_t*>(in.data());
    std::size_t available_in = in.size();
    std::vector<std::uint8_t> out(kChunk);
    BrotliDecoderResult result = BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT;
    while (result == BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT) {
        std::uint8_t* next_out = out.data();
        std::size_t available_out = out.size();
        result = BrotliDecoderDecompressStream(state, &available_in, &next_in, &available_out, &next_out, nullptr);
        step.bytes.append(reinterpret_cast<const char*>(out.data()), out.size() - available_out);
        if (step.bytes.size() > limit) {
            step.problem = TooLarge(limit);
            break;
        }
    }
    BrotliDecoderDestroyInstance(state);
    if (step.problem.empty() && result == BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT) step.problem = "it is cut short";
    if (step.problem.empty() && result != BROTLI_DECODER_RESULT_SUCCESS) step.problem = kDamaged;
    step.ok = step.problem.empty();
    if (!step.ok) step.bytes.clear();
    return step;
}
#endif

#ifdef SNAPSIFT_ZSTD
Step Unzstd(std::string_view in, std::size_t limit) {
    Step step;
    ZSTD_DStream* stream = ZSTD_createDStream();
    if (stream == nullptr) {
        step.problem = "the decoder could not start";
        return step;
    }
    ZSTD_inBuffer input{in.data(), in.size(), 0};
    std::vector<char> out(kChunk);
    std::size_t result = 1;
    // Every frame to the end of the input; a frame is complete when the result is 0.
    while (input.pos < input.size || result != 0) {
        ZSTD_outBuffer output{out.data(), out.size(), 0};
        const std::size_t before = input.pos;
        result = ZSTD_decompressStream(stream, &output, &input);
        if (ZSTD_isError(result)) {
            step.problem = kDamaged;
            break;
        }
        step.bytes.append(out.data(), output.pos);
        if (step.bytes.size() > limit) {
            step.problem = TooLarge(limit);
            break;
        }
        if (input.pos == before && output.pos == 0) {
            step.problem = "it is cut short";
            break;
        }
    }
    ZSTD_freeDStream(stream);
    step.ok = step.problem.empty();
    if (!step.ok) step.bytes.clear();
    return step;
}
#endif

}  // namespace

DecodedBody DecodeBody(std::string_view contentEncoding, std::span<const std::uint8_t> stored, std::size_t limit) {
    DecodedBody body;
    // The encodings in the order they were applied; undone from the last.
    std::vector<std::string> encodings;
    for (std::string_view rest = contentEncoding; !rest.empty();) {
        const std::size_t comma = std::min(rest.find(','), rest.size());
        std::string name(TrimBlanks(rest.substr(0, comma)));
        std::transform(name.begin(), name.end(), name.begin(), LowerAscii);
        if (!name.empty() && name != "identity") encodings.push_back(name);
        rest.remove_prefix(std::min(rest.size(), comma + 1));
    }
    if (encodings.empty()) return body;

    std::string bytes(reinterpret_cast<const char*>(stored.data()), stored.size());
    for (auto name = encodings.rbegin(); name != encodings.rend(); ++name) {
        Step step;
        if (*name == "gzip" || *name == "x-gzip") {
            step = Inflate(bytes, 15 + 32, limit);
        } else if (*name == "deflate") {
            // Sent as zlib data, as the standard has it, or as raw deflate, as some servers do.
            // Raw deflate is tried when the bytes have no zlib header, or do not decode as zlib
            // data for a reason other than being cut or too large.
            const bool zlib = StartsLikeZlib(bytes);
            step = Inflate(bytes, zlib ? 15 : -15, limit);
            if (zlib && !step.ok && step.problem == kDamaged) {
                Step raw = Inflate(bytes, -15, limit);
                if (raw.ok) step = std::move(raw);
            }
#ifdef SNAPSIFT_BROTLI
        } else if (*name == "br") {
            step = Unbrotli(bytes, limit);
#endif
#ifdef SNAPSIFT_ZSTD
        } else if (*name == "zstd") {
            step = Unzstd(bytes, limit);
#endif
        } else {
            body.outcome = Outcome::Unsupported;
            body.note = "its Content-Encoding \"" + *name + "\" cannot be decoded by this build: the stored bytes are given";
            return body;
        }
        if (!step.ok) {
            body.outcome = Outcome::Failed;
            body.note = "its " + *name + " body could not be decoded: " + step.problem;
            return body;
        }
        bytes = std::move(step.bytes);
    }
    body.outcome = Outcome::Decoded;
    body.bytes = std::move(bytes);
    return body;
}

}  // namespace snapsift
