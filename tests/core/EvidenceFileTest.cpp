#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "platform/EvidenceFile.h"
#include "support/TempTree.h"

namespace snapsift {
namespace {

std::string RandomBytes(std::size_t size) {
    std::mt19937 random(static_cast<unsigned>(size));
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

TEST(EvidenceFile, ReadsTheWholeFile) {
    test::TempTree tree;
    const std::string bytes = RandomBytes(300000);
    tree.File("a.bin", bytes);
    EvidenceFile file;
    ASSERT_TRUE(file.Open(tree.Text("a.bin")));
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Size(), 300000);
    std::string read;
    char buffer[65536];
    for (std::int64_t n; (n = file.Read(buffer, sizeof buffer)) > 0;) read.append(buffer, static_cast<std::size_t>(n));
    EXPECT_EQ(read, bytes);
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Read(buffer, sizeof buffer), -1);
    EXPECT_NE(file.LastError(), 0);
    // The object can open again after a close.
    ASSERT_TRUE(file.Open(tree.Text("a.bin")));
    EXPECT_EQ(file.Read(buffer, 10), 10);
    EXPECT_EQ(std::string(buffer, 10), bytes.substr(0, 10));
}

TEST(EvidenceFile, RefusesWhatIsNotARegularFile) {
    test::TempTree tree;
    tree.Folder("folder");
    tree.File("ok.txt", "x");
    for (const std::string& path : {tree.Text("folder"), tree.Text("missing.txt"), tree.Text("ok.txt/below"),
                                    std::string(), tree.Text("ok.txt") + std::string(1, '\0') + "x"}) {
        SCOPED_TRACE(path);
        EvidenceFile file;
        EXPECT_FALSE(file.Open(path));
        EXPECT_FALSE(file.IsOpen());
        EXPECT_NE(file.LastError(), 0);
    }
}

TEST(CopyEvidenceFile, CopiesExactBytes) {
    test::TempTree tree;
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{(1 << 20) + 7}}) {
        SCOPED_TRACE(size);
        const std::string bytes = RandomBytes(size);
        const std::string name = std::to_string(size);
        tree.File("in/" + name + ".jpg", bytes);
        tree.Folder("out");
        ASSERT_EQ(CopyEvidenceFile(tree.Text("in/" + name + ".jpg"), tree.Text("out/" + name + "-1.jpg")), 0);
        EXPECT_EQ(test::ReadBytes(tree.Path("out/" + name + "-1.jpg")), bytes);
        EXPECT_EQ(std::filesystem::file_size(tree.Path("out/" + name + "-1.jpg")), size);
    }
}

TEST(CopyEvidenceFile, ReplacesALongerFile) {
    test::TempTree tree;
    tree.File("in.jpg", "short");
    tree.File("out.jpg", std::string(100000, 'x'));
    ASSERT_EQ(CopyEvidenceFile(tree.Text("in.jpg"), tree.Text("out.jpg")), 0);
    EXPECT_EQ(test::ReadBytes(tree.Path("out.jpg")), "short");
}

TEST(CopyEvidenceFile, Failures) {
    test::TempTree tree;
    tree.File("in.jpg", "photo");
    tree.File("plain.txt", "not a folder");
    tree.Folder("folder");

    EXPECT_NE(CopyEvidenceFile(tree.Text("missing.jpg"), tree.Text("out.jpg")), 0);
    EXPECT_FALSE(std::filesystem::exists(tree.Path("out.jpg")));
    EXPECT_NE(CopyEvidenceFile(tree.Text("folder"), tree.Text("out.jpg")), 0);
    EXPECT_FALSE(std::filesystem::exists(tree.Path("out.jpg")));
    EXPECT_NE(CopyEvidenceFile(tree.Text("in.jpg"), tree.Text("gone/out.jpg")), 0);
    EXPECT_NE(CopyEvidenceFile(tree.Text("in.jpg"), tree.Text("plain.txt/out.jpg")), 0);
    EXPECT_NE(CopyEvidenceFile(tree.Text("in.jpg"), tree.Text("folder")), 0);
    EXPECT_NE(CopyEvidenceFile(tree.Text("in.jpg"), tree.Text("out.jpg") + std::string(1, '\0') + "x"), 0);
    EXPECT_FALSE(std::filesystem::exists(tree.Path("out.jpg")));
    EXPECT_TRUE(std::filesystem::is_directory(tree.Path("folder")));

    // A copy onto the source itself fails and leaves the source as it was.
    EXPECT_NE(CopyEvidenceFile(tree.Text("in.jpg"), tree.Text("in.jpg")), 0);
    EXPECT_EQ(test::ReadBytes(tree.Path("in.jpg")), "photo");
}

TEST(CopyEvidenceFile, UnicodeNames) {
    test::TempTree tree;
    const std::string name = "\xE6\xBC\xA2\xE5\xAD\x97 caf\xC3\xA9/n12_34[1] \xF0\x9F\x98\x80.jpg";
    tree.File(name, "unicode");
    EvidenceFile file;
    ASSERT_TRUE(file.Open(tree.Text(name)));
    EXPECT_EQ(file.Size(), 7);
    file.Close();
    const std::string copy = "\xE6\xBC\xA2\xE5\xAD\x97 caf\xC3\xA9/n12_34[1] \xF0\x9F\x98\x80-1.jpg";
    ASSERT_EQ(CopyEvidenceFile(tree.Text(name), tree.Text(copy)), 0);
    EXPECT_EQ(test::ReadBytes(tree.Path(copy)), "unicode");
}

}  // namespace
}  // namespace snapsift
