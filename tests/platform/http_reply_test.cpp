#include "platform/http_reply.h"

#include <gtest/gtest.h>

#include "platform/network_error.h"

namespace larkspan::platform {
namespace {

// Reads the whole body in pieces of `piece` bytes, up to the read that gives 0.
std::string ReadAll(auto&& reply, std::size_t piece = 1000) {
  std::string body;
  std::string buffer(piece, '\0');
  for (std::size_t n; (n = reply.read(buffer.data(), piece)) > 0;) body.append(buffer, 0, n);
  return body;
}

// The stream of a Reply, made before the reply that reads it.
struct Wire {
  MemoryStream stream;
};
// A reply to `wire`, which arrives `slice` bytes at a time, its head read.
struct Reply : Wire, HttpReply {
  explicit Reply(std::string wire, std::size_t slice = -1,
                 std::size_t keep = HttpReply::kDefaultKeepLimit)
      : Wire{MemoryStream(std::move(wire), slice)}, HttpReply(stream, keep) {
    readHead();
  }
};

TEST(HttpReply, ReadsStatusHeadAndBodyHoweverTheBytesArrive) {
  const std::string icy = "ICY 200 OK\r\nicy-name:X\r\nicy-metaint:8192\r\n\r\n\xFF\xFF\xFF";
  const std::string chunked =
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 2\r\n\r\n"
      "5\r\nhello\r\n1;ext=1\r\n \r\nA\r\n0123456789\r\n0\r\nTrailer: x\r\n\r\nafter";
  struct Case {
    std::string wire;
    int status;
    std::string body;
    std::optional<std::string> head = std::nullopt;
  };
  const Case cases[] = {
      {icy, 200, icy, ""},  // no status line: all of it is body
      {"HT", 200, "HT"},
      {"HTTX/1.0 200 OK\r\n\r\n", 200, "HTTX/1.0 200 OK\r\n\r\n"},
      {"", 200, ""},
      {"HTTP/1.1 302 Found\nLocation: http://other/\n\nbody", 302, "body",
       "HTTP/1.1 302 Found\r\nLocation: http://other/\r\n\r\n"},
      {"HTTP/1.0 404\r\n\r\n<html>", 404, "<html>"},
      {"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n0123456789", 200, "01234"},
      {"HTTP/1.0 200 OK\r\ncontent-length:0\r\n\r\nignored", 200, ""},
      {"HTTP/1.0 204 No Content\r\n\r\nignored", 204, ""},
      {chunked, 200, "hello 0123456789"},
      {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n\r\ndata", 200, "data",
       "HTTP/1.1 200 OK\r\n\r\n"},
  };
  for (const Case& c : cases) {
    for (const std::size_t slice : {1u, 3u, 64u}) {
      SCOPED_TRACE(c.wire.substr(0, 40) + " in slices of " + std::to_string(slice));
      Reply reply(c.wire, slice);
      EXPECT_EQ(reply.statusCode(), c.status);
      EXPECT_EQ(reply.rawHead(), c.head.value_or(reply.rawHead()));
      EXPECT_EQ(ReadAll(reply, 7), c.body);
      char byte;
      EXPECT_EQ(reply.read(&byte, 1), 0u) << "the end of the body stays the end";
    }
  }
}

TEST(HttpReply, MalformedRepliesEndInTheNetworkFailure) {
  const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  std::string manyHeaders = "HTTP/1.0 200 OK\r\n";
  while (manyHeaders.size() < (2 << 20)) manyHeaders += "X-Filler: 0123456789\r\n";
  std::string informational;
  for (int i = 0; i < 20; ++i) informational += "HTTP/1.1 100 Continue\r\n\r\n";
  // The first closes inside the head.
  for (const std::string& wire : std::vector<std::string>{
           "HTTP/1.0 200 OK\r\nX: y", "HTTP/1.0 " + std::string(3 << 20, 'a'), manyHeaders + "\r\n",
           informational + "HTTP/1.1 200 OK\r\n\r\n", "HTTP/1.0 abc\r\n\r\n", "HTTP/1.0\r\n\r\n",
           "HTTP/1.0 20\r\n\r\n", "HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\nabc",
           "HTTP/1.0 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\nabc",
           "HTTP/1.0 200 OK\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd",
           chunked + "zz\r\nab\r\n0\r\n\r\n", chunked + "FFFFFFFFFFFFFFFFFFFF\r\nab",
           chunked + "5\r\nabc", chunked + "2\r\nabXY\r\n0\r\n\r\n",
           chunked + std::string(5000, '1')}) {
    // A failure after some body bytes is raised by the read after them.
    EXPECT_THROW(ReadAll(Reply(wire, 4096)), NetworkError) << wire.substr(0, 60);
  }
}

// A failure follows the bytes before it; the kept body is replayed only
// within its bound.
TEST(HttpReply, ReadsAreShortOnlyAtTheEndAndRepositionReplaysTheKeptBody) {
  Reply cut("HTTP/1.0 200 OK\r\n\r\n" + std::string(2500, 'x'), 5);
  cut.stream.failAtEnd(true);
  char buffer[1023];
  for (const std::size_t n : {1023u, 1023u, 454u}) EXPECT_EQ(cut.read(buffer, sizeof buffer), n);
  EXPECT_THROW(cut.read(buffer, sizeof buffer), NetworkError);
  EXPECT_THROW(cut.read(buffer, sizeof buffer), NetworkError);

  const std::string icy = "ICY 200 OK\r\n\r\n0123456789abcdefghij";
  Reply headless(icy, 3, 64);
  ASSERT_EQ(headless.read(buffer, 20), 20u);
  headless.seekToBodyStart();
  ASSERT_EQ(headless.read(buffer, 10), 10u);
  EXPECT_EQ(std::string(buffer, 10), "ICY 200 OK");
  headless.seekToBodyStart();
  EXPECT_EQ(ReadAll(headless, 7), icy);

  Reply reply("HTTP/1.0 200 OK\r\n\r\n" + std::string(100, 'x'), -1, 50);
  reply.seekToBodyStart();  // nothing read yet: always possible
  ASSERT_EQ(reply.read(buffer, 40), 40u);
  reply.seekToBodyStart();
  ASSERT_EQ(reply.read(buffer, 60), 60u);
  EXPECT_THROW(reply.seekToBodyStart(), NetworkError);
  EXPECT_EQ(ReadAll(reply), std::string(40, 'x')) << "the body goes on after a failed reposition";

  Reply dropped("HTTP/1.0 200 OK\r\n\r\nabcdef");
  ASSERT_EQ(dropped.read(buffer, 3), 3u);
  dropped.seekToBodyStart();
  dropped.dropKeptBytes();
  EXPECT_THROW(dropped.seekToBodyStart(), NetworkError);
  EXPECT_EQ(ReadAll(dropped), "abcdef") << "the replay under way still runs";
  EXPECT_EQ(dropped.keptBytes(), 0u) << "its copy is freed once it has been read";
}

}  // namespace
}  // namespace larkspan::platform
