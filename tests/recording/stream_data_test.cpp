#include <random>

#include "platform/text.h"
#include "tests/recording/recording_fixture.h"
#include "tests/support/media_probe.h"

namespace larkspan::recording {
namespace {

using namespace std::chrono_literals;
using test::ScriptedHttpServer;
using test::ScriptedReply;

const std::string kIcyHead = "ICY 200 OK\r\nicy-name:X\r\nicy-metaint:8192\r\n\r\n";

ScriptedReply Stalled(ScriptedReply reply) {
  reply.stall = true;
  return reply;
}

TEST_F(RecordingTest, AShoutcastHeaderIsLoggedAndCutAwayAfterEveryConnect) {
  ScriptedHttpServer server;
  // 8192 is more than the read buffer holds: reads take a buffer at a time,
  // after a first chunk of 1,023 bytes that holds the header. The replies
  // after each break announce no interval and are read in chunks again.
  const std::size_t first = 1023 - kIcyHead.size() + 4 * 4096;
  server.enqueue(
      ScriptedReply::Icy({"icy-name:X", "icy-metaint:8192"}, test::StreamBytes(0, first)));
  server.enqueue(ScriptedReply::Icy({"icy-name:Y"}, test::StreamBytes(first, 5000)));
  // The last reply fills whole chunks, header included, and then stalls.
  const std::string lastHead = "ICY 200 OK\r\nicy-name:Z\r\n\r\n";
  const std::size_t lastAudio = 4 * 1023 - lastHead.size();
  const std::size_t all = first + 5000 + lastAudio;
  server.enqueue(
      Stalled(ScriptedReply::Icy({"icy-name:Z"}, test::StreamBytes(first + 5000, lastAudio))));
  RecordingJob& job = newJob(server.url("/"), "show.mp3", {.shoutcast = true, .persistent = true});
  start(job);
  ASSERT_TRUE(waitFor([&] { return fileSize("show.mp3") == all; })) << fileSize("show.mp3");
  stopAndWait(job);
  EXPECT_TRUE(readFile("show.mp3") == test::StreamBytes(0, all)) << "the audio differs";
  for (const std::string& head :
       {kIcyHead, std::string("ICY 200 OK\r\nicy-name:Y\r\n\r\n"), lastHead})
    EXPECT_NE(logText().find("\n" + head + "\n"), std::string::npos) << logText();
  EXPECT_TRUE(server.requests().at(0).ends_with(
      "\r\nAccept: Icy-Metadata, */*\r\nUser-Agent: Orvelle\r\n\r\n"));
}

TEST_F(RecordingTest, TextChunksOfALargeMetadataIntervalStayInsideTheBuffers) {
  ScriptedHttpServer server;
  // A first chunk of header and text, then reads of a whole read buffer that
  // begin like text: with the first, five are held back, their copies
  // landing at slots of 4,096 bytes, of which only the first two fit the
  // capture buffer; the sixth chunk on is written.
  const std::string body = std::string(1023 - kIcyHead.size(), 'h') + std::string(5 * 4096, 't') +
                           std::string(4096, 'w');
  server.enqueue(Stalled(ScriptedReply::Icy({"icy-name:X", "icy-metaint:8192"}, body)));
  RecordingJob& job = newJob(server.url("/"), "show.mp3", {.shoutcast = true});
  start(job);
  ASSERT_TRUE(waitFor([&] { return fileSize("show.mp3") == 6 * 4096; }));
  stopAndWait(job);
  EXPECT_EQ(readFile("show.mp3"), std::string(5 * 4096, 't') + std::string(4096, 'w'))
      << "the chunks held back are written, in order, before the first one that is not";
}

TEST_F(RecordingTest, APlaylistLeadsToTheStreamItNames) {
  ScriptedHttpServer streamServer;
  streamServer.enqueue(StreamThenSilence(0, 3 * 1023));
  ScriptedHttpServer server;
  std::string playlist =
      "[playlist]\r\nNumberOfEntries=1\r\nFile1=" + streamServer.url("/live.aac") + "\r\n";
  playlist.resize(200, ' ');
  server.enqueue(ScriptedReply::Ok(playlist));
  RecordingJob& job = newJob(server.url("/listen.pls"), "show.mp3");
  start(job);
  ASSERT_TRUE(waitFor([&] { return fileSize("show.aac") == 3 * 1023; }));
  stopAndWait(job);
  EXPECT_FALSE(std::filesystem::exists(dir() / "show.mp3")) << "the empty first file is gone";
  EXPECT_EQ(readFile("show.aac"), test::StreamBytes(0, 3 * 1023));
  EXPECT_EQ(platform::FieldText(job.url), streamServer.url("/live.aac"));
  EXPECT_NE(logText().find("Connection to " + streamServer.url("/live.aac") + " failed at  6: 5"),
            std::string::npos);
  EXPECT_TRUE(streamServer.requests().at(0).starts_with("GET /live.aac HTTP/1.0\r\n"));

  // An https link is followed as well.
  const std::string secure = "https://127.0.0.1:" + std::to_string(test::RefusingPort()) + "/x.ogg";
  server.enqueue(ScriptedReply::Ok("File1=" + secure + "\n"));
  RecordingJob& second = newJob(server.url("/listen.pls"), "second.mp3");
  start(second);
  ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(dir() / "second.ogg"); }));
  stopAndWait(second);
  EXPECT_EQ(platform::FieldText(second.url), secure);
}

