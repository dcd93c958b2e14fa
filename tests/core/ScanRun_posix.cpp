#include <sys/stat.h>

#include "ScanRunFixture.h"

namespace snapsift::test {

TEST_F(ScanRunTest, HostileAndNonUtf8NamesAreWrittenRecognisablyAndTheirCopiesLoad) {
    Row hostile = AddFile("src/<script>alert(\"x\")</script>&?/1111_222_333_444_555_<b>\"?#%\\5_n[1].jpg", "333");
    hostile.nameText = "1111_222_333_444_555_&lt;b&gt;&quot;?#%\\5_n[1].jpg";
    hostile.pathText =
        tree.Text("src") + "/&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;&amp;?/" + hostile.nameText;
    hostile.copySource = "1111_222_333_444_555_&lt;b&gt;&quot;%3F%23%25%5C5_n[1]";
    Row raw = AddFile("src/\xFF\xFE/1111_222_333_444_555_\xE9" "5_n[1].jpg", "333", kA);
    raw.nameText = "1111_222_333_444_555_&#92;xE95_n[1].jpg";
    raw.pathText = tree.Text("src") + "/&#92;xFF&#92;xFE/" + raw.nameText;
    raw.copySource = "1111_222_333_444_555_%E95_n[1]";
    RunAndCheck({hostile, raw});
    EXPECT_EQ(state.FilesFound, 2);
}

// A listed file replaced by a FIFO before it is read: no hang, no copy, the failure texts.
TEST_F(ScanRunTest, AFifoInPlaceOfAFileIsNeverRead) {
    Row row = AddFile("src/n12345_67[1].jpg", "12345");
    row.unreadable = true;
    host.onYield = [&](std::size_t) { fs::remove(row.path), mkfifo(row.path.c_str(), 0644); };
    RunAndCheck({row});
    EXPECT_EQ(host.messages.size(), 2u);
}

TEST_F(ScanRunTest, DocumentsAndSettingsLinkedToUsersIsWalkedOnce) {
    host.profileMode = true;
    host.driveRoot = tree.Text("drive");
    const Row row = AddFile("drive/Users/alice/n12345_67[1].jpg", "12345");
    fs::create_directory_symlink("Users", tree.Path("drive/Documents and Settings"));
    RunAndCheck({row});
    EXPECT_EQ(host.shownPaths, std::vector<std::string>{row.path});
}

// Access times older than the modified times, as a relatime mount would update on any read.
TEST_F(ScanRunTest, TheSourceTreeIsLeftExactlyAsItWas) {
    const char* files[] = {"src/n12345_67[1].jpg", "src/a/1111_222_333_444_555_n[1].jpg", "src/a/b/photo.jpg"};
    const auto times = [&] {
        std::string stamps;
        for (const char* file : files) {
            struct stat info {};
            EXPECT_EQ(lstat(tree.Text(file).c_str(), &info), 0);
            EXPECT_LT(info.st_atim.tv_sec, info.st_mtim.tv_sec);
            for (const timespec& t : {info.st_atim, info.st_mtim, info.st_ctim})
                stamps += std::to_string(t.tv_sec) + "." + std::to_string(t.tv_nsec) + " ";
        }
        return stamps;
    };
    for (const char* file : files) AddFile(file, "1", kAlphabet);
    const std::string before = times();
    ASSERT_EQ(Run().outcome, ScanOutcome::Completed);
    EXPECT_EQ(state.FilesFound, 2);
    EXPECT_EQ(times(), before);
    for (const char* file : files) EXPECT_EQ(ReadBytes(tree.Path(file)), kAlphabet.bytes);
}

// A run folder within PATH_MAX whose report path is not: the folder is made, the report is not.
TEST_F(ScanRunTest, AReportFileThatCannotBeMadeStopsTheRun) {
    const std::string stampFolder = "Snapsift - " + OutputFolderStamp(kNow);
    std::string chosen = tree.Text("out") + "/";
    while (chosen.size() + stampFolder.size() < 4080)  // + "/Quorvia JPG Files.htm" passes 4095
        chosen += std::string(std::min<std::size_t>(4080 - stampFolder.size() - chosen.size(), 201) - 1, 'd') + "/";
    fs::create_directories(chosen);
    state.OutputFolder = chosen;
    EXPECT_EQ(Run().outcome, ScanOutcome::Stopped);
    EXPECT_EQ(host.messages, (Messages{{MessageKind::Stop, "Error opening output file."}}));
    EXPECT_EQ(state.OutputFolder, chosen);
    EXPECT_TRUE(fs::is_empty(chosen + stampFolder));
}

}  // namespace snapsift::test
