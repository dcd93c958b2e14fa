#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ScanRunFixture.h"
#include "platform/LocaleText.h"
#include "search/EvidenceEntry.h"
#include "search/FolderWalk.h"
#include "search/Report.h"
#include "support/RecordingHost.h"
#include "support/TempTree.h"

namespace snapsift {
namespace {

namespace fs = std::filesystem;
using test::EntryFor;
using test::EntryLines;
using test::kHeaderLine;
using test::ReadBytes;
using test::RecordingHost;
using test::TempTree;

constexpr const char* kAbcDigest = "900150983cd24fb0d6963f7d28e17f72";
const DateTime kAccessed{2009, 6, 1, 8, 0, 0};
const DateTime kModified{2010, 3, 15, 14, 5, 9};

class EvidenceEntryTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.Folder("out");
        state.OutputFolder = AddBackslash(tree.Text("out"));
        ASSERT_TRUE(WriteReportHeader(Report()));
    }
    std::string Report() const { return state.OutputFolder + std::string(kReportFileName); }
    std::string ReportBytes() const { return ReadBytes(tree.Path("out/Quorvia JPG Files.htm")); }
    // A file with the bytes "abc" and fixed access and modified times.
    std::string MakeFile(const std::string& relative) {
        tree.File(relative, "abc");
        EXPECT_TRUE(test::SetFileTimesUtc(tree.Path(relative), kAccessed, kModified));
        return tree.Text(relative);
    }
    std::size_t OutputEntries() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(tree.Path("out")), fs::directory_iterator()));
    }

    TempTree tree;
    ScanState state;
    RecordingHost host{state};
    EvidenceEntry evidence{state, host};
};

TEST_F(EvidenceEntryTest, NamesThatAreNotRecognisedLeaveNoTrace) {
    const struct {
        const char* name;
        std::int16_t style;
    } cases[] = {
        {"photo.jpg", 0},
        {"n1234567_890_123.jpg", 0},
        {"n1234567_890_123[12].jpg", 0},
        {"n12345_6[1].jpg", 0},
        {"n12345_6.7[1].jpg", 0},
        {"1111_222_333_444_n[1].jpg", 1},
        {"1111__333_444_555_n[1].jpg", 1},
        {"1111_222_abc_444_555_n[1].jpg", 1},
    };
    for (const auto& c : cases) {
        const std::string path = MakeFile(std::string("src/") + c.name);
        evidence.ProcessCandidate(path, c.name, c.style);
    }
    EXPECT_EQ(state.FilesFound, 0);
    EXPECT_EQ(ReportBytes(), kHeaderLine);
    EXPECT_EQ(OutputEntries(), 1u);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(EvidenceEntryTest, ARecognisedFileGetsItsEntryAndANumberedCopy) {
    const struct {
        const char* name;
        std::int16_t style;
        const char* userId;
        const char* copy;
    } cases[] = {
        {"n1234567_890_123[1].jpg", 0, "1234567", "n1234567_890_123[1]-1.jpg"},
        {"a12345^6_7[1].jpg", 0, "12345^6", "a12345^6_7[1]-2.jpg"},
        {"0001_222_0333_444_555_n[1].jpg", 1, "0333", "0001_222_0333_444_555_n[1]-3.jpg"},
        {"1111_222_333_444_555_666_n[1].jpg", 1, "333", "1111_222_333_444_555_666_n[1]-4.jpg"},
    };
    std::string expected = kHeaderLine;
    for (const auto& c : cases) {
        const std::string path = MakeFile(std::string("src/") + c.name);
        auto entry = EntryFor(path, c.name, c.userId, kAbcDigest, kAccessed, kModified);
        entry.imageSource = c.copy;
        expected += EntryLines(entry);
        evidence.ProcessCandidate(path, c.name, c.style);
        EXPECT_EQ(ReadBytes(tree.Path(std::string("out/") + c.copy)), "abc") << c.copy;
    }
    EXPECT_EQ(state.FilesFound, 4);
    EXPECT_EQ(ReportBytes(), expected);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(EvidenceEntryTest, WithoutPhotosNumbersAreStillUsedAndNothingIsCopied) {
    host.includePhotos = false;
    const std::string first = MakeFile("src/a/n12345_67[1].jpg");
    const std::string second = MakeFile("src/b/n12345_67[1].jpg");
    evidence.ProcessCandidate(first, "n12345_67[1].jpg", 0);
    host.includePhotos = true;
    evidence.ProcessCandidate(second, "n12345_67[1].jpg", 0);
    EXPECT_EQ(state.FilesFound, 2);
    EXPECT_FALSE(fs::exists(tree.Path("out/n12345_67[1]-1.jpg")));
    EXPECT_EQ(ReadBytes(tree.Path("out/n12345_67[1]-2.jpg")), "abc");
    auto firstEntry = EntryFor(first, "n12345_67[1].jpg", "12345", kAbcDigest, kAccessed, kModified);
    auto secondEntry = EntryFor(second, "n12345_67[1].jpg", "12345", kAbcDigest, kAccessed, kModified);
    secondEntry.imageSource = "n12345_67[1]-2.jpg";
    EXPECT_EQ(ReportBytes(), kHeaderLine + EntryLines(firstEntry) + EntryLines(secondEntry));
}

// The times are read before the contents: where reading does change the access time (under
// Wine on a relatime mount, for one), the entry still gives the one the file had.
TEST_F(EvidenceEntryTest, TheReportedAccessTimeIsTheOneBeforeTheScan) {
    const std::string path = MakeFile("src/n12345_67[1].jpg");
    evidence.ProcessCandidate(path, "n12345_67[1].jpg", 0);
    EXPECT_NE(ReportBytes().find("<b>Modified time:</b> " + FormatReportDateTime(kModified) + " (UTC) <br>\r\n"
                                 "<b>Last Accessed time:</b> " + FormatReportDateTime(kAccessed) + " (UTC) <br>\r\n"),
              std::string::npos)
        << ReportBytes();
}

}  // namespace
}  // namespace snapsift
