#include "monitor/find_new_mountpoints.h"

#include <gtest/gtest.h>

#include "platform/text.h"
#include "tests/support/recording_prompter.h"
#include "tests/support/scripted_http_server.h"

namespace larkspan::monitor {
namespace {

using namespace std::chrono_literals;
using test::ScriptedHttpServer;
using test::ScriptedReply;
using Urls = std::vector<std::string>;

std::string Page(const Urls& names) {
  std::string page = "<html><body><pre>\n";
  for (const auto& name : names) page += name + ",1,128,Title\n";
  return page + "</pre></body></html>\n";
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
  void addKnown(const std::string& url) {
    known_.emplace_back();
    platform::CopyToField(known_.back().url, url);
  }
  Urls select(const Urls& names) const {
    return SelectNewMountpoints(names, schedule_, known_, kServer, 0);
  }

  static constexpr const char* kServer = "http://radio.test:8000/";
  static constexpr const char* kBase = "http://radio.test:8000";
  schedule::ScheduleTable schedule_;
  schedule::KnownMountpoints known_;
};

TEST_F(SelectNewMountpointsTest, MonitoredMountpointsUseUpThePlacesOfThePoll) {
  for (const char* name : {"/a", "/b", "/c"}) add(kBase + std::string(name), 1);
  add(kBase + std::string("/d"), 2);
  EXPECT_EQ(select({"/a", "/b", "/c", "/new"}), Urls{});
  EXPECT_EQ(select({"/a", "/d", "/new", "/b", "/x"}),
            (Urls{kBase + std::string("/d"), kBase + std::string("/new")}))
      << "only a flag of 1 counts as monitored";
}

TEST_F(SelectNewMountpointsTest, KnownAndIgnoredNamesAreNotNewAndUseNoPlace) {
  addKnown(kBase + std::string("/live"));
  addKnown("*/test*");
  schedule_.entry(0).shortIgnoreFlags[0] = 1;
  platform::CopyToField(schedule_.entry(0).shortIgnoreNames[0], "/ads*");
  platform::CopyToField(schedule_.options(0).ignoredExtensions[0], "aac");
  EXPECT_EQ(select({"/live", "/my/test1", "/ads2", "/x.aac", "/1", "/live2", "/Test", "/4"}),
            (Urls{kBase + std::string("/1"), kBase + std::string("/live2"),
                  kBase + std::string("/Test")}));
}

TEST_F(SelectNewMountpointsTest, AUrlLongerThanItsSlotIsSkippedNotCut) {
  const std::string fits = "/" + std::string(127 - std::string(kBase).size() - 1, 'f');
  const std::string tooLong = fits + "g";
  EXPECT_EQ(select({tooLong, fits}), Urls{kBase + fits});
  add(kBase + tooLong, 1);
  EXPECT_EQ(select({tooLong, tooLong, tooLong, fits}), Urls{})
      << "monitored already, it still uses up a place";
}

// Fetches from the scripted server, with limits short enough for a test.
class FindNewMountpointsTest : public ::testing::Test {
 protected:
  std::int16_t find(std::string_view serverUrl) {
    schedule_.reset();
    schedule_.appendEntry({}, {});
    return FindNewMountpoints(job_, schedule_, known_, serverUrl, found_, 0, options_, prompter_);
  }

