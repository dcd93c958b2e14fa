// Disk images made during the run: an NTFS volume built through ntfs-3g with known contents and
// times (1601, 1965, 2200, 9999 among them), a deleted photo and deleted photos whose records
// were then reused; then the bare file system, a whole disk with an MBR that holds it as
// partition 2, a split raw set and an E01. Each is scanned by snapsift-cli straight from its
// files and checked against the same volume scanned through a read-only ntfs-3g mount.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <zlib.h>

#include <algorithm>
#include <functional>
#include <fstream>
#include <optional>
#include <regex>

#include "image/EwfImage.h"
#include "image/ImageSegments.h"
#include "image/NtfsVolume.h"
#include "support/CliRun.h"
#include "support/NtfsImages.h"
#include "support/ReportParser.h"

namespace snapsift::test {

namespace fs = std::filesystem;

TEST(MatchRecord, FreedRecordsKeepTheirFileWhileTheSequenceNumberIsTheNamesOrOneAbove) {
    const struct { const char* row; bool allocated; std::uint32_t recordSequence; RecordMatch match; } cases[] = {
        {"in use, same number", true, 7, RecordMatch::Live},
        {"in use by another file", true, 8, RecordMatch::Reused},
        {"freed, raised on freeing", false, 8, RecordMatch::DeletedIntact},
        {"freed, not raised", false, 7, RecordMatch::DeletedIntact},
        {"freed again after a reuse", false, 9, RecordMatch::Reused},
        {"freed, older number", false, 6, RecordMatch::Reused}};
    for (const auto& c : cases) EXPECT_EQ(MatchRecord(7, c.allocated, c.recordSequence), c.match) << c.row;
}

// A damaged chunk met twice (libewf notes it again once its cache let it go) is one part; a
// read overlaps it by any of its bytes.
TEST(DamageMap, APartIsCountedOnceAndOverlapsOnlyItsOwnBytes) {
    DamageMap damage;
    damage.Add(32768, 32768);
    damage.Add(32768, 32768);
    EXPECT_EQ(damage.Count(), 1u);
    const struct { std::uint64_t offset, length; bool overlaps; } cases[] = {
        {0, 32768, false}, {0, 32769, true}, {65535, 1, true}, {65536, 4096, false}, {40000, 0, false}};
    for (const auto& c : cases) EXPECT_EQ(damage.Overlaps(c.offset, c.length), c.overlaps) << c.offset << "+" << c.length;
}

// The names of a split raw set's later files, as The Sleuth Kit would find them.
TEST(SplitSegmentName, EachKnownFormCountsOnFromTheFirstName) {
    const struct { const char* first; int number; const char* name; } cases[] = {
        {"d.001", 2, "d.002"}, {"d_001", 12, "d_012"}, {"d.001", 1000, "d.1000"}, {"d.000", 2, "d.001"},
        {"d.01", 3, "d.03"}, {"d_00", 2, "d_01"}, {"d.aa", 2, "d.ab"}, {"dxaa", 28, "dxbb"}, {"d.aa", 677, ""},
        {"d.AAA", 2, "d.AAB"}, {"d.dmg", 2, "d.002.dmgpart"}, {"d.bin", 2, "d(2).bin"}, {"disk.img", 2, ""}};
    for (const auto& c : cases) EXPECT_EQ(SplitSegmentName(c.first, c.number), c.name) << c.first << " " << c.number;
}

namespace {

const std::string kCache = "Users/alice/AppData/Local/Microsoft/Windows/INetCache/IE/AB12CD34/";
const std::string kDeleted = "n7777777_11[1].jpg";
// The deleted photo: 70,000 bytes of "d", and md5sum's word on them.
const std::string kDeletedContent(70000, 'd'), kDeletedMd5 = "df4eea01b3695dc7c802e1249a37559f";

// Sets created, modified and accessed through ntfs-3g's "system.ntfs_times" attribute.
bool SetNtfsTimes(const fs::path& file, std::uint64_t created, std::uint64_t modified, std::uint64_t accessed) {
    std::uint64_t times[4] = {created, modified, accessed, created};  // little-endian on this machine
    return ::setxattr(file.c_str(), "system.ntfs_times", times, sizeof times, 0) == 0;
}

void Write(const fs::path& file, const std::string& bytes) { std::ofstream(file, std::ios::binary) << bytes; }

// The images, made once for all tests in a temporary folder. Empty `skip` when they were made.
struct Images {
    TempTree tree;
    std::string skip;
    std::string mountedReport;  // the volume scanned through a read-only mount, its mount point as "@"

    std::string Path(const std::string& name) const { return tree.Text(name); }

