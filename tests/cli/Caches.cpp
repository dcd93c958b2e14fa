// Browser caches written by Debian's chromium (simple and blockfile) and firefox-esr (cache2),
// scanned and listed by snapsift-cli: every cached photo once, with its URL and the digest and
// copy of its body as received; the caches untouched; and copies with one fault each, each
// ending incomplete and saying why.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "hash/MD5.h"
#include "text/Utf8.h"
#include "support/CliRun.h"

namespace snapsift::test {

namespace fs = std::filesystem;

namespace {

// What this build reads and decodes, 0 where it has not the library: the Windows build has none.
#ifndef SNAPSIFT_SQLITE
#define SNAPSIFT_SQLITE 0
#endif
#ifndef SNAPSIFT_BROTLI
#define SNAPSIFT_BROTLI 0
#endif
#ifndef SNAPSIFT_ZSTD
#define SNAPSIFT_ZSTD 0
#endif
// The caches of the fixtures this build reads: Chromium's SQL cache only where it has SQLite.
constexpr std::size_t kCaches = SNAPSIFT_SQLITE ? 4 : 3;
constexpr std::size_t kAllPhotos = kCaches * 7;
// A build without SQLite names the SQL cache it cannot read, and its run is incomplete.
constexpr int kCleanExit = kCaches == 4 ? 0 : 3;

std::string Md5OfFile(const fs::path& file) { return LowerAscii(MD5().DigestFileToHexStr(ToText(file))); }

// A manifest's rows after its header, each of at least `columns` tab-separated fields.
std::vector<std::vector<std::string>> ManifestRows(const fs::path& manifest, std::size_t columns) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(ReadBytes(manifest));
    std::string line;
    for (std::getline(lines, line); std::getline(lines, line);) {
        std::istringstream row(line);
        rows.emplace_back();
        for (std::string field; std::getline(row, field, '\t');) rows.back().push_back(field);
        rows.back().resize(std::max(rows.back().size(), columns));
    }
    return rows;
}

// A photo of manifest.tsv (the rows with a user ID): url, name, user ID, MD5.
std::vector<std::vector<std::string>> ManifestPhotos(const fs::path& manifest) {
    std::vector<std::vector<std::string>> photos = ManifestRows(manifest, 4);
    std::erase_if(photos, [](const auto& row) { return row[2].empty(); });
    return photos;
}

// Every file below a folder with its bytes' digest, its modification time and (on POSIX) its
// access time to the nanosecond.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        std::string& state = files[entry.path().string()] = Md5OfFile(entry.path());
        state.append(" ").append(std::to_string(fs::last_write_time(entry.path()).time_since_epoch().count()));
#ifndef _WIN32
        struct stat info {};
        ::stat(entry.path().c_str(), &info);
        state.append(" ").append(std::to_string(info.st_atim.tv_sec)).append(".").append(std::to_string(info.st_atim.tv_nsec));
#endif
    }
    return files;
}

class CacheTest : public ::testing::Test {
protected:
    void SetUp() override { Fresh(false); }
    // A fresh copy of the fixtures in src: the hostile server's caches, or the others.
    void Fresh(bool hostile) {
        fs::remove_all(tree.Path("src"));
        tree.Folder("src");
        for (const auto& fixture : fs::directory_iterator(SNAPSIFT_CACHE_FIXTURES))
            if (fixture.path().filename().string().starts_with("hostile") == hostile)
                fs::copy(fixture.path(), Src(fixture.path().filename().string()), fs::copy_options::recursive);
        Snapshot(tree.Path("src"));  // read once, so that no first read after the copy would move an access time anyway
    }
    fs::path Src(const std::string& relative) const { return tree.Path("src/" + relative); }
    CliResult ListCache(const std::string& folder) { return RunCli(tree, {"--list-cache", tree.Text("src/" + folder)}); }
    void Edit(const std::string& file, const std::function<void(std::string&)>& edit) {
        std::string bytes = ReadBytes(Src(file));
        edit(bytes);
        std::ofstream(Src(file), std::ios::binary | std::ios::trunc) << bytes;
    }
    TempTree tree;
};

