#include <gtest/gtest.h>

#include "hash/MD5.h"
#include "hash/Sha256.h"
#include "platform/EvidenceFile.h"
#include "evidence/EvidenceRead.h"
#include "text/DateTime.h"
#include "platform/OutputFile.h"
#include "support/EvidenceWalk.h"
#include "support/ScriptedVolume.h"
#include "support/TempTree.h"

namespace snapsift {

// Onto a file, a folder or a link already there, or into a missing folder: refused, and what
// was there stays. A write that fails, and a copy never finished, leave nothing behind.
TEST(NewOutputFile, NeverOverwritesAndLeavesNothingUnfinished) {
    test::TempTree tree;
    tree.Entries({{"in.jpg", "photo"}, {"out/", ""}});
    for (const char* to : {"in.jpg", "out", "gone/new"}) {
        NewOutputFile copy;
        EXPECT_TRUE(!copy.Create(tree.Text(to)) && copy.Error() != 0 && !copy.Write("x") && copy.Finish() != 0) << to;
    }
    EXPECT_EQ(test::ReadBytes(tree.Path("in.jpg")), "photo");
    {
        NewOutputFile unfinished;
        ASSERT_TRUE(unfinished.Create(tree.Text("out/unfinished.jpg")));
        EXPECT_TRUE(unfinished.Write("part"));
    }
    EXPECT_FALSE(std::filesystem::exists(tree.Path("out/unfinished.jpg")));
    NewOutputFile done;
    EXPECT_TRUE(done.Create(tree.Text("out/done.jpg")) && done.Write("pho") && done.Write("to") && done.Finish() == 0);
    EXPECT_EQ(test::ReadBytes(tree.Path("out/done.jpg")), "photo");
}

// FILETIME counts, and the 8 bytes of a "system.ntfs_crtime" attribute (7 are none).
TEST(FileTimes, ConversionsToUtcDropTheFractionAndStopAfter9999) {
    const struct { const char* row; std::uint64_t fileTime; std::optional<DateTime> date; } cases[] = {
        {"the first count", 0, DateTime{1601, 1, 1, 0, 0, 0}},
        {"one second", 10'000'000, DateTime{1601, 1, 1, 0, 0, 1}},
        {"07:03:09.750", 129071485897500000, DateTime{2010, 1, 5, 7, 3, 9}},
        {"a leap day", 125962992000000000, DateTime{2000, 2, 29, 12, 0, 0}},
        {"1900 no leap year", 94405824000000000, DateTime{1900, 3, 1, 0, 0, 0}},
        {"the last second of 9999", 2650467743999999999, DateTime{9999, 12, 31, 23, 59, 59}},
        {"the year 10000", 2650467744000000000, std::nullopt},
        {"the largest count", UINT64_MAX, std::nullopt}};
    for (const auto& c : cases) EXPECT_EQ(FileTimeToDate(c.fileTime), c.date) << c.row;
    EXPECT_EQ(FileTimeFromLittleEndian(std::string("\x60\x65\x8D\x23\xD5\x8D\xCA\x01", 8)), 129071485897500000u);
    EXPECT_EQ(FileTimeFromLittleEndian(std::string(7, '\x01')), std::nullopt);
}

// What an entry says of a file whose record, size or bytes cannot be trusted, or whose read the
// run stopped: never a digest or a copy of bytes that are not the file's, never a read that
// cannot give evidence, and a gap counted for each.
TEST(EvidenceRecorder, DamagedAbortedOrUndigestedFilesGetTheirReason) {
    constexpr std::int64_t kLong = 16 << 20;
    const struct {
        const char* row;
        FileState state;
        SystemError known;
        std::int64_t size;
        bool damaged, photos, abortAtRead;
        std::string status;
        bool digest, image;
        std::int64_t bytesRead;
        std::uint64_t incomplete, fromDamage;
    } cases[] = {
        {"sound", FileState::Present, {}, 300, false, true, false, "", true, true, 300, 0, 0},
        {"sound, over many reads", FileState::Present, {}, 300000, false, true, false, "", true, true, 300000, 0, 0},
        {"deleted, record unreadable", FileState::DeletedRecordUnreadable, {}, 300, false, true, false,
         "deleted (its MFT record could not be read: no times, no content)", false, false, 0, 1, 0},
        {"data beyond the volume", FileState::Present, kDataBeyondVolume, 200000, false, true, false,
         "its data lies partly past the end of its volume: the record is damaged", false, false, 0, 1, 0},
        {"bytes from damage", FileState::Present, {}, 200000, true, true, false,
         "unreliable: its bytes lie in a damaged part of the disk image, which was read as zeros", false, false,
         200000, 0, 1},
        {"deleted, bytes from damage", FileState::Deleted, {}, 300, true, false, false,
         "deleted (its content may have been partly overwritten); unreliable: its bytes lie in a damaged part of "
         "the disk image, which was read as zeros", false, false, 300, 0, 1},
        {"aborted in the read", FileState::Present, {}, kLong, false, true, true,
         "not examined to its end: the run was aborted while it was read", false, false, kStopAskBytes, 1, 0},
        {"too long, without photos", FileState::Present, {}, MD5::kFinalLimit, false, false, false, "", false, false,
         0, 1, 0},
    };
    for (const auto& c : cases) {
        test::TempTree tree;
        std::int64_t bytesRead = 0;
        test::ScriptedVolume volume;  // its file's bytes all "a"
        volume.file.state = c.state;
        volume.file.known = c.known;
        volume.file.size = c.size;
        volume.file.damaged = c.damaged;
        volume.file.bytesRead = &bytesRead;
        ScanState state;
        test::RecordingHost host(state);
        host.includePhotos = c.photos;
        host.onYield = [&] { state.abortRequested = c.abortAtRead; };
        test::RecordingSink sink;
        EvidenceRecorder evidence(tree.RootText(), host, sink, kSeparator, {}, &state.abortRequested);
        evidence.RecordEvidence(volume.Root(), tree.RootText() + "n1234567_890_123[1].jpg", "n1234567_890_123[1].jpg", "1234567");
        ASSERT_EQ(sink.kept.size(), 1u) << c.row;
        const ReportEntry& entry = sink.kept[0];
        const std::string bytes(static_cast<std::size_t>(c.size), 'a');
        MD5 md5;
        md5.Init();
        md5.Update({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
        // A copy is kept only when its image line names it, and then whole.
        EXPECT_EQ(std::tuple(entry.status, entry.md5.value_or("none"), entry.sha256, entry.copyFileName.has_value(),
                             test::ReadBytes(tree.Path("n1234567_890_123[1]-1.jpg"))),
                  std::tuple(c.status, c.digest ? md5.Final() : "none", c.digest ? Sha256::Of(bytes) : "",
                             c.image, c.image ? bytes : "")) << c.row;
        EXPECT_EQ(bytesRead, c.bytesRead) << c.row;
        EXPECT_EQ(std::tuple(evidence.Tally().gaps.entriesIncomplete, evidence.Tally().gaps.entriesFromDamage, host.messages.size()),
                  std::tuple(c.incomplete, c.fromDamage, 0u)) << c.row;
    }
}

}  // namespace snapsift
