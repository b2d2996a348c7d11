#include "monitor/find_new_mountpoints.h"

#include <gtest/gtest.h>

#include "monitor/status_page_scan.h"
#include "platform/text.h"
#include "tests/support/recording_prompter.h"
#include "tests/support/scripted_http_server.h"

namespace larkspan::monitor {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using test::ScriptedReply;
using Urls = std::vector<std::string>;

// Page shapes a live Icecast never gives.
TEST(StatusPageScanTest, NamesBeginWithASlashAfterALineBreakOrACommaAndRunToTheNextComma) {
  const std::string cut = "/" + std::string(125, 'n') + "\n";
  std::string many = "<pre>\n";
  Urls first25;
  for (int i = 0; i < 40; ++i) many += "/m" + std::to_string(i) + ",1\n";
  for (int i = 0; i < 25; ++i) first25.push_back("/m" + std::to_string(i));
  const std::pair<std::string, Urls> cases[] = {
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
      {"\n/live,1\n<pre", {}},
  };
  for (const auto& [page, names] : cases) EXPECT_EQ(ScanStatusPage(page), names) << page;
}

// The monitoring entry is at index 0; the page's names are given directly.
class SelectNewMountpointsTest : public ::testing::Test {
 protected:
  SelectNewMountpointsTest() { add(kServer, 0)->monitorServer = 1; }
  schedule::ScheduleEntry* add(const std::string& url, std::uint8_t monitorMountpoint) {
    schedule::ScheduleEntry entry;
    platform::CopyToField(entry.url, url);
    entry.monitorMountpoint = monitorMountpoint;
    return &schedule_.entry(*schedule_.appendEntry(entry, {}));
  }
  Urls select(const Urls& names) const {
    return SelectNewMountpoints(names, schedule_, known_, kServer, 0);
  }

  static constexpr const char* kServer = "http://radio.test:8000/";
  const std::string base_ = "http://radio.test:8000";
  schedule::ScheduleTable schedule_;
  schedule::KnownMountpoints known_;
};

TEST_F(SelectNewMountpointsTest, MonitoredMountpointsUseUpThePlacesOfThePoll) {
  for (const char* name : {"/a", "/b", "/c"}) add(base_ + name, 1);
  add(base_ + "/d", 2);
  EXPECT_EQ(select({"/a", "/b", "/c", "/new"}), Urls{});
  EXPECT_EQ(select({"/a", "/d", "/new", "/b", "/x"}), (Urls{base_ + "/d", base_ + "/new"}))
      << "only a flag of 1 counts as monitored";
}

TEST_F(SelectNewMountpointsTest, KnownIgnoredAndTooLongNamesAreNotNewAndUseNoPlace) {
  known_.resize(2);
  platform::CopyToField(known_[0].url, base_ + "/live");
  platform::CopyToField(known_[1].url, "*/test*");
  schedule_.entry(0).shortIgnoreFlags[0] = 1;
  platform::CopyToField(schedule_.entry(0).shortIgnoreNames[0], "/ads*");
  platform::CopyToField(schedule_.options(0).ignoredExtensions[0], "aac");
  const std::string fits = "/" + std::string(127 - base_.size() - 1, 'f');
  EXPECT_EQ(select({"/live", "/my/test1", "/ads2", "/x.aac", fits + "g", "/1", fits, "/Test"}),
            (Urls{base_ + "/1", base_ + fits, base_ + "/Test"}));
  add(base_ + fits + "g", 1);
  EXPECT_EQ(select({fits + "g", fits + "g", fits + "g", "/1"}), Urls{})
      << "monitored already, a name too long to be new still uses up a place";
}

// Fetches from the scripted server, with limits short enough for a test.
class FindNewMountpointsTest : public ::testing::Test {
 protected:
  std::int16_t find(std::string_view serverUrl) {
    schedule_.reset();
    schedule_.appendEntry({}, {});
    return FindNewMountpoints(job_, schedule_, {}, serverUrl, found_, 0, options_, prompter_);
  }

