// The old cache's index.dat beside the photos' folders: each photo gets the record of its own
// folder and name (the same "name[1].jpg" lies in several folders), a photo with no record gets
// no rows, the index is left as it was, and a damaged index makes the run incomplete.
#include <gtest/gtest.h>

#include <fstream>
#include <algorithm>

#include "cache/IndexDatWriter.h"
#include "support/CliRun.h"
#include "support/ReportParser.h"

namespace snapsift::test {

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kLastModified = 130433498760000000;  // 2014-04-30 16:44:36 UTC
constexpr std::uint64_t kLastAccessed = 130433534760000000;  // 2014-04-30 17:44:36 UTC

class IeCacheIndexTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.Folder("out");
        const std::string ie = "src/Users/alice/AppData/Local/Microsoft/Windows/INetCache/IE/";
        tree.Folder(ie + "ABCD1234");
        tree.Folder(ie + "EFGH5678");
        const std::string photo = "n1234567_890_123[1].jpg";
        std::ofstream(tree.Path(ie + "ABCD1234/" + photo), std::ios::binary) << "first";
        std::ofstream(tree.Path(ie + "EFGH5678/" + photo), std::ios::binary) << "second";
        std::ofstream(tree.Path(ie + "EFGH5678/n7654321_11_22[1].jpg"), std::ios::binary) << "no record";
        source.folders = {{"ABCD1234", 1}, {"EFGH5678", 2}};
        const std::string headers = "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n\r\n";
        source.records = {
            {IndexDatRecordKind::Url, "http://a.example/p/n1234567_890_123.jpg", photo, 0, 5, kLastModified,
             kLastAccessed, 0, FatDateTime(2014, 4, 30, 18, 0, 0), 3, headers},
            {IndexDatRecordKind::Url, "http://b.example/q/n1234567_890_123.jpg?x=1", photo, 1, 6, kLastModified,
             kLastAccessed, 0, 0, 1, headers},
            {IndexDatRecordKind::Redirect, "http://a.example/r", "", 0, 0, 0, 0, 0, 0, 0, ""},
        };
        index = tree.Path(ie + "index.dat");
        std::ofstream(index, std::ios::binary) << WriteIndexDat(source).bytes;
    }
    CliResult Scan() {
        for (const auto& made : fs::directory_iterator(tree.Path("out"))) fs::remove_all(made.path());
        return RunCli(tree, {"--folder", tree.Text("src"), "--output", tree.Text("out"), "--no-photos"});
    }
    std::vector<ParsedEntry> ReportEntries() const { return ParseReport(ReadBytes(RunReport(tree.Path("out")))).entries; }
    TempTree tree;
    IndexDatSource source;
    fs::path index;
};

}  // namespace

TEST_F(IeCacheIndexTest, EachPhotoGetsTheRecordOfItsOwnFolderAndNothingBesideTheIndexChanges) {
    const auto time = fs::last_write_time(index);
    const std::string bytes = ReadBytes(index);
    const CliResult run = Scan();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(index), bytes);
    EXPECT_EQ(fs::last_write_time(index), time);
    EXPECT_EQ(std::distance(fs::directory_iterator(index.parent_path()), fs::directory_iterator()), 3);

    const auto entries = ReportEntries();
    ASSERT_EQ(entries.size(), 3u);
    // By the photo's folder: its record's rows; the photo without a record has none.
    const struct { const char *folder, *url, *hits, *checked; } recorded[] = {
        {"ABCD1234", "http://a.example/p/n1234567_890_123.jpg", "3", "4/30/2014 6:00:00 PM (UTC) "},
        {"EFGH5678", "http://b.example/q/n1234567_890_123.jpg?x=1", "1", "none"}};
    for (const auto& entry : entries) {
        const auto record = std::ranges::find_if(recorded, [&](const auto& r) {
            return entry.name == "n1234567_890_123[1].jpg" && entry.path.find(r.folder) != std::string::npos;
        });
        if (record == std::end(recorded)) {
            EXPECT_TRUE(entry.rows.empty()) << entry.path;
            continue;
        }
        const auto row = [&](const char* label) { return entry.rows.contains(label) ? entry.rows.at(label) : "none"; };
        EXPECT_EQ(std::tuple(row("Cached from"), row("Hit count"), row("Last checked"), row("Last modified (server)"),
                             row("Last accessed"), row("HTTP status")),
                  std::tuple(record->url, record->hits, record->checked, "4/30/2014 4:44:36 PM (UTC) ",
                             "4/30/2014 5:44:36 PM (UTC) ", "HTTP/1.1 200 OK"));
    }

    const CliResult listed = RunCli(tree, {"--list-cache", index.string()});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 3) << listed.out;
    EXPECT_NE(listed.out.find("http://a.example/p/n1234567_890_123.jpg\tie-index.dat\t200\timage/jpeg\t\t5\t"
                              "8b04d5e3775d298e78455efc5ca404d5\t2014-04-30T16:44:36Z\t2014-04-30T17:44:36Z\t"
                              "ABCD1234\\n1234567_890_123[1].jpg\t\n"),
              std::string::npos)
        << listed.out;
}

