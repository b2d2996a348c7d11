#include "platform/http_reply.h"

#include <gtest/gtest.h>

#include "platform/network_error.h"

namespace larkspan::platform {
namespace {

// Reads the whole body in pieces of `piece` bytes.
std::string ReadAll(HttpReply& reply, std::size_t piece = 1000) {
  std::string body;
  std::string buffer(piece, '\0');
  for (;;) {
    const std::size_t n = reply.read(buffer.data(), piece);
    body.append(buffer, 0, n);
    if (n < piece) break;
  }
  return body;
}

struct Parsed {
  int status;
  std::string head;
  std::string body;
};

Parsed Parse(const std::string& wire, std::size_t slice = 7) {
  MemoryStream stream(wire, slice);
  HttpReply reply(stream);
  reply.readHead();
  Parsed p{reply.statusCode(), reply.rawHead(), ReadAll(reply)};
  char byte;
  EXPECT_EQ(reply.read(&byte, 1), 0u) << "the end of the body stays the end";
  return p;
}

void ExpectNetworkError(const std::string& wire, std::size_t slice = 1 << 20) {
  MemoryStream stream(wire, slice);
  HttpReply reply(stream);
  // A failure after some body bytes is raised by the read after them.
  EXPECT_THROW(
      {
        reply.readHead();
        char buffer[512];
        while (reply.read(buffer, sizeof buffer) > 0) {
        }
      },
      NetworkError)
      << wire.substr(0, 60);
}

TEST(HttpReply, AReplyWithoutStatusLineIsAllBody) {
  const std::string icy = "ICY 200 OK\r\nicy-name:X\r\nicy-metaint:8192\r\n\r\n\xFF\xFF\xFF";
  EXPECT_EQ(Parse(icy).status, 200);
  EXPECT_EQ(Parse(icy).head, "");
  EXPECT_EQ(Parse(icy).body, icy);
  EXPECT_EQ(Parse("HT", 1).body, "HT");
  EXPECT_EQ(Parse("HTTX/1.0 200 OK\r\n\r\n", 2).body, "HTTX/1.0 200 OK\r\n\r\n");
  const Parsed empty = Parse("");
  EXPECT_EQ(empty.status, 200);
  EXPECT_EQ(empty.body, "");
}

TEST(HttpReply, KeepsStatusAndRawHeadWithCrLfLines) {
  const Parsed p = Parse("HTTP/1.1 302 Found\nLocation: http://other:8000/live\nX: y\n\nbody", 3);
  EXPECT_EQ(p.status, 302);
  EXPECT_EQ(p.head, "HTTP/1.1 302 Found\r\nLocation: http://other:8000/live\r\nX: y\r\n\r\n");
  EXPECT_EQ(p.body, "body");
  EXPECT_EQ(Parse("HTTP/1.0 404\r\n\r\n<html>").status, 404);
}

TEST(HttpReply, BodyHonoursContentLengthAndChunkedCoding) {
  EXPECT_EQ(Parse("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n0123456789").body, "01234");
  EXPECT_EQ(Parse("HTTP/1.0 200 OK\r\ncontent-length:0\r\n\r\nignored").body, "");
  EXPECT_EQ(Parse("HTTP/1.0 204 No Content\r\n\r\nignored").body, "");
  const std::string chunked =
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 2\r\n\r\n"
      "5\r\nhello\r\n1;ext=1\r\n \r\nA\r\n0123456789\r\n0\r\nTrailer: x\r\n\r\nafter";
  for (const std::size_t slice : {1u, 3u, 64u}) {
    EXPECT_EQ(Parse(chunked, slice).body, "hello 0123456789") << slice;
  }
}

TEST(HttpReply, SkipsInformationalReplies) {
  const Parsed p = Parse("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n\r\ndata", 4);
  EXPECT_EQ(p.status, 200);
  EXPECT_EQ(p.body, "data");
}

TEST(HttpReply, ReadsBlockUntilTheCountAndAreShortOnlyAtTheEnd) {
  MemoryStream stream("HTTP/1.0 200 OK\r\n\r\n" + std::string(2500, 'x'), 5);
  HttpReply reply(stream);
  reply.readHead();
  char buffer[1023];
  EXPECT_EQ(reply.read(buffer, sizeof buffer), 1023u);
  EXPECT_EQ(reply.read(buffer, sizeof buffer), 1023u);
  EXPECT_EQ(reply.read(buffer, sizeof buffer), 454u);
  EXPECT_EQ(reply.read(buffer, sizeof buffer), 0u);
}

TEST(HttpReply, MalformedRepliesEndInTheNetworkFailure) {
  ExpectNetworkError("HTTP/1.0 200 OK\r\nX: y");                // closed inside the head
  ExpectNetworkError("HTTP/1.0 " + std::string(3 << 20, 'a'));  // no line end at all
  std::string manyHeaders = "HTTP/1.0 200 OK\r\n";
  while (manyHeaders.size() < (2 << 20)) manyHeaders += "X-Filler: 0123456789\r\n";
  ExpectNetworkError(manyHeaders + "\r\n", 4096);  // a head of megabytes
  ExpectNetworkError("HTTP/1.0 abc\r\n\r\n");
  ExpectNetworkError("HTTP/1.0\r\n\r\n");
  ExpectNetworkError("HTTP/1.0 20\r\n\r\n");
  ExpectNetworkError("HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\nabc");
  ExpectNetworkError("HTTP/1.0 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\nabc");
  ExpectNetworkError("HTTP/1.0 200 OK\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd");
  ExpectNetworkError("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nab\r\n0\r\n\r\n");
  ExpectNetworkError(
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFFFFFF\r\nab");
  ExpectNetworkError("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nabc");
  ExpectNetworkError("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabXY\r\n0\r\n\r\n");
  ExpectNetworkError("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
                     std::string(5000, '1'));
  std::string informational;
  for (int i = 0; i < 20; ++i) informational += "HTTP/1.1 100 Continue\r\n\r\n";
  ExpectNetworkError(informational + "HTTP/1.1 200 OK\r\n\r\n");
}

TEST(HttpReply, BytesBeforeAFailureAreDeliveredAndTheFailureFollows) {
  MemoryStream stream("HTTP/1.0 200 OK\r\n\r\n" + std::string(1500, 'x'), 100);
  stream.failAtEnd(true);
  HttpReply reply(stream);
  reply.readHead();
  char buffer[1023];
  EXPECT_EQ(reply.read(buffer, sizeof buffer), 1023u);
  EXPECT_EQ(reply.read(buffer, sizeof buffer), 477u);
  EXPECT_THROW(reply.read(buffer, sizeof buffer), NetworkError);
  EXPECT_THROW(reply.read(buffer, sizeof buffer), NetworkError);
}

TEST(HttpReply, RepositionReplaysTheKeptBodyThenGoesOn) {
  const std::string body = "0123456789abcdefghij";
  MemoryStream stream("ICY 200 OK\r\n\r\n" + body, 3);
  HttpReply reply(stream, 64);
  reply.readHead();
  char buffer[64];
  ASSERT_EQ(reply.read(buffer, 20), 20u);
  reply.seekToBodyStart();
  ASSERT_EQ(reply.read(buffer, 10), 10u);
  EXPECT_EQ(std::string(buffer, 10), "ICY 200 OK");
  EXPECT_EQ(ReadAll(reply), "\r\n\r\n" + body);
  reply.seekToBodyStart();
  EXPECT_EQ(ReadAll(reply, 7), "ICY 200 OK\r\n\r\n" + body);
}

TEST(HttpReply, RepositionPastTheKeptBoundFails) {
  MemoryStream stream("HTTP/1.0 200 OK\r\n\r\n" + std::string(100, 'x'));
  HttpReply reply(stream, 50);
  reply.readHead();
  reply.seekToBodyStart();  // nothing read yet: always possible
  char buffer[60];
  ASSERT_EQ(reply.read(buffer, 40), 40u);
  reply.seekToBodyStart();
  ASSERT_EQ(reply.read(buffer, 40), 40u);
  ASSERT_EQ(reply.read(buffer, 20), 20u);
  EXPECT_THROW(reply.seekToBodyStart(), NetworkError);
  EXPECT_EQ(reply.read(buffer, 60), 40u) << "the body goes on after a failed reposition";

  MemoryStream again("HTTP/1.0 200 OK\r\n\r\nabcdef");
  HttpReply dropped(again);
  dropped.readHead();
  ASSERT_EQ(dropped.read(buffer, 3), 3u);
  dropped.seekToBodyStart();
  dropped.dropKeptBytes();
  EXPECT_THROW(dropped.seekToBodyStart(), NetworkError);
  EXPECT_EQ(ReadAll(dropped), "abcdef") << "the replay under way still runs";
  EXPECT_EQ(dropped.keptBytes(), 0u) << "its copy is freed once it has been read";
}

}  // namespace
}  // namespace larkspan::platform
