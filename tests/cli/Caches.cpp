// Browser caches written by Debian's chromium (simple and blockfile) and firefox-esr (cache2),
// scanned and listed by snapsift-cli: every cached photo once, with its URL and the digest and
// copy of its body as received; the caches untouched; and copies with one fault each, each
// ending incomplete and saying why. The old cache's index.dat beside the photos' folders, written
// by the tests' own writer: each photo gets the record of its own folder and name (the same
// "name[1].jpg" lies in several folders), a photo with no record gets no rows, the index is left
// as it was, and a damaged index makes the run incomplete.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "cache/FirefoxLegacyWriter.h"
#include "cache/IndexDatWriter.h"
#include "hash/MD5.h"
#include "report/CsvReport.h"
#include "text/Utf8.h"
#include "support/CliRun.h"

namespace snapsift::test {

namespace fs = std::filesystem;

namespace {

// The caches of the fixtures this build reads: Chromium's SQL cache only where it has SQLite.
constexpr std::size_t kCaches = SNAPSIFT_HAS_SQLITE ? 4 : 3;
constexpr std::size_t kAllPhotos = kCaches * 7;
// A build without SQLite names the SQL cache it cannot read, and its run is incomplete.
constexpr int kCleanExit = kCaches == 4 ? 0 : 3;

std::string Md5OfFile(const fs::path& file) { return LowerAscii(MD5().DigestFileToHexStr(ToText(file))); }

// A manifest's rows after its header by their first field, the URL, each of at least `columns`
// tab-separated fields.
std::map<std::string, std::vector<std::string>> Manifest(const fs::path& manifest, std::size_t columns) {
    std::map<std::string, std::vector<std::string>> rows;
    std::istringstream lines(ReadBytes(manifest));
    std::string line;
    for (std::getline(lines, line); std::getline(lines, line);) {
        std::vector<std::string>& fields = rows[line.substr(0, line.find('\t'))];
        std::istringstream row(line);
        for (std::string field; std::getline(row, field, '\t');) fields.push_back(field);
        fields.resize(std::max(fields.size(), columns));
    }
    return rows;
}

// Every file below a folder with its bytes' digest and its modification time.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        files[entry.path().string()] = Md5OfFile(entry.path()) + " " + std::to_string(fs::last_write_time(entry.path()).time_since_epoch().count());
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
    }
    fs::path Src(const std::string& relative) const { return tree.Path("src/" + relative); }
    CliResult ListCache(const std::string& folder) { return RunCli(tree, {"--list-cache", tree.Text("src/" + folder)}); }
    void Edit(const std::string& file, const std::function<void(std::string&)>& edit) {
        std::string bytes = ReadBytes(Src(file));
        edit(bytes), tree.File("src/" + file, bytes);
    }
    // The photos of manifest.tsv, the rows with a user ID: URL, name, user ID, MD5.
    std::map<std::string, std::vector<std::string>> photos = [] {
        auto rows = Manifest(fs::path(SNAPSIFT_CACHE_FIXTURES) / "manifest.tsv", 4);
        return std::erase_if(rows, [](const auto& row) { return row.second[2].empty(); }), rows;
    }();
    TempTree tree;
};

constexpr std::uint64_t kLastModified = 130433498760000000;  // 2014-04-30 16:44:36 UTC
constexpr std::uint64_t kLastAccessed = 130433534760000000;  // 2014-04-30 17:44:36 UTC
const std::string kIe = "src/Users/alice/AppData/Local/Microsoft/Windows/INetCache/IE/";

// A URL record of the given file in the given folder of the table.
IndexDatRecordSource Record(std::string url, std::string file, std::uint8_t folder, std::uint64_t size,
                            std::uint32_t checked = 0, std::uint32_t hits = 0) {
    return {IndexDatRecordKind::Url, std::move(url), std::move(file), folder, size, kLastModified, kLastAccessed, 0, checked, hits,
            "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n\r\n"};
}

