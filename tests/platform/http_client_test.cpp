// The HTTP client against servers that misbehave on purpose; plain streams
// from a real Icecast are the recording tests'.

#include "platform/http_client.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <future>
#include <thread>

#include "platform/address_resolver.h"
#include "platform/network_error.h"
#include "platform/tls_stream.h"
#include "tests/support/loopback_port.h"
#include "tests/support/scripted_http_server.h"
#include "tests/support/test_certificates.h"

namespace larkspan::platform {
namespace {

using test::ScriptedReply;
using namespace std::chrono_literals;

// What a request yields: its body, and the network failure's reason after
// the bytes that came before it.
std::string Outcome(HttpRequest& request) {
  std::string body;
  try {
    request.send();
    char buffer[1023];
    for (std::size_t n; (n = request.read(buffer, sizeof buffer)) > 0;) body.append(buffer, n);
    return body;
  } catch (const NetworkError& e) {
    return body + "failed: " + e.what();
  }
}

// Sets `stop` after `after` unless `body` has ended by then.
void StoppedAfter(std::chrono::milliseconds after, std::atomic<bool>& stop,
                  const std::function<void()>& body) {
  std::promise<void> done;
  std::thread stopper([&, finished = done.get_future()] {
    if (finished.wait_for(after) == std::future_status::timeout) stop = true;
  });
  body();
  done.set_value();
  stopper.join();
}

TEST(HttpRequest, SendsHttp10WithHostTheAddedLinesOnceAndAnEscapedPath) {
  test::ScriptedHttpServer server;
  server.enqueue(ScriptedReply::Ok("hello"));
  HttpConnection connection("127.0.0.1", server.port(), {.connectTimeout = 2s});
  auto request = connection.openRequest("/my show.mp3\r\nX-Injected: 1\xE9?x=1");
  request->addRequestHeaders("Accept: */*\r\n");
  request->addRequestHeaders("accept: again\r\nX-New: 1\r\nHost: evil\r\n");
  EXPECT_EQ(Outcome(*request), "hello");
  ASSERT_TRUE(server.waitForRequests(1, 2s));
  EXPECT_EQ(server.requests().at(0),
            "GET /my%20show.mp3%0D%0AX-Injected:%201%E9?x=1 HTTP/1.0\r\n"
            "Host: 127.0.0.1:" +
                std::to_string(server.port()) + "\r\nAccept: */*\r\nX-New: 1\r\n\r\n");
  EXPECT_EQ(HttpRequest("radio.example", 443, "/", {}, ServiceType::Https).requestText(),
            "GET / HTTP/1.0\r\nHost: radio.example\r\n\r\n");
}

// A listener whose backlog is full: the kernel drops new handshakes, so a
// connect waits.
struct NeverAccepting {
  NeverAccepting() {
    ::listen(fds.emplace_back(test::BindLoopback(port, false)), 0);
    sockaddr_in address = test::LoopbackAddress(port);
    while (fds.size() < 5)
      ::connect(fds.emplace_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0)),
                reinterpret_cast<sockaddr*>(&address), sizeof address);
  }
  ~NeverAccepting() { std::ranges::for_each(fds, ::close); }
  std::vector<int> fds;
  std::uint16_t port = 0;
};

// Replies and waits only a server can give; the parser's own cases are the
// reply tests'. A TLS client of a silent server waits in the handshake, which
// is part of the connect.
TEST(HttpRequest, ChunkedCutAndStalledRepliesAndAStopOrTimeOutOfEveryWait) {
  test::ScriptedHttpServer server;
  server.setHandler([](const std::string&) { return ScriptedReply::Stall(); });
  const NeverAccepting full;
  ScriptedReply cut = ScriptedReply::Stream(0);
  cut.closeAfter = cut.head.size() + 4321;
  ScriptedReply stallsAfterData = ScriptedReply::Ok("abc");
  stallsAfterData.stall = true;
  const auto timedOut = [](std::uint16_t port, const std::string& wait) {
    return "failed: cannot connect to 127.0.0.1:" + std::to_string(port) + ": " + wait +
           " timed out";
  };
  // No reply: silence. A time-out of 30 s: a stop comes first.
  const std::tuple<std::optional<ScriptedReply>, std::uint16_t, ServiceType,
                   std::chrono::milliseconds, std::string>
      cases[] = {
          {cut, server.port(), ServiceType::Http, 2s, test::StreamBytes(0, 4321)},
          {stallsAfterData, server.port(), ServiceType::Http, 300ms, "abcfailed: read timed out"},
          {{}, server.port(), ServiceType::Http, 30s, "failed: cancelled"},
          {{}, server.port(), ServiceType::Https, 30s, "failed: cancelled"},
          {{}, full.port, ServiceType::Http, 30s, "failed: cancelled"},
          {{}, server.port(), ServiceType::Https, 300ms, timedOut(server.port(), "TLS handshake")},
          {{}, full.port, ServiceType::Http, 300ms, timedOut(full.port, "connect")}};
  for (const auto& [reply, port, service, timeout, outcome] : cases) {
    if (reply) server.enqueue(*reply);
    std::atomic<bool> stop{false};
    HttpConnection connection("127.0.0.1", port,
                              {.connectTimeout = timeout, .readTimeout = timeout, .cancel = &stop},
                              service);
    auto request = connection.openRequest("/");
    StoppedAfter(timeout == 30s ? 200ms : 30s, stop,
                 [&] { EXPECT_EQ(Outcome(*request), outcome) << static_cast<int>(service); });
  }
}