TEST_F(RecordingTest, AUrlInsideRecordedDataIsNeverTakenForAPlaylist) {
  // A full chunk of text naming another stream (a tag, a comment) and audio,
  // then a break: the recording goes on from the same URL into the same
  // file, though its URL implies another extension.
  ScriptedHttpServer elsewhere;
  std::string tag = "TXXX http://127.0.0.1:" + std::to_string(elsewhere.port()) + "/other.aac ";
  tag.resize(1023, 't');
  ScriptedHttpServer server;
  server.enqueue(ScriptedReply::Ok(tag + test::StreamBytes(0, 5000)));
  server.enqueue(StreamThenSilence(5000, 1023));
  RecordingJob& job = newJob(server.url("/live.aac"), "show.mp3", {.extension = "mp3"});
  start(job);
  ASSERT_TRUE(waitFor([&] { return fileSize("show.mp3") == 1023 + 6023; }));
  stopAndWait(job);
  EXPECT_EQ(readFile("show.mp3"), tag + test::StreamBytes(0, 6023));
  EXPECT_EQ(platform::FieldText(job.url), server.url("/live.aac"));
  EXPECT_TRUE(elsewhere.requests().empty());
  EXPECT_EQ(files(), std::vector<std::string>{"show.mp3"});
}

TEST_F(RecordingTest, AFullChunkOfTextIsWrittenAtOnce) {
  ScriptedHttpServer server;
  server.enqueue(Stalled(ScriptedReply::Ok(std::string(1023, 'a') + std::string(500, 'b'))));
  RecordingJob& job = newJob(server.url("/live"), "show.mp3");
  start(job);
  ASSERT_TRUE(waitFor([&] { return fileSize("show.mp3") == 1023; }));
  // The short chunk that follows arrives with the end of the reply only.
  stopAndWait(job);
  EXPECT_EQ(readFile("show.mp3"), std::string(1023, 'a'));
}

// Real audio is not the scripted sequence of bytes of 128 and more: about
// half of its chunks begin with a byte below 128, as text does, and an MP3
// file begins with "ID3". None of it may be lost when the stream breaks,
// not even when the first break comes before a whole chunk has arrived.
TEST_F(RecordingTest, AnMp3StreamBrokenAtRandomPointsIsRecordedByteForByte) {
  test::MakeToneFile(dir() / "tone", 10, "libmp3lame", "mp3");
  const std::string mp3 = readFile("tone");
  ScriptedHttpServer server;
  std::mutex mutex;
  std::size_t served = 0;
  std::mt19937 random(4);
  server.setHandler([&](const std::string&) {
    const std::lock_guard lock(mutex);
    if (served == mp3.size()) return StreamThenSilence();
    const std::size_t length =
        served == 0 ? 500
                    : std::min(mp3.size() - served,
                               std::uniform_int_distribution<std::size_t>(1, 12'000)(random));
    served += length;
    return ScriptedReply::Ok(mp3.substr(served - length, length));
  });
  RecordingJob& job = newJob(server.url("/live.mp3"), "show.mp3", {.persistent = true});
  start(job);
  const bool whole = waitFor([&] { return fileSize("show.mp3") == mp3.size(); }, 30s);
  stopAndWait(job);
  EXPECT_EQ(job.status(), "DONE RECORDING");
  ASSERT_TRUE(whole) << fileSize("show.mp3") << " of " << mp3.size() << " bytes";
  EXPECT_TRUE(readFile("show.mp3") == mp3) << "the bytes differ";
}

}  // namespace
}  // namespace larkspan::recording