// Two cache folders, each with a photo of the same name, and a photo of no record beside one.
class IeCacheIndexTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.Entries({{kIe + "ABCD1234/n1234567_890_123[1].jpg", "first"}, {kIe + "EFGH5678/n1234567_890_123[1].jpg", "second"},
                      {kIe + "EFGH5678/n7654321_11_22[1].jpg", "no record"}});
        source.folders = {{"ABCD1234", 1}, {"EFGH5678", 2}};
        source.records = {Record("http://a.example/p/n1234567_890_123.jpg", "n1234567_890_123[1].jpg", 0, 5, FatDateTime(2014, 4, 30, 18, 0, 0), 3),
                          Record("http://b.example/q/n1234567_890_123.jpg?x=1", "n1234567_890_123[1].jpg", 1, 6, 0, 1),
                          {IndexDatRecordKind::Redirect, "http://a.example/r", "", 0, 0, 0, 0, 0, 0, 0, ""}};
        Write();
    }
    void Write(const std::string& name = "index.dat") { tree.File(kIe + name, WriteIndexDat(source).bytes); }
    CliResult List(const std::string& name = "index.dat", const CliOptions& options = {}) {
        return RunCli(tree, {"--list-cache", tree.Text(kIe + name)}, options);
    }
    TempTree tree;
    IndexDatSource source;
};

}  // namespace

TEST_F(CacheTest, EveryCachedPhotoIsReportedOnceInEachCacheWithItsBodyAsReceivedAndTheCachesStayUntouched) {
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
        const std::string url = entry.rows.at("Cached from");
        ASSERT_TRUE(photos.contains(url)) << url;
        ++seen[entry.rows.at("Cache") + " " + url];
        // The copy holds the body as received, decoded; a gzip body also gives its stored digest.
        const auto& photo = photos.at(url);
        EXPECT_EQ(std::tuple(entry.name, entry.userId, entry.md5, entry.status, entry.path.find(tree.Text("src")),
                             Md5OfFile(RunReport(tree.Path("out")).parent_path() / entry.image), entry.rows.at("HTTP status")),
                  std::tuple(photo[1], photo[2], photo[3], "", 0u, photo[3], "HTTP/1.1 200 OK")) << url;
        EXPECT_EQ(entry.rows.count("MD5 of the stored bytes"), entry.rows.count("Content-Encoding"));
    }
    EXPECT_EQ(seen.size(), entries.size()) << "a photo reported twice in one cache";
}

