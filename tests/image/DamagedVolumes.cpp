// Damaged and hostile NTFS volumes: copies of a volume made during the run, each damaged by
// byte edits of its MFT records and indexes, or made sparse and huge through a mount, scanned
// by snapsift-cli. Whatever the damage, the run ends by itself; every digest the report gives is
// the intact file's; no copy is larger than the image; and evidence that cannot be read is
// named, with exit 3, never a complete run.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <cctype>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <optional>
#include <random>

#include "hash/MD5.h"
#include "support/CliRun.h"
#include "support/NtfsDamage.h"
#include "support/NtfsImages.h"
#include "support/ReportParser.h"

namespace snapsift::test {

namespace {

namespace fs = std::filesystem;

const std::string kCache = "Users/alice/AppData/Local/Microsoft/Windows/INetCache/IE/AB12CD34/";
const std::string kPhoto = "n1234567_890_123[1].jpg";  // in clusters of its own
const std::string kSmall = "n3000001_11[1].jpg";       // resident in its MFT record
const std::string kDeep = "n4000001_11[1].jpg";        // in Users/alice/Many/zsub/
const std::string kHuge = "n5000001_11[1].jpg";        // sparse, 3 GiB (sparse volume only)
const std::string kHoles = "n6000001_11[1].jpg";       // 170 runs between holes (sparse volume only)
constexpr int kHoleRuns = 170;

// Bytes (i * 31 + 7) mod 251: a run read from the wrong place gives another digest.
std::string Pattern(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 31 + 7) % 251);
    return bytes;
}

// One byte "x" at the start of every other 4 KiB cluster, holes between.
std::string HolesContent() {
    std::string bytes(static_cast<std::size_t>(kHoleRuns - 1) * 8192 + 1, '\0');
    for (int i = 0; i < kHoleRuns; ++i) bytes[static_cast<std::size_t>(i) * 8192] = 'x';
    return bytes;
}