TEST_F(IeCacheIndexTest, ADamagedIndexMakesTheRunIncompleteAndItsPhotosSaySo) {
    fs::resize_file(index, 0x4000 + 200);
    const CliResult run = Scan();
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.err.find("index could not be read"), std::string::npos) << run.err;
    const auto entries = ReportEntries();
    ASSERT_EQ(entries.size(), 3u);
    for (const auto& entry : entries)
        EXPECT_NE(entry.status.find("could not be read whole"), std::string::npos) << entry.path;
    EXPECT_EQ(RunCli(tree, {"--list-cache", index.string()}).exitCode, 3);
}

// A record that cannot be read whole is no record of its photo: the photo it names says so.
TEST_F(IeCacheIndexTest, APhotoWhoseRecordIsDamagedSaysSoAndTheRunIsIncomplete) {
    source.records[1].folderIndex = 9;  // past the table's two folders
    std::ofstream(index, std::ios::binary | std::ios::trunc) << WriteIndexDat(source).bytes;
    const CliResult run = Scan();
    EXPECT_EQ(run.exitCode, 3);
    const std::string said = "its index.dat record could not be read: the file's folder index 9 lies past the table's 2";
    EXPECT_NE(run.err.find(said), std::string::npos) << run.err;
    for (const auto& entry : ReportEntries())
        EXPECT_EQ(entry.status.find(said) != std::string::npos,
                  entry.path.find("EFGH5678") != std::string::npos && entry.name.starts_with("n1234567"))
            << entry.path;
}

// The line of a listing whose url is the given one; empty when there is none.
std::string ListedLine(const std::string& listing, const std::string& url) {
    const std::size_t at = listing.find("\n" + url + "\t");
    return at == std::string::npos ? std::string() : listing.substr(at + 1, listing.find('\n', at + 1) - at - 1);
}

// Its last field, the note.
std::string NoteOf(const std::string& line) { return line.substr(line.rfind('\t') + 1); }

