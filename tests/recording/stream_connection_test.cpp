#include "recording/stream_connection.h"

#include <gtest/gtest.h>

#include "tests/support/scripted_http_server.h"

namespace larkspan::recording {
namespace {

using namespace std::chrono_literals;
using platform::ServiceType;
using test::ScriptedHttpServer;
using test::ScriptedReply;

// Opens a request the way a recording thread does and keeps what came of it.
class StreamConnectionTest : public ::testing::Test {
 protected:
  bool open(ScriptedHttpServer& server, const std::string& path, bool shoutcast = false) {
    job_.shoutcast = shoutcast;
    connection_ = session_.GetHttpConnection("127.0.0.1", server.port());
    return OpenStreamRequest(job_, connection_, request_, session_, ServiceType::Http, path,
                             "127.0.0.1", server.port());
  }
  // Why the last attempt gave no stream; empty when it gave one.
  std::string reason() const {
    return session_.lastFailure() ? session_.lastFailure()->reason : "";
  }

  std::string body() {
    std::string all;
    char buffer[1023];
    for (std::size_t n; (n = request_->read(buffer, sizeof buffer)) > 0;) all.append(buffer, n);
    return all;
  }

  std::vector<std::string> diagnostics_;
  platform::HttpOptions options_{.connectTimeout = 2s, .readTimeout = 2s};
  CRecordSession session_{options_,
                          [this](std::string_view line) { diagnostics_.emplace_back(line); }};
  RecordingJob job_;
  std::unique_ptr<platform::HttpConnection> connection_;
  std::unique_ptr<platform::HttpRequest> request_;
};

std::string HostLine(const ScriptedHttpServer& server) {
  return "Host: 127.0.0.1:" + std::to_string(server.port()) + "\r\n";
}

TEST_F(StreamConnectionTest, SendsTheHeaderSetOfTheShoutcastFlag) {
  ScriptedHttpServer server;
  server.enqueue(ScriptedReply::Ok("x"));
  server.enqueue(ScriptedReply::Ok("x"));
  ASSERT_TRUE(open(server, "/live"));
  ASSERT_TRUE(open(server, "/live.mp3", true));
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], "GET /live HTTP/1.0\r\n" + HostLine(server) +
                             "Accept: *.*, */*\r\n"
                             "User-Agent: Larkspan (compatible; MSIE 6.0; Windows NT 5.1)\r\n\r\n");
  EXPECT_EQ(requests[1], "GET /live.mp3 HTTP/1.0\r\n" + HostLine(server) +
                             "Accept: Icy-Metadata, */*\r\nUser-Agent: Orvelle\r\n\r\n");
  EXPECT_EQ(diagnostics_, (std::vector<std::string>{"Status Code is 200", "Status Code is 200"}));
}

TEST_F(StreamConnectionTest, EveryStatusButARedirectCountsAsSuccess) {
  ScriptedHttpServer server;
  server.enqueue(ScriptedReply::NotFound());
  server.enqueue(ScriptedReply::Redirect(307, "http://127.0.0.1:1/elsewhere"));
  server.enqueue(ScriptedReply::Raw("HTTP/1.0 500 Oops\r\n\r\nfailure page"));
  ASSERT_TRUE(open(server, "/missing"));
  EXPECT_EQ(reason(), "HTTP 404 Not Found") << "an error page brings no stream";
  EXPECT_NE(body().find("404 Not Found"), std::string::npos) << "the page is body data";
  EXPECT_TRUE(open(server, "/temporary"));
  EXPECT_EQ(reason(), "");
  EXPECT_TRUE(open(server, "/broken"));
  EXPECT_EQ(reason(), "HTTP 500 Oops");
  EXPECT_EQ(body(), "failure page");
  EXPECT_EQ(diagnostics_, (std::vector<std::string>{"Status Code is 404", "Status Code is 307",
                                                    "Status Code is 500"}));
  EXPECT_EQ(server.requests().size(), 3u) << "a 307 is not followed";
}

TEST_F(StreamConnectionTest, AnIcyReplyArrivesWholeAsBody) {
  ScriptedHttpServer server;
  server.enqueue(ScriptedReply::Icy({"icy-name:X", "icy-metaint:8192"}, std::string(100, '\xFF')));
  ASSERT_TRUE(open(server, "/", true));
  EXPECT_EQ(request_->statusCode(), 200);
  EXPECT_EQ(body(),
            "ICY 200 OK\r\nicy-name:X\r\nicy-metaint:8192\r\n\r\n" + std::string(100, '\xFF'));
}