// A key edited in place: its first `from` becomes `to`, of the same length, so that the entry
// stays well formed and names another photo.
std::function<void(std::string&)> EditKey(std::string from, std::string to) {
    return [from, to](std::string& bytes) {
        ASSERT_NE(bytes.find(from), std::string::npos) << from;
        bytes.replace(bytes.find(from), to.size(), to);
    };
}

}  // namespace

TEST_F(CacheTest, EveryCachedPhotoIsReportedOnceInEachCacheWithItsBodyAsReceivedAndTheCachesStayUntouched) {
    const auto photos = ManifestPhotos(Src("manifest.tsv"));
    ASSERT_EQ(photos.size(), 7u);
    const auto before = Snapshot(tree.Path("src"));
    const CliResult run = ScanSrc(tree);
    EXPECT_EQ(run.exitCode, kCleanExit) << run.err;
    EXPECT_EQ(run.err.empty(), kCaches == 4) << run.err;
    EXPECT_TRUE(Holds(run.err, kCaches == 4 ? "" : "sqldb0: this build cannot read Chromium's SQL cache"));
    EXPECT_TRUE(Holds(run.out, kCaches == 4 ? "" : "Caches this build cannot read: 1"));
    EXPECT_EQ(Snapshot(tree.Path("src")), before);

    const auto entries = ReportEntries(tree);
    ASSERT_EQ(entries.size(), kAllPhotos);
    std::map<std::string, int> seen;  // "<format> <url>"
    for (const auto& entry : entries) {
        const auto photo = std::ranges::find_if(photos, [&](const auto& p) { return p[0] == entry.rows.at("Cached from"); });
        ASSERT_NE(photo, photos.end()) << entry.rows.at("Cached from");
        ++seen[entry.rows.at("Cache") + " " + (*photo)[0]];
        // The copy holds the body as received, decoded; a gzip body also gives its stored digest.
        EXPECT_EQ(std::tuple(entry.name, entry.userId, entry.md5, entry.status, entry.path.find(tree.Text("src")),
                             Md5OfFile(RunReport(tree.Path("out")).parent_path() / entry.image), entry.rows.at("HTTP status")),
                  std::tuple((*photo)[1], (*photo)[2], (*photo)[3], "", 0u, (*photo)[3], "HTTP/1.1 200 OK")) << (*photo)[0];
        EXPECT_EQ(entry.rows.count("MD5 of the stored bytes"), entry.rows.count("Content-Encoding"));
    }
    EXPECT_EQ(seen.size(), entries.size()) << "a photo reported twice in one cache";
}