  StatusPageOptions options_{
      .connectTimeout = 2s, .readTimeout = 2s, .fetchTimeout = 5s, .diagnostics = {}};
  recording::RecordingJob job_;
  schedule::ScheduleTable schedule_;
  schedule::KnownMountpoints known_;
  test::RecordingPrompter prompter_;
  Urls found_{"stale"};
};

TEST_F(FindNewMountpointsTest, TheServerUrlWithOrWithoutSlashOrSchemeNamesOnePage) {
  ScriptedHttpServer server;
  server.setHandler([](const std::string&) { return ScriptedReply::Ok(Page({"/live"})); });
  const std::string hostPort = "127.0.0.1:" + std::to_string(server.port());
  for (const std::string& url : {"http://" + hostPort, "http://" + hostPort + "/", hostPort}) {
    EXPECT_EQ(find(url), 1);
    EXPECT_EQ(found_, Urls{(url.ends_with('/') ? url.substr(0, url.size() - 1) : url) + "/live"})
        << "built from the URL as written";
  }
  for (const auto& request : server.requests()) {
    EXPECT_EQ(request, "GET /status2.xsl HTTP/1.0\r\nHost: " + hostPort +
                           "\r\nAccept: *.*, */*\r\n"
                           "User-Agent: Larkspan (compatible; MSIE 6.0; Windows NT 5.1)\r\n\r\n");
  }
  EXPECT_TRUE(prompter_.boxes().empty());

  EXPECT_EQ(find("mailto:x"), -1);
  EXPECT_TRUE(found_.empty());
  EXPECT_EQ(prompter_.boxes(), (std::vector<test::RecordingPrompter::Box>{
                                   {test::RecordingPrompter::Kind::Warning, "Cannot parse URL"}}));
}

TEST_F(FindNewMountpointsTest, PagesOfSeveralReadsChunkedOrRedirectedAreReadWhole) {
  ScriptedHttpServer server;
  const std::string url = server.url("");
  const std::string page = std::string(9000, ' ') + Page({"/a", "/b", "/c", "/d"});
  server.enqueue(ScriptedReply::Ok(page, true));
  server.enqueue(ScriptedReply::Chunked(page, 700));
  server.enqueue(ScriptedReply::Redirect(302, server.url("/elsewhere.xsl")));
  server.enqueue(ScriptedReply::Ok(Page({"/moved"})));
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_EQ(find(url), 3);
    EXPECT_EQ(found_, (Urls{url + "/a", url + "/b", url + "/c"}));
  }
  EXPECT_EQ(find(url), 1);
  EXPECT_EQ(found_, Urls{url + "/moved"});
}

TEST_F(FindNewMountpointsTest, UnreachableStalledAndErrorPagesGiveNothing) {
  EXPECT_EQ(find("http://127.0.0.1:" + std::to_string(test::RefusingPort())), 0);
  ScriptedHttpServer server;
  server.enqueue(ScriptedReply::NotFound());
  server.enqueue(ScriptedReply::Redirect(302, "http://127.0.0.1:1/"));
  server.enqueue(ScriptedReply::Stall());
  options_.readTimeout = 300ms;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(find(server.url()), 0) << i;
  EXPECT_TRUE(prompter_.boxes().empty());
}

TEST_F(FindNewMountpointsTest, APageOfMegabytesIsCutAtThePageLimit) {
  ScriptedHttpServer server;
  const std::string url = server.url("");
  std::string page = "<pre>\n/first,1\n";
  page.resize(options_.pageLimit - 4, '.');
  page += "\n/edge,1\n" + std::string(3 << 20, '.') + "\n/late,1\n";
  server.enqueue(ScriptedReply::Ok(page, true));
  EXPECT_EQ(find(url), 2);
  EXPECT_EQ(found_, (Urls{url + "/first", url + "/ed"}));
}

TEST_F(FindNewMountpointsTest, ASlowTrickleEndsAtTheFetchTimeoutAndWhatArrivedIsScanned) {
  ScriptedHttpServer server;
  ScriptedReply trickle = ScriptedReply::Ok("<pre>\n/live,1\n/trickle,");
  trickle.streamBody = true;  // endless, and never silent long enough for a read time-out
  trickle.bytesPerSecond = 4000;
  server.enqueue(trickle);
  options_.fetchTimeout = 1s;
  EXPECT_EQ(find(server.url()), 2);
  EXPECT_EQ(found_, (Urls{server.url("/live"), server.url("/trickle")}));
}

TEST_F(FindNewMountpointsTest, PageShapesALiveIcecastNeverGives) {
  ScriptedHttpServer server;
  const std::string url = server.url("");
  known_.emplace_back();
  platform::CopyToField(known_.back().url, "*/old*");
  std::string page = "<pre>\n";
  for (int i = 0; i < 24; ++i) page += "/old" + std::to_string(i) + ",1\n";
  server.enqueue(ScriptedReply::Ok(page + "/new,1\n"));
  server.enqueue(ScriptedReply::Ok(page + "/old24,1\n/new,1\n"));
  server.enqueue(ScriptedReply::Ok("<pre>\n/first\n/second,1\n"));
  server.enqueue(ScriptedReply::Ok("<html><body>\n/live,1\n</body></html>"));
  EXPECT_EQ(find(url), 1) << "the 25th name";
  EXPECT_EQ(find(url), 0) << "a 26th name is not taken";
  EXPECT_EQ(find(url), 1);
  EXPECT_EQ(found_, Urls{url + "/first\n/second"});
  EXPECT_EQ(find(url), 0) << "no <pre>";
}

}  // namespace
}  // namespace larkspan::monitor
