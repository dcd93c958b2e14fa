// The blockfile reader over the cache Chromium wrote (tests/caches/fixtures.tar.xz), checked
// against the manifest of what was served, and over damaged copies of its files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cache/BlockfileCache.h"
#include "hash/MD5.h"
#include "support/TempTree.h"

using namespace snapsift;

namespace {

using Files = std::map<std::string, std::string>;

struct Served {
    std::string url, md5, contentEncoding, contentType;
    std::uint64_t sentSize = 0;
};

struct Fixture {
    Files files;                 // chromium-blockfile/ by name
    std::vector<Served> served;  // manifest.tsv
};

const Fixture& LoadFixture() {
    static const Fixture fixture = [] {
        Fixture loaded;
        test::TempTree tree;
        const std::string command = "tar -xJf \"" SNAPSIFT_CACHE_FIXTURES "\" -C \"" + test::ToText(tree.Root()) + "\"";
        if (std::system(command.c_str()) != 0) return loaded;
        for (const auto& file : std::filesystem::directory_iterator(tree.Path("chromium-blockfile")))
            loaded.files[test::ToText(file.path().filename())] = test::ReadBytes(file.path());
        std::istringstream manifest(test::ReadBytes(tree.Path("manifest.tsv")));
        std::string line;
        std::getline(manifest, line);  // column names
        while (std::getline(manifest, line)) {
            std::vector<std::string> cells;
            std::istringstream row(line);
            for (std::string cell; std::getline(row, cell, '\t');) cells.push_back(cell);
            if (cells.size() == 8) loaded.served.push_back({cells[0], cells[3], cells[4], cells[5], std::stoull(cells[7])});
        }
        return loaded;
    }();
    return fixture;
}

// The fixtures are unpacked with tar, which a Windows test run may lack.
#ifdef _WIN32
#define NEED_FIXTURE() \
    if (LoadFixture().files.empty()) GTEST_SKIP() << "tar could not unpack " SNAPSIFT_CACHE_FIXTURES
#else
#define NEED_FIXTURE() ASSERT_FALSE(LoadFixture().files.empty()) << "tar could not unpack " SNAPSIFT_CACHE_FIXTURES
#endif

BlockfileFiles Over(const Files& files) {
    return [&files](std::string_view name) -> std::optional<std::span<const std::uint8_t>> {
        const auto found = files.find(std::string(name));
        if (found == files.end()) return std::nullopt;
        return std::span(reinterpret_cast<const std::uint8_t*>(found->second.data()), found->second.size());
    };
}

std::string Md5(std::string_view bytes) {
    MD5 md5;
    md5.Init();
    md5.Update(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    std::string digest = md5.Final();
    std::transform(digest.begin(), digest.end(), digest.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
    return digest;
}

// The stored bytes the entry's body place names; empty when its file lacks them.
std::string BodyBytes(const Files& files, const CacheEntry& entry) {
    const auto file = files.find(entry.body->file);
    if (file == files.end() || entry.body->offset > file->second.size() ||
        entry.body->length > file->second.size() - entry.body->offset)
        return {};
    return file->second.substr(entry.body->offset, entry.body->length);
}

// An entry read without a note must be the served one, whole: its body's bytes as sent.
void ExpectServed(const Files& files, const CacheEntry& entry, const Served& served) {
    SCOPED_TRACE(served.url);
    EXPECT_EQ(entry.format, CacheFormat::ChromiumBlockfile);
    EXPECT_EQ(entry.key, "1/0/_dk_http://127.0.0.1 http://127.0.0.1 " + served.url);
    EXPECT_EQ(entry.statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(entry.contentType, served.contentType);
    EXPECT_EQ(entry.contentEncoding, served.contentEncoding);
    EXPECT_FALSE(entry.deleted);
    EXPECT_TRUE(entry.created && entry.lastUsed && entry.requestTime && entry.responseTime);
    ASSERT_TRUE(entry.body);
    EXPECT_EQ(entry.body->length, served.sentSize);
    const std::string body = BodyBytes(files, entry);
    if (served.contentEncoding.empty())
        EXPECT_EQ(Md5(body), served.md5);
    else  // stored as sent: gzip
        EXPECT_EQ(body.substr(0, 2), "\x1f\x8b");
}

const Served* ServedAs(const std::string& url) {
    for (const Served& served : LoadFixture().served)
        if (served.url == url) return &served;
    return nullptr;
}

TEST(BlockfileCache, ReadsEveryEntryChromiumWrote) {
    const Fixture& fixture = LoadFixture();
    NEED_FIXTURE();
    ASSERT_EQ(fixture.served.size(), 11u);
    const BlockfileCacheContents cache = ReadBlockfileCacheContents(Over(fixture.files));
    EXPECT_EQ(cache.note, "");
    EXPECT_EQ(cache.version, 0x00030000u);
    EXPECT_EQ(cache.tableLength, 524288u);
    EXPECT_FALSE(cache.crashed);
    ASSERT_EQ(cache.entries.size(), fixture.served.size());
    for (const Served& served : fixture.served) {
        const auto entry = std::find_if(cache.entries.begin(), cache.entries.end(),
                                        [&](const CacheEntry& e) { return e.url == served.url; });
        ASSERT_NE(entry, cache.entries.end()) << served.url;
        EXPECT_EQ(entry->note, "") << served.url;
        ExpectServed(fixture.files, *entry, served);
    }
    // The 24000-byte body has a file of its own; the others lie in blocks.
    for (const CacheEntry& entry : cache.entries)
        EXPECT_EQ(entry.body->file == "f_000001", !entry.body->block) << entry.url;
}

// Little-endian field writes into a copy of a file.
void Put32(std::string& file, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) file.at(at + i) = static_cast<char>(value >> (8 * i));
}

// The fixture's entry of the index.html page: the table's bucket 360512 holds 0xa0010002.
constexpr std::size_t kPageEntry = 8192 + 2 * 256;

struct Damage {
    const char* name;
    std::function<void(Files&)> apply;
    const char* said;        // found in the cache's note or an entry's
    std::size_t readWhole;   // entries still read without a note
};

const Damage kDamages[] = {
    {"index cut in its header", [](Files& f) { f["index"].resize(200); }, "shorter than its header", 0},
    {"index cut in its table", [](Files& f) { f["index"].resize(368 + 4 * 300000); }, "hash table of 524288", 5},
    {"index magic wrong", [](Files& f) { f["index"][0] = 'X'; }, "index has magic", 11},
    {"table address past data_1", [](Files& f) { Put32(f["index"], 368, 0xa001ff00); }, "lies past the end", 11},
    {"table address of a rankings block", [](Files& f) { Put32(f["index"], 368, 0x90000001); }, "not an address of 256-byte blocks", 11},
    {"table address of a free block", [](Files& f) { Put32(f["index"], 368, 0xa0010030); }, "holds no key", 11},
    {"entry in a bucket not of its hash", [](Files& f) { Put32(f["index"], 368, 0xa0010002); Put32(f["index"], 368 + 4 * 360512, 0); }, "does not belong in bucket 0", 10},
    {"data_1 missing", [](Files& f) { f.erase("data_1"); }, "data_1 is missing", 0},
    {"data_1 cut in its header", [](Files& f) { f["data_1"].resize(4000); }, "shorter than its header", 0},
    {"data_1 cut in an entry", [](Files& f) { f["data_1"].resize(8192 + 16 * 256 + 50); }, "too few for its fields", 3},
    {"data_1 magic wrong", [](Files& f) { f["data_1"][1] = 0; }, "not that of a block file", 0},
    {"data_3 missing", [](Files& f) { f.erase("data_3"); }, "data_3 is missing", 9},
    {"f_000001 missing", [](Files& f) { f.erase("f_000001"); }, "f_000001 is missing", 10},
    {"data_2 cut in a body", [](Files& f) { f["data_2"].resize(8192 + 0x10 * 1024 + 300); }, "stream 1 is cut", 9},
    {"data_0 cut", [](Files& f) { f["data_0"].resize(8192 + 36 * 5); }, "rankings node", 5},
    {"key length huge", [](Files& f) { Put32(f["data_1"], kPageEntry + 32, 0x7fffffff); }, "runs past the entry", 10},
    {"key length negative", [](Files& f) { Put32(f["data_1"], kPageEntry + 32, 0xfffffff0); }, "is negative", 10},
    {"long key past data_1", [](Files& f) { Put32(f["data_1"], kPageEntry + 36, 0xa001ff00); }, "long key", 10},
    {"body size huge", [](Files& f) { Put32(f["data_1"], kPageEntry + 44, 0x7fffffff); }, "do not fit", 10},
    {"body address past data_2", [](Files& f) { Put32(f["data_1"], kPageEntry + 60, 0xb102ff00); }, "lies past the end", 10},
    {"headers size huge", [](Files& f) { Put32(f["data_1"], kPageEntry + 40, 0x7fffffff); }, "stream 0", 10},
    {"response info size huge", [](Files& f) { Put32(f["data_1"], 8192 + 4 * 256, 0xffffff00); }, "response info is cut", 10},
    {"header text length huge", [](Files& f) { Put32(f["data_1"], 8192 + 4 * 256 + 36, 0x7fffff00); }, "header text of", 10},
    {"entry's chain loops to itself", [](Files& f) { Put32(f["data_1"], kPageEntry + 4, 0xa0010002); }, "", 11},
    {"rankings node of another entry", [](Files& f) { Put32(f["data_1"], kPageEntry + 8, 0x90000001); }, "belongs to entry", 10},
};

void PrintTo(const Damage& damage, std::ostream* out) { *out << damage.name; }

class BlockfileDamage : public testing::TestWithParam<Damage> {};

TEST_P(BlockfileDamage, SaysWhatCouldNotBeReadAndReadsTheRest) {
    NEED_FIXTURE();
    Files files = LoadFixture().files;
    GetParam().apply(files);
    const BlockfileCacheContents cache = ReadBlockfileCacheContents(Over(files));
    std::string notes = cache.note;
    std::size_t whole = 0;
    for (const CacheEntry& entry : cache.entries) {
        notes += "\n" + entry.note;
        if (!entry.note.empty()) continue;
        ++whole;
        const Served* served = ServedAs(entry.url);
        ASSERT_TRUE(served) << entry.url;
        ExpectServed(files, entry, *served);
    }
    EXPECT_NE(notes.find(GetParam().said), std::string::npos) << notes;
    EXPECT_EQ(whole, GetParam().readWhole) << notes;
    EXPECT_LE(cache.entries.size(), 12u);
}

INSTANTIATE_TEST_SUITE_P(Table, BlockfileDamage, testing::ValuesIn(kDamages), [](const auto& info) {
    std::string name = info.param.name;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
});

// The entry's state: kept, evicted or doomed; a state the browser never writes is noted.
TEST(BlockfileCache, EntryStateGivesDeleted) {
    NEED_FIXTURE();
    const struct {
        std::uint32_t state;
        bool deleted;
        bool noted;
    } kStates[] = {{0, false, false}, {1, true, false}, {2, true, false}, {7, false, true}};
    for (const auto& row : kStates) {
        SCOPED_TRACE("state " + std::to_string(row.state));
        Files files = LoadFixture().files;
        Put32(files["data_1"], kPageEntry + 20, row.state);
        const auto entries = ReadBlockfileCache(Over(files));
        const auto page = std::find_if(entries.begin(), entries.end(),
                                       [](const CacheEntry& e) { return e.url.ends_with("/index.html"); });
        ASSERT_NE(page, entries.end());
        EXPECT_EQ(page->deleted, row.deleted);
        EXPECT_EQ(page->note.find("state 7 is unknown") != std::string::npos, row.noted) << page->note;
        EXPECT_EQ(page->contentType, "text/html; charset=utf-8");
    }
}

// Every file cut at many points: whatever is read without a note is the served entry, whole.
TEST(BlockfileCache, FilesCutAnywhereGiveNotesNotWrongEntries) {
    NEED_FIXTURE();
    for (const auto& [name, bytes] : LoadFixture().files) {
        for (std::size_t cut : {std::size_t{0}, std::size_t{7}, std::size_t{8191}, std::size_t{8192 + 37},
                                std::size_t{8192 + 1000}, bytes.size() / 3, bytes.size() / 2, bytes.size() - 1}) {
            if (cut >= bytes.size()) continue;
            SCOPED_TRACE(name + " cut at " + std::to_string(cut));
            Files files = LoadFixture().files;
            files[name].resize(cut);
            for (const CacheEntry& entry : ReadBlockfileCache(Over(files))) {
                if (!entry.note.empty()) continue;
                const Served* served = ServedAs(entry.url);
                ASSERT_TRUE(served) << entry.url;
                ExpectServed(files, entry, *served);
            }
        }
    }
}

}  // namespace
