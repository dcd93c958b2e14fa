// The old cache's index.dat beside the photos' folders: each photo gets the record of its own
// folder and name (the same "name[1].jpg" lies in several folders), a photo with no record gets
// no rows, the index is left as it was, and a damaged index makes the run incomplete.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>

#include "cache/IndexDatWriter.h"
#include "support/CliRun.h"

namespace snapsift::test {

namespace fs = std::filesystem;

namespace {

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
        EXPECT_EQ(run.exitCode, 3) << c.row;
        EXPECT_TRUE(Holds(run.err, c.err)) << c.row;
        const auto entries = ReportEntries(tree);
        EXPECT_EQ(std::ranges::count_if(entries, [&](const auto& e) { return e.status.find(c.status) != std::string::npos; }), c.stated)
            << c.row;
        for (const auto& e : entries)  // a damaged record: the photo of its folder and name alone
            EXPECT_TRUE(c.stated > 1 || e.status.empty() || (Holds(e.path, "EFGH5678") && e.name.starts_with("n1234567"))) << c.row;
        EXPECT_EQ(List("index.dat", {.ordinaryUser = c.ordinaryUser}).exitCode, c.listed) << c.row;
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
    EXPECT_EQ(notAnIndex.exitCode, 2);
    EXPECT_TRUE(Holds(notAnIndex.err, "Not a browser cache that this program reads"));
    // What cannot be read at all is not called no cache: the message says why.
    const CliResult gone = List("gone.dat");
    EXPECT_EQ(std::pair(gone.exitCode, gone.err.starts_with("The cache could not be read: " + tree.Text(kIe + "gone.dat") + ": ")),
              std::pair(2, true)) << gone.err;
}

}  // namespace snapsift::test