// One change per row, each made in a fresh copy of the fixtures. Damage ends the run incomplete
// (3) and is said on standard error and, where the photo's entry is still written, in its status;
// a cache the browser was writing when it stopped, or one read in a way that loses nothing, is
// evidence as it stands: the entries it touches say so, and the run and the cache's listing are
// complete (the listing says how it was read, not that the browser was writing).
TEST_F(CacheTest, AFaultyCacheDegradesOnlyTheEntryItTouchesAndTheRunSaysSo) {
    const std::string writing = "the browser was writing this cache when it stopped: ";
    const std::string firefox = "firefox-cache2/entries/641E60CD6E55774738147447D067D0877B43ED86", simple = "chromium-simple/cb9ca433c1a42445_0";
    const auto gone = [this](std::string file) { return [=, this] { fs::remove(Src(file)); }; };
    const auto cut = [this](std::string file, std::uintmax_t size) { return [=, this] { fs::resize_file(Src(file), size); }; };
    const auto put = [this](std::string file, std::size_t at, std::string bytes) {
        return [=, this] { Edit(file, [=](std::string& b) { b.replace(at, bytes.size(), bytes); }); };
    };
    const auto beside = [this](std::string file, std::size_t size) { return [=, this] { tree.File("src/" + file, std::string(size, 'w')); }; };
    const struct {
        const char* row;
        std::function<void()> change;
        std::string said;
        std::size_t entries;   // written to the report
        std::size_t stated;    // of them, saying so in their status: none, or at least so many
        const char* listed = nullptr;  // where the run is complete: the cache's folder
    } cases[] = {
        {"a missing data_3", gone("chromium-blockfile/data_3"), "data_3 is missing", kAllPhotos, 1},
        {"a torn simple entry", cut(simple, 1500), "cut short in the body", kAllPhotos, 1},
        {"a key whose hash is not the file's name", [&] { fs::rename(Src(simple), Src("chromium-simple/0000000000000000_0")); },
         "the key's hash does not match the file name", kAllPhotos, 1},
        {"an encrypted Firefox entry", [&] { Edit(firefox, [](std::string& b) { b[b.size() - 4] |= '\x80'; }); }, "encrypted", kAllPhotos - 1, 0},
        {"a damaged gzip body", [&] { Edit("chromium-simple/e3d486f6381f1fb2_0", [](std::string& b) { b[b.find("\x1f\x8b") + 40] ^= '\xff'; }); },
         "could not be decoded", kAllPhotos, 1},
        {"a blockfile index cut in its table", cut("chromium-blockfile/index", 1000), "part of the cache could not be read", kAllPhotos - 7, 0},
        {"a blockfile cache without its index", gone("chromium-blockfile/index"), "read from data_1 block by block", kAllPhotos, 1},
        {"an edited key in the Firefox cache", [&] { Edit(firefox, EditKey("/photos/", "/photoz/")); }, "is not the SHA-1 of its key", kAllPhotos, 1},
        // Every blockfile entry shares the index's mark.
        {"a blockfile index not closed cleanly", put("chromium-blockfile/index", 32, "\x01"), writing + "its index was not closed cleanly",
         kAllPhotos, 7, "chromium-blockfile"},
        {"a simple entry of another version", put(simple, 8, "\x06"), "entry version 6, read as version 5", kAllPhotos, 1, "chromium-simple"},
#if SNAPSIFT_SQLITE
        {"an SQL cache shard cut short", cut("chromium-sql/sqldb1", 40000), "part of the cache could not be read", kAllPhotos, 0},
        {"an edited key in the SQL cache",
         [&] {
             for (const std::string shard : {"chromium-sql/sqldb0", "chromium-sql/sqldb1", "chromium-sql/sqldb2"})
                 if (ReadBytes(Src(shard)).find("/n1234567_890") != std::string::npos) Edit(shard, EditKey("/n1234567_890", "/n1234568_890"));
         },
         "does not match its stored hash", kAllPhotos, 1},
        {"an SQL shard in WAL mode beside its WAL", [&] { put("chromium-sql/sqldb1", 18, "\x02\x02")(), beside("chromium-sql/sqldb1-wal", 32)(); },
         "rows still in sqldb1-wal are not read", kAllPhotos, 0},
        {"a hot SQL journal", beside("chromium-sql/sqldb1-journal", 512), writing + "sqldb1-journal holds 512 bytes of an unfinished change",
         kAllPhotos, 1, "chromium-sql"},
        {"an SQL shard in WAL mode with no WAL beside it", put("chromium-sql/sqldb1", 18, "\x02\x02"),
         "in WAL mode: read as its main file alone; rows still in sqldb1-wal are not read", kAllPhotos, 1, "chromium-sql"},
#endif
    };
    for (const auto& c : cases) {
        Fresh(false);
        c.change();
        const CliResult run = ScanSrc(tree, {"--no-photos"});
        EXPECT_EQ(run.exitCode, c.listed ? kCleanExit : 3) << c.row << run.err;
        const auto entries = ReportEntries(tree);
        const auto stated = std::ranges::count_if(entries, [&](const auto& e) { return e.status.find(c.said) != std::string::npos; });
        EXPECT_EQ(std::tuple(entries.size(), stated == 0, stated >= static_cast<long>(c.stated)), std::tuple(c.entries, c.stated == 0, true))
            << c.row;
        if (!c.listed) {
            EXPECT_TRUE(Holds(run.err, c.said)) << c.row;
            continue;
        }
        const std::string runEnd = ParseReport(ReadBytes(RunReport(tree.Path("out")))).runEnd;
        EXPECT_EQ(runEnd.find("<b>Result:</b> complete<br>") != std::string::npos, kCleanExit == 0) << c.row << runEnd;
        const CliResult listed = ListCache(c.listed);
        EXPECT_EQ(listed.exitCode, 0) << c.row << listed.err;
        EXPECT_EQ(listed.out.find(c.said) != std::string::npos, !c.said.starts_with(writing)) << c.row << listed.out;
    }
}

