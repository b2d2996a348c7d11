#include "monitor/find_new_mountpoints.h"

#include <gtest/gtest.h>

#include "monitor/status_page_address.h"
#include "platform/text.h"
#include "tests/support/recording_prompter.h"
#include "tests/support/scripted_http_server.h"

namespace larkspan::monitor {
namespace {

using namespace std::chrono_literals;
using test::RecordingPrompter;
using test::ScriptedHttpServer;
using test::ScriptedReply;
using Urls = std::vector<std::string>;

std::string Page(const Urls& names) {
  std::string page = "<html><body><pre>\n";
  for (const auto& name : names) page += name + ",1,128,Title\n";
  return page + "</pre></body></html>\n";
}

// The schedule with the monitoring entry at index 0.
class SelectNewMountpointsTest : public ::testing::Test {
 protected:
  SelectNewMountpointsTest() {
    schedule::ScheduleEntry server;
    platform::CopyToField(server.url, kServer);
    server.monitorServer = 1;
    schedule_.appendEntry(server, {});
  }
  void addMonitoredMountpoint(const std::string& url, std::uint8_t flag = 1) {
    schedule::ScheduleEntry entry;
    platform::CopyToField(entry.url, url);
    entry.monitorMountpoint = flag;
    schedule_.appendEntry(entry, {});
  }
  void addKnown(const std::string& url) {
    schedule::KnownMountpoint record;
    platform::CopyToField(record.url, url);
    known_.push_back(record);
  }
  Urls select(const Urls& names, std::string_view serverUrl = kServer) const {
    return SelectNewMountpoints(names, schedule_, known_, serverUrl, 0);
  }

  static constexpr const char* kServer = "http://radio.test:8000/";
  schedule::ScheduleTable schedule_;
  schedule::KnownMountpoints known_;
};

TEST_F(SelectNewMountpointsTest, FullUrlsAreTheServerUrlLessOneSlashThenTheName) {
  EXPECT_EQ(select({"/live"}), (Urls{"http://radio.test:8000/live"}));
  EXPECT_EQ(select({"/live"}, "http://radio.test:8000"), (Urls{"http://radio.test:8000/live"}));
  EXPECT_EQ(select({"/live"}, "radio.test:8000//"), (Urls{"radio.test:8000//live"}));
}

TEST_F(SelectNewMountpointsTest, MountpointsMonitoredAlreadyUseUpThePlacesOfThePoll) {
  for (const char* name : {"/a", "/b", "/c"})
    addMonitoredMountpoint("http://radio.test:8000" + std::string(name));
  addMonitoredMountpoint("http://radio.test:8000/d", 2);
  EXPECT_EQ(select({"/a", "/b", "/c", "/new"}), Urls{});
  EXPECT_EQ(select({"/a", "/d", "/new", "/b", "/x", "/y"}),
            (Urls{"http://radio.test:8000/d", "http://radio.test:8000/new"}))
      << "only a flag of 1 counts as monitored";
}

TEST_F(SelectNewMountpointsTest, KnownMountpointsMatchExactlyOrAsPatterns) {
  addKnown("http://radio.test:8000/live");
  addKnown("*/test*");
  addKnown("");
  EXPECT_EQ(select({"/live", "/test.ogg", "/my/test1", "/live2", "/Test"}),
            (Urls{"http://radio.test:8000/live2", "http://radio.test:8000/Test"}));
}

TEST_F(SelectNewMountpointsTest, IgnoredNamesDoNotUseAPlaceAndAtMostThreeAreNew) {
  schedule::ScheduleEntry& server = schedule_.entry(0);
  server.shortIgnoreFlags[0] = 1;
  platform::CopyToField(server.shortIgnoreNames[0], "/ads*");
  platform::CopyToField(schedule_.options(0).ignoredExtensions[0], "aac");
  EXPECT_EQ(
      select({"/ads1", "/x.aac", "/1", "/ads2", "/2", "/3", "/4"}),
      (Urls{"http://radio.test:8000/1", "http://radio.test:8000/2", "http://radio.test:8000/3"}));
}

TEST_F(SelectNewMountpointsTest, AUrlLongerThanItsSlotIsSkippedNotCut) {
  const std::string base = "http://radio.test:8000";
  const std::string fits = "/" + std::string(127 - base.size() - 1, 'f');
  const std::string tooLong = fits + "g";
  EXPECT_EQ(select({tooLong, fits}), (Urls{base + fits}));
  addMonitoredMountpoint(base + tooLong);
  EXPECT_EQ(select({tooLong, tooLong, tooLong, fits}), Urls{})
      << "a long URL that is monitored already still uses up a place";
}

TEST(StatusPageAddressTest, OneSlashBeforeThePageAndHttpAssumedWithoutAScheme) {
  EXPECT_EQ(StatusPageAddress("http://h:8000"), "http://h:8000/status2.xsl");
  EXPECT_EQ(StatusPageAddress("http://h:8000/"), "http://h:8000/status2.xsl");
  const auto parts = SplitStatusPageAddress(StatusPageAddress("127.0.0.1:8000"));
  ASSERT_TRUE(parts);
  EXPECT_EQ(*parts,
            (platform::UrlParts{platform::ServiceType::Http, "127.0.0.1", "/status2.xsl", 8000}));
  EXPECT_FALSE(SplitStatusPageAddress(StatusPageAddress("")));
}

// Fetches against the scripted server, with limits short enough for a test.
class FindNewMountpointsTest : public ::testing::Test {
 protected:
  std::int16_t find(std::string_view serverUrl) {
    schedule::ScheduleEntry server;
    platform::CopyToField(server.url, serverUrl);
    server.monitorServer = 1;
    schedule_.reset();
    schedule_.appendEntry(server, {});
    return FindNewMountpoints(job_, schedule_, known_, serverUrl, found_, 0, options_, prompter_);
  }