// The same seven photos in three browsers' caches of two profiles: the summary by user ID counts
// each photo once however often it was found, with every cache and profile and the first and last
// time it was fetched or used; each entry of bytes found before links to the first of them, and
// the summary's page links every entry and shows each photo once. Three such runs make a case,
// one of them tampered with: it is named and left out, and the case sums up the other two.
TEST_F(CacheTest, TheSummaryCountsEachPhotoOnceAndACaseLeavesOutARunThatDoesNotVerify) {
    const std::string local = "src/Users/", chrome = "/AppData/Local/Google/Chrome/User Data/Default/",
                      edge = "/AppData/Local/Microsoft/Edge/User Data/Default/";
    for (const auto& [from, to] : {std::pair{"chromium-simple", local + "alice" + chrome + "Cache"},
                                   {"chromium-blockfile", local + "bob" + edge + "Cache"},
                                   {"firefox-cache2", local + "bob/AppData/Local/Mozilla/Firefox/Profiles/x.default/cache2"}})
        fs::create_directories(tree.Path(to).parent_path()), fs::rename(Src(from), tree.Path(to));
    const auto scan = [&](const std::string& folder, const std::string& output) {
        fs::create_directories(tree.Path(output));
        EXPECT_EQ(RunCli(tree, {"--folder", tree.Text(folder), "--output", tree.Text(output)}).exitCode, 0);
        return RunReport(tree.Path(output)).parent_path();
    };
    // The numbers of a user ID's entries in a run's report, which lists them as it walked.
    const auto numbers = [](const fs::path& runFolder, const std::string& userId) {
        std::string list;
        const auto entries = ParseReport(ReadBytes(runFolder / "Quorvia JPG Files.htm")).entries;
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (entries[i].userId == userId) list.append(list.empty() ? "" : " ").append(std::to_string(i + 1));
        return list;
    };
    const fs::path run = scan("src/Users", "out/all");
    const std::string caches = "Chromium blockfile cache (Edge); Chromium simple cache (Chrome); Firefox cache2 (Firefox),alice; bob,"
                               "2026-12-07T16:31:11Z,2026-12-07T16:31:14Z,";
    std::string expected = "\xEF\xBB\xBFuser_id,entries,distinct_photos,caches,profiles,first_seen,last_seen,entry_numbers\r\n";
    for (const char* row : {"1234567,3,1,", "2345678,3,1,", "3456789,6,2,", "4567890,3,1,", "5678901,3,1,", "7654321,3,1,"})
        expected += row + caches + numbers(run, std::string(row).substr(0, 7)) + "\r\n";
    EXPECT_EQ(ReadBytes(run / "Quorvia user IDs.csv"), expected);
    const auto entries = ParseReport(ReadBytes(run / "Quorvia JPG Files.htm")).entries;
    ASSERT_EQ(entries.size(), 21u);
    std::map<std::string, std::size_t> firstOf;  // MD5 to the first entry's number
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::size_t first = firstOf.emplace(entries[i].md5, i + 1).first->second;
        EXPECT_EQ(entries[i].sameBytesAs, first == i + 1 ? "" : std::to_string(first)) << i + 1;
    }
    const std::string page = ReadBytes(run / "Quorvia user IDs.htm");
    std::set<std::string> linked, pictures;
    const std::regex link("<a href=\"Quorvia JPG Files.htm#entry-([0-9]+)\">\\1</a>"), picture("<img src=\"([^\"]+)\">");
    for (std::sregex_iterator m(page.begin(), page.end(), link), end; m != end; ++m) linked.insert((*m)[1]);
    for (std::sregex_iterator m(page.begin(), page.end(), picture), end; m != end; ++m) pictures.insert(Md5OfFile(run / (*m)[1].str()));
    EXPECT_EQ(std::tuple(linked.size(), pictures.size(), linked.count("1"), linked.count("21")), std::tuple(21u, 7u, 1u, 1u));

    // The case: the whole run, bob's alone, and alice's with a copy changed.
    const fs::path bob = scan("src/Users/bob", "out/bob"), alice = scan("src/Users/alice", "out/alice");
    const fs::path copy = alice / entries[0].image;
    std::ofstream(copy, std::ios::app) << "x";
    fs::create_directories(tree.Path("case"));
    const CliResult made = RunCli(tree, {"--case", tree.Text("case"), ToText(run), ToText(alice), ToText(bob)});
    EXPECT_EQ(std::tuple(made.exitCode, made.err), std::tuple(4, "Left out of the case, as it does not verify: " + ToText(alice) + "\n"));
    const fs::path folder = RunReport(tree.Path("case")).parent_path();
    std::vector<std::string> files;
    for (const auto& file : fs::directory_iterator(folder)) files.push_back(file.path().filename().string());
    std::ranges::sort(files);
    EXPECT_EQ(files, (std::vector<std::string>{"Quorvia user IDs.csv", "Quorvia user IDs.htm", "SHA256SUMS"}));
    // A row per user ID and run, the run named by its source.
    const auto rows = ReadCsvRows(ReadBytes(folder / "Quorvia user IDs.csv"));
    ASSERT_TRUE(rows && rows->size() == 13u);
    const std::string bobs = "Chromium blockfile cache (Edge); Firefox cache2 (Firefox),bob,2026-12-07T16:31:12Z,2026-12-07T16:31:14Z,";
    EXPECT_EQ((*rows)[0], (std::vector<std::string>{"run", "user_id", "entries", "distinct_photos", "caches", "profiles",
                                                    "first_seen", "last_seen", "entry_numbers"}));
    const auto row = [](const std::vector<std::string>& fields) {
        std::string text;
        for (const std::string& field : fields) text += field + ",";
        return text;
    };
    EXPECT_EQ(row((*rows)[1]), tree.Text("src/Users/") + ",1234567,3,1," + caches + numbers(run, "1234567") + ",");
    EXPECT_EQ(row((*rows)[2]), tree.Text("src/Users/bob/") + ",1234567,2,1," + bobs + numbers(bob, "1234567") + ",");
    EXPECT_EQ(row((*rows)[6]), tree.Text("src/Users/bob/") + ",3456789,4,2," + bobs + numbers(bob, "3456789") + ",");
    EXPECT_TRUE(Holds(ReadBytes(folder / "Quorvia user IDs.htm"), "<img src=\"../../out/bob/" + bob.filename().string()));