    // One mount of the volume, in which `change` is made.
    bool InMount(const std::function<bool()>& change, bool readOnly = false) {
        if (!MountNtfs(Path("volume.img"), Path("m"), readOnly)) return false;
        const bool changed = change();
        return Unmount(Path("m")) && changed;
    }

    bool Make() {
        skip = WhyNoNtfsVolumes({"sfdisk", "ewfacquire", "split", "md5sum", "mkfs.ext2"});
        if (!skip.empty()) return true;
        tree.Folder("m");
        const fs::path m = tree.Path("m"), cache = m / kCache;
        const auto old = [](int i) { return "Users/alice/Old/n" + std::to_string(i) + "00000_11[1].jpg"; };
        // The profile tree; the deleted photo made last, so that its record is the highest.
        std::vector<std::pair<std::string, std::string>> files = {{kCache + "n1234567_890_123[1].jpg", "abc"},
            {kCache + "n1601001_11[1].jpg", "a"}, {kCache + "n9999001_11[1].jpg", "abcdefghijklmnopqrstuvwxyz"},
            {kCache + "n3000001_11[1].jpg", std::string(300, 'r')},     // resident in its MFT record
            {kCache + "n2000001_11[1].jpg", std::string(200000, 'b')},  // in clusters of its own
            {kCache + "notes.txt", "notes"},
            {"Documents and Settings/bob/Cache/1111_222_333_444_555_n[1].jpg", "digit first"}};
        for (int i = 10; i < 50; ++i) files.emplace_back(old(i), "old");
        files.emplace_back(kCache + kDeleted, kDeletedContent);
        const char zone[] = "[ZoneTransfer]";  // an alternate data stream, never part of the digest
        const auto times = [&] {
            return ::setxattr((m / files[0].first).c_str(), "user.Zone.Identifier", zone, sizeof zone, 0) == 0 &&
                   // 1601-01-01, 1965-05-05 13:14:15, 2200-02-28 23:59:59; 9999-12-31 23:59:59, 1970-01-01,
                   // 2106-02-07 06:28:16; 2010-03-15 14:05:09, 2010-03-16, 2010-03-17 01:02:03 (UTC).
                   SetNtfsTimes(m / files[1].first, 0, 114974684550000000, 189076895990000000) &&
                   SetNtfsTimes(m / files[2].first, 2650467743990000000, 116444736000000000, 159394408960000000) &&
                   SetNtfsTimes(cache / kDeleted, 129131355090000000, 129131712000000000, 129132613230000000);
        };
        // The old photos go; in the next mount the new files take their records, the lowest free
        // ones, while the index keeps some of the old names. Then the photo is deleted.
        const auto removeOld = [&] {
            int i = 10;
            while (i < 50 && fs::remove(m / old(i))) ++i;
            return i == 50;
        };
        const auto addNew = [&] {
            fs::create_directory(m / "Users/alice/New");
            for (int i = 0; i < 40; ++i) Write(m / ("Users/alice/New/f" + std::to_string(i) + ".txt"), "new");
            return true;
        };
        return MakeNtfsVolume(Path("volume.img"), 24, files, Path("m")) && InMount(times) && InMount(removeOld) &&
               InMount(addNew) && InMount([&] { return fs::remove(cache / kDeleted); }) &&
               Shell("cd " + Quote(tree.RootText()) + " && truncate -s 40M disk.img && printf 'label: dos\\n"
                     "start=2048, size=2048, type=83\\nstart=6144, size=49152, type=7\\n' | sfdisk -q disk.img && "
                     "dd if=volume.img of=disk.img bs=512 seek=6144 conv=notrunc status=none && "
                     "split --numeric-suffixes=1 -a 3 -b 12M disk.img split. && "
                     "ewfacquire -u -q -t case -S 16M disk.img >/dev/null 2>&1 && md5sum disk.img > disk.md5") == 0 &&
               InMount([&] {
                   const std::string report = Scan({"--profiles", Path("m"), "--no-photos"});
                   mountedReport = std::regex_replace(report, std::regex(Path("m")), "@");
                   return true;
               }, true);
    }

