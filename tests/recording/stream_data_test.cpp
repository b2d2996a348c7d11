#include "platform/text.h"
#include "tests/recording/recording_thread_fixture.h"

namespace larkspan::recording {
namespace {

using namespace std::chrono_literals;
using test::ScriptedHttpServer;
using test::ScriptedReply;

const std::string kIcyHead = "ICY 200 OK\r\nicy-name:X\r\nicy-metaint:8192\r\n\r\n";

TEST_F(RecordingThreadTest, AShoutcastHeaderIsLoggedAndCutAwayAfterEveryConnect) {
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
  ScriptedReply last =
      ScriptedReply::Icy({"icy-name:Z"}, test::StreamBytes(first + 5000, lastAudio));
  last.stall = true;
  server.enqueue(last);
  RecordingJob& job = newJob(server.url("/"), "show.mp3", {.shoutcast = true, .persistent = true});
  start(job);
  ASSERT_TRUE(waitFor([&] { return fileSize("show.mp3") == all; })) << fileSize("show.mp3");
  stopAndWait(job);
  EXPECT_TRUE(readFile("show.mp3") == test::StreamBytes(0, all)) << "the audio differs";
  for (const std::string& head :
       {kIcyHead, std::string("ICY 200 OK\r\nicy-name:Y\r\n\r\n"), lastHead})
    EXPECT_NE(logText().find("\n" + head + "\n"), std::string::npos) << logText();
  EXPECT_NE(
      server.requests().at(0).find("\r\nAccept: Icy-Metadata, */*\r\nUser-Agent: Orvelle\r\n\r\n"),
      std::string::npos);
}

TEST_F(RecordingThreadTest, TextChunksOfALargeMetadataIntervalStayInsideTheBuffers) {
  ScriptedHttpServer server;
  // A first chunk of header and text, then reads of a whole read buffer that
  // begin like text: with the first, five are held back, their copies
  // landing at slots of 4,096 bytes, of which only the first two fit the
  // capture buffer; the sixth chunk on is written.
  const std::size_t firstChunkText = 1023 - kIcyHead.size();
  const std::string body =
      std::string(firstChunkText, 'h') + std::string(5 * 4096, 't') + std::string(4096, 'w');
  ScriptedReply reply = ScriptedReply::Icy({"icy-name:X", "icy-metaint:8192"}, body);
  reply.stall = true;
  server.enqueue(reply);
  RecordingJob& job = newJob(server.url("/"), "show.mp3", {.shoutcast = true});
  start(job);
  ASSERT_TRUE(waitFor([&] { return fileSize("show.mp3") == 6 * 4096; }));
  stopAndWait(job);
  EXPECT_EQ(readFile("show.mp3"), std::string(5 * 4096, 't') + std::string(4096, 'w'))
      << "the chunks held back are written, in order, before the first one that is not";
}

TEST_F(RecordingThreadTest, APlaylistLeadsToTheStreamItNames) {
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
  EXPECT_FALSE(std::filesystem::exists(dir_ / "show.mp3")) << "the empty first file is gone";
  EXPECT_EQ(readFile("show.aac"), test::StreamBytes(0, 3 * 1023));
  EXPECT_EQ(platform::FieldText(job.url), streamServer.url("/live.aac"));
  EXPECT_NE(logText().find("Connection to " + streamServer.url("/live.aac") + " failed at  6: 5"),
            std::string::npos);
  EXPECT_EQ(streamServer.requests().at(0).rfind("GET /live.aac HTTP/1.0\r\n", 0), 0u);

  // An https link is followed as well.
  const std::string secure = "https://127.0.0.1:" + std::to_string(test::RefusingPort()) + "/x.ogg";
  server.enqueue(ScriptedReply::Ok("File1=" + secure + "\n"));
  RecordingJob& second = newJob(server.url("/listen.pls"), "second.mp3");
  start(second);
  ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(dir_ / "second.ogg"); }));
  stopAndWait(second);
  EXPECT_EQ(platform::FieldText(second.url), secure);
}

TEST_F(RecordingThreadTest, AUrlInsideRecordedDataIsNeverTakenForAPlaylist) {
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
  EXPECT_FALSE(std::filesystem::exists(dir_ / "show.aac"));
}

TEST_F(RecordingThreadTest, ErrorPagesNeverEnterTheRecording) {
  ScriptedHttpServer server;
  for (int i = 0; i < 8; ++i) server.enqueue(ScriptedReply::NotFound());
  server.enqueue(StreamThenSilence(0, 4 * 1023));
  RecordingJob& job = newJob(server.url("/live"), "show.mp3", {.persistent = true});
  start(job);
  ASSERT_TRUE(waitFor([&] { return fileSize("show.mp3") == 4 * 1023; }));
  stopAndWait(job);
  EXPECT_EQ(readFile("show.mp3"), test::StreamBytes(0, 4 * 1023));
  EXPECT_EQ(job.status(), "DONE RECORDING");
}

TEST_F(RecordingThreadTest, AFullChunkOfTextIsWrittenAtOnce) {
  ScriptedHttpServer server;
  ScriptedReply reply = ScriptedReply::Ok(std::string(1023, 'a') + std::string(500, 'b'));
  reply.stall = true;
  server.enqueue(reply);
  RecordingJob& job = newJob(server.url("/live"), "show.mp3");
  start(job);
  ASSERT_TRUE(waitFor([&] { return fileSize("show.mp3") == 1023; }));
  // The short chunk that follows arrives with the end of the reply only.
  stopAndWait(job);
  EXPECT_EQ(readFile("show.mp3"), std::string(1023, 'a'));
}

}  // namespace
}  // namespace larkspan::recording