TEST_F(CacheTest, EntriesTheBrowserLetGoOfAreReportedOnlyWhenAskedForAndMarkedDeleted) {
    fs::rename(Src("chromium-simple/cb9ca433c1a42445_0"), Src("chromium-simple/todelete_cb9ca433c1a42445_0_1"));
    for (const bool asked : {false, true}) {
        const CliResult run = ScanSrc(tree, {"--no-photos", asked ? "--include-deleted" : "--no-photos"});
        const auto entries = ReportEntries(tree);
        const auto deleted = std::ranges::count_if(entries, [](const auto& e) { return e.status.starts_with("deleted from the browser's cache"); });
        EXPECT_EQ(std::tuple(run.exitCode, entries.size(), deleted), std::tuple(kCleanExit, kAllPhotos - !asked, long(asked))) << run.err;
    }
}

TEST_F(CacheTest, ListCacheGivesEveryEntryOfEachFormatAndSaysWhatCouldNotBeRead) {
    const auto photos = ManifestPhotos(Src("manifest.tsv"));
    std::ofstream(Src("firefox-cache2/entries/stray.txt")) << "not an entry";
    std::vector<std::string> folders = {"chromium-blockfile", "chromium-simple", "firefox-cache2", "firefox-cache2/entries"};
    if (kCaches == 4) folders.push_back("chromium-sql");
    for (const std::string& folder : folders) {
        const CliResult run = ListCache(folder);
        EXPECT_EQ(run.exitCode, 0) << folder << run.err;
        std::istringstream lines(run.out);
        std::string line;
        std::getline(lines, line);
        EXPECT_EQ(line, "url\tformat\thttp_status\tcontent_type\tcontent_encoding\tstored_bytes\tbody_md5\tcreated\tlast_used\tsource\tnote");
        int rows = 0, photoRows = 0;
        for (; std::getline(lines, line); ++rows) {
            for (const auto& photo : photos)
                if (line.starts_with(photo[0] + "\t")) {
                    ++photoRows;
                    EXPECT_TRUE(Holds(line, "\t" + photo[3] + "\t"));
                }
            // A status, a time and no note.
            EXPECT_TRUE(std::regex_search(line, std::regex("\t200\t.*\t20[0-9][0-9]-[0-9][0-9]-[0-9][0-9]T[0-9:]{8}Z\t.*\t$"))) << line;
        }
        EXPECT_EQ(std::tuple(rows, photoRows, run.err.find("stray.txt") != std::string::npos),
                  std::tuple(11, 7, folder.starts_with("firefox"))) << folder;
    }
    fs::remove(Src("chromium-blockfile/data_3"));
    const CliResult damaged = ListCache("chromium-blockfile");
    EXPECT_EQ(std::tuple(damaged.exitCode, std::ranges::count(damaged.out, '\n')), std::tuple(3, 12));
    EXPECT_TRUE(Holds(damaged.out, "\t\t2026")) << "a row without its body's digest";
    EXPECT_TRUE(Holds(damaged.out, "data_3 is missing"));
    EXPECT_EQ(RunCli(tree, {"--list-cache", tree.Text("out")}).exitCode, 2);
}

