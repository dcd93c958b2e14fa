#include "Fixtures.h"
#include "platform/CodePage.h"

namespace snapsift::test {

const std::pair<std::string_view, std::string_view> kLookAlikes[] = {{"src/photo.jpg", "x"},
    {"src/IMG_0001.JPG", "x"}, {"src/Cache/N12345_67[1].jpg", "x"}, {"src/Cache/AB12CD34/n1234567_890_123.jpg", "x"}};

// With the abort flag left over from an earlier run: a run starts afresh, makes its stamped
// folder, writes a whole report with no entry and ends idle with the chosen output folder. A run
// in the same second gets a folder of its own, numbered; the last one's stays.
TEST_F(ScanRunTest, ARunStartsAfreshAndLeavesTheFourLineReportInAStampedFolder) {
    for (const auto& [path, contents] : kLookAlikes) tree.File(path, contents);
    state.abortRequested = true;
    const std::string first = tree.Text("out") + kSep + "Snapsift - Mar 05, 2010 - 090703";
    EXPECT_EQ(RunAndCheck({}).runFolder, first + kSep);
    EXPECT_EQ(Run().runFolder, first + " (2)" + kSep);
    EXPECT_TRUE(fs::exists(FromText(first + kSep + "Quorvia JPG Files.htm")));
    EXPECT_EQ(host.messages, (Messages{Final("complete", 0), Final("complete", 0)}));
    EXPECT_EQ(host.looks, (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(state.outputFolder, tree.Text("out") + kSep);
}

// Three photos and four look-alikes, in the source folder and two levels below it, and a photo
// with a 255-byte name, whose copy's name is cut short before "-N.jpg" to fit the same limit;
// each run a second later than the last, so that it makes its own output folder.
TEST_F(ScanRunTest, EntriesAndCopiesFollowTheWalk) {
    for (const auto& [path, contents] : kLookAlikes) tree.File(path, contents);
    std::vector<Row> rows = {AddFile("src/n1234567_890_123[1].jpg", "1234567", kAbc),
                                   AddFile("src/Cache/AB12CD34/1111_222_0333_444_555_n[1].jpg", "0333", kA),
                                   AddFile("src/Cache/AB12CD34/a12345^6_7[1].jpg", "12345^6", kAlphabet),
                                   AddFile("src/1111_222_333_444_555_" + std::string(224, 'x') + "5_n[1].jpg", "333")};
    rows[3].stem = rows[3].copySource = rows[3].stem.substr(0, 249);
    const struct { const char* name; bool photos, subfolders; std::size_t abortAt, shown; } cases[] = {
        {"aborted at the second file", true, true, 2, 2}, {"photos, subfolders", true, true, 0, 8},
        {"no photos", false, true, 0, 8}, {"no subfolders", true, false, 0, 4}};
    for (const auto& c : cases) {
        host = RecordingHost(state);
        environment.localNow = [s = ++second] { return DateTime{2010, 3, 5, 9, 7, s}; };
        host.includePhotos = c.photos;
        host.searchSubfolders = c.subfolders;
        host.abortAtFile = c.abortAt;
        RunAndCheck(rows, c.abortAt != 0);
        EXPECT_EQ(host.shownPaths.size(), c.shown) << c.name;
        EXPECT_EQ(host.messages, Messages{Final(c.abortAt != 0 ? "aborted" : "complete", entries)}) << c.name;
    }
}

// "é€" and "漢字": single bytes of the code page, and references.
TEST_F(ScanRunTest, NonAsciiNamesAreWrittenInTheReportsCodePage) {
    if (ToReportCodePage("\xC3\xA9\xE2\x82\xAC") != "\xE9\x80") GTEST_SKIP() << "a report code page other than Windows-1252";
    Row row = AddFile("src/\xC3\xA9\xE2\x82\xAC/1111_222_333_444_555_\xE6\xBC\xA2\xE5\xAD\x97" "5_n[1].jpg", "333");
    row.copySource = "1111_222_333_444_555_&#28450;&#23383;5_n[1]";
    row.nameText = row.copySource + ".jpg";
    row.pathText = tree.Text("src") + kSep + "\xE9\x80" + kSep + row.nameText;
    RunAndCheck({row});
}

// The open fails with ENOENT (ERROR_FILE_NOT_FOUND on Windows).
TEST_F(ScanRunTest, AFileGoneBeforeItIsReadHasAnEntrySayingWhyAndNoMessage) {
    Row row = AddFile("src/n12345_67[9].jpg", "12345");
    row.unreadable = true;
    host.onYield = [&] {
        if (!host.shownPaths.empty()) fs::remove(FromText(row.path));
    };
    // No message stops the run: the entry says why, and the closing lines name it.
    RunAndCheck({row}, false,
                {"Entries without their MD5 or times: 1<br>\r\n&nbsp;&nbsp;&nbsp;&nbsp;entry 1, " + row.pathText +
                 ": could not be opened: " + SystemErrorText(2)});
    EXPECT_EQ(host.messages, (Messages{Final("complete", 1, {"Entries without their MD5 or times: 1"})}));
}

// The run's folder made inside the folder searched: its copies, which would pass for photos, are
// never walked.
TEST_F(ScanRunTest, AnOutputFolderInsideTheSearchedTreeIsNeverWalked) {
    state.outputFolder = state.sourceFolder;
    tree.Entries({{"src/n1234567_890_123[1].jpg", "a"}, {"src/sub/n7654321_1_2[1].jpg", "b"}});
    EXPECT_EQ(Run().filesFound, 2);
    EXPECT_EQ(host.shownPaths.size(), 2u);
}

// The output folder gone once the first file is shown: its copy, its entry, the report's tail
// and the summary, the timeline and the digest list are each counted as not written, and the
// final message names no summary.
TEST_F(ScanRunTest, AnOutputFolderGoneCountsEachFileNotWritten) {
    AddFile("src/n12345_67[1].jpg", "1");
    host.onYield = [this] { if (!host.shownPaths.empty()) fs::remove_all(FromText(state.outputFolder)); };
    const EvidenceGaps gaps = Run().gaps;
    EXPECT_EQ(std::tuple(gaps.copiesFailed, gaps.entriesNotWritten, gaps.reportWritesFailed, gaps.runFilesNotWritten),
              std::tuple(1u, 1u, 1u, 3u));
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back().second.find("Summary: "), std::string::npos) << host.messages.back().second;
}

// Each stop leaves the window idle, the output folder as it was, nothing found and no new folder.
TEST_F(ScanRunTest, EachCheckStopsTheRunWithItsMessage) {
    const std::string src = state.sourceFolder, out = state.outputFolder, wrong = "D174AB98D277D9F5A5611C2C9F419D9E",
                      internal = "Internal calculation error!! Can not continue.",
                      creating = "Error creating output folder.";
    const std::tuple<const char*, decltype(ScanEnvironment::selfTestDigest), std::string, std::string, std::string>
        cases[] = {  // name, self-test, source, output, message
        {"wrong self-test digest", [&](std::string_view) { return wrong; }, "", "", internal},
        {"self-test throws", [](std::string_view) -> std::string { throw std::runtime_error("engine"); }, src, out, internal},
        {"no source", nullptr, "", out, "Please choose a folder to search."},
        {"no output", nullptr, src, "", "Please choose an output folder."},
        {"output missing", nullptr, src, WithTrailingSeparator(tree.Text("out/missing")), creating}};
    AddFile("src/n12345_67[1].jpg", "12345");
    Run();
    for (const auto& [name, digest, source, output, message] : cases) {
        host = RecordingHost(state);
        state = ScanState{source, output, false};
        environment.selfTestDigest = digest;
        const ScanResult result = Run();
        EXPECT_EQ(result.outcome, ScanOutcome::Stopped) << name;
        EXPECT_EQ(std::tuple(host.messages, host.looks.size() + host.shownPaths.size(), state.outputFolder,
                             result.filesFound, std::distance(fs::directory_iterator(tree.Path("out")), {})),
                  std::tuple(Messages{{MessageKind::Stop, message}}, 0u, output, 0, 1)) << name;
    }
}

// A disk image (over the live volume here) whose reads met damaged parts: the report says how many
// before its tail and names each among the problems after it.
TEST_F(ScanRunTest, DamagedPartsOfAnImageAreSaidBeforeTheTailAndCounted) {
    struct ImageHost : RecordingHost {
        explicit ImageHost(ScanState& state) : RecordingHost(state) {
            image.facts.path = "case.img";
            image.volumes = {&LiveVolume()};
            image.damagedParts = [] { return std::vector<std::pair<std::uint64_t, std::uint64_t>>{{32768, 32768}, {0, 1}, {1048576, 32768}}; };
        }
        const ImageSource* Image() const override { return &image; }
        ImageSource image;
    } imageHost(state);
    tree.File("src/n1234567_890_123[1].jpg", "x");
    const ScanResult result = RunScan(state, imageHost, environment);
    const std::string part = "&nbsp;&nbsp;&nbsp;&nbsp;bytes ";
    EXPECT_EQ(std::tuple(result.outcome, result.filesFound, result.gaps.imageDamage), std::tuple(ScanOutcome::Completed, 1, 3u));
    EXPECT_EQ(ParseReport(ReadBytes(FromText(result.reportPath))).rest,
              "<b>Warning:</b> damaged parts of the disk image, read as zeros: 3. What lay in them may be missing from this report.<br>\r\n"
              "<hr>End of Report<br>\r\nTotal files found: 1<hr>\r\n<b>This report is not complete:</b><br>\r\n"
              "Damaged parts of the disk image (read as zeros): 3<br>\r\n" + part + "32768 to 65535 of the image's data<br>\r\n" +
              part + "0 to 0 of the image's data<br>\r\n" + part + "1048576 to 1081343 of the image's data<br>\r\n</body></html>\r\n");
    imageHost.image.damagedParts = nullptr;  // no count kept: nothing to say
    EXPECT_EQ(RunScan(state, imageHost, environment).gaps.imageDamage, 0u);
}

// A count past the names kept names the first of them and says how many more it counts.
TEST(ClosingLines, ACountPastTheNamesKeptSaysHowManyAreNotNamed) {
    EvidenceGaps gaps;
    for (std::size_t i = 0; i <= EvidenceGaps::kNamesPerCount + 2; ++i) gaps.Add(&EvidenceGaps::filesChanged, std::to_string(i) + "f");
    const std::vector<ClosingLine> lines = ProblemLines(gaps);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(std::tuple(lines[0].names.size(), lines[0].names.back().first, lines[0].unnamed),
              std::tuple(EvidenceGaps::kNamesPerCount, std::to_string(EvidenceGaps::kNamesPerCount - 1) + "f", 3u));
}

// The drive given with a trailing separator: Users, then Documents and Settings, and nothing else.
TEST_F(ScanRunTest, ProfileModeWalksUsersThenDocumentsAndSettingsOnly) {
    host.profileMode = true;
    host.driveRoot = tree.Text("drive") + kSep;
    tree.Entries({{"drive/Other/n7777777_1_2[1].jpg", "x"}, {"drive/Documents and Settings/bo/Cache/n7654321_1_2[1].jpg", "b"},
                  {"drive/Users/ana/AppData/n1234567_890_123[1].jpg", "a"}});
    Run();
    EXPECT_EQ(host.shownPaths, (Paths{tree.Text("drive/Users/ana/AppData/n1234567_890_123[1].jpg"),
                                      tree.Text("drive/Documents and Settings/bo/Cache/n7654321_1_2[1].jpg")}));
}

}  // namespace snapsift::test
