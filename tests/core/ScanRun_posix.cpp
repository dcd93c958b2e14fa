#include <sys/stat.h>

#include "ScanRunFixture.h"

namespace snapsift::test {

// Markup and bytes that are not UTF-8 in folder and file names; the image lines still load the copies.
TEST_F(ScanRunTest, HostileAndNonUtf8NamesAreWrittenRecognisably) {
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
}

// Replaced before it is read: no hang, no evidence; the copy fails with EINVAL.
TEST_F(ScanRunTest, AFileReplacedByAFifoIsNeverRead) {
    Row fifo = AddFile("src/n12345_67[1].jpg", "12345");
    fifo.unreadable = true;
    host.onYield = [&](std::size_t) {
        fs::remove(fifo.path);
        mkfifo(fifo.path.c_str(), 0644);
    };
    RunAndCheck({fifo});
    EXPECT_EQ(host.messages, (Messages{{MessageKind::FileProblem, "Error copying file: " + fifo.path +
                                        ". Error number: " + std::to_string(EINVAL) + ". Click OK to continue."},
                                       {MessageKind::Final, "Operation complete.\r\n\r\nTotal files found: 1"}}));
}

TEST_F(ScanRunTest, DocumentsAndSettingsLinkedToUsersIsWalkedOnce) {
    host.profileMode = true;
    host.driveRoot = tree.Text("drive");
    const Row row = AddFile("drive/Users/alice/n12345_67[1].jpg", "12345");
    fs::create_directory_symlink("Users", tree.Path("drive/Documents and Settings"));
    RunAndCheck({row});
}

// Every time stamp of each file to the nanosecond; the access times older than the modified
// times, as a relatime mount would update on any read.
TEST_F(ScanRunTest, TheSourceTreeIsLeftExactlyAsItWas) {
    const std::vector<std::string> files = {"src/n12345_67[1].jpg", "src/a/1111_222_333_444_555_n[1].jpg",
                                            "src/a/b/photo.jpg"};
    const auto stamps = [&] {
        std::string text;
        for (const std::string& file : files) {
            struct stat info {};
            EXPECT_EQ(lstat(tree.Text(file).c_str(), &info), 0);
            EXPECT_LT(info.st_atim.tv_sec, info.st_mtim.tv_sec);
            for (const timespec& t : {info.st_atim, info.st_mtim, info.st_ctim})
                text += std::to_string(t.tv_sec) + "." + std::to_string(t.tv_nsec) + " ";
        }
        return text;
    };
    for (const std::string& file : files) {
        AddFile(file, "1", kAlphabet);
        ASSERT_TRUE(SetFileTimesUtc(tree.Path(file)));
    }
    const std::string before = stamps();
    EXPECT_EQ(Run().outcome, ScanOutcome::Completed);
    EXPECT_EQ(state.FilesFound, 2);
    EXPECT_EQ(stamps(), before);
    for (const std::string& file : files) EXPECT_EQ(ReadBytes(tree.Path(file)), kAlphabet.bytes);
}

}  // namespace snapsift::test