TEST_F(StreamConnectionTest, FollowsOneRedirectToAnotherServer) {
  for (const int code : {301, 302, 303}) {
    ScriptedHttpServer first;
    ScriptedHttpServer second;
    first.enqueue(ScriptedReply::Redirect(code, second.url("/live?id=3")));
    second.enqueue(ScriptedReply::Ok("stream"));
    diagnostics_.clear();
    ASSERT_TRUE(open(first, "/old", true)) << code;
    EXPECT_EQ(connection_, nullptr) << "the caller's connection is released";
    EXPECT_EQ(body(), "stream");
    ASSERT_EQ(second.requests().size(), 1u);
    EXPECT_EQ(second.requests()[0], "GET /live?id=3 HTTP/1.0\r\n" + HostLine(second) +
                                        "Accept: Icy-Metadata, */*\r\nUser-Agent: Orvelle\r\n\r\n");
    EXPECT_EQ(diagnostics_, std::vector<std::string>{"Status Code is 200"});
  }
}

TEST_F(StreamConnectionTest, RedirectFailuresSayWhy) {
  ScriptedHttpServer server;
  ScriptedHttpServer target;
  server.enqueue(ScriptedReply::Redirect(302, std::nullopt));
  server.enqueue(
      ScriptedReply::Raw("HTTP/1.0 302 Found\r\nlocation: " + target.url("/x") + "\r\n\r\n"));
  server.enqueue(ScriptedReply::Redirect(302, "ftp://files.example/live.mp3"));
  server.enqueue(ScriptedReply::Redirect(302, "just some words"));
  server.enqueue(ScriptedReply::Redirect(302, target.url("/again")));
  target.enqueue(ScriptedReply::Redirect(302, target.url("/third")));
  server.enqueue(ScriptedReply::Redirect(301, target.url("/gone")));
  target.enqueue(ScriptedReply::NotFound());

  EXPECT_FALSE(open(server, "/a"));
  EXPECT_NE(request_, nullptr) << "without a location the request stays in place";
  std::vector<std::string> reasons{reason()};
  for (const char* path : {"/b", "/c", "/d", "/e", "/f"}) {
    EXPECT_FALSE(open(server, path));
    reasons.push_back(reason());
  }
  EXPECT_EQ(diagnostics_, (std::vector<std::string>{
                              "Error: Site redirects with no new location",
                              "Error: Site redirects with no new location",
                              "Error: the redirected URL does not reference a HTTP resource.",
                              "Error: the redirected URL could not be parsed.",
                              "Error: Got status code 302",
                              "Error: Got status code 404",
                          }));
  EXPECT_EQ(reasons, (std::vector<std::string>{
                         "Site redirects with no new location",
                         "Site redirects with no new location",
                         "the redirected URL does not reference a HTTP resource.",
                         "the redirected URL could not be parsed.",
                         "HTTP 302 Found",
                         "HTTP 404 Not Found",
                     }));
  EXPECT_EQ(target.requests().size(), 2u) << "only one redirect is followed";
}

TEST_F(StreamConnectionTest, FailuresInsideAnAttemptReturnFalseWithTheirReason) {
  ScriptedHttpServer server;
  server.enqueue(ScriptedReply::Stall());
  session_ = CRecordSession({.connectTimeout = 1s, .readTimeout = 300ms},
                            [this](std::string_view line) { diagnostics_.emplace_back(line); });
  EXPECT_FALSE(open(server, "/stalls"));
  EXPECT_EQ(reason(), "read timed out");
  const std::uint16_t refusing = test::RefusingPort();
  connection_ = session_.GetHttpConnection("127.0.0.1", refusing);
  EXPECT_FALSE(OpenStreamRequest(job_, connection_, request_, session_, ServiceType::Http, "/",
                                 "127.0.0.1", refusing));
  EXPECT_EQ(reason(),
            "cannot connect to 127.0.0.1:" + std::to_string(refusing) + ": Connection refused");
  connection_.reset();
  EXPECT_FALSE(OpenStreamRequest(job_, connection_, request_, session_, ServiceType::Http, "/",
                                 "127.0.0.1", refusing))
      << "a released connection is not used again";
  EXPECT_TRUE(diagnostics_.empty()) << "a network failure says nothing";

  // Any other failure (here, memory running out while reporting) ends the
  // attempt the same way.
  server.enqueue(ScriptedReply::Ok("x"));
  session_ = CRecordSession(options_, [](std::string_view) { throw std::bad_alloc(); });
  EXPECT_FALSE(open(server, "/live"));
}

}  // namespace
}  // namespace larkspan::recording