#ifndef _WIN32
    EXPECT_EQ(std::system(("cd '" + ToText(folder) + "' && sha256sum --quiet -c SHA256SUMS").c_str()), 0);
#endif
    EXPECT_EQ(RunCli(tree, {"--case", tree.Text("case")}).exitCode, 2);
}

// One change per row, each made in a fresh copy of the fixtures. Damage ends the run incomplete
// (3) and is said on standard error and, where the photo's entry is still written, in its status;
// a cache the browser was writing when it stopped, or one read in a way that loses nothing, is
// evidence as it stands: the entries it touches say so, and the run and the cache's listing are
// complete (the listing says how it was read, not that the browser was writing).
TEST_F(CacheTest, AFaultyCacheDegradesOnlyTheEntryItTouchesAndTheRunSaysSo) {
    const std::string writing = "the browser was writing this cache when it stopped: ";
    const std::string simple = "chromium-simple/cb9ca433c1a42445_0";
    const auto gone = [this](std::string file) { return [=, this] { fs::remove(Src(file)); }; };
    const auto cut = [this](std::string file, std::uintmax_t size) { return [=, this] { fs::resize_file(Src(file), size); }; };
    const auto put = [this](std::string file, std::size_t at, std::string bytes) {
        return [=, this] { Edit(file, [=](std::string& b) { b.replace(at, bytes.size(), bytes); }); };
    };
    [[maybe_unused]] const auto beside = [this](std::string file, std::size_t size) { return [=, this] { tree.File("src/" + file, std::string(size, 'w')); }; };
    const struct {
        const char* row;
        std::function<void()> change;
        std::string said;
        std::size_t entries;   // written to the report
        std::size_t stated;    // of them, saying so in their status: none, or at least so many
        const char* listed = nullptr;  // where the run is complete: the cache's folder
    } cases[] = {
        {"a missing data_3", gone("chromium-blockfile/data_3"), "data_3 is missing", kAllPhotos, 1},
        {"a blockfile index cut in its table", cut("chromium-blockfile/index", 1000), "part of the cache could not be read", kAllPhotos - 7, 0},
        {"a blockfile cache without its index", gone("chromium-blockfile/index"), "read from data_1 block by block", kAllPhotos, 1},
        // Every blockfile entry shares the index's mark.
        {"a blockfile index not closed cleanly", put("chromium-blockfile/index", 32, "\x01"), writing + "its index was not closed cleanly",
         kAllPhotos, 7, "chromium-blockfile"},
        {"a simple entry of another version", put(simple, 8, "\x06"), "entry version 6, read as version 5", kAllPhotos, 1, "chromium-simple"},
#if SNAPSIFT_HAS_SQLITE
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
    std::ofstream(Src("firefox-cache2/entries/stray.txt")) << "not an entry";
    std::vector<std::string> folders = {"chromium-blockfile", "chromium-simple", "firefox-cache2", "firefox-cache2/entries"};
    if (kCaches == 4) folders.push_back("chromium-sql");
    for (const std::string& folder : folders) {
        const CliResult run = ListCache(folder);
        std::istringstream lines(run.out);
        std::string line;
        std::getline(lines, line);
        EXPECT_EQ(line, "url\tformat\thttp_status\tcontent_type\tcontent_encoding\tstored_bytes\tbody_md5\tcreated\tlast_used\tsource\tnote");
        int rows = 0, photoRows = 0;
        for (; std::getline(lines, line); ++rows) {
            for (const auto& [url, photo] : photos)
                if (line.starts_with(url + "\t")) {
                    ++photoRows;
                    EXPECT_TRUE(Holds(line, "\t" + photo[3] + "\t"));
                }
            // A status, a time and no note.
            EXPECT_TRUE(std::regex_search(line, std::regex("\t200\t.*\t20[0-9][0-9]-[0-9][0-9]-[0-9][0-9]T[0-9:]{8}Z\t.*\t$"))) << line;
        }
        EXPECT_EQ(std::tuple(run.exitCode, rows, photoRows, run.err.find("stray.txt") != std::string::npos),
                  std::tuple(0, 11, 7, folder.starts_with("firefox"))) << folder << run.err;
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
    const auto served = Manifest(Src("hostile-manifest.tsv"), 9);  // by URL: [1] the kind, [7] MD5 of what was sent, [8] decoded
    // What a build without the brotli or zstd library (the Windows build) says of such a body.
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
        {"br", "bsqf", notDecodedHere("br", SNAPSIFT_HAS_BROTLI), SNAPSIFT_HAS_BROTLI},
        {"zstd", "bsqf", notDecodedHere("zstd", SNAPSIFT_HAS_ZSTD), SNAPSIFT_HAS_ZSTD},
        {"formula", "bsqf", "", true}, {"good", "bsqf", "", true}, {"good-gzip", "bsqf", "", true}};
    const std::map<std::string, char> formats = {{"Chromium blockfile cache", 'b'}, {"Chromium simple cache", 's'},
                                                 {"Chromium SQL cache", 'q'}, {"Firefox cache2", 'f'}};
    const CliResult run = ScanSrc(tree);
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_TRUE(Holds(run.out, "Cached responses that are not photos: " + std::to_string(kCaches == 4 ? 7 : 5)));
    const fs::path runFolder = RunReport(tree.Path("out")).parent_path();
    std::map<std::string, std::string> keptBy;  // kind: the caches seen holding it
    for (const auto& entry : ReportEntries(tree)) {
        const auto& response = served.at(entry.rows.at("Cached from"));
        const auto kind = std::ranges::find_if(kinds, [&](const auto& k) { return k.kind == response[1]; });
        ASSERT_NE(kind, std::end(kinds)) << response[1];
        keptBy[kind->kind] += formats.at(entry.rows.at("Cache"));
        EXPECT_EQ(std::tuple(entry.status, entry.md5, entry.image.empty() ? "" : Md5OfFile(runFolder / entry.image)),
                  std::tuple(kind->said, response[kind->decoded ? 8 : 7], kind->decoded ? response[8] : ""))
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
        const std::string listed = ListCache(folder).out;
        EXPECT_EQ(std::pair(listed.find("\t\\x3DHYPERLINK(") != std::string::npos, listed.find("\t=")), std::pair(true, std::string::npos)) << listed;
    }
}

TEST_F(IeCacheIndexTest, EachPhotoGetsTheRecordOfItsOwnFolderAndNothingBesideTheIndexChanges) {
    const fs::path index = tree.Path(kIe + "index.dat");
    const auto time = fs::last_write_time(index);
    const std::string bytes = ReadBytes(index);
    const CliResult run = ScanSrc(tree, {"--no-photos"});
    EXPECT_EQ(std::tuple(run.exitCode, ReadBytes(index), fs::last_write_time(index), std::distance(fs::directory_iterator(index.parent_path()), {})),
              std::tuple(0, bytes, time, 3)) << run.err;
    // By the photo's folder and name: its record's rows; the photo without a record has none.
    using Rows = std::map<std::string, std::string>;
    Rows a = {{"Cache", "Internet Explorer index.dat"}, {"Content-Type", "image/jpeg"}, {"HTTP status", "HTTP/1.1 200 OK"},
              {"Last accessed", "4/30/2014 5:44:36 PM (UTC) "}, {"Last modified (server)", "4/30/2014 4:44:36 PM (UTC) "}};
    Rows b = a;
    a.insert({{"Cached from", "http://a.example/p/n1234567_890_123.jpg"}, {"Hit count", "3"}, {"Last checked", "4/30/2014 6:00:00 PM (UTC) "}});
    b.insert({{"Cached from", "http://b.example/q/n1234567_890_123.jpg?x=1"}, {"Hit count", "1"}});
    std::map<std::string, Rows> byPhoto;
    for (const auto& entry : ReportEntries(tree)) byPhoto[entry.path] = entry.rows;
    EXPECT_EQ(byPhoto, (std::map<std::string, Rows>{{tree.Text(kIe + "ABCD1234/n1234567_890_123[1].jpg"), a},
                                                    {tree.Text(kIe + "EFGH5678/n1234567_890_123[1].jpg"), b},
                                                    {tree.Text(kIe + "EFGH5678/n7654321_11_22[1].jpg"), {}}}));
    const CliResult listed = List();
    EXPECT_EQ(std::tuple(listed.exitCode, std::ranges::count(listed.out, '\n')), std::tuple(0, 3)) << listed.err;
    EXPECT_TRUE(Holds(listed.out, "http://a.example/p/n1234567_890_123.jpg\tie-index.dat\t200\timage/jpeg\t\t5\t"
                                  "8b04d5e3775d298e78455efc5ca404d5\t2014-04-30T16:44:36Z\t2014-04-30T17:44:36Z\t"
                                  "ABCD1234\\n1234567_890_123[1].jpg\t\n"));
}

// An index damaged, a record of it that cannot be read whole, or an index this user may not open
// (as one the system holds locked): the run is incomplete and says why, and the photos it touches
// say so; a listing of the index too is incomplete, or (not opened) says why it is no listing.
TEST_F(IeCacheIndexTest, ADamagedOrUnreadableIndexMakesTheRunIncompleteAndItsPhotosSaySo) {
    const std::string damagedRecord = "its index.dat record could not be read: the file's folder index 9 lies past the table's 2";
    const struct { const char* row; std::function<void()> change; std::string err, status; long stated; int listed;
                   bool ordinaryUser = false; } cases[] = {
        {"the index cut short", [&] { fs::resize_file(tree.Path(kIe + "index.dat"), 0x4000 + 200); }, "index could not be read",
         "could not be read whole", 3, 3},
        {"a record's folder past the table", [&] { source.records[1].folderIndex = 9, Write(); }, damagedRecord, damagedRecord, 1, 3},
#ifndef _WIN32
        {"an index this user may not open",
         [&] {
             tree.Folder("out");
             for (const auto& entry : fs::recursive_directory_iterator(tree.Root())) fs::permissions(entry.path(), fs::perms::all);
             fs::permissions(tree.Root(), fs::perms::all);
             fs::permissions(tree.Path(kIe + "index.dat"), fs::perms::none);
         },
         "the cache's index could not be read", "could not be read whole", 3, 2, true},
#endif
    };
    for (const auto& c : cases) {
        SetUp();
        c.change();
        const CliResult run = ScanSrc(tree, {"--no-photos"}, {.ordinaryUser = c.ordinaryUser});
        EXPECT_EQ(std::pair(run.exitCode, List("index.dat", {.ordinaryUser = c.ordinaryUser}).exitCode), std::pair(3, c.listed)) << c.row;
        EXPECT_TRUE(Holds(run.err, c.err)) << c.row;
        const auto entries = ReportEntries(tree);
        EXPECT_EQ(std::ranges::count_if(entries, [&](const auto& e) { return e.status.find(c.status) != std::string::npos; }), c.stated)
            << c.row;
        for (const auto& e : entries)  // a damaged record: the photo of its folder and name alone
            EXPECT_TRUE(c.stated > 1 || e.status.empty() || (Holds(e.path, "EFGH5678") && e.name.starts_with("n1234567"))) << c.row;
    }
}

// The line of a listing whose url is the given one, and its last field, the note; "none" when
// there is no such line.
std::string NoteOf(const std::string& listing, const std::string& url) {
    const std::size_t at = listing.find("\n" + url + "\t");
    if (at == std::string::npos) return "none";
    const std::string line = listing.substr(at + 1, listing.find('\n', at + 1) - at - 1);
    return line.substr(line.rfind('\t') + 1);
}

// An index.dat exported under another name, with records only the walk of its blocks reaches: each
// listed once with its mark, the cached file's digest where it is there; what is left in free blocks
// makes no gap, a record in use that cannot be read whole does.
TEST_F(IeCacheIndexTest, AnIndexUnderAnyNameIsListedWithTheRecordsNoHashTableReaches) {
    source.records.push_back(Record("http://a.example/p/n7654321_11_22.jpg", "n7654321_11_22[1].jpg", 1, 9));
    source.records.push_back(Record("http://a.example/p/leaked.jpg", "leaked[1].jpg", 0, 9));
    source.records.push_back(Record("http://a.example/p/freed.jpg", "freed[1].jpg", 0, 9));
    source.records[3].inHashTable = source.records[4].inHashTable = source.records[5].inHashTable = source.records[5].inUse = false;
    source.records[4].kind = IndexDatRecordKind::Leak;
    const std::string bitmap = "reached through the allocation bitmap only", free = "deleted; found in blocks the allocation bitmap marks free";
    const struct { const char* row; std::uint8_t unhashedFolder, freedFolder; int exitCode; std::string unhashedNote, freedNote; } rows[] = {
        {"whole", 1, 0, 0, bitmap, free},
        {"a free record's folder past the table", 1, 7, 0, bitmap, free + "; the file's folder index 7 lies past the table's 2 folder(s)"},
        {"a record in use's folder past the table", 8, 0, 3, bitmap + "; the file's folder index 8 lies past the table's 2 folder(s)", free},
    };
    for (const auto& row : rows) {
        source.records[3].folderIndex = row.unhashedFolder;
        source.records[5].folderIndex = row.freedFolder;
        Write("export.bin");
        const CliResult listed = List("export.bin");
        EXPECT_EQ(std::tuple(listed.exitCode, std::ranges::count(listed.out, '\n'), NoteOf(listed.out, "http://a.example/p/n7654321_11_22.jpg"),
                             NoteOf(listed.out, "http://a.example/p/leaked.jpg"), NoteOf(listed.out, "http://a.example/p/freed.jpg"),
                             NoteOf(listed.out, "http://a.example/p/n1234567_890_123.jpg")),
                  std::tuple(row.exitCode, 6, row.unhashedNote, "deleted; " + bitmap, row.freedNote, ""))  // the head, 5 records
            << row.row << "\n" << listed.out << listed.err;
        // The digest of the cached file the record names, where it is there.
        EXPECT_EQ(listed.out.find("\tb303814f7df5c3c365370557cd3305ef\t") != std::string::npos, row.unhashedFolder == 1) << row.row;
    }
    tree.File(kIe + "export.bin", "Client UrlCache MMF");
    const CliResult notAnIndex = List("export.bin");
    EXPECT_EQ(std::pair(notAnIndex.exitCode, notAnIndex.err.find("Not a browser cache that this program reads") != std::string::npos), std::pair(2, true));
    // What cannot be read at all is not called no cache: the message says why.
    const CliResult gone = List("gone.dat");
    EXPECT_EQ(std::pair(gone.exitCode, gone.err.starts_with("The cache could not be read: " + tree.Text(kIe + "gone.dat") + ": ")),
              std::pair(2, true)) << gone.err;
}

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

std::string Md5Of(std::string_view bytes) {
    MD5 md5;
    md5.Init();
    md5.Update({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    return LowerAscii(md5.Final());
}

// Firefox's cache before cache2 in a Vista-style profile (map version 1.19, separate files in
// subfolders) and an XP-style one (1.11, beside the map): every photo once with its URL and the
// digest of its body as received, the evicted and unreached ones only with --include-deleted, the
// caches untouched; each listed whole, and its block files alone, without their map, give every
// entry their blocks hold.
TEST(FirefoxLegacyCliTest, EachPhotoOfBothLayoutsIsReportedOnceAndEveryEntryIsListed) {
    TempTree tree;
    const std::string vista = "src/Users/alice/AppData/Local/Mozilla/Firefox/Profiles/a1b2.default/Cache/";
    const std::string xp = "src/Documents and Settings/bob/Local Settings/Application Data/Mozilla/Firefox/Profiles/c3d4.default/Cache/";
    const LegacyCacheSource sample = SampleLegacyCache(19);
    for (const auto& [folder, minor] : {std::pair(vista, 19u), std::pair(xp, 11u)})
        for (const auto& [name, bytes] : WriteFirefoxLegacyCache(SampleLegacyCache(minor)).files) tree.File(folder + name, bytes);
    // By URL: the MD5 of the body as received, and whether only --include-deleted reports it.
    std::map<std::string, std::pair<std::string, bool>> photos;
    for (const LegacyEntrySource& entry : sample.entries) {
        const std::string url = entry.key.substr(entry.key.rfind("http://"));
        const bool gzip = Holds(entry.responseHead, "gzip");
        if (url.ends_with(".jpg"))
            photos[url] = {Md5Of(gzip ? LegacyJpeg(12000) : entry.body), entry.evicted || !entry.inMap};
    }
    const auto before = Snapshot(tree.Path("src"));
    for (const bool deleted : {false, true}) {
        const CliResult run = ScanSrc(tree, {"--no-photos", deleted ? "--include-deleted" : "--no-photos"});
        // The entry no record reaches has no body to give: the run with it is incomplete.
        EXPECT_EQ(run.exitCode, deleted ? 3 : 0) << run.err;
        std::map<std::string, int> seen;
        for (const auto& entry : ReportEntries(tree)) {
            const std::string url = entry.rows.at("Cached from");
            ++seen[url];
            ASSERT_TRUE(photos.contains(url)) << url;
            const bool unreached = url.ends_with("n2000005_105_205.jpg");
            EXPECT_EQ(std::tuple(entry.rows.at("Cache"), entry.md5, entry.rows.at("Fetch count"), entry.rows.count("Expires"),
                                 entry.status.starts_with("deleted from the browser's cache"), Holds(entry.status, "its body could not be found")),
                      std::tuple("Firefox legacy cache", unreached ? "error generating md5 hash" : photos.at(url).first, "3", 1u, photos.at(url).second, unreached))
                << url << entry.status;
        }
        for (const auto& [url, photo] : photos) EXPECT_EQ(seen[url], !photo.second || deleted ? 2 : 0) << url;
        EXPECT_TRUE(Holds(run.err, deleted ? "its body could not be found" : "")) << run.err;
    }
    EXPECT_EQ(Snapshot(tree.Path("src")), before);

    for (const std::string& folder : {vista, xp}) {
        const CliResult listed = RunCli(tree, {"--list-cache", tree.Text(folder)});
        EXPECT_EQ(std::tuple(listed.exitCode, std::ranges::count(listed.out, '\n')), std::tuple(0, 8)) << listed.err << listed.out;
        for (const auto& [url, photo] : photos)
            EXPECT_TRUE(Holds(listed.out, url + "\tfirefox-legacy\t200\timage/jpeg\t")) << url;
        EXPECT_TRUE(Holds(listed.out, "\t" + photos.at(kLegacyPhoto).first + "\t\t2011-03-13T07:06:40Z\t_CACHE_002_, block 0 (900 bytes at 4,096)\t\n"));
        EXPECT_TRUE(Holds(listed.out, "\tdeleted; no map record in use reaches it: found in _CACHE_003_, block 1, which the allocation bitmap marks free"));
        EXPECT_TRUE(Holds(listed.out, "\tdeleted; its map record lies past its bucket's records in use: evicted\n"));
        fs::remove(tree.Path(folder + "_CACHE_MAP_"));
        const CliResult blocksAlone = RunCli(tree, {"--list-cache", tree.Text(folder)});
        EXPECT_EQ(std::tuple(blocksAlone.exitCode, std::ranges::count(blocksAlone.out, '\n'), CountOf(blocksAlone.out, "\tdeleted; ")),
                  std::tuple(3, 7, 6u)) << blocksAlone.out;
        EXPECT_TRUE(Holds(blocksAlone.err, "_CACHE_MAP_ is missing")) << blocksAlone.err;
    }
    EXPECT_EQ(RunCli(tree, {"--list-cache", tree.Text("src/Users")}).exitCode, 2);
}

}  // namespace snapsift::test
