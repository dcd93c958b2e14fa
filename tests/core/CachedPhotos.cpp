// Which cached URLs name a photo, the copy names they give, and the report rows of a cached photo.
#include <gtest/gtest.h>

#include "report/Report.h"
#include "search/CacheFiles.h"

namespace snapsift::test {

TEST(PhotoOfCachedUrl, TheLastPathSegmentPassesAsTheOldCacheWouldHaveNamedIt) {
    const struct { const char* row; const char* url; const char* name; const char* userId; } cases[] = {
        {"letter first", "https://cdn.example/p/n1234567_890_123.jpg", "n1234567_890_123.jpg", "1234567"},
        {"digit first", "https://cdn.example/1111_222_3456789_444_555_n.jpg", "1111_222_3456789_444_555_n.jpg", "3456789"},
        {"query and fragment dropped", "http://h/n2345678_901_234.jpg?oh=a/b&x=1#f/g", "n2345678_901_234.jpg", "2345678"},
        {"percent-decoded", "http://h/n7654321%5F11%5F22.jpg", "n7654321_11_22.jpg", "7654321"},
        {"a bad escape kept", "http://h/1111_222_333_444_555_%9zn.jpg", "1111_222_333_444_555_%9zn.jpg", "333"},
        {"a double-keyed URL's own path only", "http://h/n1234567_890_123.jpg/other.jpg", "", ""},
        {"another name", "http://h/photos/profile.jpg", "", ""}, {"not a jpg", "http://h/n4567890_23_456.png", "", ""},
        {"no path", "n1234567_890_123.jpg", "", ""}, {"letter first needs digits", "http://h/n12x_1.jpg", "", ""},
        {"uppercase extension", "http://h/n1234567_890_123.JPG", "", ""},
    };
    for (const auto& c : cases) {
        const auto photo = PhotoOfCachedUrl(c.url);
        EXPECT_EQ(photo ? photo->name + " " + photo->userId : " ", std::string(c.name) + " " + c.userId) << c.row;
    }
}

// The walk's quick test in front of the names' own, and the names' own: no cache file's name may fall
// through it, and no other name pass.
TEST(CacheFileOf, EachKindOfCacheFileNameIsHandedOverAndOthersAreNot) {
    using Kind = CacheFileKind;
    const struct { const char* name; std::optional<Kind> kind; } cases[] = {
        {"index", Kind::BlockfileIndex}, {"data_1", Kind::BlockfileEntries}, {"index.dat", Kind::IndexDat},
        {"INDEX.DAT", Kind::IndexDat}, {"sqldb0", Kind::SqlShard}, {"sqldb12", Kind::SqlShard},
        {"3f2a9c0d5e7b1a44_0", Kind::SimpleEntry}, {"todelete_3f2a9c0d5e7b1a44_0_12", Kind::SimpleEntry},
        {"todelete_3f2a9c0d5e7b1a44", Kind::SimpleEntry}, {"todelete_2560fe1f1365a10a_0_18446744073709551615", Kind::SimpleEntry},
        {"0352CAE71DC5E1DD21CA3ABCF906CE247863CD88", Kind::Cache2Entry}, {"4", Kind::Cache2Doomed},
        {"4294967295", Kind::Cache2Doomed}, {"sqldb0-journal", {}}, {"sqldb", {}}, {"indexxdat", {}}, {"data_2", {}}, {"", {}},
        {"3f2a9c0d5e7b1a44_1", {}}, {"3F2A9C0D5E7B1A44_0", {}}, {"0352cae71dc5e1dd21ca3abcf906ce247863cd88", {}},
        {"42949672950", {}}, {"index.html", {}}, {"todelete_2560fe1f1365a10a_0_", {}}, {"todelete_2560fe1f1365a10a_1_3", {}},
        {"2560fe1f1365a10_0", {}}, {"todelete_", {}}, {"ce_T151c2VyQ29udGV4dElkPTUs", {}},
        {"_CACHE_MAP_", Kind::FirefoxLegacy}, {"_CACHE_001_", Kind::FirefoxLegacy}, {"_CACHE_003_", Kind::FirefoxLegacy},
        {"_CACHE_004_", {}}, {"_CACHE_CLEAN_", {}}, {"2B3C7d01", {}}, {"34A2B3C7d01", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(CacheFileOf(c.name), c.kind) << c.name;
}

// A name from a URL becomes a file of the run folder: never a path, a stream or a device.
TEST(CachedPhotoCopyName, NothingInTheNameLeavesTheRunFolder) {
    EXPECT_EQ(CachedPhotoCopyName("n1234567_890_123.jpg", 7), "n1234567_890_123-7.jpg");
    EXPECT_EQ(CachedPhotoCopyName("1111_222_333_444_555_../../x.jpg", 2), "1111_222_333_444_555_.._.._x-2.jpg");
    EXPECT_EQ(CachedPhotoCopyName("1111_222_333_444_555_a:b\\c|d\x01.jpg", 3), "1111_222_333_444_555_a_b_c_d_-3.jpg");
    EXPECT_EQ(CachedPhotoCopyName("...jpg", 4), "..-4.jpg");
}

// A cached URL is whatever the server chose: it is shown as text, never as a link or markup.
TEST(CachedPhotoReport, TheUrlAndHeadersAreTextAndOnlyStoredFactsGetRows) {
    ReportEntry entry;
    entry.fullPath = "C:\\Cache\\data_2, block 4 (3,000 bytes at 12,288)";
    entry.fileName = "n1234567_890_123.jpg";
    entry.userId = "1234567";
    entry.md5 = "207A4C93B89EEE3C2C274FB0D1567712";
    entry.separator = '\\';
    CacheRecord cache;
    cache.url = "javascript:alert(\"x\")//<b>n1234567_890_123.jpg";
    cache.format = "Chromium blockfile cache";
    cache.lastUsed = DateTime{2014, 4, 30, 16, 44, 36};
    cache.fetchCount = 3;
    cache.contentType = "image/jpeg<script>";
    cache.storedDigest = "ABCDEF";
    entry.cache = cache;
    const std::string text = FormatReportEntry(entry);
    EXPECT_NE(text.find("<b>Short name:</b> n1234567_890_123.jpg<br>\r\n"
                        "<b>Cached from:</b> javascript:alert(&quot;x&quot;)//&lt;b&gt;n1234567_890_123.jpg<br>\r\n"
                        "<b>Cache:</b> Chromium blockfile cache<br>\r\n"
                        "<b>Cache entry last used:</b> 4/30/2014 4:44:36 PM (UTC) <br>\r\n"
                        "<b>Fetch count:</b> 3<br>\r\n"
                        "<b>Content-Type:</b> image/jpeg&lt;script&gt;<br>\r\n"
                        "<b>MD5 of the stored bytes:</b> abcdef<br>\r\n<b>Created time:</b>"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("<a href=\"javascript"), std::string::npos);
}

}  // namespace snapsift::test
