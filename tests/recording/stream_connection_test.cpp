#include "recording/stream_connection.h"

#include <gtest/gtest.h>

#include "tests/support/scripted_http_server.h"

namespace larkspan::recording {
namespace {

using namespace std::chrono_literals;
using test::ScriptedHttpServer;
using test::ScriptedReply;

// Opens a request the way a recording thread does and keeps what came of it.
class StreamConnectionTest : public ::testing::Test {
 protected:
  bool open(std::uint16_t port, const std::string& path = "/live", bool shoutcast = true) {
    job_.shoutcast = shoutcast;
    connection_ = session_.GetHttpConnection("127.0.0.1", port);
    return OpenStreamRequest(job_, connection_, request_, session_, platform::ServiceType::Http,
                             path, "127.0.0.1", port);
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
  CRecordSession session_{{.connectTimeout = 2s, .readTimeout = 2s},
                          [this](std::string_view line) { diagnostics_.emplace_back(line); }};
  RecordingJob job_;
  std::unique_ptr<platform::HttpConnection> connection_;
  std::unique_ptr<platform::HttpRequest> request_;
};

TEST_F(StreamConnectionTest, EveryStatusButARedirectIsAStreamAndOneRedirectIsFollowed) {
  ScriptedHttpServer server;
  ScriptedHttpServer target;
  struct Case {
    ScriptedReply reply;
    std::string reason;
    std::string body;
  };
  const Case cases[] = {
      // An error page brings no stream, but its page is body data.
      {ScriptedReply::NotFound(), "HTTP 404 Not Found", ScriptedReply::NotFound().body},
      {ScriptedReply::Raw("HTTP/1.0 500 Oops\r\n\r\nfailure page"), "HTTP 500 Oops",
       "failure page"},
      // A 307 is not followed.
      {ScriptedReply::Redirect(307, "http://127.0.0.1:1/elsewhere"), "", ""},
      {ScriptedReply::Redirect(301, target.url("/live?id=3")), "", "stream"},
      {ScriptedReply::Redirect(302, target.url("/live?id=3")), "", "stream"},
      {ScriptedReply::Redirect(303, target.url("/live?id=3")), "", "stream"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply.head);
    server.enqueue(c.reply);
    target.enqueue(ScriptedReply::Ok("stream"));
    ASSERT_TRUE(open(server.port(), "/old"));
    EXPECT_EQ(reason(), c.reason);
    EXPECT_EQ(body(), c.body);
  }
  ASSERT_EQ(target.requests().size(), 3u);
  EXPECT_EQ(target.requests()[0],
            "GET /live?id=3 HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(target.port()) +
                "\r\nAccept: Icy-Metadata, */*\r\nUser-Agent: Orvelle\r\n\r\n");
  EXPECT_EQ(diagnostics_.front(), "Status Code is 404");
}

TEST_F(StreamConnectionTest, RedirectFailuresSayWhy) {
  ScriptedHttpServer server;
  ScriptedHttpServer target;
  target.enqueue(ScriptedReply::Redirect(302, target.url("/third")));
  target.enqueue(ScriptedReply::NotFound());
  const std::pair<ScriptedReply, std::string> cases[] = {
      {ScriptedReply::Redirect(302, std::nullopt), "Site redirects with no new location"},
      {ScriptedReply::Raw("HTTP/1.0 302 Found\r\nlocation: " + target.url("/x") + "\r\n\r\n"),
       "Site redirects with no new location"},
      {ScriptedReply::Redirect(302, "ftp://files.example/live.mp3"),
       "the redirected URL does not reference a HTTP resource."},
      {ScriptedReply::Redirect(302, "just some words"), "the redirected URL could not be parsed."},
      // Only one redirect is followed.
      {ScriptedReply::Redirect(302, target.url("/again")), "HTTP 302 Found"},
      {ScriptedReply::Redirect(301, target.url("/gone")), "HTTP 404 Not Found"},
  };
  for (const auto& [reply, why] : cases) {
    server.enqueue(reply);
    diagnostics_.clear();
    EXPECT_FALSE(open(server.port())) << why;
    EXPECT_EQ(reason(), why);
    const std::string status =
        why.starts_with("HTTP ") ? "Got status code " + why.substr(5, 3) : why;
    EXPECT_EQ(diagnostics_.back(), "Error: " + status);
  }
  EXPECT_EQ(target.requests().size(), 2u);
}

TEST_F(StreamConnectionTest, FailuresInsideAnAttemptReturnFalseWithTheirReason) {
  ScriptedHttpServer server;
  server.enqueue(ScriptedReply::Stall());
  session_ = CRecordSession({.connectTimeout = 1s, .readTimeout = 300ms},
                            [this](std::string_view line) { diagnostics_.emplace_back(line); });
  EXPECT_FALSE(open(server.port()));
  EXPECT_EQ(reason(), "read timed out");
  const std::uint16_t refusing = test::RefusingPort();
  EXPECT_FALSE(open(refusing));
  EXPECT_EQ(reason(),
            "cannot connect to 127.0.0.1:" + std::to_string(refusing) + ": Connection refused");
  connection_.reset();
  EXPECT_FALSE(OpenStreamRequest(job_, connection_, request_, session_, platform::ServiceType::Http,
                                 "/", "127.0.0.1", refusing))
      << "a released connection is not used again";
  EXPECT_TRUE(diagnostics_.empty()) << "a network failure says nothing";

  // Any other failure (here, memory running out while reporting) ends the
  // attempt the same way.
  server.enqueue(ScriptedReply::Ok("x"));
  session_ = CRecordSession({}, [](std::string_view) { throw std::bad_alloc(); });
  EXPECT_FALSE(open(server.port()));
}

}  // namespace
}  // namespace larkspan::recording