  StatusPageOptions options_{
      .connectTimeout = 2s, .readTimeout = 2s, .fetchTimeout = 5s, .diagnostics = {}};
  recording::RecordingJob job_;
  schedule::ScheduleTable schedule_;
  schedule::KnownMountpoints known_;
  RecordingPrompter prompter_;
  Urls found_{"stale"};
};

TEST_F(FindNewMountpointsTest, AServerUrlWithOrWithoutSlashOrSchemeFetchesTheSamePage) {
  ScriptedHttpServer server;
  server.setHandler([](const std::string&) { return ScriptedReply::Ok(Page({"/live"})); });
  const std::string hostPort = "127.0.0.1:" + std::to_string(server.port());

  EXPECT_EQ(find("http://" + hostPort), 1);
  EXPECT_EQ(found_, Urls{"http://" + hostPort + "/live"});
  EXPECT_EQ(find("http://" + hostPort + "/"), 1);
  EXPECT_EQ(found_, Urls{"http://" + hostPort + "/live"});
  EXPECT_EQ(find(hostPort), 1);
  EXPECT_EQ(found_, Urls{hostPort + "/live"}) << "built from the URL as written";

  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 3u);
  for (const auto& request : requests) {
    EXPECT_EQ(request, "GET /status2.xsl HTTP/1.0\r\nHost: " + hostPort +
                           "\r\nAccept: *.*, */*\r\n"
                           "User-Agent: Larkspan (compatible; MSIE 6.0; Windows NT 5.1)\r\n\r\n");
  }
  EXPECT_TRUE(prompter_.boxes().empty());
}

TEST_F(FindNewMountpointsTest, AnAddressThatIsNotHttpIsRefusedWithAWarning) {
  EXPECT_EQ(find(""), -1);
  EXPECT_EQ(find("mailto:x"), -1);
  EXPECT_TRUE(found_.empty());
  const std::vector<RecordingPrompter::Box> warning{
      {RecordingPrompter::Kind::Warning, "Cannot parse URL"}};
  EXPECT_EQ(prompter_.boxes(), (std::vector<RecordingPrompter::Box>{warning[0], warning[0]}));
}

TEST_F(FindNewMountpointsTest, PagesOfSeveralReadsChunkedOrRedirectedAreReadWhole) {
  ScriptedHttpServer server;
  Urls names;
  for (int i = 0; i < 20; ++i) names.push_back("/" + std::string(90, 'a' + i));
  std::string page = Page(names);
  page.insert(0, 9000, ' ');
  server.enqueue(ScriptedReply::Ok(page, true));
  server.enqueue(ScriptedReply::Chunked(page, 700));
  server.enqueue(ScriptedReply::Redirect(302, server.url("/elsewhere.xsl")));
  server.enqueue(ScriptedReply::Ok(Page({"/moved"})));
  const std::string url = server.url("");

  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_EQ(find(url), 3);
    EXPECT_EQ(found_, (Urls{url + names[0], url + names[1], url + names[2]}));
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
  EXPECT_TRUE(found_.empty());
  EXPECT_TRUE(prompter_.boxes().empty());
}

TEST_F(FindNewMountpointsTest, APageOfMegabytesIsCutAtThePageLimit) {
  ScriptedHttpServer server;
  const std::string url = server.url("");
  std::string page = "<pre>\n/first,1\n";
  page.resize(options_.pageLimit - 4, '.');
  page += "\n/edge,1\n";  // crosses the limit: cut to "/ed"
  page += std::string(3 << 20, '.') + "\n/late,1\n";
  server.enqueue(ScriptedReply::Ok(page, true));
  EXPECT_EQ(find(url), 2);
  EXPECT_EQ(found_, (Urls{url + "/first", url + "/ed"}));
}

TEST_F(FindNewMountpointsTest, ASlowTrickleEndsAtTheFetchTimeoutAndWhatArrivedIsScanned) {
  ScriptedHttpServer server;
  ScriptedReply trickle = ScriptedReply::Ok("<pre>\n/live,1\n/trickle,");
  trickle.streamBody = true;  // endless, but never silent for a read time-out
  trickle.bytesPerSecond = 4000;
  server.enqueue(trickle);
  options_.fetchTimeout = 1s;
  EXPECT_EQ(find(server.url()), 2);
  EXPECT_EQ(found_, (Urls{server.url("/live"), server.url("/trickle")}));
}

TEST_F(FindNewMountpointsTest, PageShapesALiveIcecastNeverGives) {
  ScriptedHttpServer server;
  const std::string url = server.url("");
  schedule::KnownMountpoint old;
  platform::CopyToField(old.url, "*/old*");
  known_.push_back(old);
  std::string page = "<pre>\n";
  for (int i = 0; i < 24; ++i) page += "/old" + std::to_string(i) + ",1\n";
  server.enqueue(ScriptedReply::Ok(page + "/new,1\n"));
  server.enqueue(ScriptedReply::Ok(page + "/old24,1\n/new,1\n"));
  server.enqueue(ScriptedReply::Ok("<pre>\n/first\n/second,1\n"));
  server.enqueue(ScriptedReply::Ok("<html><body>/live,1\n/talk,1\n</body></html>"));

  EXPECT_EQ(find(url), 1);
  EXPECT_EQ(found_, Urls{url + "/new"}) << "the 25th name";
  EXPECT_EQ(find(url), 0) << "a 26th name is not taken";
  EXPECT_EQ(find(url), 1);
  EXPECT_EQ(found_, Urls{url + "/first\n/second"});
  EXPECT_EQ(find(url), 0) << "no <pre>";
}

}  // namespace
}  // namespace larkspan::monitor
