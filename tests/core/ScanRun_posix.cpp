#include <sys/stat.h>

#include "ScanRunFixture.h"

namespace snapsift::test {

// Hostile markup, bytes that are not UTF-8, and a file replaced by a FIFO before it is read: no hang, no copy.
TEST_F(ScanRunTest, HostileNonUtf8AndFifoNamesAreWrittenRecognisablyAndTheirCopiesLoad) {
    Row hostile = AddFile("src/<script>alert(\"x\")</script>&?/1111_222_333_444_555_<b>\"?#%\\5_n[1].jpg", "333");
    hostile.nameText = "1111_222_333_444_555_&lt;b&gt;&quot;?#%\\5_n[1].jpg";
    hostile.pathText =
        tree.Text("src") + "/&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;&amp;?/" + hostile.nameText;
    hostile.copySource = "1111_222_333_444_555_&lt;b&gt;&quot;%3F%23%25%5C5_n[1]";
    Row raw = AddFile("src/\xFF\xFE/1111_222_333_444_555_\xE9" "5_n[1].jpg", "333", kA);
    raw.nameText = "1111_222_333_444_555_&#92;xE95_n[1].jpg";
    raw.pathText = tree.Text("src") + "/&#92;xFF&#92;xFE/" + raw.nameText;
    raw.copySource = "1111_222_333_444_555_%E95_n[1]";
    Row fifo = AddFile("src/n12345_67[1].jpg", "12345");
    fifo.unreadable = true;
    host.onYield = [&](std::size_t) { fs::remove(fifo.path), mkfifo(fifo.path.c_str(), 0644); };
    RunAndCheck({hostile, raw, fifo});
    EXPECT_EQ(state.FilesFound, 3);
    EXPECT_EQ(host.messages.size(), 2u);
}

TEST_F(ScanRunTest, DocumentsAndSettingsLinkedToUsersIsWalkedOnce) {
    host.profileMode = true, host.driveRoot = tree.Text("drive");
    const Row row = AddFile("drive/Users/alice/n12345_67[1].jpg", "12345");
    fs::create_directory_symlink("Users", tree.Path("drive/Documents and Settings"));
    RunAndCheck({row});
}

// Access times older than the modified times, as a relatime mount would update on any read.
TEST_F(ScanRunTest, TheSourceTreeIsLeftExactlyAsItWas) {
    const char* files[] = {"src/n12345_67[1].jpg", "src/a/1111_222_333_444_555_n[1].jpg", "src/a/b/photo.jpg"};
    auto times = [&, stamps = std::string()]() mutable {
        for (struct stat info {}; const char* file : files) {
            EXPECT_TRUE(lstat(tree.Text(file).c_str(), &info) == 0 && info.st_atim.tv_sec < info.st_mtim.tv_sec);
            for (const timespec& t : {info.st_atim, info.st_mtim, info.st_ctim})
                stamps += std::to_string(t.tv_sec) + "." + std::to_string(t.tv_nsec) + " ";
        }
        return std::exchange(stamps, "");
    };
    for (const char* file : files) AddFile(file, "1", kAlphabet);
    const std::string before = times();
    EXPECT_TRUE(Run().outcome == ScanOutcome::Completed && state.FilesFound == 2);
    EXPECT_EQ(times(), before);
    for (const char* file : files) EXPECT_EQ(ReadBytes(tree.Path(file)), kAlphabet.bytes);
}

}  // namespace snapsift::test
