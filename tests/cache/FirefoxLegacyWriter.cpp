#include "FirefoxLegacyWriter.h"

#include <cstdio>
#include <initializer_list>
#include <stdexcept>
#include <string_view>

#include <zlib.h>

namespace snapsift::test {

namespace {

// The numbers as 32-bit big-endian words, one after another.
std::string Words(std::initializer_list<std::uint64_t> values) {
    std::string bytes;
    for (const std::uint64_t value : values)
        for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>(value >> shift);
    return bytes;
}

// The bytes as a gzip member, as a server sends a gzip body.
std::string Gzipped(std::string_view bytes) {
    z_stream stream{};
    std::string out(bytes.size() + 1024, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    if (deflateInit2(&stream, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK || deflate(&stream, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("deflate");
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

}  // namespace

WrittenLegacyCache WriteFirefoxLegacyCache(const LegacyCacheSource& source) {
    WrittenLegacyCache written;
    const bool nested = source.minor >= 19;
    std::string blockFiles[3];
    for (std::uint32_t file = 0; file < 3; ++file) blockFiles[file].assign(nested ? 16384 >> (2 * file) : 4096, '\0');
    // Puts bytes in the next free blocks of a block file, or in a separate file: the location word.
    const auto place = [&](std::uint32_t file, const std::string& bytes, std::uint32_t hash, char type, bool inUse) {
        char name[32];
        if (file == 0) {
            if (nested) std::snprintf(name, sizeof name, "%X/%02X/%05X%c01", hash >> 28, (hash >> 20) & 0xFF, hash & 0xFFFFF, type);
            else std::snprintf(name, sizeof name, "%08X%c01", hash, type);
            written.files[name] = bytes;
            return 0x80000000u | 1u;  // generation 1
        }
        std::string& blocks = blockFiles[file - 1];
        const std::uint32_t size = 256u << (2 * (file - 1)), first = (blocks.size() - (nested ? 16384 >> (2 * (file - 1)) : 4096)) / size;
        const std::uint32_t count = (bytes.size() + size - 1) / size;
        blocks += bytes + std::string(count * size - bytes.size(), '\0');
        for (std::uint32_t block = first; inUse && block < first + count; ++block)
            blocks[block / 32 * 4 + 3 - block % 32 / 8] |= static_cast<char>(1 << (block % 8));
        return 0x80000000u | file << 28 | (count - 1) << 24 | first;
    };
    std::string records(512 * 16, '\0');
    std::uint32_t usage[32] = {}, hash = 0x31A2B3C4u;
    for (const LegacyEntrySource& entry : source.entries) {
        hash += 0x01000001u;  // each entry its own bucket and subfolder
        written.hashes.push_back(hash);
        const std::string elements = std::string("request-method\0GET\0response-head\0", 33) + entry.responseHead + '\0';
        const std::string meta = Words({0x10000u | source.minor, 0, 3, 1300000000, 1299990000, 1310000000, entry.body.size(),
                                        entry.key.size() + 1, elements.size()}) + entry.key + '\0' + elements;
        const std::uint32_t data = place(entry.dataFile, entry.body, hash, 'd', entry.markedInUse);
        const std::uint32_t metaAt = place(entry.metaFile, meta, hash, 'm', entry.markedInUse);
        if (!entry.inMap) continue;
        // An evicted record goes to the first slot past those in use of its bucket.
        const std::uint32_t bucket = hash & 31, slot = entry.evicted ? usage[bucket] : usage[bucket]++;
        records.replace((bucket * 16 + slot) * 16, 16, Words({hash, 1, data, metaAt}));
    }
    for (std::uint32_t file = 1; file <= 3; ++file) written.files["_CACHE_00" + std::to_string(file) + "_"] = blockFiles[file - 1];
    std::string header = Words({0x10000u | source.minor, 0, source.entries.size(), 0, 512});
    for (int i = 0; i < 32; ++i) header += Words({1});
    for (const std::uint32_t used : usage) header += Words({used});
    written.files["_CACHE_MAP_"] = header + records;
    return written;
}

std::string LegacyJpeg(std::size_t size) {
    std::string bytes = "\xFF\xD8\xFF\xE0";
    for (std::size_t i = 0; bytes.size() < size; ++i) bytes += static_cast<char>(i * 7 + 3);
    return bytes;
}

LegacyCacheSource SampleLegacyCache(std::uint32_t minor) {
    const std::string photos = "http://photos.quorvia.example/p/", jpeg = "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n";
    LegacyCacheSource source{minor, {
        {"HTTP:" + kLegacyPhoto, jpeg, LegacyJpeg(900), 1, 2},
        {"HTTP:" + photos + "n2000001_101_201.jpg", jpeg + "Content-Encoding: gzip\r\n", Gzipped(LegacyJpeg(12000)), 1, 3},
        {"HTTP:" + photos + "n2000002_102_202.jpg", jpeg, LegacyJpeg(20000), 0, 0},
        {"HTTP:http://www.quorvia.example/", "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n", "<html></html>", 2, 1},
        {"HTTP:id=4b3c7d01&uri=" + photos + "n2000003_103_203.jpg", jpeg, LegacyJpeg(300), 1, 1},
        {"HTTP:" + photos + "n2000004_104_204.jpg", jpeg, LegacyJpeg(200), 1, 1, true, true},
        {"HTTP:" + photos + "n2000005_105_205.jpg", jpeg, LegacyJpeg(200), 3, 1, false, false, false},
    }};
    return source;
}

}  // namespace snapsift::test
