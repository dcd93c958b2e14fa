#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include "search/Report.h"
#include "support/TempTree.h"

namespace snapsift {
namespace {

using test::ReadBytes;
using test::TempTree;

// Limits the size of files that this process writes, as a full disk would; restores it.
class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        applied_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~ScopedFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, previousHandler_);
    }
    bool Applied() const { return applied_; }

private:
    rlimit saved_{};
    sighandler_t previousHandler_ = SIG_DFL;
    bool applied_ = false;
};

TEST(ReportFilePosix, AnEntryThatDoesNotFitLeavesNothingOfItself) {
    TempTree tree;
    const std::string report = tree.Text("r.htm");
    ASSERT_TRUE(WriteReportHeader(report));
    const std::string header = ReadBytes(tree.Path("r.htm"));

    ReportEntry entry;
    entry.fullPath = "/cases/n1234567_890_123[1].jpg";
    entry.fileName = "n1234567_890_123[1].jpg";
    entry.digest = "d41d8cd98f00b204e9800998ecf8427e";
    entry.userId = "1234567";
    const std::string lines = FormatReportEntry(entry);
    {
        // Room for the header and half an entry: the write falls short.
        ScopedFileSizeLimit limit(header.size() + lines.size() / 2);
        ASSERT_TRUE(limit.Applied());
        EXPECT_FALSE(AppendReportEntry(report, entry));
    }
    EXPECT_EQ(ReadBytes(tree.Path("r.htm")), header);

    ASSERT_TRUE(AppendReportEntry(report, entry));
    EXPECT_EQ(ReadBytes(tree.Path("r.htm")), header + lines);
}

TEST(ReportFilePosix, AHeaderThatCannotBeWrittenFails) {
    TempTree tree;
    ScopedFileSizeLimit limit(10);
    ASSERT_TRUE(limit.Applied());
    EXPECT_FALSE(WriteReportHeader(tree.Text("r.htm")));
}

}  // namespace
}  // namespace snapsift
