#include "platform/FileTimes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "support/TempTree.h"

namespace snapsift {
namespace {

TEST(FileTimes, FileTimeToDate) {
    const std::pair<std::uint64_t, std::optional<DateTime>> cases[] = {
        {0, DateTime{1601, 1, 1, 0, 0, 0}},
        {9'999'999, DateTime{1601, 1, 1, 0, 0, 0}},
        {10'000'000, DateTime{1601, 1, 1, 0, 0, 1}},
        {129071485897500000, DateTime{2010, 1, 5, 7, 3, 9}},  // 07:03:09.750: ms dropped
        {129067775400000000, DateTime{2009, 12, 31, 23, 59, 0}},
        {125962992000000000, DateTime{2000, 2, 29, 12, 0, 0}},
        {94405824000000000, DateTime{1900, 3, 1, 0, 0, 0}},
        {116444736000000000, DateTime{1970, 1, 1, 0, 0, 0}},
        {2650467743999999999, DateTime{9999, 12, 31, 23, 59, 59}},
        {2650467744000000000, std::nullopt},  // 10000-01-01
        {0x7FFFFFFFFFFFFFFF, std::nullopt},
        {UINT64_MAX, std::nullopt},
    };
    for (const auto& [fileTime, expected] : cases) EXPECT_EQ(FileTimeToDate(fileTime), expected) << fileTime;
}

TEST(FileTimes, SystemTimeToDate) {
    struct Case {
        int y, mo, d, h, mi, s;
        bool valid;
    };
    const Case cases[] = {
        {2010, 1, 5, 7, 3, 9, true},     {1601, 1, 1, 0, 0, 0, true},
        {100, 1, 1, 0, 0, 0, true},      {9999, 12, 31, 23, 59, 59, true},
        {2000, 2, 29, 0, 0, 0, true},    {2024, 2, 29, 0, 0, 0, true},
        {0, 0, 0, 0, 0, 0, false},       {99, 12, 31, 0, 0, 0, false},
        {10000, 1, 1, 0, 0, 0, false},   {1900, 2, 29, 0, 0, 0, false},
        {2023, 2, 29, 0, 0, 0, false},   {2010, 4, 31, 0, 0, 0, false},
        {2010, 13, 1, 0, 0, 0, false},   {2010, 1, 0, 0, 0, 0, false},
        {2010, 1, 1, 24, 0, 0, false},   {2010, 1, 1, 0, 60, 0, false},
        {2010, 1, 1, 0, 0, 60, false},   {2010, 1, 1, -1, 0, 0, false},
    };
    for (const Case& c : cases) {
        const auto date = SystemTimeToDate(c.y, c.mo, c.d, c.h, c.mi, c.s);
        EXPECT_EQ(date.has_value(), c.valid) << c.y << "-" << c.mo << "-" << c.d << " " << c.h;
        if (date) {
            EXPECT_EQ(*date, (DateTime{c.y, c.mo, c.d, c.h, c.mi, c.s}));
        }
    }
}

TEST(FileTimes, FileTimeFromUnixTime) {
    EXPECT_EQ(FileTimeFromUnixTime(0, 0), 116444736000000000u);
    EXPECT_EQ(FileTimeFromUnixTime(1262674989, 750000000), 129071485897500000u);
    EXPECT_EQ(FileTimeFromUnixTime(-11644473600, 0), 0u);
    EXPECT_EQ(FileTimeFromUnixTime(-11644473600, 199), 1u);
    EXPECT_EQ(FileTimeFromUnixTime(-11644473601, 999999999), std::nullopt);
    EXPECT_EQ(FileTimeFromUnixTime(INT64_MAX, 0), std::nullopt);
}

TEST(FileTimes, FileTimeFromLittleEndian) {
    EXPECT_EQ(FileTimeFromLittleEndian(std::string("\x60\x3E\x4B\x1F\xAD\x8D\xCA\x01", 8)),
              0x01CA8DAD1F4B3E60u);
    EXPECT_EQ(FileTimeFromLittleEndian(std::string(8, '\0')), 0u);
    EXPECT_EQ(FileTimeFromLittleEndian(std::string(8, '\xFF')), UINT64_MAX);
    EXPECT_EQ(FileTimeFromLittleEndian(std::string(7, '\x01')), std::nullopt);
    EXPECT_EQ(FileTimeFromLittleEndian(std::string(9, '\x01')), std::nullopt);
    EXPECT_EQ(FileTimeFromLittleEndian(""), std::nullopt);
}

TEST(FileTimes, MissingFolderOrEmptyPathFails) {
    test::TempTree tree;
    tree.Entries({{"Folder/", ""}});
    for (const std::string& path : {tree.Text("missing.jpg"), tree.Text("Folder"), std::string()}) {
        std::optional<DateTime> created;
        DateTime accessed, modified;
        EXPECT_FALSE(GetFileTimes(path, created, accessed, modified)) << path;
    }
}

std::chrono::sys_seconds ToSysSeconds(const DateTime& t) {
    using namespace std::chrono;
    return sys_days(year(t.year) / t.month / t.day) + hours(t.hour) + minutes(t.minute) +
           seconds(t.second);
}

TEST(FileTimes, NewFileCarriesThePresentTimeInUtc) {
    test::TempTree tree;
    const auto before = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    tree.File("n12345_67[1].jpg", "contents");
    const auto after = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    std::optional<DateTime> created;
    DateTime accessed, modified;
    ASSERT_TRUE(GetFileTimes(tree.Text("n12345_67[1].jpg"), created, accessed, modified));
    // File systems stamp times with their own clock granularity: allow a few seconds.
    const auto slack = std::chrono::seconds(3);
    EXPECT_GE(ToSysSeconds(modified), before - slack);
    EXPECT_LE(ToSysSeconds(modified), after + slack);
    if (created) {
        EXPECT_GE(ToSysSeconds(*created), before - slack);
        EXPECT_LE(ToSysSeconds(*created), after + slack);
    }
}

}  // namespace
}  // namespace snapsift
