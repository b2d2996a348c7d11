#include "monitor/status_page_scan.h"

#include <gtest/gtest.h>

namespace larkspan::monitor {
namespace {

using namespace std::string_literals;
using Names = std::vector<std::string>;

// Page shapes a live Icecast never gives.
TEST(StatusPageScanTest, NamesBeginWithASlashAfterALineBreakOrACommaAndRunToTheNextComma) {
  const std::string cut = "/" + std::string(125, 'n') + "\n";
  std::string many = "<pre>\n";
  Names first25;
  for (int i = 0; i < 40; ++i) many += "/m" + std::to_string(i) + ",1\n";
  for (int i = 0; i < 25; ++i) first25.push_back("/m" + std::to_string(i));
  const std::pair<std::string, Names> cases[] = {
      {"<p>\n/not</p><pre>\n/live,2,128,Live show\n/test.ogg,0,96,Test\r\ntotal,/x,y/z\n /in,1\n",
       {"/live", "/test.ogg", "/x"}},
      {"<pre>\n/live\n/next,1\n</pre>", {"/live\n/next"}},
      {"<pre>\n/live\n</pre>,x\n/after", {"/live\n</pre>", "/after"}},
      {"<pre>\n/pre>x,1\n/pre", {"/pre"}},
      {"<pre>\n" + cut + "/x,1\n/" + std::string(300, 'm'),
       {cut, "/x", "/" + std::string(126, 'm')}},
      {"<pre>\n/li\0ve,1\n/b,"s, {"/li", "/b"}},
      {many, first25},
      {"\n/live,1\n", {}},
      {"<PRE>\n/live,1\n", {}},
      {"\n/live,1\n<pre", {}}};
  for (const auto& [page, names] : cases) EXPECT_EQ(ScanStatusPage(page), names) << page;
}

}  // namespace
}  // namespace larkspan::monitor