    // snapsift-cli with its output in a folder of its own; the report's bytes, none when no run folder was made.
    std::pair<CliResult, std::optional<std::string>> Cli(std::vector<std::string> arguments, const CliOptions& options = {}) {
        static int runs = 0;
        const std::string out = Path("out" + std::to_string(++runs));
        fs::create_directory(out);
        arguments.insert(arguments.end(), {"--output", out});
        const CliResult run = RunCli(tree, arguments, options);
        const fs::path report = RunReport(out);
        return {run, report.empty() ? std::nullopt : std::optional(ReadBytes(report))};
    }
    std::string Scan(std::vector<std::string> arguments) { return Cli(std::move(arguments)).second.value_or(""); }
};

class DiskImages : public ::testing::Test {
protected:
    void SetUp() override {
        static Images made;  // once for all the tests, removed at exit
        static const bool ok = made.Make();
        ASSERT_TRUE(ok) << "the images could not be made";
        if (!made.skip.empty()) GTEST_SKIP() << made.skip;
        images = &made;
    }
    Images* images = nullptr;
};

// The mounted volume's report as the image's: the image line after the header, paths that
// begin with the image's name and partition and go on with "\".
ParsedReport AsImageReport(const std::string& mounted, const std::string& imageLine, const std::string& prefix) {
    ParsedReport report = ParseReport(mounted);
    report.header += imageLine + "\r\n";
    for (ParsedEntry& entry : report.entries)
        entry.path = prefix + std::regex_replace(entry.path.substr(1), std::regex("/"), "\\");
    return report;
}

TEST_F(DiskImages, EveryFormGivesTheMountedVolumesEntries) {
    const std::string disk = "(41943040 bytes)";
    const struct { const char* row; std::string image, prefix, facts; } forms[] = {
        {"bare file system", "volume.img", "volume.img: ", "(25165824 bytes)"},
        {"whole disk", "disk.img", "disk.img, partition 2: ", disk},
        {"split raw", "split.001", "split.001, partition 2: ", "(4 files, " + disk.substr(1)},
        {"E01", "case.E01", "case.E01, partition 2: ",
         "(3 files, " + std::to_string(fs::file_size(images->tree.Path("case.E01")) +
                                       fs::file_size(images->tree.Path("case.E02")) +
                                       fs::file_size(images->tree.Path("case.E03"))) +
             " bytes; MD5 stored in the image: " + ReadBytes(images->tree.Path("disk.md5")).substr(0, 32) +
             ", not checked against the image's data)"}};
    for (const auto& form : forms) {
        const std::string path = images->Path(form.image);
        EXPECT_EQ(ParseReport(images->Scan({"--image", path, "--profiles", "--no-photos"})),
                  AsImageReport(images->mountedReport, "<b>Disk image:</b> " + path + " " + form.facts + "<br>",
                                form.prefix))
            << form.row;
    }
}

// Created, modified and accessed as the image holds them, at the ends of what NTFS and the report keep.
TEST_F(DiskImages, EdgeTimesAreReadAsNtfsKeepsThem) {
    const std::tuple<std::string, std::string, std::string, std::string> cases[] = {
        {"n1601001_11[1].jpg", "1/1/1601 (UTC)", "5/5/1965 1:14:15 PM (UTC)", "2/28/2200 11:59:59 PM (UTC)"},
        {"n9999001_11[1].jpg", "12/31/9999 11:59:59 PM (UTC)", "1/1/1970 (UTC)", "2/7/2106 6:28:16 AM (UTC)"}};
    const ParsedReport report = ParseReport(images->Scan({"--image", images->Path("case.E01"), "--profiles"}));
    for (const auto& [name, created, modified, accessed] : cases) {
        const auto entry = std::ranges::find(report.entries, name, &ParsedEntry::name);
        ASSERT_NE(entry, report.entries.end()) << name;
        EXPECT_EQ(std::tie(entry->created, entry->modified, entry->accessed), std::tie(created, modified, accessed));
    }
}

TEST_F(DiskImages, TheDeletedPhotoIsFoundOnlyWhenAskedForWithItsFormerDigest) {
    const std::string entry =
        "<b>Full path:</b> case.E01, partition 2: \\" + std::regex_replace(kCache, std::regex("/"), "\\") + kDeleted +
        "<br>\r\n<b>Short name:</b> " + kDeleted + "<br>\r\n"
        "<b>Status:</b> deleted (its content may have been partly overwritten)<br>\r\n"
        "<b>Created time:</b> 3/15/2010 2:05:09 PM (UTC) <br>\r\n<b>Modified time:</b> 3/16/2010 (UTC) <br>\r\n"
        "<b>Last Accessed time:</b> 3/17/2010 1:02:03 AM (UTC) <br>\r\n<b>MD5:</b> " + kDeletedMd5 + "<br>----<br>\r\n";
    const std::string image = images->Path("case.E01");
    EXPECT_NE(images->Scan({"--image", image, "--profiles", "--include-deleted"}).find(entry), std::string::npos);
    EXPECT_EQ(images->Scan({"--image", image, "--profiles"}).find(kDeleted), std::string::npos);
}

// The names the index kept of the old photos, whose records the new files took: each such name
// only, with no image line, no copy, no times and no digest.
TEST_F(DiskImages, ADeletedNameWhoseRecordWasReusedKeepsOnlyItsName) {
    const ParsedReport report =
        ParseReport(images->Scan({"--image", images->Path("disk.img"), "--profiles", "--include-deleted"}));
    int reused = 0;
    for (const ParsedEntry& entry : report.entries) {
        if (!entry.path.starts_with("disk.img, partition 2: \\Users\\alice\\Old\\")) continue;
        ++reused;
        EXPECT_EQ(entry.path.substr(entry.path.rfind('\\') + 1), entry.name);
        EXPECT_EQ(std::tuple(entry.name, entry.status, entry.created, entry.modified, entry.accessed, entry.md5, entry.image),
                  std::tuple("n" + entry.userId + "_11[1].jpg", "deleted (record reused, content lost)",
                             "Unable to determine", "Unable to determine", "Unable to determine",
                             "error generating md5 hash", ""));
    }
    EXPECT_GE(reused, 1);
    EXPECT_TRUE(report.rest.starts_with("<hr>End of Report<br>")) << report.rest.substr(0, 200);
}

TEST_F(DiskImages, AnImageThatCannotBeReadStopsTheRunBeforeAnythingIsWritten) {
    const std::string disk = images->Path("disk.img");
    Write(images->tree.Path("junk.bin"), std::string(3'000'000, 'x'));
    // Sets whose segments were cut, or replaced by a link or a FIFO (which must never be opened:
    // the run would wait on it for ever; the runs below are killed after 30 seconds).
    ASSERT_EQ(Shell("cd " + Quote(images->tree.RootText()) + " && mkdir two && cp case.E01 case.E02 two/ && for set in cut zero fifo long empty ewf; do "
                    "mkdir $set && cp split.00? $set/; done && cp case.E0? ewf/ && ln -s disk.img link.img && "
                    "truncate -s 5M cut/split.002 && ln -sf /dev/zero zero/split.003 && "
                    "rm fifo/split.003 && mkfifo fifo/split.003 && "
                    "truncate -s 13M long/split.004 && truncate -s 0 empty/split.004 && rm ewf/case.E02 && "
                    "mkfifo ewf/case.E02 && mkfifo fifo.img"), 0);
    const struct { const char* row; std::vector<std::string> arguments; std::string message; } cases[] = {
        {"not an image", {"--image", images->Path("junk.bin"), "--profiles"},
         "Not a disk image with a partition table or a file system that can be read: " + images->Path("junk.bin")},
        {"an E01 segment missing", {"--image", images->Path("two/case.E01"), "--profiles"},
         "The E01 image is incomplete or corrupt (a segment file cut short or missing): " + images->Path("two/case.E01")},
        {"no such partition", {"--image", disk, "--partition", "3", "--profiles"},
         "The disk image has no partition 3 (it has partitions 1 to 2): " + disk},
        {"no NTFS there", {"--image", disk, "--partition", "1", "--profiles"},
         "Partition 1 of the disk image holds no NTFS file system (Cannot determine file system type): " + disk},
        {"the image a link", {"--image", images->Path("link.img"), "--profiles"},
         "A segment of the disk image is a link: " + images->Path("link.img")},
        {"the image a FIFO", {"--image", images->Path("fifo.img"), "--profiles"},
         "Not a disk image file: " + images->Path("fifo.img")},
        {"the last split segment empty", {"--image", images->Path("empty/split.001"), "--profiles"},
         "A segment of the split image is empty: " + images->Path("empty/split.004")},
        {"a split segment cut short", {"--image", images->Path("cut/split.001"), "--profiles"},
         "A segment of the split image is not as long as the first (cut short or replaced): " +
             images->Path("cut/split.002")},
        {"the last split segment longer", {"--image", images->Path("long/split.001"), "--profiles"},
         "A segment of the split image is longer than the first: " + images->Path("long/split.004")},
        {"a split segment a link to a device", {"--image", images->Path("zero/split.001"), "--profiles"},
         "A segment of the disk image is a link: " + images->Path("zero/split.003")},
        {"a split segment a FIFO", {"--image", images->Path("fifo/split.001"), "--profiles"},
         "A segment of the disk image is not a regular file: " + images->Path("fifo/split.003")},
        {"an E01 segment a FIFO", {"--image", images->Path("ewf/case.E01"), "--profiles"},
         "A segment of the disk image is not a regular file: " + images->Path("ewf/case.E02")},
        {"no such folder", {"--image", disk, "--folder", "/Users/nobody"},
         "Folder to search not found in the disk image: /Users/nobody"}};
    for (const auto& c : cases) {
        const auto [run, report] = images->Cli(c.arguments, {.signal = SIGKILL});
        EXPECT_EQ(std::tuple(run.exitCode, run.err, report), std::tuple(2, c.message + "\n", std::nullopt)) << c.row;
    }
}

// --verify-image reads the whole image before the scan: the E01's stored MD5 is checked against
// its data; a raw image stores none, so only the data's MD5 is told.
TEST_F(DiskImages, VerifyImageChecksTheStoredDigestAndTheReportSaysSo) {
    const std::string md5 = ReadBytes(images->tree.Path("disk.md5")).substr(0, 32);
    const struct { const char* image; std::string out, line; } cases[] = {
        {"case.E01", "Image data: MD5 " + md5 + ", the MD5 stored in the image: it matches\n",
         "; MD5 stored in the image: " + md5 + ", checked: it matches the image's data)<br>"},
        {"disk.img", "Image data: MD5 " + md5 + "; the image stores no digest, so it could not be checked\n",
         " bytes; no digest stored in the image, so its data could not be checked; the data's MD5 is " + md5 + ")<br>"}};
    for (const auto& c : cases) {
        const auto [run, report] = images->Cli({"--image", images->Path(c.image), "--profiles", "--no-photos", "--verify-image"});
        EXPECT_EQ(run.exitCode, 0) << c.image;
        EXPECT_TRUE(run.out.starts_with(c.out)) << run.out;
        EXPECT_NE(ParseReport(report.value_or("")).header.find(c.line), std::string::npos) << c.image;
    }
}

// Where a string of bytes is first found in one of an E01's segment files: the file and the offset.
std::optional<std::pair<fs::path, std::size_t>> FindInSegments(const fs::path& first,
                                                              const std::function<std::size_t(const std::string&)>& find) {
    for (char last = '1'; last <= '9'; ++last) {
        fs::path file = first;
        file.replace_extension(std::string(".E0") + last);
        const std::string bytes = ReadBytes(file);
        if (const std::size_t at = find(bytes); at != std::string::npos) return std::pair(file, at);
    }
    return std::nullopt;
}

// A byte in the middle of the first zlib stream whose output holds both texts; npos when none.
std::size_t InCompressedChunkHolding(const std::string& bytes, const std::string& one, const std::string& other) {
    std::string out(1 << 16, '\0');
    for (std::size_t at = bytes.find('\x78'); at != std::string::npos; at = bytes.find('\x78', at + 1)) {
        uLongf outLength = out.size();
        uLong inLength = bytes.size() - at;
        if (uncompress2(reinterpret_cast<Bytef*>(out.data()), &outLength, reinterpret_cast<const Bytef*>(bytes.data() + at),
                        &inLength) != Z_OK)
            continue;
        const std::string_view output(out.data(), outLength);
        if (output.find(one) != output.npos && output.find(other) != output.npos) return at + inLength / 2;
    }
    return std::string::npos;
}

void Flip(const fs::path& file, std::size_t at) {
    std::fstream stream(file, std::ios::binary | std::ios::in | std::ios::out);
    stream.seekg(static_cast<std::streamoff>(at));
    const char byte = static_cast<char>(stream.get() ^ 0x5A);
    stream.seekp(static_cast<std::streamoff>(at));
    stream.put(byte);
}

// A chunk of an E01 that fails its checksum is read by libewf as zeros: a photo's bytes in an
// uncompressed E01, the MFT records of the profile folders in a compressed one. The run is
// incomplete and says so; the data's check says it does not match.
TEST_F(DiskImages, ADamagedE01ChunkMakesTheRunIncomplete) {
    ASSERT_EQ(Shell("cd " + Quote(images->tree.RootText()) + " && mkdir photo && cp case.E0? photo/ && "
                    "ewfacquire -u -q -t meta -c best disk.img >/dev/null 2>&1"), 0);
    const std::string alice("a\0l\0i\0c\0e\0", 10);
    const auto photo = FindInSegments(images->tree.Path("photo/case.E01"), [](const std::string& bytes) {
        const std::size_t at = bytes.find(std::string(30000, 'b'));  // a chunk's worth, between checksums
        return at == std::string::npos ? at : at + 15000;
    });
    const auto meta = FindInSegments(images->tree.Path("meta.E01"), [&](const std::string& bytes) {
        return InCompressedChunkHolding(bytes, "FILE0", alice);
    });
    ASSERT_TRUE(photo && meta);
    Flip(photo->first, photo->second);
    Flip(meta->first, meta->second);
    const struct { const char* row; std::string image; std::vector<std::string> more; std::string out; } cases[] = {
        {"a photo's chunk", "photo/case.E01", {}, "Damaged parts of the disk image (read as zeros): 1\n"},
        {"a photo's chunk, checked first", "photo/case.E01", {"--verify-image"}, ": it does NOT match\n"},
        {"the profile folders' MFT records", "meta.E01", {}, "Damaged parts of the disk image (read as zeros): "}};
    for (const auto& c : cases) {
        std::vector<std::string> arguments{"--image", images->Path(c.image), "--profiles"};
        arguments.insert(arguments.end(), c.more.begin(), c.more.end());
        const auto [run, report] = images->Cli(arguments, {.signal = SIGKILL});
        EXPECT_EQ(run.exitCode, 3) << c.row << "\n" << run.out << run.err;
        EXPECT_NE(run.out.find(c.out), std::string::npos) << c.row << "\n" << run.out;
        if (c.image != "photo/case.E01") continue;
        // The photo whose chunk was read as zeros: no digest of the zeros, no copy of them.
        const ParsedReport parsed = ParseReport(report.value_or(""));
        const auto photo = std::ranges::find(parsed.entries, "n2000001_11[1].jpg", &ParsedEntry::name);
        ASSERT_NE(photo, parsed.entries.end()) << c.row;
        EXPECT_EQ(std::tie(photo->md5, photo->image), std::tuple("error generating md5 hash", "")) << c.row;
        EXPECT_TRUE(photo->status.starts_with("unreliable: its bytes lie in a damaged part of the disk image"))
            << c.row << ": " << photo->status;
        EXPECT_NE(run.out.find("Entries whose bytes lie in a damaged part of the disk image: 1\n"), std::string::npos)
            << c.row << "\n" << run.out;
    }
    const CliResult list = RunCli(images->tree, {"--list-partitions", images->Path("meta.E01")});
    EXPECT_EQ(list.exitCode, 3);
    EXPECT_NE(list.out.find("Warning: damaged parts of the image (read as zeros) were met while reading its partitions: "),
              std::string::npos) << list.out;
}

// Images cut short, as an acquisition that stopped early leaves them. A partition or bare file
// system that runs past the image's end is listed with what is missing and searched as far as
// the image goes: the bytes past the end are zeros and one damaged part, met by any read there
// and by the search of a volume that runs past the end, so such a run is incomplete; a photo
// whose bytes lie there has no digest. A slot that runs past the end around a volume that does
// not (only the backup boot sector is lost) is searched whole. What cannot be opened at all (the
// MFT gone, the slot starting past the end) is refused as before.
TEST_F(DiskImages, AnImageCutShortIsSearchedAsFarAsItGoes) {
    const std::size_t photo = ReadBytes(images->tree.Path("volume.img")).find(std::string(200000, 'b'));
    ASSERT_NE(photo, std::string::npos);
    constexpr std::uint64_t kPartition = 3145728, kPartitionEnd = 28311552, kVolumeEnd = 25165824;
    const auto missing = [](std::uint64_t bytes) { return "runs past the image's end: " + std::to_string(bytes) + " bytes missing"; };
    const std::string partition2 = "Warning: Partition 2 of the disk image ", bare = "Warning: The disk image's file system ";
    const std::string profiles = "NTFS         Users, Documents and Settings  (";
    const std::uint64_t inPhoto = photo + 100000;
    // MBR slot 3, after the NTFS partition: 100 MiB from 28 MiB, past the end of the 40 MiB disk.
    const std::uint32_t slot[2] = {57344, 204800};  // little-endian on this machine
    const std::vector<std::pair<std::size_t, std::string>> slot3 = {
        {446 + 32 + 4, "\x83"}, {446 + 32 + 8, std::string(reinterpret_cast<const char*>(slot), sizeof slot)}};
    const struct {
        const char* row; const char* from; std::uint64_t length;
        int listExit; std::string listed;  // a line's end in --list-partitions
        int exit; std::string err;         // a refusal's message ends with the image's path
        bool photoLost;
        std::vector<std::pair<std::size_t, std::string>> edits = {};
    } rows[] = {
        {"a partition cut in a photo", "disk.img", kPartition + inPhoto, 0,
         profiles + missing(kPartitionEnd - kPartition - inPhoto) + ")\n", 3,
         partition2 + missing(kPartitionEnd - kPartition - inPhoto) + ".\n", true},
        {"a bare file system cut in a photo", "volume.img", inPhoto, 0, profiles + missing(kVolumeEnd - inPhoto) + ")\n", 3,
         bare + missing(kVolumeEnd - inPhoto) + ".\n", true},
        {"a bare file system cut after its files", "volume.img", kVolumeEnd - 1048576, 0,
         profiles + missing(1048576) + ")\n", 3, bare + missing(1048576) + ".\n", false},
        {"a partition without its backup boot sector", "disk.img", kPartitionEnd - 512, 0, profiles + missing(512) + ")\n", 0,
         partition2 + missing(512) + ".\n", false},
        {"a slot past the end beside the intact NTFS partition", "disk.img", 41943040, 0,
         "-            -  (Cannot determine file system type; " + missing(92274688) + ")\n", 0,
         "Warning: Partition 3 of the disk image " + missing(92274688) + ".\n", false, slot3},
        {"a partition cut before its MFT", "disk.img", kPartition + 8192, 3,
         "; " + missing(kPartitionEnd - kPartition - 8192) + ")\n", 2,
         partition2 + missing(kPartitionEnd - kPartition - 8192) + ".\n"
                      "The disk image is shorter than its partitions say (truncated): ", false},
        {"a bare file system cut before its MFT", "volume.img", 8192, 2, "", 2,
         "The disk image is shorter than its partitions say (truncated): ", false},
        {"a partition that starts past the end", "disk.img", kPartition - 1048576, 0,
         "-            -  (slot lies outside the image)\n", 2, "No NTFS file system in the disk image: ", false},
    };
    for (const auto& c : rows) {
        const std::string path = images->Path(std::string("cut-") + c.from);
        std::filesystem::remove(path);
        fs::copy_file(images->tree.Path(c.from), path);
        fs::resize_file(path, c.length);
        {
            std::fstream image(path, std::ios::binary | std::ios::in | std::ios::out);
            for (const auto& [offset, bytes] : c.edits)
                image.seekp(static_cast<std::streamoff>(offset)).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        const CliResult list = RunCli(images->tree, {"--list-partitions", path});
        EXPECT_EQ(list.exitCode, c.listExit) << c.row << "\n" << list.out << list.err;
        EXPECT_NE((list.out + list.err).find(c.listed), std::string::npos) << c.row << "\n" << list.out << list.err;

        const auto [run, report] = images->Cli({"--image", path, "--profiles", "--no-photos"});
        EXPECT_EQ(std::tuple(run.exitCode, run.err), std::tuple(c.exit, c.err + (c.exit == 2 ? path + "\n" : "")))
            << c.row;
        if (c.exit == 2) {
            EXPECT_EQ(report, std::nullopt) << c.row;
            continue;
        }
        const std::string imageLine = "<b>Disk image:</b> " + path + " (" + std::to_string(c.length) + " bytes)<br>";
        ParsedReport expected = AsImageReport(images->mountedReport, imageLine,
                                              std::string("cut-") + c.from + (c.from == std::string("disk.img") ? ", partition 2: " : ": "));
        for (ParsedEntry& entry : expected.entries)
            if (c.photoLost && entry.name == "n2000001_11[1].jpg") {
                entry.md5 = "error generating md5 hash";
                entry.status = "unreliable: its bytes lie in a damaged part of the disk image, which was read as zeros";
            }
        const ParsedReport parsed = ParseReport(report.value_or(""));
        EXPECT_EQ(parsed.entries, expected.entries) << c.row;
        EXPECT_NE(parsed.header.find(imageLine), std::string::npos) << c.row << "\n" << parsed.header;
        const bool incomplete = c.exit == 3;
        EXPECT_EQ(parsed.rest.find("damaged parts of the disk image, read as zeros: 1.") != std::string::npos, incomplete)
            << c.row << "\n" << parsed.rest;
        EXPECT_EQ(run.out.find("\nDamaged parts of the disk image (read as zeros): 1\n") != std::string::npos, incomplete)
            << c.row << "\n" << run.out;
        EXPECT_EQ(run.out.find("Entries whose bytes lie in a damaged part of the disk image: 1\n") != std::string::npos,
                  c.photoLost) << c.row << "\n" << run.out;
    }
}

// A bad MBR slot beside the NTFS partition: one that lies past the image's end is listed as such
// and left alone (the partitions are numbered in the order of their start), one that overlaps
// the NTFS partition is warned of. An NTFS partition that also carries an ext2 superblock, which
// leaves the detection undecided, is read as NTFS for its type 0x07. The NTFS partition is
// searched as ever.
TEST_F(DiskImages, ABadPartitionSlotLeavesTheOthersUsable) {
    ASSERT_EQ(Shell("cd " + Quote(images->tree.RootText()) + " && truncate -s 8M ext2.fs && mkfs.ext2 -q -F ext2.fs"), 0);
    const std::string ext2Superblock = ReadBytes(images->tree.Path("ext2.fs")).substr(1024, 1024);
    const auto slot = [](std::uint32_t start, std::uint32_t sectors) {
        const std::uint32_t fields[2] = {start, sectors};  // little-endian on this machine
        return std::string(reinterpret_cast<const char*>(fields), sizeof fields);
    };
    const std::string ntfs = "3145728         25165824        NTFS         Users, Documents and Settings\n";
    const std::string empty = "1          1048576         1048576         -            -  (Cannot determine file system type)\n";
    const struct { const char* image; std::vector<std::pair<std::size_t, std::string>> edits; std::string listed, warned, partition; } cases[] = {
        {"outside.img", {{446 + 4, "\x83"}, {446 + 8, slot(0xFFFFFFF0, 0x1000)}},
         "1          " + ntfs + "2          2199023247360   2097152         -            -  (slot lies outside the image)\n",
         "", ", partition 1: "},
        {"overlap.img", {{446 + 8, slot(2048, 8192)}},
         "1          1048576         4194304         -            -  (Cannot determine file system type)\n2          " + ntfs,
         "Warning: Partitions 1 and 2 of the disk image overlap.\n", ", partition 2: "},
        {"ext2.img", {{6144 * 512 + 1024, ext2Superblock}}, empty + "2          " + ntfs, "", ", partition 2: "}};
    for (const auto& c : cases) {
        fs::copy_file(images->tree.Path("disk.img"), images->tree.Path(c.image));
        {
            std::fstream image(images->tree.Path(c.image), std::ios::binary | std::ios::in | std::ios::out);
            for (const auto& [offset, bytes] : c.edits) {
                image.seekp(static_cast<std::streamoff>(offset));
                image.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            }
        }
        const std::string path = images->Path(c.image);
        const CliResult list = RunCli(images->tree, {"--list-partitions", path});
        EXPECT_EQ(std::tuple(list.exitCode, list.out),
                  std::tuple(0, "Partition  Offset          Size            File system  Profile folders\n" + c.listed + c.warned));
        const auto [run, report] = images->Cli({"--image", path, "--profiles", "--no-photos"});
        EXPECT_EQ(std::tuple(run.exitCode, run.err), std::tuple(0, c.warned)) << c.image;
        EXPECT_EQ(ParseReport(report.value_or("")),
                  AsImageReport(images->mountedReport, "<b>Disk image:</b> " + path + " (41943040 bytes)<br>",
                                c.image + c.partition))
            << c.image;
    }
}

// The table as read, and what The Sleuth Kit found wanting: a GPT whose header is damaged shows
// only its protective MBR, which is said.
TEST_F(DiskImages, PartitionsAreListedWithTheirFileSystemAndProfileFolders) {
    ASSERT_EQ(Shell("cd " + Quote(images->tree.RootText()) + " && truncate -s 40M gpt.img && printf 'label: gpt\\n"
                    "start=6144, size=49152, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\\n' | sfdisk -q gpt.img && "
                    "dd if=volume.img of=gpt.img bs=512 seek=6144 conv=notrunc status=none && "
                    "printf 'EFI PARX' | dd of=gpt.img bs=1 seek=512 conv=notrunc status=none"), 0);
    const std::string header = "Partition  Offset          Size            File system  Profile folders\n";
    const struct { const char* image; std::string out; } cases[] = {
        {"split.001", header + "1          1048576         1048576         -            -  (Cannot determine file system type)\n"
                               "2          3145728         25165824        NTFS         Users, Documents and Settings\n"},
        {"gpt.img", header + "1          512             41942528        -            -  (Cannot determine file system type)\n"
                             "Warning: The disk image's GPT could not be read; only its protective MBR was, which shows "
                             "the whole disk as one slot.\n"}};
    for (const auto& c : cases)
        EXPECT_EQ(RunCli(images->tree, {"--list-partitions", images->Path(c.image)}).out, c.out) << c.image;
}

// A folder inside the volume, named either way, with and without its subfolders.
TEST_F(DiskImages, AFolderInsideTheVolumeIsSearchedLikeALiveOne) {
    const struct { std::string folder; bool subfolders; int total; } cases[] = {
        {"/" + kCache, true, 5}, {"\\Users\\alice", true, 5}, {"/Users/alice/", false, 0}, {"Users/alice/Old", true, 0}};
    for (const auto& c : cases) {
        std::vector<std::string> arguments{"--image", images->Path("volume.img"), "--folder", c.folder, "--no-photos"};
        if (!c.subfolders) arguments.push_back("--no-subfolders");
        EXPECT_NE(images->Scan(arguments).find("Total files found: " + std::to_string(c.total) + "<hr>"), std::string::npos)
            << c.folder;
    }
}

}  // namespace

}  // namespace snapsift::test
