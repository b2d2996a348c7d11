#include "platform/http_client.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <thread>

#include "platform/address_resolver.h"
#include "platform/network_error.h"
#include "platform/tls_stream.h"
#include "tests/support/scripted_http_server.h"
#include "tests/support/test_certificates.h"

namespace larkspan::platform {
namespace {

using test::ScriptedHttpServer;
using test::ScriptedReply;
using namespace std::chrono_literals;

HttpOptions ShortTimeouts() {
  HttpOptions options;
  options.connectTimeout = 2s;
  options.readTimeout = 2s;
  return options;
}

std::string ReadBody(HttpRequest& request) {
  std::string body;
  char buffer[1023];
  for (;;) {
    const std::size_t n = request.read(buffer, sizeof buffer);
    body.append(buffer, n);
    if (n < sizeof buffer) return body;
  }
}

TEST(HttpRequest, SendsHttp10WithHostAndTheAddedLinesOnly) {
  ScriptedHttpServer server;
  server.enqueue(ScriptedReply::Ok("hello"));
  HttpConnection connection("127.0.0.1", server.port(), ShortTimeouts());
  auto request = connection.openRequest("/live?x=1");
  request->addRequestHeaders("Accept: */*\r\nUser-Agent: A\r\n");
  request->addRequestHeaders("accept: again\r\nX-New: 1\r\nHost: evil\r\n");
  request->send();
  EXPECT_EQ(request->statusCode(), 200);
  EXPECT_EQ(ReadBody(*request), "hello");
  ASSERT_TRUE(server.waitForRequests(1, 2s));
  EXPECT_EQ(server.requests().at(0),
            "GET /live?x=1 HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(server.port()) +
                "\r\nAccept: */*\r\nUser-Agent: A\r\nX-New: 1\r\n\r\n");
}

TEST(HttpRequest, APathCannotInjectHeaderLines) {
  ScriptedHttpServer server;
  server.enqueue(ScriptedReply::Ok(""));
  HttpConnection connection("127.0.0.1", server.port(), ShortTimeouts());
  auto request = connection.openRequest("/my show.mp3\r\nX-Injected: 1\xE9");
  request->send();
  ASSERT_TRUE(server.waitForRequests(1, 2s));
  EXPECT_EQ(server.requests().at(0).substr(0, 55),
            "GET /my%20show.mp3%0D%0AX-Injected:%201%E9 HTTP/1.0\r\nHo");
}

TEST(HttpRequest, ReadsStreamsChunkedBodiesAndEarlyEnds) {
  ScriptedHttpServer server;
  server.enqueue(ScriptedReply::Stream(0, 100'000));
  server.enqueue(ScriptedReply::Chunked(test::StreamBytes(7, 5000), 333));
  ScriptedReply cut = ScriptedReply::Stream(0);
  cut.closeAfter = cut.head.size() + 4321;
  server.enqueue(cut);
  HttpConnection connection("127.0.0.1", server.port(), ShortTimeouts());

  auto request = connection.openRequest("/a");
  request->send();
  EXPECT_EQ(ReadBody(*request), test::StreamBytes(0, 100'000));
  request = connection.openRequest("/b");
  request->send();
  EXPECT_EQ(ReadBody(*request), test::StreamBytes(7, 5000));
  request = connection.openRequest("/c");
  request->send();
  EXPECT_EQ(ReadBody(*request), test::StreamBytes(0, 4321));
}

TEST(HttpRequest, BadRepliesFromTheWireEndInTheNetworkFailure) {
  ScriptedHttpServer server;
  std::string hugeHead = "HTTP/1.0 200 OK\r\n";
  while (hugeHead.size() < (3 << 20)) hugeHead += "X-Filler: 0123456789abcdef\r\n";
  server.enqueue(ScriptedReply::Raw(hugeHead + "\r\n"));
  server.enqueue(ScriptedReply::Raw("HTTP/1.0 200 OK\r\nContent-Le"));
  server.enqueue(ScriptedReply::Raw("HTTP/1.0 200 OK\r\nContent-Length: -1\r\n\r\nabc"));
  HttpConnection connection("127.0.0.1", server.port(), ShortTimeouts());
  for (int i = 0; i < 3; ++i) {
    auto request = connection.openRequest("/");
    EXPECT_THROW(request->send(), NetworkError) << i;
  }
  // Garbage and an empty reply are no status line: all of it is body.
  server.enqueue(ScriptedReply::Garbage(10'000, 7));
  server.enqueue(ScriptedReply::Raw(""));
  auto garbage = connection.openRequest("/");
  garbage->send();
  EXPECT_EQ(garbage->statusCode(), 200);
  EXPECT_EQ(ReadBody(*garbage), ScriptedReply::Garbage(10'000, 7).head);
  auto empty = connection.openRequest("/");
  empty->send();
  EXPECT_EQ(empty->statusCode(), 200);
  EXPECT_EQ(ReadBody(*empty), "");
}

TEST(HttpRequest, AStalledServerEndsInTheNetworkFailure) {
  ScriptedHttpServer server;
  server.enqueue(ScriptedReply::Stall());
  ScriptedReply stallsAfterData = ScriptedReply::Ok("abc");
  stallsAfterData.stall = true;
  server.enqueue(stallsAfterData);
  HttpOptions options = ShortTimeouts();
  options.readTimeout = 300ms;
  HttpConnection connection("127.0.0.1", server.port(), options);

  auto silent = connection.openRequest("/");
  EXPECT_THROW(silent->send(), NetworkError);

  auto request = connection.openRequest("/");
  request->send();
  char buffer[10];
  EXPECT_EQ(request->read(buffer, sizeof buffer), 3u) << "what arrived before the stall is kept";
  EXPECT_THROW(request->read(buffer, sizeof buffer), NetworkError);
}

TEST(HttpRequest, AStopRequestEndsAWaitingReadOrHandshakeLongBeforeItsTimeOut) {
  // The silent server leaves a TLS client waiting in the handshake: that
  // wait is the connect's and ends at its time-out.
  ScriptedHttpServer server;
  server.setHandler([](const std::string&) { return ScriptedReply::Stall(); });
  const std::string handshake = "cannot connect to 127.0.0.1:" + std::to_string(server.port());
  struct Case {
    ServiceType service;
    std::chrono::milliseconds timeout;
    std::string reason;
  };
  const Case cases[] = {{ServiceType::Http, 600s, "cancelled"},
                        {ServiceType::Https, 600s, "cancelled"},
                        {ServiceType::Https, 300ms, handshake + ": TLS handshake timed out"}};
  for (const Case& c : cases) {
    std::atomic<bool> stop{false};
    HttpOptions options;
    options.readTimeout = 600s;
    options.connectTimeout = c.timeout;
    options.cancel = &stop;
    HttpConnection connection("127.0.0.1", server.port(), options, c.service);
    auto request = connection.openRequest("/");
    std::promise<void> done;
    std::thread stopper([&, finished = done.get_future()] {
      if (finished.wait_for(200ms) == std::future_status::timeout && c.timeout == 600s) stop = true;
    });
    const auto start = std::chrono::steady_clock::now();
    try {
      request->send();
      ADD_FAILURE() << c.reason;
    } catch (const NetworkError& e) {
      EXPECT_EQ(e.what(), c.reason);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 60s);
    done.set_value();
    stopper.join();
  }
}

TEST(HttpsRequest, TheCertificateMustComeFromATrustedAuthorityAndNameTheHost) {
  const test::TestCertificateAuthority& trusted = test::TrustedTestAuthority();
  const test::TestCertificateAuthority stranger;
  // The right certificate only to a client that sends the name as SNI.
  const test::OpensslServer named(trusted.issue("DNS:other.example"), "localhost",
                                  trusted.issue("DNS:localhost"));
  const test::OpensslServer unknown(stranger.issue("IP:127.0.0.1,DNS:localhost"));
  const test::OpensslServer address(trusted.issue("IP:127.0.0.1"));
  struct Case {
    std::string host;
    std::uint16_t port;
    std::string failure;  // none: the page comes
  };
  const Case cases[] = {
      {"localhost", named.port(), ""},
      {"127.0.0.1", named.port(), "certificate verify failed: IP address mismatch"},
      {"localhost", unknown.port(),
       "certificate verify failed: unable to get local issuer certificate"},
      {"127.0.0.1", address.port(), ""}};
  for (const Case& c : cases) {
    HttpConnection connection(c.host, c.port, ShortTimeouts(), ServiceType::Https);
    auto request = connection.openRequest("/");
    try {
      request->send();
      EXPECT_EQ(c.failure, "") << c.host;
      EXPECT_EQ(request->statusCode(), 200);
      EXPECT_NE(ReadBody(*request).find("Ciphers"), std::string::npos);
    } catch (const NetworkError& e) {
      EXPECT_EQ(e.what(),
                "cannot connect to " + c.host + ":" + std::to_string(c.port) + ": " + c.failure);
    }
  }
  EXPECT_EQ(HttpRequest("radio.example", 443, "/", {}, ServiceType::Https).requestText(),
            "GET / HTTP/1.0\r\nHost: radio.example\r\n\r\n");
}

TEST(HttpsRequest, AReadWaitingForDataHoldsNoRecordBuffer) {
  // A slow stream waits nearly all the time; hundreds of them must not keep
  // OpenSSL's record buffer each. The server waits for a request.
  const test::OpensslServer server(test::TrustedTestAuthority().issue("IP:127.0.0.1"));
  auto stream = TlsStream::connect("127.0.0.1", server.port(), {.ioTimeout = 100ms});
  const std::size_t before = mallinfo2().uordblks;
  char buffer[16];
  EXPECT_THROW(stream->readSome(buffer, sizeof buffer), NetworkError);
  EXPECT_LT(mallinfo2().uordblks, before + 4 * 1024);
}

TEST(AddressResolution, AStopOrTheDeadlineEndsTheWaitForAResolverThatHangs) {
  // A look-up that answers when the test lets it, as getaddrinfo does after
  // the time-outs of a DNS server that does not answer.
  std::promise<void> release;
  const std::shared_future<void> released = release.get_future().share();
  const AddressLookup hangs = [released](const char*, const char* service, const addrinfo* hints,
                                         addrinfo** found) {
    released.wait_for(10s);
    return ::getaddrinfo("127.0.0.1", service, hints, found);
  };
  const AddressLookup unknown = [](const char*, const char*, const addrinfo*, addrinfo**) {
    return EAI_NONAME;
  };
  struct Case {
    const AddressLookup& lookup;
    std::chrono::milliseconds stopAfter;
    std::chrono::milliseconds deadline;
    std::string reason;
  };
  const Case cases[] = {{hangs, 100ms, 600s, "cancelled"},
                        {hangs, 600s, 100ms, "cannot resolve radio.example: timed out"},
                        {unknown, 600s, 600s, "no such host radio.example"}};
  for (const Case& c : cases) {
    std::atomic<bool> stop{false};
    std::promise<void> done;
    std::thread stopper([&, finished = done.get_future()] {
      if (finished.wait_for(c.stopAfter) == std::future_status::timeout) stop = true;
    });
    try {
      ResolveStreamAddresses("radio.example", 80, std::chrono::steady_clock::now() + c.deadline,
                             &stop, c.lookup);
      ADD_FAILURE() << c.reason;
    } catch (const NetworkError& e) {
      EXPECT_EQ(e.what(), c.reason);
    }
    done.set_value();
    stopper.join();
  }
  release.set_value();
}

TEST(HttpRequest, ConnectingToAServerThatNeverAcceptsTimesOut) {
  // A listener with a full backlog drops new handshakes, so connect waits.
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  socklen_t length = sizeof address;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  std::vector<int> fillers;
  for (int i = 0; i < 4; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    fillers.push_back(fd);
  }
  HttpOptions options = ShortTimeouts();
  options.connectTimeout = 500ms;
  HttpConnection connection("127.0.0.1", ntohs(address.sin_port), options);
  EXPECT_THROW(connection.openRequest("/")->send(), NetworkError);
  for (const int fd : fillers) ::close(fd);
  ::close(listener);
}

}  // namespace
}  // namespace larkspan::platform
