// Replies captured byte for byte as the program's own request gets them:
// from a live Icecast fed by ffmpeg (streams, status pages, error pages) and
// from the scripted HTTP server (Shoutcast replies, redirects, chunked
// bodies, the odd heads real servers send).
#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz/seeds/seeds.h"
#include "monitor/status_page_address.h"
#include "platform/byte_stream.h"
#include "platform/http_client.h"
#include "platform/http_reply.h"
#include "platform/socket_stream.h"
#include "recording/stream_connection.h"
#include "tests/support/ffmpeg_source.h"
#include "tests/support/icecast_server.h"
#include "tests/support/scripted_http_server.h"

namespace larkspan::fuzz {
namespace {

using namespace std::chrono_literals;
using test::ScriptedReply;

// A stream never ends by itself: its capture stops here.
constexpr std::size_t kStreamLimit = 3000;
constexpr std::size_t kPageLimit = 16 * 1024;

// The reply to the program's GET of `object`, up to `limit` bytes.
std::string Capture(std::uint16_t port, const std::string& object, std::string_view headers,
                    std::size_t limit) {
  platform::HttpRequest request("127.0.0.1", port, object, {});
  request.addRequestHeaders(headers);
  const auto socket =
      platform::SocketStream::connect("127.0.0.1", port, {.connectTimeout = 5s, .ioTimeout = 5s});
  socket->writeAll(request.requestText());
  std::string wire;
  char buffer[4096];
  while (wire.size() < limit) {
    const std::size_t n = socket->readSome(buffer, std::min(sizeof buffer, limit - wire.size()));
    if (n == 0) break;
    wire.append(buffer, n);
  }
  if (wire.empty()) throw std::runtime_error("no reply to " + object);
  return wire;
}

// The body of a whole reply as the program's reply parser reads it.
std::string BodyOf(const std::string& wire) {
  platform::MemoryStream stream(wire);
  platform::HttpReply reply(stream);
  reply.readHead();
  std::string body;
  char buffer[4096];
  while (const std::size_t n = reply.read(buffer, sizeof buffer)) body.append(buffer, n);
  return body;
}

// Writes reply seeds, each behind the two bytes that steer how the fuzz
// target reads it; they take turns between the recording's way of reading
// (64-byte arrivals, 1,013-byte reads), byte by byte, a stream that fails at
// its end, and reads too large to keep for a reposition.
class ReplySeeds {
 public:
  explicit ReplySeeds(const SeedFolder& folder) : folder_(folder) {}

  void write(std::string_view name, const std::string& wire) {
    static constexpr char kSteering[][2] = {
        {'\x3f', '\x5a'}, {'\x00', '\x00'}, {'\x8f', '\x30'}, {'\x5f', '\xff'}};
    const char* steering = kSteering[count_++ % std::size(kSteering)];
    folder_.write(std::string(name) + ".http", std::string(steering, 2) + wire);
  }

