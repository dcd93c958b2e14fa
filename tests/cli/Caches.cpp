// Browser caches written by Debian's chromium (simple and blockfile) and firefox-esr (cache2),
// scanned and listed by snapsift-cli: every cached photo once, with its URL and the digest and
// copy of its body as received; the caches untouched; and copies with one fault each, each
// ending incomplete and saying why.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "hash/MD5.h"
#include "text/Utf8.h"
#include "support/CliRun.h"
#include "support/ReportParser.h"

namespace snapsift::test {

namespace fs = std::filesystem;

namespace {

// The caches of the fixtures this build reads: Chromium's SQL cache only where it has SQLite.
#ifdef SNAPSIFT_SQLITE
constexpr std::size_t kCaches = 4;
#else
constexpr std::size_t kCaches = 3;
#endif
constexpr std::size_t kAllPhotos = kCaches * 7;
// A build without SQLite names the SQL cache it cannot read, and its run is incomplete.
constexpr int kCleanExit = kCaches == 4 ? 0 : 3;



std::string Md5OfFile(const fs::path& file) {
    const std::string bytes = ReadBytes(file);
    MD5 md5;
    md5.Init();
    md5.Update({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    return LowerAscii(md5.Final());
}

struct Photo {
    std::string url, name, userId, md5;
};

// A manifest's rows after its header, each of at least `columns` fields.
std::vector<std::vector<std::string>> ManifestRows(const fs::path& manifest, std::size_t columns) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(ReadBytes(manifest));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream row(line);
        for (std::string field; std::getline(row, field, '\t');) fields.push_back(field);
        fields.resize(std::max(fields.size(), columns));
        rows.push_back(std::move(fields));
    }
    return rows;
}

// The manifest's photos: the rows with a user ID.
std::vector<Photo> ManifestPhotos(const fs::path& manifest) {
    std::vector<Photo> photos;
    for (const auto& f : ManifestRows(manifest, 4))
        if (!f[2].empty()) photos.push_back({f[0], f[1], f[2], f[3]});
    return photos;
}

// Every file below a folder with its bytes' digest, its modification time and (on POSIX) its
// access time to the nanosecond.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        std::string state = Md5OfFile(entry.path()) + " " +
                            std::to_string(fs::last_write_time(entry.path()).time_since_epoch().count());
#ifndef _WIN32
        struct stat info {};
        ::stat(entry.path().c_str(), &info);
        state += ' ';
        state += std::to_string(info.st_atim.tv_sec);
        state += '.';
        state += std::to_string(info.st_atim.tv_nsec);
#endif
        files[entry.path().string()] = state;
    }
    return files;
}

class CacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.Folder("out");
        tree.Folder("src");
        // The hostile server's caches are tested on their own.
        for (const auto& fixture : fs::directory_iterator(SNAPSIFT_CACHE_FIXTURES))
            if (fixture.path().filename().string().starts_with("hostile") == hostile)
                fs::copy(fixture.path(), tree.Path("src") / fixture.path().filename(), fs::copy_options::recursive);
        // Read once, so that no first read after the copy would move an access time anyway.
        Snapshot(tree.Path("src"));
    }
    CliResult Scan(std::vector<std::string> more = {}) {
        std::vector<std::string> arguments = {"--folder", tree.Text("src"), "--output", tree.Text("out")};
        arguments.insert(arguments.end(), more.begin(), more.end());
        for (const auto& made : fs::directory_iterator(tree.Path("out"))) fs::remove_all(made.path());
        return RunCli(tree, arguments);
    }
    std::vector<ParsedEntry> ReportEntries() const { return ParseReport(ReadBytes(RunReport(tree.Path("out")))).entries; }
    fs::path Src(const std::string& relative) const { return tree.Path("src/" + relative); }
    // A scan without photos of a fresh copy of the fixtures, changed first.
    CliResult ScanAfter(const std::function<void()>& change) {
        fs::remove_all(tree.Path("src"));
        SetUp();
        change();
        return Scan({"--no-photos"});
    }
    void EditBytes(const std::string& file, const std::function<void(std::string&)>& edit) {
        std::string bytes = ReadBytes(Src(file));
        edit(bytes);
        std::ofstream(Src(file), std::ios::binary | std::ios::trunc) << bytes;
    }
    TempTree tree;
    bool hostile = false;
};

// A key edited in place: its first occurrence of `from` in the file becomes `to`, of the same
// length, so that the entry stays well formed and names another photo.
std::function<void(std::string&)> EditKey(std::string from, std::string to) {
    return [from, to](std::string& bytes) {
        const std::size_t at = bytes.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        bytes.replace(at, to.size(), to);
    };
}

}  // namespace