TEST(HttpsRequest,
     TheCertificateMustComeFromATrustedAuthorityAndNameTheHostAndAWaitingReadHoldsNoRecordBuffer) {
  const test::TestCertificateAuthority& trusted = test::TrustedTestAuthority();
  // The right certificate only to a client that sends the name as SNI; one
  // signed by an unknown authority is the recording tests'.
  const test::OpensslServer named(trusted.issue("DNS:other.example"), "localhost",
                                  trusted.issue("DNS:localhost"));
  // This one also waits for a request.
  const test::OpensslServer address(trusted.issue("IP:127.0.0.1"));
  const auto outcome = [](const std::string& host, std::uint16_t port) {
    return Outcome(
        *HttpConnection(host, port, {.connectTimeout = 2s}, ServiceType::Https).openRequest("/"));
  };
  for (const auto& [host, port] :
       {std::pair{"localhost", named.port()}, {"127.0.0.1", address.port()}})
    EXPECT_NE(outcome(host, port).find("Ciphers"), std::string::npos) << host;
  EXPECT_EQ(outcome("127.0.0.1", named.port()),
            "failed: cannot connect to 127.0.0.1:" + std::to_string(named.port()) +
                ": certificate verify failed: IP address mismatch");

  // A read waiting for data holds no record buffer: a slow stream waits
  // nearly all the time; hundreds of them must not keep OpenSSL's each.
  auto stream = TlsStream::connect("127.0.0.1", address.port(), {.ioTimeout = 100ms});
  const std::size_t before = mallinfo2().uordblks;
  char buffer[16];
  EXPECT_THROW(stream->readSome(buffer, sizeof buffer), NetworkError);
  EXPECT_LT(mallinfo2().uordblks, before + 4 * 1024);
}

TEST(AddressResolution, AStopOrTheDeadlineEndsTheWaitForAResolverThatHangs) {
  // A look-up that answers late, as getaddrinfo does after the time-outs of
  // a DNS server that does not answer.
  const AddressLookup hangs = [](const char*, const char* service, const addrinfo* hints,
                                 addrinfo** found) {
    std::this_thread::sleep_for(3s);
    return ::getaddrinfo("127.0.0.1", service, hints, found);
  };
  const AddressLookup unknown = [](const char*, const char*, const addrinfo*, addrinfo**) {
    return EAI_NONAME;
  };
  const std::tuple<const AddressLookup&, std::chrono::milliseconds, std::chrono::milliseconds,
                   std::string>
      cases[] = {{hangs, 100ms, 600s, "cancelled"},
                 {hangs, 600s, 100ms, "cannot resolve radio.example: timed out"},
                 {unknown, 600s, 600s, "no such host radio.example"}};
  for (const auto& [lookup, stopAfter, deadline, reason] : cases) {
    std::atomic<bool> stop{false};
    StoppedAfter(stopAfter, stop, [&] {
      try {
        ResolveStreamAddresses("radio.example", 80, std::chrono::steady_clock::now() + deadline,
                               &stop, lookup);
        ADD_FAILURE() << reason;
      } catch (const NetworkError& e) {
        EXPECT_EQ(e.what(), reason);
      }
    });
  }
}

}  // namespace
}  // namespace larkspan::platform
