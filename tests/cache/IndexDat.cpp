// index.dat files the test writer makes, read back; the same files as msiecfexport (Debian's
// libmsiecf-utils) reads them; records only the walk of the blocks reaches; and damaged copies.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "CacheFixtures.h"
#include "IndexDatWriter.h"
#include "cache/IndexDat.h"

namespace snapsift {

namespace {

using test::AsBytes;
using test::FatDateTime;
using Kind = IndexDatRecordKind;

// 2012-03-29 05:46:40 and 2013-01-01 05:01:01 UTC as FILETIMEs.
constexpr std::uint64_t kModified = 129774736000000000u, kAccessed = 130014900610000000u;
const DateTime kModifiedDate{2012, 3, 29, 5, 46, 40}, kAccessedDate{2013, 1, 1, 5, 1, 1};
const DateTime kExpiresDate{2013, 2, 1, 23, 59, 58}, kCheckedDate{2013, 1, 1, 5, 1, 0};

// A record to write and what its headers give.
struct SampleRecord {
    test::IndexDatRecordSource source;
    std::string statusLine, contentType, contentEncoding;
};

const std::vector<IndexDatFolder>& SampleFolders() {
    static const std::vector<IndexDatFolder> folders = {
        {"0K3PVX2Q", 2}, {"7H1ZLM4A", 1}, {"QW9E8R7T", 0}, {"Z1X2C3V4", 1}};
    return folders;
}

// A Quorvia photo under the same name in two folders, a page that keeps no file, a redirect, a
// photo the browser let go of (a LEAK record), one that never expires, and one whose hash-table
// entry was let go of.
std::vector<SampleRecord> SampleRecords(bool version47) {
    const std::uint64_t expires =
        version47 ? 130042367980000000u : FatDateTime(2013, 2, 1, 23, 59, 58);  // the same time
    const std::uint32_t checked = FatDateTime(2013, 1, 1, 5, 1, 1);  // to two seconds
    const auto url = [&](std::string address, std::string file, std::uint8_t folder, std::uint64_t size,
                         std::string headers) {
        return test::IndexDatRecordSource{Kind::Url, std::move(address), std::move(file), folder, size,
                                          kModified, kAccessed, expires, checked, 3, std::move(headers)};
    };
    std::vector<SampleRecord> records = {
        {url("http://photos.quorvia.example/p/1111_222_3456789_n.jpg", "1111_222_3456789_n[1].jpg", 0, 5000,
             "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: 5000\r\n\r\n~U:examiner\r\n"),
         "HTTP/1.1 200 OK", "image/jpeg", ""},
        {url("http://photos.quorvia.example/p/1111_222_3456789_n.jpg?size=large", "1111_222_3456789_n[1].jpg", 1,
             12345, "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\ncontent-type:image/jpeg\r\n\r\n"),
         "HTTP/1.1 200 OK", "image/jpeg", "gzip"},
        {url("http://www.quorvia.example/", "", 0, 0, "HTTP/1.1 302 Found\r\nLocation: /home\r\n\r\n"),
         "HTTP/1.1 302 Found", "", ""},
        {url("http://quorvia.example/", "", 0, 0, ""), "", "", ""},
        {url("http://photos.quorvia.example/p/9999_1_2_n.jpg", "9999_1_2_n[2].jpg", 3, 777,
             "HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\n\r\n"),
         "HTTP/1.0 200 OK", "image/jpeg", ""},
        {url("http://photos.quorvia.example/p/5_6_7_n.jpg", "5_6_7_n[1].jpg", 0, 4, ""), "", "", ""},
        {url("http://photos.quorvia.example/p/8_8_8_n.jpg", "8_8_8_n[1].jpg", 2, 888,
             "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n\r\n"),
         "HTTP/1.1 200 OK", "image/jpeg", ""},
    };
    records[3].source.kind = Kind::Redirect;
    records[4].source.kind = Kind::Leak;  // in the 5.2 layout in either version
    records[4].source.expires = FatDateTime(2013, 2, 1, 23, 59, 58);
    records[5].source.expires = version47 ? 0 : 0xFFFFFFFFu;  // never
    records[6].source.letGo = true;  // read after the live ones: here the last
    return records;
}

// The bytes as the index.dat of a cache folder, read.
CacheContents Read(const std::string& bytes) {
    MemoryCacheSource files;
    files.files["index.dat"] = bytes;
    return ReadIndexDat(files, "index.dat");
}

// The cached file a record names, as its body's place: "<folder>/<name>", the whole of the size given.
std::optional<BodyPlace> FilePlace(const test::IndexDatRecordSource& r) {
    return r.fileName.empty() ? std::nullopt : std::optional(BodyPlace{SampleFolders()[r.folderIndex].name + '/' + r.fileName, 0, r.fileSize, std::nullopt});
}

test::IndexDatSource Sample(bool version47, std::size_t entriesPerTable) {
    test::IndexDatSource source;
    source.version = version47 ? "4.7" : "5.2";
    source.folders = SampleFolders();
    for (const auto& record : SampleRecords(version47)) source.records.push_back(record.source);
    source.entriesPerTable = entriesPerTable;
    return source;
}

TEST(IndexDat, ReadsBackWhatWasWritten) {
    const struct {
        const char* name; bool version47; std::size_t entriesPerTable;
    } rows[] = {
        {"5.2, one hash table", false, 510},
        {"5.2, a chain of three tables", false, 2},
        {"4.7, a chain of six tables", true, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto written = test::WriteIndexDat(Sample(row.version47, row.entriesPerTable));
        const CacheContents contents = Read(written.bytes);
        EXPECT_EQ(contents.findings.Text(), "");
        EXPECT_EQ(contents.version, row.version47 ? "4.7" : "5.2");
        ASSERT_EQ(contents.folders.size(), SampleFolders().size());
        for (std::size_t i = 0; i < contents.folders.size(); ++i)
            EXPECT_EQ(std::tie(contents.folders[i].name, contents.folders[i].fileCount),
                      std::tie(SampleFolders()[i].name, SampleFolders()[i].fileCount));
        auto samples = SampleRecords(row.version47);
        samples.erase(samples.begin() + 3);  // the redirect, of no cached file
        ASSERT_EQ(contents.entries.size(), samples.size());
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const CacheEntry& read = contents.entries[i];
            const SampleRecord& sample = samples[i];
            const auto& source = sample.source;
            EXPECT_EQ(std::tuple(read.findings.Text(), read.format, read.url, read.deleted, read.reached),
                      std::tuple("", CacheFormat::InternetExplorerIndexDat, source.url,
                                 source.kind == Kind::Leak || source.letGo, EntryReached::ByIndex));
            EXPECT_EQ(std::tuple(read.body, read.fetchCount, read.statusLine, read.contentType, read.contentEncoding),
                      std::tuple(FilePlace(source), 3u, sample.statusLine, sample.contentType,
                                 sample.contentEncoding))
                << source.url;
            EXPECT_EQ(std::tuple(read.lastModified, read.lastUsed, read.expires, read.lastChecked),
                      std::tuple(kModifiedDate, kAccessedDate, i == 4 ? std::nullopt : std::optional(kExpiresDate),
                                 kCheckedDate))
                << source.url;
        }
    }
}

// Records in every place the walk of the blocks meets them, in the order they are written: what
// each is read as. A record "kept" for fewer blocks than its length had the next one written over
// its later blocks.
struct WalkSampleRow {
    const char* name;
    Kind kind;
    bool inHashTable, inUse, letGo;
    std::uint32_t blocksKept;
    bool deleted, inFree;
};
constexpr WalkSampleRow kWalkSample[] = {
    {"hashed, in use", Kind::Url, true, true, false, 0, false, false},
    {"in use, no hash entry", Kind::Url, false, true, false, 0, false, false},
    {"LEAK in use, no hash entry", Kind::Leak, false, true, false, 0, true, false},
    {"REDR in use, no hash entry", Kind::Redirect, false, true, false, 0, false, false},
    {"in use, a record's signature inside it", Kind::Url, false, true, false, 0, false, false},
    {"free", Kind::Url, false, false, false, 0, true, true},
    {"LEAK, free", Kind::Leak, false, false, false, 0, true, true},
    {"free, the next written over it", Kind::Url, false, false, false, 1, true, true},
    {"free, written over the one before", Kind::Url, false, false, false, 0, true, true},
    {"hashed, in use after free blocks", Kind::Url, true, true, false, 0, false, false},
    {"free, one in use written over it", Kind::Url, false, false, false, 2, true, true},
    {"in use, over the one before", Kind::Url, false, true, false, 0, false, false},
    {"hashed, in free blocks", Kind::Url, true, false, false, 0, false, false},
    {"hash entry let go of, in free blocks", Kind::Url, true, false, true, 0, true, false},
    {"REDR, free, at the file's end", Kind::Redirect, false, false, false, 0, true, true},
};
constexpr std::size_t kInnerSignatureRow = 4;

test::IndexDatSource WalkSample() {
    test::IndexDatSource source;
    source.folders = SampleFolders();
    for (std::size_t i = 0; i < std::size(kWalkSample); ++i) {
        const WalkSampleRow& row = kWalkSample[i];
        const bool url = row.kind != Kind::Redirect;  // a REDR keeps no file or times
        // Long enough for three blocks where the row cuts the record short; headers into a third
        // block, where a record's signature is put.
        const std::string name = std::to_string(i) + "_1_2_n";
        source.records.push_back({row.kind,
            "http://photos.quorvia.example/p/" + name + ".jpg" + (row.blocksKept ? "?" + std::string(180, 'q') : ""),
            url ? name + "[1].jpg" : "", static_cast<std::uint8_t>(url ? i % SampleFolders().size() : 0), 0,
            url ? kModified : 0, url ? kAccessed : 0, url ? FatDateTime(2013, 2, 1, 23, 59, 58) : 0,
            url ? FatDateTime(2013, 1, 1, 5, 1, 1) : 0, 0,
            i == kInnerSignatureRow ? "HTTP/1.1 200 OK\r\nX-Padding: " + std::string(300, 'p') + "\r\n\r\n" : "", row.letGo,
            row.inHashTable, row.inUse, row.blocksKept});
    }
    return source;
}

test::WrittenIndexDat WriteWalkSample() {
    test::WrittenIndexDat written = test::WriteIndexDat(WalkSample());
    const auto at = static_cast<std::ptrdiff_t>(written.records[kInnerSignatureRow] + 256);
    test::PutLittleEndian32(at, 0x204C5255)(written.bytes);  // "URL "
    test::PutLittleEndian32(at + 4, 1)(written.bytes);
    return written;
}

TEST(IndexDat, RecordsNoHashTableReachesAreReadOnceEach) {
    const auto written = WriteWalkSample();
    const auto source = WalkSample();
    const CacheContents contents = Read(written.bytes);
    EXPECT_EQ(contents.findings.Text(), "");
    // Those the hash tables reach (live, then let go of), then the others by offset: every one
    // once, each REDR passed over. Cut short: the URL up to the blocks kept, the file name after
    // them lost, and a note.
    std::vector<std::size_t> order;
    for (const int pass : {0, 1, 2})
        for (std::size_t i = 0; i < source.records.size(); ++i)
            if (kWalkSample[i].kind != Kind::Redirect &&
                (pass == 2 ? !kWalkSample[i].inHashTable : kWalkSample[i].inHashTable && kWalkSample[i].letGo == (pass == 1)))
                order.push_back(i);
    ASSERT_EQ(contents.entries.size(), order.size());
    for (std::size_t at = 0; at < order.size(); ++at) {
        const WalkSampleRow& row = kWalkSample[order[at]];
        const auto& record = source.records[order[at]];
        const CacheEntry& read = contents.entries[at];
        SCOPED_TRACE(row.name);
        const auto reached = row.inHashTable ? EntryReached::ByIndex
                             : (row.inFree ? EntryReached::ByWalkInFreeBlocks : EntryReached::ByWalkInUse);
        EXPECT_EQ(std::tuple(read.deleted, read.reached, read.lastModified), std::tuple(row.deleted, reached, kModifiedDate));
        const std::string note = "the record's 3 blocks reach blocks written since: its first " +
                                 std::to_string(row.blocksKept) + " are read";
        EXPECT_EQ(std::tuple(read.findings.Text(), read.url, read.body),
                  row.blocksKept ? std::tuple(note + "; the URL runs to the record's end with no NUL; the file name's "
                                                     "offset 336 lies past the record's end",
                                              record.url.substr(0, row.blocksKept * 128 - 104), std::optional<BodyPlace>())
                                 : std::tuple(std::string(), record.url, FilePlace(record)));
    }
}

// Copies of the sample (four tables of two entries) or of the walk's sample, damaged in one way
// each: a note says what went wrong (the file's or a record's), the records the hash tables still
// reach are read, the walk of the blocks reads those they lost, nothing is read from outside, and
// of the sample's records none but the LEAK and the one whose entry was let go of is deleted.
TEST(IndexDat, DamagedFiles) {
    const auto written = test::WriteIndexDat(Sample(false, 2)), walked = WriteWalkSample();
    const auto& table = written.tables;
    const auto& record = written.records;
    const auto samples = SampleRecords(false);
    const auto set = [](std::uint64_t offset, std::uint32_t value) {
        return test::PutLittleEndian32(static_cast<std::ptrdiff_t>(offset), value);
    };
    const auto both = [](test::Damage a, test::Damage b) { return [=](std::string& bytes) { a(bytes), b(bytes); }; };
    const auto cut = [](std::uint64_t size) { return test::CutTo(static_cast<std::size_t>(size)); };
    const auto put = [](std::uint64_t offset, char c) { return [=](std::string& b) { b.at(offset) = c; }; };
    const auto self = [](std::uint64_t offset) { return static_cast<std::uint32_t>(offset); };
    const auto bitmap = [](char c) { return [=](std::string& b) { std::fill(b.begin() + 0x250, b.begin() + 0x4000, c); }; };
    // Free blocks past the end, each starting a record of the longest length: each read up to the next, once.
    const auto freeRecordsToTheEnd = [set](std::string& bytes) {
        bytes.resize(bytes.size() + 3000 * 128, '\0');
        for (std::size_t at = bytes.size() - 3000 * 128; at < bytes.size(); at += 128) {
            bytes.replace(at, 4, "URL ");
            set(at + 4, 8192)(bytes);
        }
    };
    const std::uint64_t firstEntry = table[0] + 16;
    constexpr long any = -1;
    struct Row {
        const char* name; test::Damage change; const char* note; long reached; std::size_t all;
        Severity severity = Severity::Damaged;
    };
    const Row rows[] = {
        {"not an index", put(0, 'c'), "not a cache index", 0, 0},
        {"unknown version", put(24, '6'), "version \"6.2\" is not 4.7 or 5.2: read as 5.2", 6, 6, Severity::Note},
        {"cut in the header", cut(40), "too short to hold its header", 0, 0},
        {"cut in the folder table", cut(100), "2 of its 4 folders are read", 0, 0},
        {"cut before the first table", cut(table[0]), "lies past the file's end", 0, 0},
        {"cut in the second table", cut(table[1] + 100), "runs past the file's end", 0, 0},
        {"cut in the first record", cut(record[0] + 200), "blocks run past the file's end", 1, 1},
        {"header's block count 0", set(36, 0), "block count 0 does not fit", 6, 6},
        {"header's block count huge", set(36, 0xFFFFFFFFu), "block count 4294967295 does not fit", 6, 6},
        {"folder count past the table", set(72, 40), "counts 40 cache folders", 6, 6},
        {"record offset past the end", set(firstEntry + 4, self(written.bytes.size())), "1 hash-table entries point past", 5, 6},
        {"record offset at a table", set(firstEntry + 4, self(table[1])), "point at no URL, REDR or LEAK", 5, 6},
        // An entry let go of that leads to the record the next (live) entry reaches, or to none: the
        // record no entry reaches now is read through the walk of the blocks.
        {"entry let go of, to the next's record", both(set(firstEntry, 1), set(firstEntry + 4, self(record[1]))), "", 5, 6},
        {"entry let go of, to no record", both(set(firstEntry, 1), set(firstEntry + 4, self(table[1]))), "", 5, 6},
        {"chain back to the first table", set(table[3] + 8, self(table[0])), "comes back to offset 0x4000", 6, 6},
        {"chain back to itself", set(table[0] + 8, self(table[0])), "comes back to offset 0x4000", 2, 6},
        {"chain into a table's entries", set(table[0] + 8, self(table[1] + 128)), "no hash table at offset 0x5080", 2, 6},
        {"chain past the end", set(table[1] + 8, self(written.bytes.size() + 4096)), "lies past the file's end", 3, 6},
        {"tables overlap", both([&](std::string& b) { b.replace(table[1] - 64, 4, "HASH"); }, set(table[0] + 8, table[1] - 64)),
         "overlaps one read before", 2, 6},
        {"table of no blocks", set(table[0] + 4, 0), "has no blocks", 4, 6},
        {"table of blocks past the end", set(table[3] + 4, 0xFFFFFFFFu), "its entries up to the end are read", 6, 6},
        {"record of no blocks", set(record[0] + 4, 0), "gives 0 blocks: passed over", 5, 5},
        {"record of 2^31 blocks", set(record[0] + 4, 0x80000000u), "gives 2147483648 blocks: passed over", 5, 5},
        {"last record's blocks past the end", set(record[5] + 4, 100), "blocks run past the file's end", 6, 6},
        {"URL offset past the record", set(record[0] + 52, 5000), "the URL's offset 5000 lies past", 6, 6},
        {"file name with no NUL", both(put(record[0] + 383, 'x'), set(record[0] + 60, 383)), "the file name runs to the", 6, 6},
        {"headers past the record", set(record[0] + 72, 100000), "headers' 100000 bytes run past", 6, 6},
        {"folder index past the table", put(record[0] + 56, 9), "folder index 9 lies past the table's 4", 6, 6},
    };
    const std::size_t all = std::size(kWalkSample) - 2;  // its REDR records passed over
    const Row walkRows[] = {
        {"an unreached record in use of no blocks", set(walked.records[1] + 4, 0),
         "1 blocks in use start a URL, REDR or LEAK record of no plausible length", any, all - 1},
        {"a free record of 2^31 blocks, passed over unremarked", set(walked.records[5] + 4, 0x80000000u), "", any, all - 1},
        {"a bitmap of all blocks in use: free records read as in use, the first over the next", bitmap('\xff'), "", any, all - 2},
        {"a bitmap of all blocks free: the signature inside a record read as another's start", bitmap('\0'), "", any, all + 1},
        {"blocks past what the bitmap covers", [](std::string& b) { b.resize(0x4000 + (0x4000 - 0x250) * 8 * 128 + 128, '\0'); },
         "are not walked", any, all},
        {"3000 free records of the longest length", freeRecordsToTheEnd, "", any, all + 3000},
    };
    using Rows = std::span<const Row>;
    for (const auto& [good, table] : {std::pair{&written.bytes, Rows(rows)}, {&walked.bytes, Rows(walkRows)}}) {
        for (const Row& row : table) {
            SCOPED_TRACE(row.name);
            std::string bytes = *good;
            row.change(bytes);
            const CacheContents contents = Read(bytes);
            Findings found = contents.findings;
            long reached = 0;
            for (const auto& read : contents.entries) {
                found.Add(read.findings);
                reached += read.reached == EntryReached::ByIndex;
                EXPECT_LT(read.url.size() + (read.body ? read.body->file.size() : 0), bytes.size());
                const bool deleted = read.url == samples[4].source.url || read.url == samples[6].source.url;
                EXPECT_TRUE(good != &written.bytes || !read.deleted || deleted) << read.url;
            }
            if (*row.note == '\0' && good == &written.bytes) {
                EXPECT_EQ(found.Text(), "");
            } else if (*row.note != '\0') {
                EXPECT_EQ(test::SeverityOf(found, row.note), row.severity) << found.Text();
            }
            EXPECT_EQ(contents.entries.size(), row.all) << found.Text();
            EXPECT_TRUE(row.reached == any || reached == row.reached) << reached << found.Text();
        }
    }
}

#ifndef _WIN32
// A time as msiecfexport prints it ("Jan 01, 2013 05:01:01", fractions dropped); "Never" for none.
std::string ExportedTime(const std::optional<DateTime>& time) {
    if (!time) return "Never";
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[32];
    std::snprintf(text, sizeof text, "%s %02d, %04d %02d:%02d:%02d", months[time->month - 1], time->day, time->year,
                  time->hour, time->minute, time->second);
    return text;
}

// The same files through msiecfexport, which prints every record it finds ("-m all": those the hash
// tables reach, those in blocks in use and in free blocks) in an order of its own: each of ours is
// there (a URL record by its URL, a LEAK, whose URL it does not print, by its file), with its file,
// folder and times. It may take about 1 GB on a damaged file, hence the address-space limit.
TEST(IndexDat, MsiecfexportReadsTheSameRecords) {
    if (std::system("command -v msiecfexport >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "msiecfexport (libmsiecf-utils) is not installed";
    test::TempTree tree;
    const struct { const char* name; bool version47; std::string bytes; } files[] = {
        {"5.2", false, test::WriteIndexDat(Sample(false, 4)).bytes},
        {"4.7", true, test::WriteIndexDat(Sample(true, 4)).bytes},
        {"records no hash table reaches", false, WriteWalkSample().bytes},
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        tree.File("index.dat", file.bytes);
        const std::string command = "ulimit -v 1000000; msiecfexport -m all '" + tree.Text("index.dat") + "' 2>&1";
        std::string output;
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[4096];
            for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
            EXPECT_EQ(pclose(pipe), 0) << output;
        }
        // Its items by offset: the "name: value" lines from each "Record type" on.
        std::vector<std::map<std::string, std::string>> items;
        std::istringstream lines(output);
        for (std::string line; std::getline(lines, line);) {
            const std::size_t colon = line.find(": ");
            std::string name = line.substr(0, colon);
            name.erase(name.find_last_not_of('\t') + 1);
            if (name == "Record type") items.emplace_back();
            if (colon != std::string::npos && !items.empty()) items.back()[name] = line.substr(colon + 2);
        }
        std::map<std::string, std::map<std::string, std::string>> exported;
        for (auto& item : items)
            if (item["Record type"] != "REDR") exported[item["Record type"] == "LEAK" ? item["Filename"] : item["Location"]] = item;
        const CacheContents contents = Read(file.bytes);
        ASSERT_EQ(exported.size(), contents.entries.size()) << output;
        for (const CacheEntry& read : contents.entries) {
            SCOPED_TRACE(read.url);
            const std::string place = read.body ? read.body->file : "/", name = place.substr(place.find('/') + 1);
            const bool leak = !exported.count(read.url);
            ASSERT_TRUE(exported.count(leak ? name : read.url)) << output;
            auto& item = exported[leak ? name : read.url];
            const auto time = [&](const char* name) { return item[name].substr(0, item[name].find('.')); };
            const std::string folder = item["Cache directory index"];
            const std::size_t open = folder.rfind('(') + 1;
            EXPECT_EQ(std::tuple(item["Record type"], item["Filename"]), std::tuple(leak ? "LEAK" : "URL", name));
            EXPECT_TRUE(name.empty() || folder.substr(open, folder.rfind(')') - open) + '/' + name == place) << folder;
            if (leak) continue;  // it prints no times of a LEAK
            // No expiry: all ones in 5.2, printed "Never"; a FILETIME of 0 in 4.7, given no line.
            EXPECT_EQ(std::tuple(time("Primary time"), time("Secondary time"), time("Expiration time"), time("Last checked time")),
                      std::tuple(ExportedTime(read.lastUsed), ExportedTime(read.lastModified),
                                 read.expires || !file.version47 ? ExportedTime(read.expires) : "",
                                 ExportedTime(read.lastChecked)));
        }
    }
}
#endif

}  // namespace

}  // namespace snapsift
