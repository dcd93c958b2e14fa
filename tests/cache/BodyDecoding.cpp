// Cached bodies decoded by their Content-Encoding, from inputs compressed here.
#include "cache/BodyDecoding.h"

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
std::string Zstd(std::string_view in) {
    std::string out(ZSTD_compressBound(in.size()), '\0');
    return out.substr(0, ZSTD_compress(out.data(), out.size(), in.data(), in.size(), 3));
}
#endif

std::string Damaged(std::string bytes) {  // its first byte changed: no header of its kind
    bytes[0] = static_cast<char>(~bytes[0]);
    return bytes;
}

TEST(BodyDecoding, Table) {
    std::string body;
    for (int i = 0; i < 6000; ++i) body += static_cast<char>(i % 7 == 0 ? i * 31 : 'a' + i % 23);
    const std::string gzip = Gzip(body), zlib = Deflated(body, 15), bomb(1 << 20, '\0'), gzipBomb = Gzip(bomb);
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
        {"gzip cut short", "gzip", gzip.substr(0, gzip.size() / 2), Outcome::Failed, "",
         "gzip body could not be decoded: it is cut short"},
        {"gzip empty", "gzip", "", Outcome::Failed, "", "cut short"},
        {"gzip damaged", "gzip", Damaged(gzip), Outcome::Failed, "", "its bytes are damaged"},
        {"deflate cut short", "deflate", zlib.substr(0, zlib.size() - 10), Outcome::Failed, "", "cut short"},
        {"deflate damaged", "deflate", Damaged(zlib), Outcome::Failed, "", "its bytes are damaged"},
        {"gzip bomb", "gzip", gzipBomb, Outcome::Failed, "", "decodes to more than 65536 bytes", 65536},
        {"deflate bomb", "deflate", Deflated(bomb, 15), Outcome::Failed, "", "more than 65536 bytes", 65536},
        {"up to the limit", "gzip", gzipBomb, Outcome::Decoded, bomb, "", bomb.size()},
#ifdef SNAPSIFT_BROTLI
        {"gzip, then br", "gzip, br", Brotli(gzip), Outcome::Decoded, body},
        {"br cut short", "br", brotli.substr(0, brotli.size() / 2), Outcome::Failed, "",
         "br body could not be decoded: it is cut short"},
        {"br bomb", "br", Brotli(bomb), Outcome::Failed, "", "more than 65536 bytes", 65536},
#else
        {"br in a build without it", "br", gzip, Outcome::Unsupported, "", "\"br\" cannot be decoded by this build"},
#endif
#ifdef SNAPSIFT_ZSTD
        {"zstd", "zstd", zstd, Outcome::Decoded, body},
        {"zstd cut short", "zstd", zstd.substr(0, zstd.size() / 2), Outcome::Failed, "",
         "zstd body could not be decoded: it is cut short"},
        {"zstd damaged", "zstd", Damaged(zstd), Outcome::Failed, "", "its bytes are damaged"},
        {"zstd bomb", "zstd", Zstd(bomb), Outcome::Failed, "", "more than 65536 bytes", 65536},
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
    }
}

}  // namespace

}  // namespace snapsift
