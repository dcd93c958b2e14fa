#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include "search/Report.h"
#include "support/TempTree.h"

// A file size limit, as a full disk would set one: the entry's write falls short.
TEST(ReportFilePosix, AnEntryThatDoesNotFitLeavesNothingOfItself) {
    snapsift::test::TempTree tree;
    const std::string report = tree.Text("r.htm");
    ASSERT_TRUE(snapsift::WriteReportHeader(report));
    const std::string header = snapsift::test::ReadBytes(report);
    const snapsift::ReportEntry entry{"/c/n1_2[1].jpg", "n1_2[1].jpg", false, {}, {}, {}, "d41d8", "1", {}};
    const std::string lines = snapsift::FormatReportEntry(entry);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const rlimit limit{header.size() + lines.size() / 2, saved.rlim_max};
    signal(SIGXFSZ, SIG_IGN);  // a short write instead of the signal
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const bool appended = snapsift::AppendReportEntry(report, entry);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(appended);
    EXPECT_EQ(snapsift::test::ReadBytes(report), header);
    ASSERT_TRUE(snapsift::AppendReportEntry(report, entry));
    EXPECT_EQ(snapsift::test::ReadBytes(report), header + lines);
}
