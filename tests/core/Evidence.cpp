#include <gtest/gtest.h>

#include "platform/EvidenceFile.h"
#include "text/DateTime.h"
#include "platform/OutputFile.h"
#include "support/TempTree.h"

namespace snapsift {

// Onto a file, a folder or a link already there, or into a missing folder: refused, and what
// was there stays. A write that fails, and a copy never finished, leave nothing behind.
TEST(NewOutputFile, NeverOverwritesAndLeavesNothingUnfinished) {
    test::TempTree tree;
    tree.Entries({{"in.jpg", "photo"}, {"out/", ""}});
    for (const char* to : {"in.jpg", "out", "gone/new"}) {
        NewOutputFile copy;
        EXPECT_FALSE(copy.Create(tree.Text(to))) << to;
        EXPECT_NE(copy.Error(), 0) << to;
        EXPECT_FALSE(copy.Write("x")) << to;
        EXPECT_NE(copy.Finish(), 0) << to;
    }
    EXPECT_EQ(test::ReadBytes(tree.Path("in.jpg")), "photo");
    {
        NewOutputFile unfinished;
        ASSERT_TRUE(unfinished.Create(tree.Text("out/unfinished.jpg")));
        EXPECT_TRUE(unfinished.Write("part"));
    }
    EXPECT_FALSE(std::filesystem::exists(tree.Path("out/unfinished.jpg")));
    NewOutputFile done;
    ASSERT_TRUE(done.Create(tree.Text("out/done.jpg")));
    EXPECT_TRUE(done.Write("pho") && done.Write("to"));
    EXPECT_EQ(done.Finish(), 0);
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

}  // namespace snapsift
