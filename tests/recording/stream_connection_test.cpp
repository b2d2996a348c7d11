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
  bool open(std::uint16_t port) {
    connection_ = session_.GetHttpConnection("127.0.0.1", port);
    return OpenStreamRequest(job_, connection_, request_, session_, platform::ServiceType::Http,
                             "/live", "127.0.0.1", port);
  }
  // Why the last attempt gave no stream; empty when it gave one.
  std::string reason() const {
    return session_.lastFailure() ? session_.lastFailure()->reason : "";
  }

  std::vector<std::string> diagnostics_;
  CRecordSession session_{{.connectTimeout = 1s, .readTimeout = 1s},
                          [this](std::string_view line) { diagnostics_.emplace_back(line); }};
  RecordingJob job_;
  std::unique_ptr<platform::HttpConnection> connection_;
  std::unique_ptr<platform::HttpRequest> request_;
};

TEST_F(StreamConnectionTest,
       EveryStatusButARedirectIsAStreamOneRedirectIsFollowedAndFailuresSayWhy) {
  ScriptedHttpServer target;
  target.setHandler([&](const std::string& request) {
    if (request.starts_with("GET /again ")) return ScriptedReply::Redirect(302, target.url("/x"));
    if (request.starts_with("GET /gone ")) return ScriptedReply::NotFound();
    return ScriptedReply::Ok("stream");
  });
  const struct {
    ScriptedReply reply;
    bool stream;
    std::string reason;
  } cases[] = {
      // An error page is a reply, though it brings no stream.
      {ScriptedReply::NotFound(), true, "HTTP 404 Not Found"},
      {ScriptedReply::Raw("HTTP/1.0 500 Oops\r\n\r\nfailure page"), true, "HTTP 500 Oops"},
      {ScriptedReply::Redirect(307, "http://127.0.0.1:1/elsewhere"), true, ""},  // not followed
      {ScriptedReply::Redirect(301, target.url("/live?id=3")), true, ""},
      {ScriptedReply::Redirect(303, target.url("/live?id=3")), true, ""},
      {ScriptedReply::Redirect(302, std::nullopt), false, "Site redirects with no new location"},
      {ScriptedReply::Raw("HTTP/1.0 302 Found\r\nlocation: " + target.url("/x") + "\r\n\r\n"),
       false, "Site redirects with no new location"},
      {ScriptedReply::Redirect(302, "ftp://files.example/live.mp3"), false,
       "the redirected URL does not reference a HTTP resource."},
      {ScriptedReply::Redirect(302, "just some words"), false,
       "the redirected URL could not be parsed."},
      // Only one redirect is followed.
      {ScriptedReply::Redirect(302, target.url("/again")), false, "HTTP 302 Found"},
      {ScriptedReply::Redirect(301, target.url("/gone")), false, "HTTP 404 Not Found"},
      {ScriptedReply::Stall(), false, "read timed out"},
  };
  for (const auto& c : cases) {
    ScriptedHttpServer server;
    server.enqueue(c.reply);
    EXPECT_EQ(open(server.port()), c.stream) << c.reply.head;
    EXPECT_EQ(reason(), c.reason) << c.reply.head;
  }
  EXPECT_EQ(target.requests().size(), 4u);
  EXPECT_EQ(target.requests()[0],
            "GET /live?id=3 HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(target.port()) +
                "\r\nAccept: *.*, */*\r\nUser-Agent: Larkspan (compatible; "
                "MSIE 6.0; Windows NT 5.1)\r\n\r\n");

  diagnostics_.clear();
  EXPECT_FALSE(open(test::RefusingPort()));
  connection_.reset();
  EXPECT_FALSE(OpenStreamRequest(job_, connection_, request_, session_, platform::ServiceType::Http,
                                 "/", "127.0.0.1", target.port()))
      << "a released connection is not used again";
  EXPECT_TRUE(diagnostics_.empty()) << "a network failure says nothing";

  // Any other failure (here, memory running out while reporting) ends the
  // attempt the same way.
  target.enqueue(ScriptedReply::Ok("x"));
  session_ = CRecordSession({}, [](std::string_view) { throw std::bad_alloc(); });
  EXPECT_FALSE(open(target.port()));
}

}  // namespace
}  // namespace larkspan::recording