TEST_F(CacheTest, EveryCachedPhotoIsReportedOnceInEachCacheWithItsBodyAsReceivedAndTheCachesStayUntouched) {
    const std::vector<Photo> photos = ManifestPhotos(Src("manifest.tsv"));
    ASSERT_EQ(photos.size(), 7u);
    const auto before = Snapshot(tree.Path("src"));
    const CliResult run = Scan();
    EXPECT_EQ(run.exitCode, kCleanExit) << run.err;
    if (kCaches == 4) {
        EXPECT_EQ(run.err, "");
    } else {
        EXPECT_NE(run.err.find("chromium-sql"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("this build cannot read Chromium's SQL cache"), std::string::npos) << run.err;
        EXPECT_NE(run.out.find("Caches this build cannot read: 1"), std::string::npos) << run.out;
    }
    EXPECT_EQ(Snapshot(tree.Path("src")), before);

    const auto entries = ReportEntries();
    ASSERT_EQ(entries.size(), kCaches * photos.size());
    const fs::path runFolder = RunReport(tree.Path("out")).parent_path();
    std::map<std::string, int> seen;  // "<format> <url>"
    for (const auto& entry : entries) {
        const auto photo = std::find_if(photos.begin(), photos.end(), [&](const Photo& p) {
            return p.url == entry.rows.at("Cached from");
        });
        ASSERT_NE(photo, photos.end()) << entry.rows.at("Cached from");
        ++seen[entry.rows.at("Cache") + " " + photo->url];
        EXPECT_EQ(entry.name, photo->name);
        EXPECT_EQ(entry.md5, photo->md5) << photo->url;
        EXPECT_EQ(entry.path.find(tree.Text("src")), 0u) << entry.path;
        EXPECT_EQ(entry.userId, photo->userId);
        EXPECT_EQ(entry.status, "");
        // The copy holds the body as received, decoded; a gzip body also gives its stored digest.
        EXPECT_EQ(Md5OfFile(runFolder / entry.image), photo->md5);
        EXPECT_EQ(entry.rows.count("MD5 of the stored bytes"), entry.rows.count("Content-Encoding"));
        EXPECT_EQ(entry.rows.at("HTTP status"), "HTTP/1.1 200 OK");
    }
    EXPECT_EQ(seen.size(), entries.size()) << "a photo reported twice in one cache";
}

// One fault per row, each made in a fresh copy of the fixtures: the run ends incomplete (3),
// says why on standard error and, where the photo's entry is still written, in its status.
TEST_F(CacheTest, AFaultyCacheDegradesOnlyTheEntryItTouchesAndTheRunSaysSo) {
    const auto indexUnusable = "read from data_1 block by block";
    const struct {
        const char* row;
        std::function<void()> fault;
        std::size_t entries;       // written to the report
        const char* said;          // on standard error, and in a status when an entry is written
        bool inStatus;
    } cases[] = {
        {"a missing data_3", [&] { fs::remove(Src("chromium-blockfile/data_3")); }, kAllPhotos, "data_3 is missing", true},
        {"a torn simple entry", [&] { fs::resize_file(Src("chromium-simple/cb9ca433c1a42445_0"), 1500); }, kAllPhotos,
         "cut short in the body", true},
        {"a key whose hash is not the file's name",
         [&] { fs::rename(Src("chromium-simple/cb9ca433c1a42445_0"), Src("chromium-simple/0000000000000000_0")); }, kAllPhotos,
         "the key's hash does not match the file name", true},
        {"an encrypted Firefox entry",
         [&] { EditBytes("firefox-cache2/entries/641E60CD6E55774738147447D067D0877B43ED86",
                         [](std::string& b) { b[b.size() - 4] |= '\x80'; }); },
         kAllPhotos - 1, "encrypted", false},
        {"a damaged gzip body",
         [&] { EditBytes("chromium-simple/e3d486f6381f1fb2_0", [](std::string& b) {
                   const std::size_t gzip = b.find("\x1f\x8b");
                   b[gzip + 40] ^= '\xff';
               }); },
         kAllPhotos, "could not be decoded", true},
        {"a blockfile index cut in its table",
         [&] { fs::resize_file(Src("chromium-blockfile/index"), 1000); }, kAllPhotos - 7, "part of the cache could not be read", false},
        {"a blockfile cache without its index", [&] { fs::remove(Src("chromium-blockfile/index")); }, kAllPhotos,
         indexUnusable, true},
        {"an edited key in the Firefox cache",
         [&] { EditBytes("firefox-cache2/entries/641E60CD6E55774738147447D067D0877B43ED86", EditKey("/photos/", "/photoz/")); },
         kAllPhotos, "is not the SHA-1 of its key", true},
#ifdef SNAPSIFT_SQLITE
        {"an SQL cache shard cut short", [&] { fs::resize_file(Src("chromium-sql/sqldb1"), 40000); }, kAllPhotos,
         "part of the cache could not be read", false},
        {"an edited key in the SQL cache",
         [&] {
             for (const char* shard : {"sqldb0", "sqldb1", "sqldb2"})
                 if (ReadBytes(Src(std::string("chromium-sql/") + shard)).find("/n1234567_890") != std::string::npos)
                     EditBytes(std::string("chromium-sql/") + shard, EditKey("/n1234567_890", "/n1234568_890"));
         },
         kAllPhotos, "does not match its stored hash", true},
        {"an SQL shard in WAL mode beside its WAL",
         [&] {
             EditBytes("chromium-sql/sqldb1", [](std::string& b) { b[18] = b[19] = 2; });
             std::ofstream(Src("chromium-sql/sqldb1-wal"), std::ios::binary) << std::string(32, 'w');
         },
         kAllPhotos, "rows still in sqldb1-wal are not read", false},
#endif
    };
    for (const auto& c : cases) {
        const CliResult run = ScanAfter(c.fault);
        EXPECT_EQ(run.exitCode, 3) << c.row;
        EXPECT_NE(run.err.find(c.said), std::string::npos) << c.row << "\n" << run.err;
        const auto entries = ReportEntries();
        EXPECT_EQ(entries.size(), c.entries) << c.row;
        const bool stated = std::any_of(entries.begin(), entries.end(), [&](const auto& entry) {
            return entry.status.find(c.said) != std::string::npos;
        });
        EXPECT_EQ(stated, c.inStatus) << c.row;
    }
}

// A cache the browser was writing when it stopped, or one read in a way that loses nothing, is
// evidence as it stands: its entries say so, and the run and the cache's listing are complete.
TEST_F(CacheTest, ACacheLeftInTheMiddleOfAChangeIsNamedInTheEntriesItTouches) {
    const std::string writing = "the browser was writing this cache when it stopped: ";
    const struct {
        const char* row;
        std::function<void()> leave;
        const char* format;
        std::string said, folder;  // in a status, and in the listing unless the browser was writing
    } cases[] = {
        {"a blockfile index not closed cleanly",
         [&] { EditBytes("chromium-blockfile/index", [](std::string& b) { b[32] = 1; }); }, "Chromium blockfile cache",
         writing + "its index was not closed cleanly", "chromium-blockfile"},
        {"a simple entry of another version",
         [&] { EditBytes("chromium-simple/cb9ca433c1a42445_0", [](std::string& b) { b[8] = 6; }); },
         "Chromium simple cache", "entry version 6, read as version 5", "chromium-simple"},
#ifdef SNAPSIFT_SQLITE
        {"a hot SQL journal", [&] { std::ofstream(Src("chromium-sql/sqldb1-journal"), std::ios::binary) << std::string(512, 'j'); },
         "Chromium SQL cache", writing + "sqldb1-journal holds 512 bytes of an unfinished change", "chromium-sql"},
        {"an SQL shard in WAL mode with no WAL beside it",
         [&] { EditBytes("chromium-sql/sqldb1", [](std::string& b) { b[18] = b[19] = 2; }); }, "Chromium SQL cache",
         "in WAL mode: read as its main file alone; rows still in sqldb1-wal are not read", "chromium-sql"},
#endif
    };
    for (const auto& c : cases) {
        const CliResult run = ScanAfter(c.leave);
        EXPECT_EQ(run.exitCode, kCleanExit) << c.row << run.err;
        const std::string runEnd = ParseReport(ReadBytes(RunReport(tree.Path("out")))).runEnd;
        EXPECT_EQ(runEnd.find("<b>Result:</b> complete<br>") != std::string::npos, kCleanExit == 0) << c.row << runEnd;
        const CliResult listed = RunCli(tree, {"--list-cache", tree.Text("src/" + c.folder)});
        EXPECT_EQ(listed.exitCode, 0) << c.row << listed.err;
        EXPECT_EQ(listed.out.find(c.said) != std::string::npos, !c.said.starts_with(writing)) << c.row << listed.out;
        std::size_t said = 0, ofFormat = 0;
        for (const auto& entry : ReportEntries()) {
            if (entry.rows.at("Cache") != c.format) continue;
            ++ofFormat;
            said += entry.status.find(c.said) != std::string::npos;
        }
        EXPECT_GT(said, 0u) << c.row;
        // Every blockfile entry shares the index's mark; a journal touches its own shard's.
        EXPECT_TRUE(std::string(c.format).find("blockfile") == std::string::npos || said == ofFormat) << c.row;
    }
}

TEST_F(CacheTest, EntriesTheBrowserLetGoOfAreReportedOnlyWhenAskedForAndMarkedDeleted) {
    fs::rename(Src("chromium-simple/cb9ca433c1a42445_0"), Src("chromium-simple/todelete_cb9ca433c1a42445_0_1"));
    const CliResult without = Scan({"--no-photos"});
    EXPECT_EQ(without.exitCode, kCleanExit) << without.err;
    EXPECT_EQ(ReportEntries().size(), kAllPhotos - 1);
    const CliResult with = Scan({"--no-photos", "--include-deleted"});
    EXPECT_EQ(with.exitCode, kCleanExit) << with.err;
    const auto entries = ReportEntries();
    ASSERT_EQ(entries.size(), kAllPhotos);
    const auto deleted = std::count_if(entries.begin(), entries.end(), [](const auto& entry) {
        return entry.status.starts_with("deleted from the browser's cache");
    });
    EXPECT_EQ(deleted, 1);
}

TEST_F(CacheTest, ListCacheGivesEveryEntryOfEachFormatAndSaysWhatCouldNotBeRead) {
    const std::vector<Photo> photos = ManifestPhotos(Src("manifest.tsv"));
    const std::string header =
        "url\tformat\thttp_status\tcontent_type\tcontent_encoding\tstored_bytes\tbody_md5\tcreated\tlast_used\tsource\tnote";
    std::ofstream(Src("firefox-cache2/entries/stray.txt")) << "not an entry";
    std::vector<std::string> folders = {"chromium-blockfile", "chromium-simple", "firefox-cache2", "firefox-cache2/entries"};
    if (kCaches == 4) folders.push_back("chromium-sql");
    for (const std::string& folder : folders) {
        const CliResult run = RunCli(tree, {"--list-cache", tree.Text(std::string("src/") + folder)});
        EXPECT_EQ(run.exitCode, 0) << folder << run.err;
        std::istringstream lines(run.out);
        std::string line;
        std::getline(lines, line);
        EXPECT_EQ(line, header);
        int rows = 0, photoRows = 0;
        while (std::getline(lines, line)) {
            ++rows;
            for (const Photo& photo : photos)
                if (line.starts_with(photo.url + "\t")) {
                    ++photoRows;
                    EXPECT_NE(line.find("\t" + photo.md5 + "\t"), std::string::npos) << line;
                }
            EXPECT_TRUE(std::regex_search(line, std::regex("\t200\t.*\t20[0-9][0-9]-[0-9][0-9]-[0-9][0-9]T[0-9:]{8}Z\t")))
                << line;
            EXPECT_TRUE(line.ends_with("\t")) << "a note on " << line;
        }
        EXPECT_EQ(rows, 11) << folder;
        EXPECT_EQ(photoRows, 7) << folder;
        EXPECT_EQ(run.err.find("stray.txt") != std::string::npos, std::string(folder).starts_with("firefox")) << folder;
    }
    fs::remove(Src("chromium-blockfile/data_3"));
    const CliResult damaged = RunCli(tree, {"--list-cache", tree.Text("src/chromium-blockfile")});
    EXPECT_EQ(damaged.exitCode, 3);
    EXPECT_EQ(std::count(damaged.out.begin(), damaged.out.end(), '\n'), 12);
    EXPECT_NE(damaged.out.find("\t\t2026"), std::string::npos) << "a row without its body's digest";
    EXPECT_NE(damaged.out.find("data_3 is missing"), std::string::npos);
    EXPECT_EQ(RunCli(tree, {"--list-cache", tree.Text("out")}).exitCode, 2);
}

// The caches that Debian's chromium (three back ends) and firefox-esr wrote from a server that
// lies (tests/caches/hostile-manifest.tsv): one row per kind of response, what each browser kept
// of it, and what the report says of each entry kept. Only a whole, successful response that
// decodes is a photo with a copy; every other entry says why, with the digest of what is there.
TEST_F(CacheTest, WhatALyingServerLeftInEachCacheIsReportedAsItIs) {
    hostile = true;
    ScanAfter([] {});
    struct Served {
        std::string kind, md5Sent, md5Decoded;
    };
    std::map<std::string, Served> served;  // by URL
    for (const auto& f : ManifestRows(Src("hostile-manifest.tsv"), 9)) served[f[0]] = {f[1], f[7], f[8]};
    // What a build without the brotli and zstd libraries (the Windows build) says of such a body.
    const auto notDecodedHere = [](const char* encoding, bool decoded) {
        return decoded ? std::string()
                       : "its Content-Encoding &quot;" + std::string(encoding) +
                             "&quot; cannot be decoded by this build: the stored bytes are given";
    };
#ifdef SNAPSIFT_BROTLI
    constexpr bool brHere = true;
#else
    constexpr bool brHere = false;
#endif
#ifdef SNAPSIFT_ZSTD
    constexpr bool zstdHere = true;
#else
    constexpr bool zstdHere = false;
#endif
    // kept: the caches that hold the response (b blockfile, s simple, q SQL, f Firefox); said: the
    // entry's status; decoded: its MD5 is of the decoded body (else of the bytes sent) and it has a copy.
    const struct {
        const char* kind;
        const char* kept;
        std::string said;
        bool decoded;
    } kinds[] = {
        {"cut", "bsq", "cut short: the server sent 1510 of 3021 bytes", false},
        {"cut-ranges", "bsqf", "cut short: the server sent 1510 of 3021 bytes", false},
        {"404", "bsqf", "the server answered 404 Not Found: the cached body is its error page, not the photo", false},
        {"301", "bsq", "the server answered 301 Moved Permanently: the cached body is its redirect, not the photo", false},
        {"zlib-as-gzip", "f", "its gzip body could not be decoded: it is not a gzip stream; the MD5 is of the stored bytes",
         false},
        {"bomb", "f", "its gzip body could not be decoded: it decodes to more than 256 MiB; the MD5 is of the stored bytes",
         false},
        {"formula", "bsqf", "", true},
        {"br", "bsqf", notDecodedHere("br", brHere), brHere},
        {"zstd", "bsqf", notDecodedHere("zstd", zstdHere), zstdHere},
        {"good", "bsqf", "", true},
        {"good-gzip", "bsqf", "", true},
    };
    const std::map<std::string, char> formats = {{"Chromium blockfile cache", 'b'}, {"Chromium simple cache", 's'},
                                                 {"Chromium SQL cache", 'q'}, {"Firefox cache2", 'f'}};
    const CliResult run = Scan();
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_NE(run.out.find("Cached responses that are not photos: " + std::to_string(kCaches == 4 ? 7 : 5)),
              std::string::npos) << run.out;
    const fs::path runFolder = RunReport(tree.Path("out")).parent_path();
    std::map<std::string, std::string> keptBy;  // kind: the caches seen holding it
    for (const auto& entry : ReportEntries()) {
        const Served& response = served.at(entry.rows.at("Cached from"));
        const auto kind = std::find_if(std::begin(kinds), std::end(kinds), [&](const auto& k) { return k.kind == response.kind; });
        ASSERT_NE(kind, std::end(kinds)) << response.kind;
        keptBy[kind->kind] += formats.at(entry.rows.at("Cache"));
        const std::string where = std::string(kind->kind) + " in the " + entry.rows.at("Cache");
        EXPECT_EQ(entry.status, kind->said) << where;
        EXPECT_EQ(entry.md5, kind->decoded ? response.md5Decoded : response.md5Sent) << where;
        EXPECT_EQ(entry.image.empty(), !kind->decoded) << where;
        if (kind->decoded) {
            EXPECT_EQ(Md5OfFile(runFolder / entry.image), response.md5Decoded) << where;
        }
    }
    for (const auto& kind : kinds) {
        std::string expected;
        for (const char format : std::string(kind.kept))
            if (format != 'q' || kCaches == 4) expected += format;
        std::string seen = keptBy[kind.kind];
        std::sort(seen.begin(), seen.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(seen, expected) << kind.kind;
    }
    // The server's text never reaches a spreadsheet as a formula: not in the CSV, not in a listing.
    const std::string csv = ReadBytes(runFolder / "Quorvia JPG Files.csv");
    EXPECT_NE(csv.find(",\\x40SUM(1+1),"), std::string::npos);
    for (const char* folder : {"hostile-chromium-simple", "hostile-firefox-cache2"}) {
        const CliResult listed = RunCli(tree, {"--list-cache", tree.Text(std::string("src/") + folder)});
        EXPECT_NE(listed.out.find("\t\\x3DHYPERLINK("), std::string::npos) << folder << listed.out;
        EXPECT_EQ(listed.out.find("\t="), std::string::npos) << folder;
    }
}

}  // namespace snapsift::test