// The caches that Debian's chromium (three back ends) and firefox-esr wrote from a server that
// lies (tests/caches/hostile-manifest.tsv): one row per kind of response, what each browser kept
// of it, and what the report says of each entry kept. Only a whole, successful response that
// decodes is a photo with a copy; every other entry says why, with the digest of what is there.
TEST_F(CacheTest, WhatALyingServerLeftInEachCacheIsReportedAsItIs) {
    Fresh(true);
    std::map<std::string, std::vector<std::string>> served;  // by URL: kind, MD5 of what was sent, MD5 decoded
    for (const auto& f : ManifestRows(Src("hostile-manifest.tsv"), 9)) served[f[0]] = {f[1], f[7], f[8]};
    // What a build without the brotli or zstd library says of such a body.
    const auto notDecodedHere = [](const char* encoding, bool decoded) {
        return decoded ? "" : "its Content-Encoding &quot;" + std::string(encoding) + "&quot; cannot be decoded by this build: the stored bytes are given";
    };
    // kept: the caches that hold the response (b blockfile, s simple, q SQL, f Firefox); said: the
    // entry's status; decoded: its MD5 is of the decoded body (else of the bytes sent) and it has a copy.
    const struct { const char *kind, *kept; std::string said; bool decoded; } kinds[] = {
        {"cut", "bsq", "cut short: the server sent 1510 of 3021 bytes", false},
        {"cut-ranges", "bsqf", "cut short: the server sent 1510 of 3021 bytes", false},
        {"404", "bsqf", "the server answered 404 Not Found: the cached body is its error page, not the photo", false},
        {"301", "bsq", "the server answered 301 Moved Permanently: the cached body is its redirect, not the photo", false},
        {"zlib-as-gzip", "f", "its gzip body could not be decoded: it is not a gzip stream; the MD5 is of the stored bytes", false},
        {"bomb", "f", "its gzip body could not be decoded: it decodes to more than 256 MiB; the MD5 is of the stored bytes", false},
        {"formula", "bsqf", "", true},
        {"br", "bsqf", notDecodedHere("br", SNAPSIFT_BROTLI), SNAPSIFT_BROTLI},
        {"zstd", "bsqf", notDecodedHere("zstd", SNAPSIFT_ZSTD), SNAPSIFT_ZSTD},
        {"good", "bsqf", "", true},
        {"good-gzip", "bsqf", "", true},
    };
    const std::map<std::string, char> formats = {{"Chromium blockfile cache", 'b'}, {"Chromium simple cache", 's'},
                                                 {"Chromium SQL cache", 'q'}, {"Firefox cache2", 'f'}};
    const CliResult run = ScanSrc(tree);
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_TRUE(Holds(run.out, "Cached responses that are not photos: " + std::to_string(kCaches == 4 ? 7 : 5)));
    const fs::path runFolder = RunReport(tree.Path("out")).parent_path();
    std::map<std::string, std::string> keptBy;  // kind: the caches seen holding it
    for (const auto& entry : ReportEntries(tree)) {
        const auto& response = served.at(entry.rows.at("Cached from"));
        const auto kind = std::ranges::find_if(kinds, [&](const auto& k) { return k.kind == response[0]; });
        ASSERT_NE(kind, std::end(kinds)) << response[0];
        keptBy[kind->kind] += formats.at(entry.rows.at("Cache"));
        EXPECT_EQ(std::tuple(entry.status, entry.md5, entry.image.empty() ? "" : Md5OfFile(runFolder / entry.image)),
                  std::tuple(kind->said, response[kind->decoded ? 2 : 1], kind->decoded ? response[2] : ""))
            << kind->kind << " in the " << entry.rows.at("Cache");
    }
    for (const auto& kind : kinds) {
        std::string expected = kind.kept, seen = keptBy[kind.kind];
        if (kCaches == 3) std::erase(expected, 'q');
        std::ranges::sort(seen), std::ranges::sort(expected);
        EXPECT_EQ(seen, expected) << kind.kind;
    }
    // The server's text never reaches a spreadsheet as a formula: not in the CSV, not in a listing.
    EXPECT_TRUE(Holds(ReadBytes(runFolder / "Quorvia JPG Files.csv"), ",\\x40SUM(1+1),"));
    for (const char* folder : {"hostile-chromium-simple", "hostile-firefox-cache2"}) {
        const CliResult listed = ListCache(folder);
        EXPECT_TRUE(Holds(listed.out, "\t\\x3DHYPERLINK(")) << folder;
        EXPECT_EQ(listed.out.find("\t="), std::string::npos) << folder;
    }
}

}  // namespace snapsift::test
