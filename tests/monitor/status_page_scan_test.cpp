#include "monitor/status_page_scan.h"

#include <gtest/gtest.h>

namespace larkspan::monitor {
namespace {

using namespace std::string_literals;
using Names = std::vector<std::string>;

TEST(StatusPageScanTest, TakesFieldsThatBeginWithASlashAfterALineBreakOrAComma) {
  EXPECT_EQ(ScanStatusPage("<p>\n/not</p><pre>\n"
                           "/live,2,128,Live show\n"
                           "/test.ogg,0,96,Test\r\n"
                           "total,/x,y/z\n"
                           " /indented,1\n"
                           "</pre>"),
            (Names{"/live", "/test.ogg", "/x"}));
}

TEST(StatusPageScanTest, ANameRunsToTheNextCommaAcrossLineBreaksAndTheClosingTag) {
  EXPECT_EQ(ScanStatusPage("<pre>\n/live\n/next,1\n</pre>"), (Names{"/live\n/next"}));
  EXPECT_EQ(ScanStatusPage("<pre>\n/live\n</pre>,x\n/after"), (Names{"/live\n</pre>", "/after"}));
  EXPECT_EQ(ScanStatusPage("<pre>\n/pre>x,1\n/pre"), (Names{"/pre"}))
      << "only \"/pre>\" is no name";
}

TEST(StatusPageScanTest, NamesAreCutAfter127BytesAndScanningResumesThere) {
  const std::string cut = "/" + std::string(125, 'n') + "\n";
  EXPECT_EQ(ScanStatusPage("<pre>\n" + cut + "/x,1\n/" + std::string(300, 'm')),
            (Names{cut, "/x", "/" + std::string(126, 'm')}));
}

TEST(StatusPageScanTest, AtMost25NamesAndNoneWithoutTheMarker) {
  std::string page = "<pre>\n";
  for (int i = 0; i < 40; ++i) page += "/m" + std::to_string(i) + ",1\n";
  const Names names = ScanStatusPage(page);
  ASSERT_EQ(names.size(), 25u);
  EXPECT_EQ(names.back(), "/m24");
  for (const char* text : {"", "\n/live,1\n", "<PRE>\n/live,1\n", "\n/live,1\n<pre", "<pre>"})
    EXPECT_TRUE(ScanStatusPage(text).empty()) << text;
}

TEST(StatusPageScanTest, AZeroByteEndsAName) {
  EXPECT_EQ(ScanStatusPage("<pre>\n/li\0ve,1\n/b,"s), (Names{"/li", "/b"}));
}

}  // namespace
}  // namespace larkspan::monitor