  StatusPageOptions options_{
      .connectTimeout = 2s, .readTimeout = 2s, .fetchTimeout = 5s, .diagnostics = {}};
  recording::RecordingJob job_;
  schedule::ScheduleTable schedule_;
  test::RecordingPrompter prompter_;
  test::ScriptedHttpServer server_;
  const std::string url_ = server_.url("");
  Urls found_{"stale"};
};

TEST_F(FindNewMountpointsTest, TheServerUrlWithOrWithoutSlashOrSchemeNamesOnePage) {
  server_.setHandler([](const std::string&) { return ScriptedReply::Ok("<pre>\n/live,1\n"); });
  const std::string hostPort = url_.substr(7);
  for (const std::string& url : {url_, url_ + "/", hostPort}) {
    EXPECT_EQ(find(url), 1);
    EXPECT_EQ(found_, Urls{(url.ends_with('/') ? url_ : url) + "/live"}) << "as written";
  }
  for (const auto& request : server_.requests())
    EXPECT_TRUE(request.starts_with("GET /status2.xsl HTTP/1.0\r\nHost: " + hostPort + "\r\n"));
  EXPECT_TRUE(prompter_.boxes().empty());
  EXPECT_EQ(find("mailto:x"), -1);
  EXPECT_TRUE(found_.empty());
  EXPECT_EQ(prompter_.boxes().at(0).text, "Cannot parse URL");
}

TEST_F(FindNewMountpointsTest, PagesOfSeveralReadsChunkedOrRedirectedAreReadWhole) {
  const std::string page = std::string(9000, ' ') + "<pre>\n/a,1\n/b,1\n/c,1\n/d,1\n";
  server_.enqueue(ScriptedReply::Ok(page, true));
  server_.enqueue(ScriptedReply::Chunked(page, 700));
  server_.enqueue(ScriptedReply::Redirect(302, server_.url("/elsewhere.xsl")));
  server_.enqueue(ScriptedReply::Ok("<pre>\n/moved,1\n"));
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_EQ(find(url_), 3);
    EXPECT_EQ(found_, (Urls{url_ + "/a", url_ + "/b", url_ + "/c"}));
  }
  EXPECT_EQ(find(url_), 1);
  EXPECT_EQ(found_, Urls{url_ + "/moved"});
}

TEST_F(FindNewMountpointsTest, UnreachableStalledAndErrorPagesGiveNothing) {
  EXPECT_EQ(find("http://127.0.0.1:" + std::to_string(test::RefusingPort())), 0);
  server_.enqueue(ScriptedReply::NotFound());
  server_.enqueue(ScriptedReply::Redirect(302, "http://127.0.0.1:1/"));
  server_.enqueue(ScriptedReply::Stall());
  options_.readTimeout = 300ms;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(find(url_), 0) << i;
  EXPECT_TRUE(prompter_.boxes().empty());
}

TEST_F(FindNewMountpointsTest, APageOfMegabytesIsCutAtThePageLimit) {
  std::string page = "<pre>\n/first,1\n";
  page.resize(options_.pageLimit - 4, '.');
  page += "\n/edge,1\n" + std::string(3 << 20, '.') + "\n/late,1\n";
  server_.enqueue(ScriptedReply::Ok(page, true));
  EXPECT_EQ(find(url_), 2);
  EXPECT_EQ(found_, (Urls{url_ + "/first", url_ + "/ed"}));
}

TEST_F(FindNewMountpointsTest, ASlowTrickleEndsAtTheFetchTimeoutAndWhatArrivedIsScanned) {
  ScriptedReply trickle = ScriptedReply::Ok("<pre>\n/live,1\n/trickle,");
  trickle.streamBody = true;  // endless, and never silent long enough for a read time-out
  trickle.bytesPerSecond = 4000;
  server_.enqueue(trickle);
  options_.fetchTimeout = 1s;
  EXPECT_EQ(find(url_), 2);
  EXPECT_EQ(found_, (Urls{url_ + "/live", url_ + "/trickle"}));
}

}  // namespace
}  // namespace larkspan::monitor
