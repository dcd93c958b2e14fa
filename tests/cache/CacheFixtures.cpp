#include "CacheFixtures.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "cache/BodyDecoding.h"
#include "hash/MD5.h"

namespace snapsift::test {

std::filesystem::path FixturePath(std::string_view relative) {
    return FromText(SNAPSIFT_CACHE_FIXTURES) / FromText(std::string(relative));
}

std::string FixtureFile(std::string_view relative) { return ReadBytes(FixturePath(relative)); }

const std::vector<Served>& ServedRows() {
    static const std::vector<Served> rows = [] {
        std::vector<Served> read;
        std::istringstream manifest(FixtureFile("manifest.tsv"));
        std::string line;
        std::getline(manifest, line);  // the column names
        while (std::getline(manifest, line)) {
            std::vector<std::string> cells;
            std::istringstream row(line);
            for (std::string cell; std::getline(row, cell, '\t');) cells.push_back(cell);
            // url, photo_name, user_id, md5, content_encoding, content_type, size, sent_size
            if (cells.size() == 8) read.push_back({cells[0], cells[3], cells[4], cells[5], std::stoull(cells[7])});
        }
        return read;
    }();
    EXPECT_EQ(rows.size(), 11u) << "manifest.tsv not read from " << SNAPSIFT_CACHE_FIXTURES;
    return rows;
}

Damage CutTo(std::size_t size) {
    return [=](std::string& b) { b.resize(size); };
}
Damage PutLittleEndian32(std::ptrdiff_t at, std::uint32_t value) {
    return [=](std::string& b) {
        for (int i = 0; i < 4; ++i) b.at((at < 0 ? b.size() : 0) + at + i) = static_cast<char>(value >> (8 * i));
    };
}
Damage PutBigEndian32(std::ptrdiff_t at, std::uint32_t value) {
    return [=](std::string& b) {
        for (int i = 0; i < 4; ++i) b.at((at < 0 ? b.size() : 0) + at + i) = static_cast<char>(value >> (24 - 8 * i));
    };
}
Damage FlipBit(std::size_t at) {
    return [=](std::string& b) { b.at(at) ^= 1; };
}

void ExpectAsServed(const CacheEntry& entry, std::string_view bodyFile, std::string_view keyPrefix) {
    const auto& rows = ServedRows();
    const auto served = std::find_if(rows.begin(), rows.end(), [&](const Served& s) { return s.url == entry.url; });
    ASSERT_NE(served, rows.end()) << "no such URL served: " << entry.url;
    ASSERT_TRUE(entry.body && entry.body->offset <= bodyFile.size() &&
                entry.body->length <= bodyFile.size() - entry.body->offset) << entry.url << ": no body in its file";
    const std::string_view stored = bodyFile.substr(entry.body->offset, entry.body->length);
    SCOPED_TRACE(served->url);
    EXPECT_EQ(entry.key, std::string(keyPrefix) + served->url);
    EXPECT_EQ(entry.statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(entry.contentType, served->contentType);
    EXPECT_EQ(entry.contentEncoding, served->contentEncoding);
    EXPECT_EQ(stored.size(), served->sentSize);
    const DecodedBody decoded = DecodeBody(entry.contentEncoding, AsBytes(stored));
    EXPECT_EQ(decoded.outcome, served->contentEncoding.empty() ? DecodedBody::Outcome::NotEncoded
                                                               : DecodedBody::Outcome::Decoded);
    MD5 md5;
    md5.Init();
    md5.Update(AsBytes(decoded.outcome == DecodedBody::Outcome::Decoded ? decoded.bytes : stored));
    std::string digest = md5.Final();
    for (char& c : digest) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(digest, served->md5);
    for (const auto& time : {entry.created, entry.lastUsed, entry.requestTime, entry.responseTime, entry.lastModified})
        if (time) {
            EXPECT_EQ((DateTime{2026, 12, 7, 16, 31, time->second}), *time);
        }
}

}  // namespace snapsift::test
