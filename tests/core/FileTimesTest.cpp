#include <gtest/gtest.h>

#include "platform/FileTimes.h"
#include "support/TempTree.h"

namespace snapsift {

TEST(FileTimes, FileTimeToDateDropsTheFractionAndStopsAfter9999) {
    const std::pair<std::uint64_t, std::optional<DateTime>> cases[] = {
        {0, DateTime{1601, 1, 1, 0, 0, 0}}, {10'000'000, DateTime{1601, 1, 1, 0, 0, 1}},
        {129071485897500000, DateTime{2010, 1, 5, 7, 3, 9}},  // 07:03:09.750
        {125962992000000000, DateTime{2000, 2, 29, 12, 0, 0}}, {94405824000000000, DateTime{1900, 3, 1, 0, 0, 0}},
        {2650467743999999999, DateTime{9999, 12, 31, 23, 59, 59}}, {2650467744000000000, std::nullopt}};
    for (const auto& [fileTime, date] : cases) EXPECT_EQ(FileTimeToDate(fileTime), date) << fileTime;
}

// The 8 bytes of a "system.ntfs_crtime" attribute, and 7.
TEST(FileTimes, FileTimeFromLittleEndianTakesExactlyEightBytes) {
    EXPECT_EQ(FileTimeFromLittleEndian(std::string("\x60\x65\x8D\x23\xD5\x8D\xCA\x01", 8)), 129071485897500000u);
    EXPECT_EQ(FileTimeFromLittleEndian(std::string(7, '\x01')), std::nullopt);
}

TEST(FileTimes, OnlyARegularFileHasTimes) {
    test::TempTree tree;
    tree.Entries({{"n12345_67[1].jpg", "x"}, {".hidden", ""}, {"Folder/", ""}});
    const std::pair<std::string, bool> cases[] = {{tree.Text("n12345_67[1].jpg"), true}, {tree.Text(".hidden"), true},
        {tree.Text("Folder"), false}, {tree.Text("missing"), false}, {"", false}};
    for (const auto& [path, hasTimes] : cases) {
        std::optional<DateTime> created;
        DateTime accessed, modified;
        EXPECT_EQ(GetFileTimes(path, created, accessed, modified), hasTimes) << path;
    }
}

}  // namespace snapsift
