#include "monitor/status_page_scan.h"

#include <gtest/gtest.h>

namespace larkspan::monitor {
namespace {

using Names = std::vector<std::string>;

TEST(StatusPageScanTest, TakesTheFirstFieldOfEveryLineThatBeginsWithASlash) {
  const std::string page =
      "<html><body><p>/not,/here</p><pre>\n"
      "/live,2,128,Live show\n"
      "/test.ogg,0,96,Test\r\n"
      "total,2\n"
      " /indented,1\n"
      "</pre></body></html>";
  EXPECT_EQ(ScanStatusPage(page), (Names{"/live", "/test.ogg"}));
}

TEST(StatusPageScanTest, AFieldAfterACommaThatBeginsWithASlashIsANameToo) {
  EXPECT_EQ(ScanStatusPage("<pre>\n/a,x,/b,y/c,z\n</pre>"), (Names{"/a", "/b"}));
}

TEST(StatusPageScanTest, ALastFieldRunsAcrossTheLineBreakToTheNextComma) {
  EXPECT_EQ(ScanStatusPage("<pre>\n/live\n/next,1\n</pre>"), (Names{"/live\n/next"}));
  EXPECT_EQ(ScanStatusPage("<pre>\n/live\n</pre>,x"), (Names{"/live\n</pre>"}));
  EXPECT_EQ(ScanStatusPage("<pre>\n/tail"), (Names{"/tail"})) << "the body's end ends a name";
}

TEST(StatusPageScanTest, TheClosingTagIsNeverANameButScanningGoesOnPastIt) {
  EXPECT_EQ(ScanStatusPage("<pre>\n</pre>\n/after,1"), (Names{"/after"}));
  EXPECT_EQ(ScanStatusPage("<pre>\n/pre>x,1\n/pre"), (Names{"/pre"}));
}

TEST(StatusPageScanTest, NamesAreCutAfter127BytesAndScanningResumesThere) {
  const std::string longName = "/" + std::string(200, 'n');
  const Names names = ScanStatusPage("<pre>\n" + longName + ",1\n/short,2");
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0], longName.substr(0, 127));
  EXPECT_EQ(names[1], "/short");

  // The byte after the 127th is a "/" preceded by a line feed: a new name.
  const std::string cutAtBreak = "/" + std::string(125, 'n') + "\n/x,";
  EXPECT_EQ(ScanStatusPage("<pre>\n" + cutAtBreak), (Names{cutAtBreak.substr(0, 127), "/x"}));
}

TEST(StatusPageScanTest, AtMost25NamesAreTaken) {
  std::string page = "<pre>\n";
  for (int i = 0; i < 40; ++i) page += "/m" + std::to_string(i) + ",1\n";
  const Names names = ScanStatusPage(page);
  ASSERT_EQ(names.size(), 25u);
  EXPECT_EQ(names.back(), "/m24");
}

TEST(StatusPageScanTest, APageWithoutTheMarkerYieldsNothing) {
  EXPECT_TRUE(ScanStatusPage("").empty());
  EXPECT_TRUE(ScanStatusPage("\n/live,1\n").empty());
  EXPECT_TRUE(ScanStatusPage("<PRE>\n/live,1\n").empty()) << "the marker is case-sensitive";
  EXPECT_TRUE(ScanStatusPage("\n/live,1\n<pre").empty());
  EXPECT_TRUE(ScanStatusPage("<pre>").empty());
}

TEST(StatusPageScanTest, AZeroByteEndsANameAndTheMarkersByteCanStartNothing) {
  using namespace std::string_literals;
  EXPECT_EQ(ScanStatusPage("<pre>\n/li\0ve,1\n/b,"s), (Names{"/li", "/b"}));
  EXPECT_EQ(ScanStatusPage("x\n<pre>/a,1"), Names{}) << "'>' before the slash";
}

}  // namespace
}  // namespace larkspan::monitor
