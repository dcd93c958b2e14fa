#include <gtest/gtest.h>

#include "platform/EvidenceFile.h"
#include "platform/FileTimes.h"
#include "support/TempTree.h"

namespace snapsift {

// Empty, and past 1 MiB over a longer file, from a folder named outside ASCII.
TEST(CopyEvidenceFile, CopiesTheExactBytes) {
    test::TempTree tree;
    std::string bytes((1 << 20) + 7, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7919 % 251);
    tree.Entries({{"in \xE6\xBC\xA2/empty", ""}, {"in \xE6\xBC\xA2/big", bytes},
                  {"out/big", std::string(bytes.size() * 2, 'x')}});
    for (const std::string name : {"empty", "big"}) {
        ASSERT_EQ(CopyEvidenceFile(tree.Text("in \xE6\xBC\xA2/" + name), tree.Text("out/" + name)), 0) << name;
        EXPECT_EQ(test::ReadBytes(tree.Path("out/" + name)), name == "big" ? bytes : "") << name;
    }
}

TEST(CopyEvidenceFile, AFailedCopyGivesItsCodeAndLeavesNothingBehind) {
    test::TempTree tree;
    tree.Entries({{"in.jpg", "photo"}, {"out/", ""}});
    const std::pair<const char*, const char*> cases[] = {  // from, to
        {"missing.jpg", "new"}, {"out", "new"}, {"in.jpg", "gone/new"}, {"in.jpg", "out"}, {"in.jpg", "in.jpg"}};
    for (const auto& [from, to] : cases)
        EXPECT_NE(CopyEvidenceFile(tree.Text(from), tree.Text(to)), 0) << from << " to " << to;
    EXPECT_FALSE(std::filesystem::exists(tree.Path("new")));
    EXPECT_TRUE(std::filesystem::is_directory(tree.Path("out")));
    EXPECT_EQ(test::ReadBytes(tree.Path("in.jpg")), "photo");
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
        {"the year 10000", 2650467744000000000, std::nullopt}};
    for (const auto& c : cases) EXPECT_EQ(FileTimeToDate(c.fileTime), c.date) << c.row;
    EXPECT_EQ(FileTimeFromLittleEndian(std::string("\x60\x65\x8D\x23\xD5\x8D\xCA\x01", 8)), 129071485897500000u);
    EXPECT_EQ(FileTimeFromLittleEndian(std::string(7, '\x01')), std::nullopt);
}

}  // namespace snapsift
