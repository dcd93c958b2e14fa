// Cached bodies decoded by their Content-Encoding, from inputs compressed here, both whole and in
// pieces.
#include "cache/BodyDecoding.h"

#include <algorithm>
#include <string>

#include <gtest/gtest.h>
#include <zlib.h>
#ifdef SNAPSIFT_BROTLI
#include <brotli/encode.h>
#endif
#ifdef SNAPSIFT_ZSTD
#include <zstd.h>
#endif

#include "CacheFixtures.h"

namespace snapsift {

namespace {

using Outcome = DecodedBody::Outcome;

// windowBits as deflateInit2 takes them: 15 + 16 for gzip, 15 for zlib data, -15 for raw deflate.
std::string Deflated(std::string_view in, int windowBits) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&stream, static_cast<uLong>(in.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    stream.avail_in = static_cast<uInt>(in.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    deflateEnd(&stream);
    return out.substr(0, stream.total_out);
}

std::string Gzip(std::string_view in) { return Deflated(in, 15 + 16); }
#ifdef SNAPSIFT_BROTLI
std::string Brotli(std::string_view in) {
    std::string out(BrotliEncoderMaxCompressedSize(in.size()), '\0');
    std::size_t size = out.size();
    BrotliEncoderCompress(BROTLI_DEFAULT_QUALITY, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_GENERIC, in.size(),
                          reinterpret_cast<const std::uint8_t*>(in.data()), &size,
                          reinterpret_cast<std::uint8_t*>(out.data()));
    return out.substr(0, size);
}
#endif
#ifdef SNAPSIFT_ZSTD
std::string Zstd(std::string_view in, int windowLog = 0) {  // 0: the level's window
    ZSTD_CCtx* context = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, 3);
    ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, windowLog);
    std::string out(ZSTD_compressBound(in.size()), '\0');
    const std::size_t size = ZSTD_compress2(context, out.data(), out.size(), in.data(), in.size());
    ZSTD_freeCCtx(context);
    EXPECT_FALSE(ZSTD_isError(size));
    return out.substr(0, size);
}
#endif

std::string Damaged(std::string bytes, std::size_t at = 0) {  // at 0: no header of its kind
    bytes[at] = static_cast<char>(~bytes[at]);
    return bytes;
}

// Raw deflate whose first two bytes pass for a zlib header: a stored block of one byte (its
// length's low byte completes the header), then a final stored block. As zlib data it fails at
// once.
const std::string kRawLikeZlib("\x78\x01\x00\xFE\xFF" "A" "\x01\x05\x00\xFA\xFF" "hello", 16);

TEST(BodyDecoding, Table) {
    std::string body;
    for (int i = 0; i < 6000; ++i) body += static_cast<char>(i % 7 == 0 ? i * 31 : 'a' + i % 23);
    const std::string gzip = Gzip(body), zlib = Deflated(body, 15), bomb(1 << 20, '\0'), gzipBomb = Gzip(bomb);
    // Past a limit of 1 MiB (Mi below) by far, in one layer or in two.
    constexpr std::size_t Mi = 1 << 20;
    const std::string bigBomb = Gzip(std::string(8 * Mi, '\0'));
    std::string large;  // decodes to several pieces
    for (int i = 0; large.size() < 300'000; ++i) large += std::to_string(i * 7919 % 100'003) + ' ';
    const std::string largeZlib = Deflated(large, 15), wholePieces(2 * kDecodedPieceSize, 'q');
#ifdef SNAPSIFT_BROTLI
    const std::string brotli = Brotli(body);
#endif
#ifdef SNAPSIFT_ZSTD
    const std::string zstd = Zstd(body);
#endif
    const struct {
        const char* name; const char* encoding; std::string stored; Outcome outcome; std::string decoded;
        const char* note = "";  // a part of it
        std::size_t limit = kDecodedBodyLimit;
    } rows[] = {
        {"gzip", "gzip", gzip, Outcome::Decoded, body},
        {"x-gzip, in capitals and blanks", " X-Gzip\t", gzip, Outcome::Decoded, body},
        {"deflate as zlib data", "deflate", zlib, Outcome::Decoded, body},
        {"deflate raw", "deflate", Deflated(body, -15), Outcome::Decoded, body},
        {"gzip applied twice", "gzip,gzip", Gzip(gzip), Outcome::Decoded, body},
        {"identity among them", "identity, gzip", gzip, Outcome::Decoded, body},
        {"identity", "identity", body, Outcome::NotEncoded, ""},
        {"none", "", body, Outcome::NotEncoded, ""},
        {"unknown", "gzip, compress", gzip, Outcome::Unsupported, "", "\"compress\" cannot be decoded"},
        {"gzip cut short", "gzip", gzip.substr(0, gzip.size() / 2), Outcome::Failed, "", "it is cut short"},
        {"gzip empty", "gzip", "", Outcome::Failed, "", "cut short"},
        {"gzip with a damaged check", "gzip", Damaged(gzip, gzip.size() - 8), Outcome::Failed, "", "its bytes are damaged"},
        {"gzip with a damaged first byte", "gzip", Damaged(gzip), Outcome::Failed, "", "it is not a gzip stream"},
        {"zlib data as gzip", "gzip", zlib, Outcome::Failed, "", "its gzip body could not be decoded: it is not a gzip stream"},
        {"gzip, then other bytes", "gzip", gzip + "trailing bytes", Outcome::Decoded, body},
        {"gzip of two members", "gzip", gzip + Gzip("a second member"), Outcome::Decoded, body},
        {"gzip of many pieces", "gzip", Gzip(large), Outcome::Decoded, large},
        {"gzip of whole pieces", "gzip", Gzip(wholePieces), Outcome::Decoded, wholePieces},
        {"deflate of many pieces", "deflate", largeZlib, Outcome::Decoded, large},
        {"deflate raw of many pieces", "deflate", Deflated(large, -15), Outcome::Decoded, large},
        {"deflate raw that starts like zlib", "deflate", kRawLikeZlib, Outcome::Decoded, "Ahello"},
        {"deflate of one byte", "deflate", "\x03", Outcome::Failed, "", "cut short"},
        {"deflate with a damaged check", "deflate", Damaged(largeZlib, largeZlib.size() - 1), Outcome::Failed, "", "damaged"},
        {"deflate cut short", "deflate", zlib.substr(0, zlib.size() - 10), Outcome::Failed, "", "cut short"},
        {"deflate damaged", "deflate", Damaged(zlib), Outcome::Failed, "", "its bytes are damaged"},
        {"gzip bomb", "gzip", gzipBomb, Outcome::Failed, "", "decodes to more than 65536 bytes", 65536},
        {"deflate bomb", "deflate", Deflated(bomb, 15), Outcome::Failed, "", "more than 65536 bytes", 65536},
        {"up to the limit", "gzip", gzipBomb, Outcome::Decoded, bomb, "", bomb.size()},
        {"a byte past the limit", "gzip", gzipBomb, Outcome::Failed, "", "more than 1048575 bytes", bomb.size() - 1},
        {"gzip bomb inside gzip", "gzip, gzip", Gzip(bigBomb), Outcome::Failed, "", "decodes to more than 1 MiB", Mi},
        {"deflate bomb inside gzip", "deflate, gzip", Gzip(Deflated(std::string(8 * Mi, '\0'), 15)), Outcome::Failed, "",
         "its deflate body could not be decoded: it decodes to more than 1 MiB", Mi},
        {"gzip inside gzip, each within the limit", "gzip, gzip", Gzip(gzipBomb), Outcome::Decoded, bomb, "", Mi},
        // The inner stream ignores what follows it, yet the outer one decodes to more than the limit.
        {"outer gzip past the limit", "gzip, gzip", Gzip(gzip + std::string(2 * Mi, '\0')), Outcome::Failed, "", "1 MiB", Mi},
        {"more encodings than decoded", "gzip,gzip,gzip,gzip,gzip,gzip,gzip,gzip,gzip", gzip, Outcome::Unsupported, "",
         "names 9 encodings, more than this build decodes: the stored bytes are given"},
#ifdef SNAPSIFT_BROTLI
        {"gzip, then br", "gzip, br", Brotli(gzip), Outcome::Decoded, body},
        {"br cut short", "br", brotli.substr(0, brotli.size() / 2), Outcome::Failed, "", "br body could not be decoded: it is cut"},
        {"br bomb", "br", Brotli(bomb), Outcome::Failed, "", "more than 65536 bytes", 65536},
        {"gzip bomb inside br", "gzip, br", Brotli(bigBomb), Outcome::Failed, "", "its gzip body could not be decoded", Mi},
        {"br of many pieces", "br", Brotli(large), Outcome::Decoded, large},
        {"br of whole pieces", "br", Brotli(wholePieces), Outcome::Decoded, wholePieces},
#else
        {"br in a build without it", "br", gzip, Outcome::Unsupported, "", "\"br\" cannot be decoded by this build"},
#endif
#ifdef SNAPSIFT_ZSTD
        {"zstd", "zstd", zstd, Outcome::Decoded, body},
        {"zstd cut short", "zstd", zstd.substr(0, zstd.size() / 2), Outcome::Failed, "",
         "zstd body could not be decoded: it is cut short"},
        {"zstd damaged", "zstd", Damaged(zstd), Outcome::Failed, "", "its bytes are damaged"},
        {"zstd bomb", "zstd", Zstd(bomb), Outcome::Failed, "", "more than 65536 bytes", 65536},
        {"zstd of many pieces", "zstd", Zstd(large), Outcome::Decoded, large},
        {"zstd of whole pieces", "zstd", Zstd(wholePieces), Outcome::Decoded, wholePieces},
        {"zstd of two frames", "zstd", zstd + Zstd("more"), Outcome::Decoded, body + "more"},
        {"zstd with an 8 MiB window", "zstd", Zstd(std::string(9 * Mi, 'z'), 23), Outcome::Decoded, std::string(9 * Mi, 'z')},
        {"zstd with a 16 MiB window", "zstd", Zstd(std::string(9 * Mi, 'z'), 24), Outcome::Failed, "", "window larger than 8 MiB"},
#else
        {"zstd in a build without it", "zstd", gzip, Outcome::Unsupported, "", "\"zstd\" cannot be decoded"},
#endif
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const DecodedBody decoded = DecodeBody(row.encoding, test::AsBytes(row.stored), row.limit);
        EXPECT_EQ(decoded.outcome, row.outcome);
        EXPECT_TRUE(decoded.bytes == row.decoded) << decoded.bytes.size() << " bytes";
        EXPECT_NE(decoded.note.find(row.note), std::string::npos) << decoded.note;
        EXPECT_EQ(decoded.note.empty(), row.outcome == Outcome::Decoded || row.outcome == Outcome::NotEncoded);

        // In pieces: the same, never a piece too large nor a byte past the limit, and nothing at
        // all when the stored bytes are the body.
        std::string pieces;
        std::size_t largest = 0;
        const BodyDecoding streamed = DecodeBodyInPieces(
            row.encoding, test::AsBytes(row.stored),
            [&](std::span<const std::uint8_t> piece) {
                largest = std::max(largest, piece.size());
                if (pieces.size() <= row.limit) pieces.append(reinterpret_cast<const char*>(piece.data()), piece.size());
            },
            row.limit);
        EXPECT_EQ(streamed.outcome, decoded.outcome);
        EXPECT_EQ(streamed.note, decoded.note);
        EXPECT_EQ(streamed.decodedSize, pieces.size());
        EXPECT_LE(pieces.size(), row.limit);
        EXPECT_LE(largest, kDecodedPieceSize);
        if (row.outcome == Outcome::Decoded) {
            EXPECT_TRUE(pieces == row.decoded) << pieces.size() << " bytes in pieces";
        } else if (row.outcome != Outcome::Failed) {
            EXPECT_EQ(pieces.size(), 0u);
        }
    }
}

}  // namespace

}  // namespace snapsift