std::string DigestOf(const std::string& bytes) {
    MD5 md5;
    md5.Init();
    md5.Update({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    return md5.Final();
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

struct Volumes {
    TempTree tree;
    std::string skip;
    std::map<std::string, std::string> digests;  // each photo's name and the digest of its bytes

    std::string Path(const std::string& name) const { return tree.Text(name); }

    // base.img: the photos and a folder whose index fills an INDX block; sparse.img: the same
    // with a huge sparse photo and one of many runs, written through a mount.
    bool Make() {
        skip = WhyNoNtfsVolumes({"truncate", "dd"});
        if (!skip.empty()) return true;
        tree.Folder("m");
        std::vector<std::pair<std::string, std::string>> files = {
            {kCache + kPhoto, Pattern(200000)}, {kCache + kSmall, Pattern(300)},
            {"Users/alice/Many/zsub/" + kDeep, Pattern(5000)}};
        for (int i = 0; i < 36; ++i) files.emplace_back("Users/alice/Many/f" + std::to_string(10 + i) + ".txt", "f");
        for (const auto& [path, bytes] : files)
            if (path.ends_with(".jpg")) digests[path.substr(path.rfind('/') + 1)] = Lower(DigestOf(bytes));
        digests[kHoles] = Lower(DigestOf(HolesContent()));
        if (!MakeNtfsVolume(Path("base.img"), 16, files, Path("m"))) return false;
        std::string writes;
        for (int i = 0; i < kHoleRuns; ++i)
            writes += "printf x | dd of=" + Quote(Path("m/" + kCache + kHoles)) + " bs=4096 seek=" + std::to_string(2 * i) +
                      " conv=notrunc status=none && ";
        return Shell("cp " + Quote(Path("base.img")) + " " + Quote(Path("sparse.img"))) == 0 &&
               MountNtfs(Path("sparse.img"), Path("m")) &&
               Shell(writes + "truncate -s 3G " + Quote(Path("m/" + kCache + kHuge))) == 0 && Unmount(Path("m"));
    }
};

// A damage made in a copy of a volume; false when it could not be made.
using Damage = std::function<bool(const std::string& image)>;

// Changes one byte of the update sequence number of the record of the file or folder with the
// name: the number then matches no sector's end.
bool BreakUpdateSequence(const std::string& image, const std::string& name) {
    const auto record = FindRecord(image, name);
    std::string header(8, '\0');
    if (!record || !std::ifstream(image, std::ios::binary).seekg(static_cast<std::streamoff>(*record)).read(header.data(), 8))
        return false;
    const std::uint64_t slot = *record + GetLittle(header, 4, 2);
    std::string number(1, '\0');
    std::ifstream(image, std::ios::binary).seekg(static_cast<std::streamoff>(slot)).read(number.data(), 1);
    return EditRaw(image, slot, std::string(1, static_cast<char>(number[0] ^ 0x5A)));
}

// Rewrites one attribute of the record of the file with the name.
bool EditAttribute(const std::string& image, const std::string& name, std::uint32_t type,
                   const std::function<void(std::string& record, std::size_t attribute)>& edit) {
    const auto record = FindRecord(image, name);
    bool found = false;
    return record && EditFixedUp(image, *record, kRecordSize, [&](std::string& bytes) {
               if (const auto attribute = FindAttribute(bytes, type)) {
                   found = true;
                   edit(bytes, *attribute);
               }
           }) && found;
}

// Points the index entry of `child` in the index of the folder named `folder` (its $INDEX_ROOT,
// or with inBlock the INDX block that holds it) at the record of the folder named `target`.
bool RepointEntry(const std::string& image, const std::string& folder, const std::string& child,
                  const std::string& target, bool inBlock) {
    const auto targetRecord = FindRecord(image, target);
    const auto folderRecord = inBlock ? FindIndexBlock(image, child) : FindRecord(image, folder);
    if (!targetRecord || !folderRecord) return false;
    std::uint64_t reference = 0;
    if (!EditFixedUp(image, *targetRecord, kRecordSize, [&](std::string& bytes) { reference = ReferenceOfRecord(bytes); }))
        return false;
    bool found = false;
    return EditFixedUp(image, *folderRecord, inBlock ? kIndexBlockSize : kRecordSize,
                       [&](std::string& bytes) {
                           const auto root = inBlock ? std::optional<std::size_t>(0) : FindAttribute(bytes, 0x90);
                           const auto entry = root ? FindIndexEntry(bytes, child, *root) : std::nullopt;
                           if (!entry) return;
                           found = true;
                           SetLittle(bytes, *entry, 8, reference);
                       }) && found;
}

struct Row {
    const char* row;
    const char* volume;
    Damage damage;
    int exit;
    std::string error;                          // a line stderr holds; "" for none
    std::map<std::string, std::string> status;  // photos with a Status line, and the text it begins with
    std::vector<std::string> missing;           // photos that have no entry
};

class DamagedVolumes : public ::testing::Test {
protected:
    void SetUp() override {
        static Volumes made;
        static const bool ok = made.Make();
        ASSERT_TRUE(ok) << "the volumes could not be made";
        if (!made.skip.empty()) GTEST_SKIP() << made.skip;
        volumes = &made;
    }

    // The row's volume, damaged, scanned with photos and deleted files.
    void Check(const Row& c) {
        static int runs = 0;
        const std::string name = "row" + std::to_string(++runs);
        const std::string image = volumes->Path(name + ".img"), out = volumes->Path(name);
        ASSERT_EQ(Shell("cp " + Quote(volumes->Path(c.volume)) + " " + Quote(image)), 0) << c.row;
        ASSERT_TRUE(!c.damage || c.damage(image)) << c.row << ": the damage could not be made";
        fs::create_directory(out);
        // A run that walked a loop would write on without end: its writes stop at 64 MiB, and it is
        // killed unless it ends within 30 seconds.
        const CliOptions options{.fileSizeLimit = 64 << 20, .signal = SIGKILL};
        const CliResult run =
            RunCli(volumes->tree, {"--image", image, "--profiles", "--include-deleted", "--output", out}, options);
        ASSERT_EQ(run.signal, 0) << c.row << ": the run did not end";
        EXPECT_EQ(run.exitCode, c.exit) << c.row << "\n" << run.err;
        if (!c.error.empty()) {
            EXPECT_NE(run.err.find(c.error), std::string::npos) << c.row << "\n" << run.err;
        }

        const fs::path reportPath = RunReport(out);
        ASSERT_FALSE(reportPath.empty()) << c.row;
        const ParsedReport report = ParseReport(ReadBytes(reportPath));
        std::map<std::string, std::string> status;
        for (const ParsedEntry& entry : report.entries) {
            // A digest is the intact file's or none; damage is never named as a deletion.
            if (entry.md5 != "error generating md5 hash") {
                EXPECT_EQ(entry.md5, volumes->digests[entry.name]) << c.row << ": " << entry.name;
                EXPECT_TRUE(entry.status.empty()) << c.row << ": " << entry.name;
            }
            EXPECT_FALSE(entry.status.starts_with("deleted")) << c.row << ": " << entry.name;
            // A record read for all but its data stream still gives the times.
            if (entry.status.starts_with("its recorded size") || entry.status.starts_with("its data lies")) {
                EXPECT_NE(entry.modified, "Unable to determine") << c.row << ": " << entry.name;
            }
            if (!entry.status.empty()) status[entry.name] = entry.status;
        }
        for (const auto& [photo, text] : c.status)
            EXPECT_TRUE(status.contains(photo) && status[photo].starts_with(text))
                << c.row << ": " << photo << ": " << status[photo];
        EXPECT_EQ(status.size(), c.status.size()) << c.row;
        for (const std::string& photo : c.missing)
            EXPECT_FALSE(std::ranges::any_of(report.entries, [&](const ParsedEntry& e) { return e.name == photo; }))
                << c.row << ": " << photo;
        const auto expectedEntries = (c.volume == std::string("sparse.img") ? 5u : 3u) - c.missing.size();
        EXPECT_EQ(report.entries.size(), expectedEntries) << c.row;
        for (const auto& made : fs::recursive_directory_iterator(out))
            if (made.is_regular_file()) {
                EXPECT_LE(made.file_size(), fs::file_size(image)) << c.row << ": " << made.path();
            }
    }

    Volumes* volumes = nullptr;
};

TEST_F(DamagedVolumes, EveryDamageEndsTheRunWithWhatCouldBeReadAndTheRestNamed) {
    const std::string size = "its recorded size, ";
    const Row rows[] = {
        {"intact", "base.img", {}, 0, "", {}, {}},
        {"a folder record's update sequence number", "base.img",
         [](const std::string& image) { return BreakUpdateSequence(image, "AB12CD34"); },
         3, "IE\\AB12CD34\\: Input/output error", {}, {kPhoto, kSmall}},
        {"the root folder's record's update sequence number", "base.img",
         [](const std::string& image) { return BreakUpdateSequence(image, "."); }, 3, ".img: \\: Input/output error", {},
         {kPhoto, kSmall, kDeep}},
        // A system record The Sleuth Kit walks at the first folder it reads: that read alone fails.
        {"$Reparse's first attribute offset", "base.img",
         [](const std::string& image) {
             const auto record = FindRecord(image, "$Reparse");
             return record && EditRaw(image, *record + 0x14, std::string("\x38\xFB", 2));
         },
         0, "", {}, {}},
        {"a photo record's update sequence number", "base.img",
         [](const std::string& image) { return BreakUpdateSequence(image, kSmall); }, 3, "",
         {{kSmall, "its MFT record could not be read (damaged): no times, no content"}}, {}},
        {"a size above the allocation", "base.img",
         [](const std::string& image) {
             return EditAttribute(image, kPhoto, 0x80, [](std::string& record, std::size_t data) {
                 SetLittle(record, data + 0x30, 8, GetLittle(record, data + 0x28, 8) + 65536);
             });
         },
         3, "", {{kPhoto, size + "266240 bytes, is larger than the space given to it: the record is damaged"}}, {}},
        {"a run past the volume's end", "base.img",
         [](const std::string& image) {
             return EditAttribute(image, kPhoto, 0x80, [](std::string& record, std::size_t data) {
                 // One run of the same length, 0x7FFFFF clusters in: far past 16 MiB.
                 const std::size_t runs = data + GetLittle(record, data + 0x20, 2);
                 const int lengthBytes = record[runs] & 0x0F;
                 record[runs] = static_cast<char>(0x30 | lengthBytes);
                 SetLittle(record, runs + 1 + lengthBytes, 3, 0x7FFFFF);
                 record[runs + 4 + lengthBytes] = 0;
             });
         },
         3, "", {{kPhoto, "its data lies partly past the end of its volume"}}, {}},
        {"a huge sparse photo and one of many runs", "sparse.img", {}, 3, "", {{kHuge, size + "3221225472 bytes, is larger than its volume: the record is damaged"}}, {}},
        // Index entries that lead back to a folder already entered: the walk ends the loop and names
        // it. The folder whose entry was changed is still found, through the records that name it
        // as their parent, so every photo keeps its entry.
        {"an index entry that leads to an ancestor", "base.img",
         [](const std::string& image) { return RepointEntry(image, "IE", "AB12CD34", "alice", false); }, 3,
         "IE\\AB12CD34\\: A folder already searched (a loop); not searched again", {}, {}},
        {"an INDX block entry that leads to its own folder", "base.img",
         [](const std::string& image) { return RepointEntry(image, "Many", "zsub", "Many", true); }, 3,
         "Many\\zsub\\: A folder already searched (a loop); not searched again", {}, {}},
    };
    for (const Row& c : rows) Check(c);
}

// Bytes of the MFT records and index blocks set at random, 1 to 20 per copy (fixed seeds): every
// run ends by itself, with a status that says complete, incomplete or refused, and copies no
// more than the image holds. Under the sanitizer build this is where a parser of damaged records
// would show a fault; there The Sleuth Kit's own attempts at absurd allocations fail softly, as
// they do in a normal build.
TEST_F(DamagedVolumes, RandomDamageEndsEveryRunWithAStatusThatSaysSo) {
    const std::string intact = ReadBytes(volumes->Path("base.img"));
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
        const std::string image = volumes->Path("random.img"), out = volumes->Path("random" + std::to_string(seed));
        std::ofstream(image, std::ios::binary | std::ios::trunc) << damaged;
        fs::create_directory(out);
        const CliResult run = RunCli(volumes->tree, {"--image", image, "--profiles", "--include-deleted", "--output", out},
                                     {.fileSizeLimit = 64 << 20, .signal = SIGKILL});
        EXPECT_TRUE(run.signal == 0 && (run.exitCode == 0 || run.exitCode == 2 || run.exitCode == 3))
            << "seed " << seed << ": exit " << run.exitCode << ", signal " << run.signal << "\n" << run.err;
        for (const auto& made : fs::recursive_directory_iterator(out))
            EXPECT_LE(made.is_regular_file() ? made.file_size() : 0, damaged.size()) << "seed " << seed;
    }
    if (sanitizer != nullptr) ::setenv("ASAN_OPTIONS", sanitizer, 1); else ::unsetenv("ASAN_OPTIONS");
}

}  // namespace

}  // namespace snapsift::test