 private:
  const SeedFolder& folder_;
  std::size_t count_ = 0;
};

void CaptureIcecast(ReplySeeds& replies, const SeedFolder& statusPages, const SeedFolder& urls) {
  const test::IcecastServer icecast(
      {.webRootFiles = {test::WebRootFile::FromFile(LARKSPAN_STATUS_TEMPLATE)}});
  const std::uint16_t port = icecast.port();
  const std::string statusPage(monitor::kStatusPageName);
  urls.write("icecast-status-page", monitor::StatusPageAddress(icecast.url("")));
  urls.write("icecast-source", icecast.sourceUrl("/live.mp3"));

  const auto page = [&](const std::string& name, const std::string& object) {
    const std::string wire = Capture(port, object, recording::kBrowserHeaders, kPageLimit);
    replies.write("icecast-" + name, wire);
    statusPages.write("icecast-" + name + ".html", BodyOf(wire));
  };
  page("status2-no-source", "/" + statusPage);
  page("status", "/status.xsl");
  page("status-json", "/status-json.xsl");
  replies.write("icecast-404",
                Capture(port, "/missing.mp3", recording::kBrowserHeaders, kPageLimit));
  replies.write("icecast-admin-401",
                Capture(port, "/admin/stats", recording::kBrowserHeaders, kPageLimit));

  const test::FfmpegSource mp3(icecast, "/live.mp3", test::SourceFormat::Mp3);
  page("status2-one-source", "/" + statusPage);
  const test::FfmpegSource ogg(icecast, "/talk.ogg", test::SourceFormat::OggVorbis);
  const test::FfmpegSource ads(icecast, "/ads-break.mp3", test::SourceFormat::Mp3);
  const test::FfmpegSource aac(icecast, "/jazz.aac", test::SourceFormat::Mp3);
  page("status2-four-sources", "/" + statusPage);
  for (const std::string mount : {"/live.mp3", "/talk.ogg"}) {
    urls.write("icecast-" + mount.substr(1), icecast.url(mount));
    replies.write("icecast-stream-" + mount.substr(1),
                  Capture(port, mount, recording::kBrowserHeaders, kStreamLimit));
  }
  replies.write("icecast-stream-shoutcast-headers",
                Capture(port, "/live.mp3", recording::kShoutcastHeaders, kStreamLimit));
  // Icecast sends icy-metaint only when asked for in-band titles.
  replies.write("icecast-stream-icy-metaint",
                Capture(port, "/live.mp3", "Icy-MetaData: 1\r\n", kStreamLimit));
}

std::vector<std::pair<std::string, ScriptedReply>> ScriptedReplies(
    const test::ScriptedHttpServer& server) {
  const std::string audio = test::StreamBytes(0, 1500);
  std::string longHead = "HTTP/1.0 200 OK\r\n";
  for (int i = 0; longHead.size() < 5000; ++i)
    longHead += "X-Padding-" + std::to_string(i) + ": " + std::string(60, 'p') + "\r\n";
  longHead += "\r\n" + audio;

  ScriptedReply cut = ScriptedReply::Ok(audio, true);
  cut.closeAfter = cut.head.size() + audio.size() / 2;
  ScriptedReply cutChunked = ScriptedReply::Chunked(audio, 256);
  cutChunked.closeAfter = cutChunked.head.size() + 600;

  return {
      {"ok-length", ScriptedReply::Ok("<html><body>Larkspan test</body></html>", true)},
      {"ok-until-close", ScriptedReply::Ok(audio)},
      {"ok-length-cut", cut},
      {"stream", ScriptedReply::Stream(0, 2000)},
      {"icy-metaint",
       ScriptedReply::Icy(
           {"icy-notice1:<BR>This stream requires Winamp<BR>",
            "icy-notice2:SHOUTcast Distributed Network Audio Server/Linux v1.9.8<BR>",
            "icy-name:Larkspan Test FM", "icy-genre:Jazz", "icy-pub:1", "icy-metaint:8192",
            "icy-br:128"},
           audio)},
      {"icy-no-headers", ScriptedReply::Icy({}, audio)},
      {"redirect-301", ScriptedReply::Redirect(301, server.url("/live.mp3"))},
      {"redirect-302", ScriptedReply::Redirect(302, server.url("/relay/live.mp3?sid=1"))},
      {"redirect-303", ScriptedReply::Redirect(303, "/live.mp3")},
      {"redirect-307", ScriptedReply::Redirect(307, server.url("/live.mp3"))},
      {"redirect-no-location", ScriptedReply::Redirect(302, std::nullopt)},
      {"not-found", ScriptedReply::NotFound()},
      {"chunked", ScriptedReply::Chunked(audio, 256)},
      {"chunked-small", ScriptedReply::Chunked("Larkspan", 3)},
      {"chunked-cut", cutChunked},
      {"chunked-extension-trailer",
       ScriptedReply::Raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, Chunked\r\n\r\n"
                          "5;name=value\r\nhello\r\nA \r\n, Larkspan\r\n0\r\n"
                          "X-Checksum: 1\r\nX-Other: 2\r\n\r\n")},
      {"continue-then-ok", ScriptedReply::Raw("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n"
                                              "Content-Length: 8\r\n\r\nLarkspan")},
      {"no-content", ScriptedReply::Raw("HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n")},
      {"not-modified", ScriptedReply::Raw("HTTP/1.1 304 Not Modified\r\n\r\n")},
      {"empty-length", ScriptedReply::Raw("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n")},
      {"lf-only", ScriptedReply::Raw("HTTP/1.0 200 OK\nContent-Type: audio/mpeg\n\n" + audio)},
      {"no-reason", ScriptedReply::Raw("HTTP/1.1 200\r\nContent-Length: 4\r\n\r\nbody")},
      {"length-twice", ScriptedReply::Raw("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n"
                                          "content-length:  4 \r\n\r\nbody")},
      {"length-conflict", ScriptedReply::Raw("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n"
                                             "Content-Length: 5\r\n\r\nbody!")},
      {"long-head", ScriptedReply::Raw(longHead)},
      {"icy-refused", ScriptedReply::Raw("ICY 401 Service Unavailable\r\n\r\n")},
      {"garbage", ScriptedReply::Garbage(300, 18)},
  };
}

void CaptureScripted(ReplySeeds& replies, const SeedFolder& urls) {
  test::ScriptedHttpServer server;
  for (const auto& [name, reply] : ScriptedReplies(server)) {
    server.enqueue(reply);
    replies.write("scripted-" + name,
                  Capture(server.port(), "/live.mp3", recording::kBrowserHeaders, kPageLimit));
  }
  urls.write("scripted-root", server.url("/"));
  urls.write("scripted-relay", server.url("/relay/live.mp3?sid=1"));
}

}  // namespace

void WriteServerSeeds(const SeedFolder& replies, const SeedFolder& statusPages,
                      const SeedFolder& urls) {
  ReplySeeds replySeeds(replies);
  CaptureIcecast(replySeeds, statusPages, urls);
  CaptureScripted(replySeeds, urls);
}

}  // namespace larkspan::fuzz