// An index.dat exported under another name, with records only the walk of its blocks reaches: each
// listed once with its mark, the cached file's digest where it is there; what is left in free blocks
// makes no gap, a record in use that cannot be read whole does.
TEST_F(IeCacheIndexTest, AnIndexUnderAnyNameIsListedWithTheRecordsNoHashTableReaches) {
    const auto record = [](std::string url, std::string file, std::uint8_t folder) {
        IndexDatRecordSource made;
        made.url = std::move(url);
        made.fileName = std::move(file);
        made.folderIndex = folder;
        made.fileSize = 9;
        made.lastModified = kLastModified;
        made.lastAccessed = kLastAccessed;
        return made;
    };
    source.records.push_back(record("http://a.example/p/n7654321_11_22.jpg", "n7654321_11_22[1].jpg", 1));
    source.records.back().inHashTable = false;
    source.records.push_back(record("http://a.example/p/leaked.jpg", "leaked[1].jpg", 0));
    source.records.back().kind = IndexDatRecordKind::Leak;
    source.records.back().inHashTable = false;
    source.records.push_back(record("http://a.example/p/freed.jpg", "freed[1].jpg", 0));
    source.records.back().inHashTable = source.records.back().inUse = false;
    const std::string exported = tree.Text(
        "src/Users/alice/AppData/Local/Microsoft/Windows/INetCache/IE/export.bin");
    const struct {
        const char* name; std::uint8_t unhashedFolder, freedFolder; int exitCode;
        const char* unhashedNote; const char* freedNote;
    } rows[] = {
        {"whole", 1, 0, 0, "reached through the allocation bitmap only",
         "deleted; found in blocks the allocation bitmap marks free"},
        {"a free record's folder past the table", 1, 7, 0, "reached through the allocation bitmap only",
         "deleted; found in blocks the allocation bitmap marks free; the file's folder index 7 lies past the table's 2 "
         "folder(s)"},
        {"a record in use's folder past the table", 8, 0, 3,
         "reached through the allocation bitmap only; the file's folder index 8 lies past the table's 2 folder(s)",
         "deleted; found in blocks the allocation bitmap marks free"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        source.records[3].folderIndex = row.unhashedFolder;
        source.records[5].folderIndex = row.freedFolder;
        tree.File("src/Users/alice/AppData/Local/Microsoft/Windows/INetCache/IE/export.bin", WriteIndexDat(source).bytes);
        const CliResult listed = RunCli(tree, {"--list-cache", exported});
        EXPECT_EQ(listed.exitCode, row.exitCode) << listed.err;
        EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 6) << listed.out;  // the head, 5 records
        const std::string unhashed = ListedLine(listed.out, "http://a.example/p/n7654321_11_22.jpg");
        EXPECT_EQ(NoteOf(unhashed), row.unhashedNote) << listed.out;
        if (row.unhashedFolder == 1) {
            EXPECT_NE(unhashed.find("\tb303814f7df5c3c365370557cd3305ef\t"), std::string::npos) << unhashed;
        }
        EXPECT_EQ(NoteOf(ListedLine(listed.out, "http://a.example/p/leaked.jpg")),
                  "deleted; reached through the allocation bitmap only")
            << listed.out;
        EXPECT_EQ(NoteOf(ListedLine(listed.out, "http://a.example/p/freed.jpg")), row.freedNote) << listed.out;
        EXPECT_EQ(NoteOf(ListedLine(listed.out, "http://a.example/p/n1234567_890_123.jpg")), "") << listed.out;
    }
    tree.File("src/Users/alice/AppData/Local/Microsoft/Windows/INetCache/IE/export.bin", "Client UrlCache MMF");
    const CliResult notAnIndex = RunCli(tree, {"--list-cache", exported});
    EXPECT_EQ(notAnIndex.exitCode, 2);
    EXPECT_NE(notAnIndex.err.find("Not a browser cache that this program reads"), std::string::npos) << notAnIndex.err;
    // What cannot be read at all is not called no cache: the message says why.
    const CliResult gone = RunCli(tree, {"--list-cache", exported + ".gone"});
    EXPECT_EQ(std::pair(gone.exitCode, gone.err.starts_with("The cache could not be read: " + exported + ".gone: ")),
              std::pair(2, true)) << gone.err;
}

#ifndef _WIN32
// An index this user may not open (as one the system holds locked): its photos have no records,
// and the run says why.
TEST_F(IeCacheIndexTest, AnIndexThatCannotBeOpenedMakesTheRunIncomplete) {
    // Everything readable by that user but the index; the output writable.
    const auto readable = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                          fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(tree.Root(), readable);
    for (const auto& entry : fs::recursive_directory_iterator(tree.Root())) fs::permissions(entry.path(), readable);
    fs::permissions(tree.Path("out"), fs::perms::all);
    fs::permissions(index, fs::perms::none);
    for (const auto& made : fs::directory_iterator(tree.Path("out"))) fs::remove_all(made.path());
    const CliResult run =
        RunCli(tree, {"--folder", tree.Text("src"), "--output", tree.Text("out"), "--no-photos"}, {.ordinaryUser = true});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.err.find("the cache's index could not be read"), std::string::npos) << run.err;
    const auto entries = ReportEntries();
    ASSERT_EQ(entries.size(), 3u);
    for (const auto& entry : entries) EXPECT_NE(entry.status.find("could not be read whole"), std::string::npos) << entry.path;
}
#endif

}  // namespace snapsift::test
