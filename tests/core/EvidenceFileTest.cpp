#include <gtest/gtest.h>

#include "platform/EvidenceFile.h"
#include "support/TempTree.h"

namespace snapsift {

// Over a longer file, under names outside ASCII.
TEST(CopyEvidenceFile, CopiesTheExactBytes) {
    test::TempTree tree;
    tree.File("out/1 caf\xC3\xA9.jpg", std::string(100000, 'x'));
    for (const std::size_t size : {0, 1, (1 << 20) + 7}) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7919 % 251);
        const std::string name = std::to_string(size) + " caf\xC3\xA9.jpg";
        tree.File("in \xE6\xBC\xA2/" + name, bytes);
        ASSERT_EQ(CopyEvidenceFile(tree.Text("in \xE6\xBC\xA2/" + name), tree.Text("out/" + name)), 0) << size;
        EXPECT_EQ(test::ReadBytes(tree.Path("out/" + name)), bytes) << size;
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

}  // namespace snapsift
