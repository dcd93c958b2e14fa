#include "FirefoxLegacyWriter.h"

#include <cstdio>
#include <stdexcept>
#include <utility>

#include <zlib.h>

namespace snapsift::test {

namespace {

void PutBigEndian32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (24 - 8 * i));
}
std::string BigEndian32(std::uint32_t value) {
    std::string bytes(4, '\0');
    PutBigEndian32(bytes, 0, value);
    return bytes;
}

std::uint64_t BlockSize(std::uint32_t file) { return std::uint64_t{256} << (2 * (file - 1)); }
std::uint64_t BitmapSize(const LegacyCacheSource& source, std::uint32_t file) {
    return source.minor >= 19 ? (std::uint64_t{16384} >> (2 * (file - 1))) : 4096;
}

std::string SeparateName(const LegacyCacheSource& source, std::uint32_t hash, char type) {
    char name[32];
    if (source.minor >= 19)
        std::snprintf(name, sizeof name, "%X/%02X/%05X%c01", hash >> 28, (hash >> 20) & 0xFF, hash & 0xFFFFF, type);
    else
        std::snprintf(name, sizeof name, "%08X%c01", hash, type);
    return name;
}

}  // namespace

std::uint64_t LegacyBlockOffset(const LegacyCacheSource& source, std::uint32_t file, std::uint32_t block) {
    return BitmapSize(source, file) + block * BlockSize(file);
}

WrittenLegacyCache WriteFirefoxLegacyCache(const LegacyCacheSource& source) {
    WrittenLegacyCache written;
    std::string blockFiles[3];
    std::uint32_t nextBlock[3] = {0, 0, 0};
    for (std::uint32_t file = 1; file <= 3; ++file) blockFiles[file - 1].assign(BitmapSize(source, file), '\0');
    const std::uint32_t version = 0x00010000u | source.minor;
    // Puts bytes in a block file, or in a separate file: the location word.
    const auto place = [&](std::uint32_t file, const std::string& bytes, std::uint32_t hash, char type, bool inUse) {
        if (file == 0) {
            written.files[SeparateName(source, hash, type)] = bytes;
            return 0x80000000u | 1u;  // generation 1
        }
        std::string& blocks = blockFiles[file - 1];
        const std::uint32_t count = static_cast<std::uint32_t>((bytes.size() + BlockSize(file) - 1) / BlockSize(file));
        const std::uint32_t first = nextBlock[file - 1];
        nextBlock[file - 1] += count;
        const std::uint64_t at = LegacyBlockOffset(source, file, first);
        blocks.resize(LegacyBlockOffset(source, file, nextBlock[file - 1]), '\0');
        blocks.replace(at, bytes.size(), bytes);
        for (std::uint32_t block = first; inUse && block < first + count; ++block)
            blocks[block / 32 * 4 + 3 - block % 32 / 8] |= static_cast<char>(1 << (block % 8));
        return 0x80000000u | file << 28 | (count - 1) << 24 | first;
    };
    std::string records(512 * 16, '\0');
    std::uint32_t usage[32] = {};
    std::uint32_t hash = 0x31A2B3C4u;
    for (const LegacyEntrySource& entry : source.entries) {
        hash += 0x01000001u;  // each entry its own bucket and subfolder
        written.hashes.push_back(hash);
        std::string elements = std::string("request-method") + '\0' + "GET" + '\0';
        if (!entry.responseHead.empty()) elements += std::string("response-head") + '\0' + entry.responseHead + '\0';
        std::string meta = BigEndian32(version) + BigEndian32(0) + BigEndian32(entry.fetchCount) +
                           BigEndian32(entry.lastFetched) + BigEndian32(entry.lastModified) +
                           BigEndian32(entry.expiration) + BigEndian32(static_cast<std::uint32_t>(entry.body.size())) +
                           BigEndian32(static_cast<std::uint32_t>(entry.key.size() + 1)) +
                           BigEndian32(static_cast<std::uint32_t>(elements.size()));
        meta += entry.key + '\0' + elements;
        const std::uint32_t data = entry.body.empty() ? 0 : place(entry.dataFile, entry.body, hash, 'd', entry.markedInUse);
        const std::uint32_t metaAt = place(entry.metaFile, meta, hash, 'm', entry.markedInUse);
        if (!entry.inMap) continue;
        const std::uint32_t bucket = hash & 31;
        // An evicted record goes to the first slot past those in use.
        const std::uint32_t slot = entry.evicted ? usage[bucket] : usage[bucket]++;
        const std::size_t at = (bucket * 16 + slot) * 16;
        PutBigEndian32(records, at, hash);
        PutBigEndian32(records, at + 4, 1);
        PutBigEndian32(records, at + 8, data);
        PutBigEndian32(records, at + 12, metaAt);
    }
    for (std::uint32_t file = 1; file <= 3; ++file) {
        char name[16];
        std::snprintf(name, sizeof name, "_CACHE_%03u_", file);
        written.files[name] = blockFiles[file - 1];
    }
    if (!source.withMap) return written;
    std::string header = BigEndian32(version) + BigEndian32(0) + BigEndian32(static_cast<std::uint32_t>(source.entries.size())) +
                         BigEndian32(source.dirty ? 1 : 0) + BigEndian32(512);
    for (int i = 0; i < 32; ++i) header += BigEndian32(1);
    for (const std::uint32_t used : usage) header += BigEndian32(used);
    written.files["_CACHE_MAP_"] = header + records;
    return written;
}

std::string LegacyJpeg(std::size_t size) {
    std::string bytes = "\xFF\xD8\xFF\xE0";
    for (std::size_t i = 0; bytes.size() < size; ++i) bytes += static_cast<char>(i * 7 + 3);
    return bytes;
}

LegacyCacheSource SampleLegacyCache(std::uint32_t minor) {
    const auto entry = [](std::string url, std::string head, std::string body, std::uint32_t metaFile,
                          std::uint32_t dataFile) {
        return LegacyEntrySource{"HTTP:" + url, std::move(head), std::move(body), 3, kLegacyFetched, kLegacyModified,
                                 kLegacyExpires, metaFile, dataFile};
    };
    LegacyCacheSource source;
    source.minor = minor;
    const std::string photos = "http://photos.quorvia.example/p/";
    source.entries = {
        entry(kLegacyPhoto, kLegacyJpegHead, LegacyJpeg(900), 1, 2),
        entry(photos + "n2000001_101_201.jpg", kLegacyJpegHead + "Content-Encoding: gzip\r\n", Gzipped(LegacyJpeg(12000)), 1, 3),
        entry(photos + "n2000002_102_202.jpg", kLegacyJpegHead, LegacyJpeg(20000), 0, 0),
        entry("http://www.quorvia.example/", "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n", "<html></html>", 2, 1),
        entry("id=4b3c7d01&uri=" + photos + "n2000003_103_203.jpg", kLegacyJpegHead, LegacyJpeg(300), 1, 1),
        entry(photos + "n2000004_104_204.jpg", kLegacyJpegHead, LegacyJpeg(200), 1, 1),
        entry(photos + "n2000005_105_205.jpg", kLegacyJpegHead, LegacyJpeg(200), 3, 1),
    };
    source.entries[5].evicted = true;
    source.entries[6].inMap = false;
    source.entries[6].markedInUse = false;
    return source;
}

std::string Gzipped(std::string_view bytes) {
    z_stream stream{};
    if (deflateInit2(&stream, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) throw std::runtime_error("deflate");
    return out;
}

}  // namespace snapsift::test
