// Disk images made during the run: an NTFS volume built through ntfs-3g with known contents and
// times (1601, 1965, 2200, 9999 among them), a deleted photo and deleted photos whose records
// were then reused; then the bare file system, a whole disk with an MBR that holds it as
// partition 2, a split raw set and an E01, and copies of them cut, damaged or made hostile. Each
// is scanned by snapsift-cli straight from its files and checked against the same volume scanned
// through a read-only ntfs-3g mount.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/xattr.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <regex>

#include "hash/MD5.h"
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
        {"in use, same number", true, 7, RecordMatch::Live}, {"in use by another file", true, 8, RecordMatch::Reused},
        {"freed, raised on freeing", false, 8, RecordMatch::DeletedIntact}, {"freed, not raised", false, 7, RecordMatch::DeletedIntact},
        {"freed again after a reuse", false, 9, RecordMatch::Reused}, {"freed, older number", false, 6, RecordMatch::Reused}};
    for (const auto& c : cases) EXPECT_EQ(MatchRecord(7, c.allocated, c.recordSequence), c.match) << c.row;
}

// A read overlaps a damaged part by any of its bytes. (A part met twice is counted once: the
// damaged images below count theirs.)
TEST(DamageMap, AReadOverlapsAPartByAnyOfItsBytes) {
    DamageMap damage;
    damage.Add(32768, 32768);
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
const std::string kLost = "n2000001_11[1].jpg";  // 200,000 bytes of "b" in clusters of their own
// The volumes to damage.
const std::string kPhoto = "n1234567_890_123[1].jpg";  // in clusters of its own
const std::string kSmall = "n3000001_11[1].jpg";       // resident in its MFT record
const std::string kDeep = "n4000001_11[1].jpg";        // in Users/alice/Many/zsub/
const std::string kHuge = "n5000001_11[1].jpg";        // sparse, 3 GiB (sparse volume only)
const std::string kHoles = "n6000001_11[1].jpg";       // 170 runs between holes (sparse volume only)

// Sets created, modified and accessed through ntfs-3g's "system.ntfs_times" attribute.
bool SetNtfsTimes(const fs::path& file, std::uint64_t created, std::uint64_t modified, std::uint64_t accessed) {
    std::uint64_t times[4] = {created, modified, accessed, created};  // little-endian on this machine
    return ::setxattr(file.c_str(), "system.ntfs_times", times, sizeof times, 0) == 0;
}

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
        skip = WhyNoNtfsVolumes({"sfdisk", "ewfacquire", "split", "md5sum", "mkfs.ext2", "truncate", "dd"});
        if (!skip.empty()) return true;
        tree.Folder("m");
        const fs::path m = tree.Path("m"), cache = m / kCache;
        const auto old = [](int i) { return "Users/alice/Old/n" + std::to_string(i) + "00000_11[1].jpg"; };
        // The profile tree; the deleted photo made last, so that its record is the highest.
        std::vector<std::pair<std::string, std::string>> files = {{kCache + "n1234567_890_123[1].jpg", "abc"},
            {kCache + "n1601001_11[1].jpg", "a"}, {kCache + "n9999001_11[1].jpg", "abcdefghijklmnopqrstuvwxyz"},
            {kCache + "n3000001_11[1].jpg", std::string(300, 'r')},  // resident in its MFT record
            {kCache + kLost, std::string(200000, 'b')}, {kCache + "notes.txt", "notes"},
            {"Documents and Settings/bob/Cache/1111_222_333_444_555_n[1].jpg", "digit first"}};
        for (int i = 10; i < 50; ++i) files.emplace_back(old(i), "old");
        files.emplace_back(kCache + kDeleted, std::string(70000, 'd'));
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
            bool removed = true;
            for (int i = 10; i < 50; ++i) removed = fs::remove(m / old(i)) && removed;
            return removed;
        };
        const auto addNew = [&] {
            fs::create_directory(m / "Users/alice/New");
            for (int i = 0; i < 40; ++i) std::ofstream(m / ("Users/alice/New/f" + std::to_string(i) + ".txt")) << "new";
            return true;
        };
        return MakeNtfsVolume(Path("volume.img"), 24, files, Path("m")) && InMount(times) && InMount(removeOld) &&
               InMount(addNew) && InMount([&] { return fs::remove(cache / kDeleted); }) &&
               Shell("cd " + Quote(tree.RootText()) + " && truncate -s 40M disk.img && printf 'label: dos\\n"
                     "start=2048, size=2048, type=83\\nstart=6144, size=49152, type=7\\n' | sfdisk -q disk.img && "
                     "dd if=volume.img of=disk.img bs=512 seek=6144 conv=notrunc status=none && "
                     "split --numeric-suffixes=1 -a 3 -b 12M disk.img split. && "
                     "ewfacquire -u -q -t case -S 16M disk.img >/dev/null 2>&1 && md5sum disk.img > disk.md5") == 0 &&
               InMount([&] { return !(mountedReport = std::regex_replace(Scan({"--profiles", Path("m"), "--no-photos"}),
                                                                         std::regex(Path("m")), "@")).empty(); }, true) &&
               MakeVolumesToDamage();
    }

    // base.img: photos of patterned bytes and a folder whose index fills an INDX block;
    // sparse.img: the same with a huge sparse photo and one of many runs, written through a mount.
    std::map<std::string, std::string> digests;  // each photo's name and the digest of its bytes
    bool MakeVolumesToDamage() {
        // Bytes (i * 31 + 7) mod 251: a run read from the wrong place gives another digest.
        const auto pattern = [](std::size_t length) {
            std::string bytes(length, '\0');
            for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 31 + 7) % 251);
            return bytes;
        };
        std::vector<std::pair<std::string, std::string>> files = {
            {kCache + kPhoto, pattern(200000)}, {kCache + kSmall, pattern(300)}, {"Users/alice/Many/zsub/" + kDeep, pattern(5000)}};
        for (int i = 0; i < 36; ++i) files.emplace_back("Users/alice/Many/f" + std::to_string(10 + i) + ".txt", "f");
        // One byte "x" at the start of every other 4 KiB cluster, holes between.
        std::string holes(169 * 8192 + 1, '\0'), writes;
        for (int i = 0; i < 170; ++i) {
            holes[static_cast<std::size_t>(i) * 8192] = 'x';
            writes += "printf x | dd of=" + Quote(Path("m/" + kCache + kHoles)) + " bs=4096 seek=" + std::to_string(2 * i) +
                      " conv=notrunc status=none && ";
        }
        files.emplace_back(kHoles, holes);  // its digest only: it is written through the mount below
        for (const auto& [path, bytes] : files) {
            MD5 md5;
            md5.Init();
            md5.Update({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
            std::string& digest = digests[path.substr(path.rfind('/') + 1)] = md5.Final();
            for (char& c : digest) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        files.pop_back();
        return MakeNtfsVolume(Path("base.img"), 16, files, Path("m")) &&
               Shell("cp " + Quote(Path("base.img")) + " " + Quote(Path("sparse.img"))) == 0 &&
               MountNtfs(Path("sparse.img"), Path("m")) &&
               Shell(writes + "truncate -s 3G " + Quote(Path("m/" + kCache + kHuge))) == 0 && Unmount(Path("m"));
    }

    // snapsift-cli with its output in a folder of its own; the report's bytes, none when no run folder was made.
    // A run that waits on a FIFO it should never have opened is killed after 30 seconds.
    std::string out;
    std::pair<CliResult, std::optional<std::string>> Cli(std::vector<std::string> arguments,
                                                         const CliOptions& options = {.signal = SIGKILL}) {
        static int runs = 0;
        out = Path("out" + std::to_string(++runs));
        fs::create_directory(out);
        arguments.insert(arguments.end(), {"--output", out});
        const CliResult run = RunCli(tree, arguments, options);
        const fs::path report = RunReport(out);
        return {run, report.empty() ? std::nullopt : std::optional(ReadBytes(report))};
    }
    std::string Scan(std::vector<std::string> arguments) { return Cli(std::move(arguments)).second.value_or(""); }

    // The bytes as an image, scanned with photos and deleted files. A run that walked a loop would
    // write on without end: its writes stop at 64 MiB, and it is killed unless it ends within 30
    // seconds. It must end by itself, and copy no more than the image holds.
    std::pair<CliResult, std::optional<std::string>> ScanDamaged(const std::string& bytes, const std::string& row) {
        const std::string image = Path("damaged.img");
        std::ofstream(image, std::ios::binary | std::ios::trunc) << bytes;
        auto ran = Cli({"--image", image, "--profiles", "--include-deleted"}, {.fileSizeLimit = 64 << 20, .signal = SIGKILL});
        EXPECT_EQ(ran.first.signal, 0) << row << ": the run did not end";
        if (ran.first.signal != 0) ran.second.reset();  // a report written on without end is not read
        for (const auto& made : fs::recursive_directory_iterator(out))
            EXPECT_LE(made.is_regular_file() ? made.file_size() : 0, bytes.size()) << row << ": " << made.path();
        return ran;
    }
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

// The deleted photo with its times and its former digest, and the names the index kept of the
// old photos whose records the new files took: each such name only, with no copy, no times and
// no digest. Live files keep their times at the ends of what NTFS and the report keep.
TEST_F(DiskImages, DeletedFilesAndEdgeTimesAreReadAsTheVolumeKeepsThem) {
    const ParsedReport report = ParseReport(images->Scan({"--image", images->Path("case.E01"), "--profiles", "--include-deleted"}));
    EXPECT_TRUE(report.rest.starts_with("<hr>End of Report<br>")) << report.rest.substr(0, 200);
    const std::string cache = "case.E01, partition 2: \\" + std::regex_replace(kCache, std::regex("/"), "\\");
    const std::array<std::string, 6> rows[] = {  // name, status, created, modified, accessed, MD5
        {kDeleted, "deleted (its content may have been partly overwritten)", "3/15/2010 2:05:09 PM (UTC)", "3/16/2010 (UTC)",
         "3/17/2010 1:02:03 AM (UTC)", "df4eea01b3695dc7c802e1249a37559f"},
        {"n1601001_11[1].jpg", "", "1/1/1601 (UTC)", "5/5/1965 1:14:15 PM (UTC)", "2/28/2200 11:59:59 PM (UTC)",
         "0cc175b9c0f1b6a831c399e269772661"},
        {"n9999001_11[1].jpg", "", "12/31/9999 11:59:59 PM (UTC)", "1/1/1970 (UTC)", "2/7/2106 6:28:16 AM (UTC)",
         "c3fcd3d76192e4007dfb496cca67e13b"}};
    for (const auto& row : rows) {
        const auto e = std::ranges::find(report.entries, row[0], &ParsedEntry::name);
        ASSERT_NE(e, report.entries.end()) << row[0];
        EXPECT_EQ((std::array{e->path, e->status, e->created, e->modified, e->accessed, e->md5}),
                  (std::array{cache + row[0], row[1], row[2], row[3], row[4], row[5]}));
    }
    int reused = 0;
    for (const ParsedEntry& entry : report.entries) {
        if (!entry.path.starts_with("case.E01, partition 2: \\Users\\alice\\Old\\")) continue;
        const std::string name = "n" + entry.userId + "_11[1].jpg", unknown = "Unable to determine";
        ++reused;
        EXPECT_EQ((std::array{entry.path.substr(entry.path.rfind('\\') + 1), entry.name, entry.status, entry.created, entry.modified,
                              entry.accessed, entry.md5, entry.image}),
                  (std::array<std::string, 8>{name, name, "deleted (record reused, content lost)", unknown, unknown, unknown,
                                              "error generating md5 hash", ""}));
    }
    EXPECT_GE(reused, 1);
}

// A byte in the middle of the first zlib stream whose output holds MFT records of alice's
// folders; npos when none.
std::size_t InCompressedMftRecords(const std::string& bytes) {
    const std::string alice("a\0l\0i\0c\0e\0", 10);
    std::string out(1 << 16, '\0');
    for (std::size_t at = bytes.find('\x78'); at != std::string::npos; at = bytes.find('\x78', at + 1)) {
        uLongf outLength = out.size();
        uLong inLength = bytes.size() - at;
        if (uncompress2(reinterpret_cast<Bytef*>(out.data()), &outLength, reinterpret_cast<const Bytef*>(bytes.data() + at),
                        &inLength) != Z_OK)
            continue;
        const std::string_view output(out.data(), outLength);
        if (output.find("FILE0") != output.npos && output.find(alice) != output.npos) return at + inLength / 2;
    }
    return std::string::npos;
}

// Damages the byte that `find` finds in the first of an E01's segment files it finds one in.
bool DamageInSegments(const fs::path& first, const std::function<std::size_t(const std::string&)>& find) {
    for (char last = '1'; last <= '9'; ++last) {
        const fs::path file = fs::path(first).replace_extension(std::string(".E0") + last);
        std::string bytes = ReadBytes(file);
        if (const std::size_t at = find(bytes); at != std::string::npos) {
            bytes[at] ^= 0x5A;
            return (std::ofstream(file, std::ios::binary) << bytes).good();
        }
    }
    return false;
}

// Every form of image, whole or cut short, damaged or made hostile: what --list-partitions says
// of it, and what a scan of it does. A scan that reads it gives the mounted volume's entries,
// with paths that begin with the image's name and partition and go on with "\"; a photo whose
// bytes lie in a damaged part (read as zeros) has no digest and no copy; a run that met such a
// part is incomplete and names it. What cannot be read is refused before anything is written.
TEST_F(DiskImages, EveryImageFormIsReadOrRefusedAsItsBytesAllow) {
    // Sets whose segments were cut, or replaced by a link or a FIFO (which must never be opened);
    // an E01 with the photo's chunk to damage, a compressed one with the profile folders' records
    // to damage; a GPT disk whose header is damaged; an ext2 superblock.
    ASSERT_EQ(Shell("cd " + Quote(images->tree.RootText()) + " && mkdir two photo && cp case.E01 case.E02 two/ && cp case.E0? photo/ && "
                    "for set in cut zero fifo long empty ewf; do mkdir $set && cp split.00? $set/; done && cp case.E0? ewf/ && "
                    "ln -s disk.img link.img && truncate -s 5M cut/split.002 && ln -sf /dev/zero zero/split.003 && rm fifo/split.003 && "
                    "mkfifo fifo/split.003 && head -c 3000000 /dev/zero | tr '\\0' x > junk.bin && truncate -s 13M long/split.004 && "
                    "truncate -s 0 empty/split.004 && rm ewf/case.E02 && mkfifo ewf/case.E02 && mkfifo fifo.img && "
                    "ewfacquire -u -q -t meta -c best disk.img >/dev/null 2>&1 && truncate -s 40M gpt.img && printf 'label: gpt\\n"
                    "start=6144, size=49152, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\\n' | sfdisk -q gpt.img && dd if=volume.img "
                    "of=gpt.img bs=512 seek=6144 conv=notrunc status=none && printf 'EFI PARX' | dd of=gpt.img bs=1 seek=512 "
                    "conv=notrunc status=none && truncate -s 8M ext2.fs && mkfs.ext2 -q -F ext2.fs"), 0);
    ASSERT_TRUE(DamageInSegments(images->tree.Path("photo/case.E01"), [](const std::string& bytes) {
        const std::size_t at = bytes.find(std::string(30000, 'b'));  // a chunk's worth, between checksums
        return at == std::string::npos ? at : at + 15000;
    }));
    ASSERT_TRUE(DamageInSegments(images->tree.Path("meta.E01"), InCompressedMftRecords));

    const std::string md5 = ReadBytes(images->tree.Path("disk.md5")).substr(0, 32);
    const std::string e01 = "(3 files, " + std::to_string(fs::file_size(images->tree.Path("case.E01")) +
        fs::file_size(images->tree.Path("case.E02")) + fs::file_size(images->tree.Path("case.E03"))) + " bytes; MD5 stored in the image: " + md5;
    const std::string table = "Partition  Offset          Size            File system  Profile folders\n";
    const std::string ntfs = "3145728         25165824        NTFS         Users, Documents and Settings\n";
    const std::string unknown = "-            -  (Cannot determine file system type", outside = "-            -  (slot lies outside the image)\n";
    const std::string profiles = "NTFS         Users, Documents and Settings  (", damaged = "\nDamaged parts of the disk image (read as zeros): ";
    const std::string gpt = "Warning: The disk image's GPT could not be read; only its protective MBR was, which shows the whole disk as one slot.\n";
    const std::string partition2 = "Warning: Partition 2 of the disk image ", bare = "Warning: The disk image's file system ";
    const std::string truncated = "The disk image is shorter than its partitions say (truncated): ", segment = "A segment of the ";
    const std::string fifo = segment + "disk image is not a regular file: ";
    const auto missing = [](std::uint64_t bytes) { return "runs past the image's end: " + std::to_string(bytes) + " bytes missing"; };
    const auto slot = [](std::size_t at, std::uint32_t start, std::uint32_t sectors) {
        const std::uint32_t fields[2] = {start, sectors};  // little-endian on this machine
        return std::pair(at, std::string(reinterpret_cast<const char*>(fields), sizeof fields));
    };
    constexpr std::uint64_t kPartition = 3145728, kPartitionEnd = 28311552, kVolumeEnd = 25165824;
    const std::size_t inPhoto = ReadBytes(images->tree.Path("volume.img")).find(std::string(200000, 'b')) + 100000;
    const std::uint64_t cutInPhoto = kPartitionEnd - kPartition - inPhoto, cutBeforeMft = kPartitionEnd - kPartition - 8192;
    const std::vector<std::string> verify = {"--profiles", "--no-photos", "--verify-image"};
    struct Row {
        const char* row;
        std::string image;  // in the tree; made, when `from` is given, as a copy cut to `length` with `edits`
        const char* from = nullptr;
        std::uint64_t length = 0;
        std::vector<std::pair<std::size_t, std::string>> edits = {};
        std::vector<std::string> arguments = {"--profiles", "--no-photos"};
        int listExit = 0;
        std::string listed = "";  // a part of what --list-partitions writes; "" when it is not run
        int exit = 0;
        // All of stderr, a refusal's ending with the image's path or the segment named; a part of stdout.
        std::string err = "", named = "", out = "";
        std::string facts = "";  // the report's image line after the path: a copy's size when ""; else "": not compared
        std::string part = ", partition 2: ";
        bool lost = false;       // the photo kLost lies in a damaged part
        std::string has = "";    // a part of the report
    } rows[] = {
        {.row = "bare file system", .image = "volume.img", .facts = "(25165824 bytes)", .part = ": "},
        {.row = "split", .image = "split.001", .listed = table + "1          1048576         1048576         " + unknown + ")\n2          " + ntfs,
         .facts = "(4 files, 41943040 bytes)"},
        {.row = "E01", .image = "case.E01", .facts = e01 + ", not checked against the image's data)"},
        {.row = "E01 checked", .image = "case.E01", .arguments = verify,
         .out = "Image data: MD5 " + md5 + ", the MD5 stored in the image: it matches\n", .facts = e01 + ", checked: it matches the image's data)"},
        {.row = "whole disk checked", .image = "disk.img", .arguments = verify, .out = "Image data: MD5 " + md5 + "; the image stores no digest, "
         "so it could not be checked\n", .facts = "(41943040 bytes; no digest stored in the image, so its data could not be checked; "
         "the data's MD5 is " + md5 + ")"},
        {.row = "GPT header damaged", .image = "gpt.img", .listed = table + "1          512             41942528        " + unknown + ")\n" + gpt,
         .exit = 2, .err = gpt + "No NTFS file system in the disk image: "},
        {.row = "a folder", .image = "volume.img", .arguments = {"--folder", "/" + kCache, "--no-photos"}, .has = "found: 5<hr>"},
        {.row = "a folder named with \\", .image = "volume.img", .arguments = {"--folder", "\\Users\\alice", "--no-photos"}, .has = "found: 5<hr>"},
        {.row = "a folder without subfolders", .image = "volume.img", .arguments = {"--folder", "/Users/alice/", "--no-photos", "--no-subfolders"},
         .has = "found: 0<hr>"},
        {.row = "deleted photos' folder", .image = "volume.img", .arguments = {"--folder", "Users/alice/Old", "--no-photos"}, .has = "found: 0<hr>"},
        {.row = "not an image", .image = "junk.bin", .exit = 2, .err = "Not a disk image with a partition table or a file system that can be read: "},
        {.row = "an E01 segment missing", .image = "two/case.E01", .exit = 2,
         .err = "The E01 image is incomplete or corrupt (a segment file cut short or missing): "},
        {.row = "no such partition", .image = "disk.img", .arguments = {"--partition", "3", "--profiles"}, .exit = 2,
         .err = "The disk image has no partition 3 (it has partitions 1 to 2): "},
        {.row = "no NTFS there", .image = "disk.img", .arguments = {"--partition", "1", "--profiles"}, .exit = 2,
         .err = "Partition 1 of the disk image holds no NTFS file system (Cannot determine file system type): "},
        {.row = "the image a link", .image = "link.img", .exit = 2, .err = segment + "disk image is a link: "},
        {.row = "the image a FIFO", .image = "fifo.img", .exit = 2, .err = "Not a disk image file: "},
        {.row = "no such folder", .image = "disk.img", .arguments = {"--folder", "/Users/nobody"}, .exit = 2,
         .err = "Folder to search not found in the disk image: /Users/nobody\n"},
        {.row = "split segment empty", .image = "empty/split.001", .exit = 2, .err = segment + "split image is empty: ", .named = "empty/split.004"},
        {.row = "a split segment cut short", .image = "cut/split.001", .exit = 2,
         .err = segment + "split image is not as long as the first (cut short or replaced): ", .named = "cut/split.002"},
        {.row = "the last split segment longer", .image = "long/split.001", .exit = 2, .err = segment + "split image is longer than the first: ",
         .named = "long/split.004"},
        {.row = "a split segment a link to a device", .image = "zero/split.001", .exit = 2, .err = segment + "disk image is a link: ",
         .named = "zero/split.003"},
        {.row = "a split segment a FIFO", .image = "fifo/split.001", .exit = 2, .err = fifo, .named = "fifo/split.003"},
        {.row = "an E01 segment a FIFO", .image = "ewf/case.E01", .exit = 2, .err = fifo, .named = "ewf/case.E02"},
        // Damaged E01 chunks, read by libewf as zeros.
        {.row = "a photo's chunk", .image = "photo/case.E01", .arguments = {"--profiles"}, .exit = 3, .out = damaged + "1\n", .lost = true},
        {.row = "a photo's chunk, checked first", .image = "photo/case.E01", .arguments = {"--profiles", "--verify-image"}, .exit = 3,
         .out = ": it does NOT match\n", .lost = true},
        {.row = "the profile folders' MFT records", .image = "meta.E01", .listExit = 3,
         .listed = "Warning: damaged parts of the image (read as zeros) were met while reading its partitions: ", .exit = 3,
         .err = "Cannot read folder: meta.E01, partition 2: \\Users\\: Input/output error\nCannot read folder: "
                "meta.E01, partition 2: \\Documents and Settings\\: Input/output error\n", .out = damaged},
        // Images cut short: searched as far as they go, the bytes past the end one damaged part.
        // A slot that runs past the end around a volume that does not is searched whole.
        {.row = "a partition cut in a photo", .image = "cut1.img", .from = "disk.img", .length = kPartition + inPhoto,
         .listed = profiles + missing(cutInPhoto) + ")\n", .exit = 3, .err = partition2 + missing(cutInPhoto) + ".\n",
         .out = damaged + "1\n", .lost = true},
        {.row = "a bare file system cut in a photo", .image = "cut2.img", .from = "volume.img", .length = inPhoto,
         .listed = profiles + missing(kVolumeEnd - inPhoto) + ")\n", .exit = 3, .err = bare + missing(kVolumeEnd - inPhoto) + ".\n",
         .out = damaged + "1\n", .part = ": ", .lost = true},
        {.row = "a bare file system cut after its files", .image = "cut3.img", .from = "volume.img", .length = kVolumeEnd - 1048576,
         .listed = profiles + missing(1048576) + ")\n", .exit = 3, .err = bare + missing(1048576) + ".\n", .out = damaged + "1\n", .part = ": "},
        {.row = "a partition without its backup boot sector", .image = "cut4.img", .from = "disk.img", .length = kPartitionEnd - 512,
         .listed = profiles + missing(512) + ")\n", .err = partition2 + missing(512) + ".\n"},
        {.row = "a slot past the end beside the intact NTFS partition", .image = "cut5.img", .from = "disk.img",
         .edits = {{446 + 32 + 4, "\x83"}, slot(446 + 32 + 8, 57344, 204800)}, .listed = unknown + "; " + missing(92274688) + ")\n",
         .err = "Warning: Partition 3 of the disk image " + missing(92274688) + ".\n"},
        {.row = "a partition cut before its MFT", .image = "cut6.img", .from = "disk.img", .length = kPartition + 8192, .listExit = 3,
         .listed = "; " + missing(cutBeforeMft) + ")\n", .exit = 2, .err = partition2 + missing(cutBeforeMft) + ".\n" + truncated},
        {.row = "a bare file system cut before its MFT", .image = "cut7.img", .from = "volume.img", .length = 8192, .listExit = 2,
         .listed = truncated, .exit = 2, .err = truncated},
        {.row = "a partition that starts past the end", .image = "cut8.img", .from = "disk.img", .length = kPartition - 1048576,
         .listed = outside, .exit = 2, .err = "No NTFS file system in the disk image: "},
        // A bad MBR slot beside the NTFS partition: one past the image's end is listed as such and
        // left alone (partitions are numbered in the order of their start), one that overlaps it is
        // warned of. A partition that also carries an ext2 superblock is read as NTFS for its type.
        {.row = "a slot outside the image", .image = "outside.img", .from = "disk.img",
         .edits = {{446 + 4, "\x83"}, slot(446 + 8, 0xFFFFFFF0, 0x1000)},
         .listed = table + "1          " + ntfs + "2          2199023247360   2097152         " + outside, .part = ", partition 1: "},
        {.row = "overlapping slots", .image = "overlap.img", .from = "disk.img", .edits = {slot(446 + 8, 2048, 8192)},
         .listed = table + "1          1048576         4194304         " + unknown + ")\n2          " + ntfs +
                   "Warning: Partitions 1 and 2 of the disk image overlap.\n", .err = "Warning: Partitions 1 and 2 of the disk image overlap.\n"},
        {.row = "an ext2 superblock in the NTFS partition", .image = "ext2.img", .from = "disk.img",
         .edits = {{6144 * 512 + 1024, ReadBytes(images->tree.Path("ext2.fs")).substr(1024, 1024)}},
         .listed = table + "1          1048576         1048576         " + unknown + ")\n2          " + ntfs}};
    for (const Row& c : rows) {
        const std::string path = images->Path(c.image);
        if (c.from != nullptr) {
            std::string bytes = ReadBytes(images->tree.Path(c.from));
            bytes.resize(c.length != 0 ? c.length : bytes.size());
            for (const auto& [offset, edit] : c.edits) bytes.replace(offset, edit.size(), edit);
            std::ofstream(path, std::ios::binary) << bytes;
        }
        if (!c.listed.empty()) {
            const CliResult list = RunCli(images->tree, {"--list-partitions", path});
            EXPECT_EQ(std::pair(list.exitCode, (list.out + list.err).find(c.listed) != std::string::npos), std::pair(c.listExit, true))
                << c.row << "\n" << list.out << list.err;
        }
        std::vector<std::string> arguments{"--image", path};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const auto [run, report] = images->Cli(arguments);
        EXPECT_EQ(std::tuple(run.exitCode, run.err, report.has_value()),
                  std::tuple(c.exit, c.err + (c.err.ends_with(": ") ? (c.named.empty() ? path : images->Path(c.named)) + "\n" : ""), c.exit != 2))
            << c.row << "\n" << run.out;
        EXPECT_EQ(std::pair(run.out.find(c.out) != std::string::npos,
                            run.out.find("Entries whose bytes lie in a damaged part of the disk image: 1\n") != std::string::npos),
                  std::pair(true, c.lost)) << c.row << "\n" << run.out;
        const std::string text = report.value_or("");
        EXPECT_NE(text.find(c.has), std::string::npos) << c.row;
        EXPECT_EQ(std::pair(text.find("<b>Warning:</b> damaged parts of the disk image, read as zeros: ") != std::string::npos,
                            text.find(damaged.substr(1)) != std::string::npos), std::pair(c.exit == 3, c.exit == 3))
            << c.row << "\n" << text;
        ParsedReport parsed = ParseReport(text), expected = ParseReport(images->mountedReport);
        if (const auto lost = std::ranges::find(parsed.entries, kLost, &ParsedEntry::name); c.lost) {
            // No digest of the zeros, no copy of them.
            ASSERT_NE(lost, parsed.entries.end()) << c.row;
            EXPECT_EQ(std::tie(lost->md5, lost->image, lost->status), std::tuple("error generating md5 hash", "",
                      "unreliable: its bytes lie in a damaged part of the disk image, which was read as zeros")) << c.row;
            parsed.entries.erase(lost);
            std::erase_if(expected.entries, [](const ParsedEntry& entry) { return entry.name == kLost; });
        }
        if (c.exit == 2 || (c.facts.empty() && c.from == nullptr)) continue;
        expected.header += "<b>Disk image:</b> " + path + " " +
                           (c.facts.empty() ? "(" + std::to_string(fs::file_size(images->tree.Path(c.image))) + " bytes)" : c.facts) + "<br>\r\n";
        for (ParsedEntry& entry : expected.entries)
            entry.path = c.image + c.part + std::regex_replace(entry.path.substr(1), std::regex("/"), "\\");
        if (c.exit == 3) expected.rest = parsed.rest;  // with the damage named, as checked above
        EXPECT_EQ(parsed, expected) << c.row;
    }
}

// Byte edits of a volume's MFT records and INDX blocks, as damage or a hostile hand would make
// them. Fields are little-endian, as on this machine.
std::uint64_t Little(const std::string& bytes, std::size_t at, std::size_t size) {
    std::uint64_t value = 0;
    std::memcpy(&value, bytes.data() + at, size);
    return value;
}

// Swaps each sector's last two bytes with their slot in the update-sequence array: once to put
// the real bytes back (false when a sector end does not hold the sequence number), once more to
// make the fixups again, so that only the bytes an edit changed differ.
bool SwapSectorEnds(std::string& bytes, bool undo) {
    const std::size_t array = Little(bytes, 4, 2), count = Little(bytes, 6, 2);
    if (count == 0 || array + 2 * count > bytes.size() || (count - 1) * 512 > bytes.size()) return false;
    for (std::size_t i = 1; i < count; ++i) {
        if (undo && bytes.compare(i * 512 - 2, 2, bytes, array, 2) != 0) return false;
        std::swap_ranges(bytes.begin() + i * 512 - 2, bytes.begin() + i * 512, bytes.begin() + array + 2 * i);
    }
    return true;
}

// The offset of the first MFT record ("FILE", 1024 bytes) or INDX block (4096 bytes) for which
// `edit`, given its bytes with the fixups undone, returns true; what it changed is written back.
std::optional<std::size_t> Edit(std::string& image, const std::string& magic, const std::function<bool(std::string&)>& edit) {
    const std::size_t size = magic == "FILE" ? 1024 : 4096;
    for (std::size_t at = 0; at + size <= image.size(); at += size) {
        std::string bytes = image.substr(at, size);
        if (image.compare(at, 4, magic) != 0 || !SwapSectorEnds(bytes, true) || !edit(bytes)) continue;
        SwapSectorEnds(bytes, false);
        image.replace(at, size, bytes);
        return at;
    }
    return std::nullopt;
}

std::optional<std::size_t> FindAttribute(const std::string& record, std::uint32_t type) {
    for (std::size_t at = Little(record, 0x14, 2); at + 8 <= record.size() && Little(record, at, 4) != 0xFFFFFFFF;) {
        if (Little(record, at, 4) == type) return at;
        if (Little(record, at + 4, 4) == 0) break;
        at += Little(record, at + 4, 4);
    }
    return std::nullopt;
}

// A $FILE_NAME value at `at` holds the ASCII name: its length at 0x40, its UTF-16 at 0x42.
bool NameAt(const std::string& bytes, std::size_t at, const std::string& name) {
    std::string wide;
    for (const char c : name) wide += std::string{c, '\0'};
    return at + 0x42 + wide.size() <= bytes.size() && static_cast<std::uint8_t>(bytes[at + 0x40]) == name.size() &&
           bytes.compare(at + 0x42, wide.size(), wide) == 0;
}

// The record is in use and its first $FILE_NAME holds the name.
bool Named(const std::string& record, const std::string& name) {
    const auto names = FindAttribute(record, 0x30);
    return (Little(record, 0x16, 2) & 1) != 0 && names && NameAt(record, *names + Little(record, *names + 0x14, 2), name);
}

std::optional<std::size_t> FindRecord(std::string& image, const std::string& name) {
    return Edit(image, "FILE", [&](std::string& record) { return Named(record, name); });
}

// The index entry, searched from `from`, whose key is a $FILE_NAME with the name: the file's
// reference (8 bytes), its length, its key's length, flags, then the key.
std::optional<std::size_t> FindIndexEntry(const std::string& bytes, const std::string& name, std::size_t from) {
    for (std::size_t at = from; at + 0x52 <= bytes.size(); ++at)
        if (NameAt(bytes, at + 0x10, name) && Little(bytes, at + 0x0A, 2) >= 0x42 + 2 * name.size()) return at;
    return std::nullopt;
}

// Changes one byte of the update sequence number of the record with the name: the number then
// matches no sector's end.
std::function<bool(std::string&)> BreakUpdateSequence(const std::string& name) {
    return [name](std::string& image) {
        const auto record = FindRecord(image, name);
        if (record) image[*record + Little(image, *record + 4, 2)] ^= 0x5A;
        return record.has_value();
    };
}

// Rewrites the $DATA attribute of the record of kPhoto.
std::function<bool(std::string&)> EditPhotoData(const std::function<void(std::string& record, std::size_t data)>& edit) {
    return [edit](std::string& image) {
        return Edit(image, "FILE", [&](std::string& record) {
                   const auto data = FindAttribute(record, 0x80);
                   if (Named(record, kPhoto) && data) edit(record, *data);
                   return Named(record, kPhoto) && data;
               }).has_value();
    };
}

// Points the index entry of `child` in the index of the folder named `folder` (its $INDEX_ROOT,
// or with inBlock the INDX block that holds it) at the record of the folder named `target`.
std::function<bool(std::string&)> Repoint(std::string folder, std::string child, std::string target, bool inBlock) {
    return [=](std::string& image) {
        const auto record = FindRecord(image, target);
        // Its record number and sequence number, from the record's header.
        const std::uint64_t reference = record ? Little(image, *record + 0x2C, 4) | Little(image, *record + 0x10, 2) << 48 : 0;
        return record && Edit(image, inBlock ? "INDX" : "FILE", [&](std::string& bytes) {
                   const auto root = inBlock ? std::optional<std::size_t>(0) : FindAttribute(bytes, 0x90);
                   const auto entry = root && (inBlock || Named(bytes, folder)) ? FindIndexEntry(bytes, child, *root) : std::nullopt;
                   if (entry) std::memcpy(bytes.data() + *entry, &reference, 8);
                   return entry.has_value();
               });
    };
}

// Copies of the volumes, damaged by byte edits of their MFT records and indexes. Whatever the
// damage, the run ends by itself; every digest the report gives is the intact file's; damage is
// never named as a deletion; and evidence that cannot be read is named, with exit 3.
TEST_F(DiskImages, EveryDamageToAVolumeEndsTheRunWithWhatCouldBeReadAndTheRestNamed) {
    const std::string recorded = "its recorded size, ";
    // Each row: what is damaged in which volume; the exit status, a part of stderr, the photos with a
    // Status line and its text, the photos that have no entry.
    const struct {
        const char* row; const char* volume; std::function<bool(std::string& image)> damage;
        int exit; std::string error; std::map<std::string, std::string> status; std::vector<std::string> missing;
    } rows[] = {
        {"intact", "base.img", {}, 0, "", {}, {}},
        {"a folder record's update sequence number", "base.img", BreakUpdateSequence("AB12CD34"), 3,
         "IE\\AB12CD34\\: Input/output error", {}, {kPhoto, kSmall}},
        {"the root folder's record's update sequence number", "base.img", BreakUpdateSequence("."), 3,
         ".img: \\: Input/output error", {}, {kPhoto, kSmall, kDeep}},
        // A system record The Sleuth Kit walks at the first folder it reads: that read alone fails.
        {"$Reparse's first attribute offset", "base.img",
         [](std::string& image) {
             const auto record = FindRecord(image, "$Reparse");
             if (record) image.replace(*record + 0x14, 2, "\x38\xFB");
             return record.has_value();
         },
         0, "", {}, {}},
        {"a photo record's update sequence number", "base.img", BreakUpdateSequence(kSmall), 3, "",
         {{kSmall, "its MFT record could not be read (damaged): no times, no content"}}, {}},
        {"a size above the allocation", "base.img",
         EditPhotoData([](std::string& record, std::size_t data) {
             const std::uint64_t size = Little(record, data + 0x28, 8) + 65536;
             std::memcpy(record.data() + data + 0x30, &size, 8);
         }),
         3, "", {{kPhoto, recorded + "266240 bytes, is larger than the space given to it: the record is damaged"}}, {}},
        {"a run past the volume's end", "base.img",
         EditPhotoData([](std::string& record, std::size_t data) {
             // One run of the same length, 0x7FFFFF clusters in: far past 16 MiB.
             const std::size_t runs = data + Little(record, data + 0x20, 2);
             const int lengthBytes = record[runs] & 0x0F;
             record[runs] = static_cast<char>(0x30 | lengthBytes);
             record.replace(runs + 1 + lengthBytes, 3, "\xFF\xFF\x7F");
             record[runs + 4 + lengthBytes] = 0;
         }),
         3, "", {{kPhoto, "its data lies partly past the end of its volume: the record is damaged"}}, {}},
        {"a huge sparse photo and one of many runs", "sparse.img", {}, 3, "",
         {{kHuge, recorded + "3221225472 bytes, is larger than its volume: the record is damaged"}}, {}},
        // Index entries that lead back to a folder already entered: the walk ends the loop and names
        // it. The folder whose entry was changed is still found, through the records that name it
        // as their parent, so every photo keeps its entry.
        {"an index entry that leads to an ancestor", "base.img", Repoint("IE", "AB12CD34", "alice", false), 3,
         "IE\\AB12CD34\\: A folder already searched (a loop); not searched again", {}, {}},
        {"an INDX block entry that leads to its own folder", "base.img", Repoint("Many", "zsub", "Many", true), 3,
         "Many\\zsub\\: A folder already searched (a loop); not searched again", {}, {}},
    };
    for (const auto& c : rows) {
        std::string image = ReadBytes(images->tree.Path(c.volume));
        ASSERT_TRUE(!c.damage || c.damage(image)) << c.row << ": the damage could not be made";
        const auto [run, report] = images->ScanDamaged(image, c.row);
        EXPECT_EQ(run.exitCode, c.exit) << c.row << "\n" << run.err;
        EXPECT_NE(run.err.find(c.error), std::string::npos) << c.row << "\n" << run.err;
        const ParsedReport parsed = ParseReport(report.value_or(""));
        std::map<std::string, std::string> status;
        for (const ParsedEntry& entry : parsed.entries) {
            // A digest is the intact file's or none.
            EXPECT_TRUE(entry.md5 == "error generating md5 hash" ||
                        std::tie(entry.md5, entry.status) == std::tie(images->digests[entry.name], ""))
                << c.row << ": " << entry.name << " " << entry.md5 << " " << entry.status;
            // A record read for all but its data stream still gives the times.
            EXPECT_FALSE((entry.status.starts_with("its recorded size") || entry.status.starts_with("its data lies")) &&
                         entry.modified == "Unable to determine") << c.row << ": " << entry.name;
            if (!entry.status.empty()) status[entry.name] = entry.status;
        }
        EXPECT_EQ(status, c.status) << c.row;
        for (const std::string& photo : c.missing)
            EXPECT_EQ(std::ranges::find(parsed.entries, photo, &ParsedEntry::name), parsed.entries.end()) << c.row << photo;
        EXPECT_EQ(parsed.entries.size(), (c.volume == std::string("sparse.img") ? 5u : 3u) - c.missing.size()) << c.row;
    }

    // Bytes of the MFT records and index blocks set at random, 1 to 20 per copy (fixed seeds):
    // every run ends by itself, with a status that says complete, incomplete or refused. Under the
    // sanitizer build this is where a parser of damaged records would show a fault; there The
    // Sleuth Kit's own attempts at absurd allocations fail softly, as they do in a normal build.
    const std::string intact = ReadBytes(images->tree.Path("base.img"));
    std::vector<std::pair<std::size_t, std::size_t>> structures;  // offset and size of each record and block
    for (const auto& [magic, size] : {std::pair<std::string, std::size_t>{"FILE", 1024}, {"INDX", 4096}})
        for (std::size_t at = intact.find(magic); at != std::string::npos; at = intact.find(magic, at + 1))
            if (at % size == 0) structures.emplace_back(at, size);
    ASSERT_GT(structures.size(), 40u);
    const char* sanitizer = std::getenv("ASAN_OPTIONS");
    ::setenv("ASAN_OPTIONS", (std::string(sanitizer ? sanitizer : "") + ":allocator_may_return_null=1").c_str(), 1);
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 random(seed);
        std::string damaged = intact;
        for (unsigned bytes = 1 + random() % 20; bytes > 0; --bytes) {
            const auto& [offset, size] = structures[random() % structures.size()];
            damaged[offset + random() % size] = static_cast<char>(random());
        }
        const int exit = images->ScanDamaged(damaged, "seed " + std::to_string(seed)).first.exitCode;
        EXPECT_TRUE(exit == 0 || exit == 2 || exit == 3) << "seed " << seed << ": exit " << exit;
    }
    if (sanitizer != nullptr) ::setenv("ASAN_OPTIONS", sanitizer, 1); else ::unsetenv("ASAN_OPTIONS");
}

}  // namespace

}  // namespace snapsift::test
