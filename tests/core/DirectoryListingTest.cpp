#include <gtest/gtest.h>

#include "FolderWalkSupport.h"
#include "platform/DirectoryListing.h"

namespace snapsift::test {

// Each step after the last entry gives the same ending again.
TEST(DirectoryListing, AMissingFolderFailsWithItsCodeAndAnEmptyOneEnds) {
    TempTree tree;
    tree.Folder("empty");
    const struct { const char* name; ListingStep step; long code; } cases[] = {
        {"missing", ListingStep::Failed, kNoSuchFolder}, {"empty", ListingStep::End, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DirectoryListing listing(tree.Text(c.name), false);
        std::string_view name;
        EntryKind kind;
        EXPECT_EQ(listing.Next(name, kind), c.step);
        EXPECT_EQ(listing.Next(name, kind), c.step);
        EXPECT_EQ(listing.Error().code, c.code);
    }
}

}  // namespace snapsift::test
