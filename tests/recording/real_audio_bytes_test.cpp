// Real audio is not the scripted server's sequence of bytes of 128 and more:
// about half of its chunks begin with a byte below 128, as text does, and an
// MP3 file begins with "ID3". None of it may be lost when the stream breaks,
// not even when the first break comes before a whole chunk has arrived.

#include <random>

#include "tests/recording/recording_thread_fixture.h"
#include "tests/support/media_probe.h"
#include "tests/support/temporary_folder.h"

namespace larkspan::recording {
namespace {

using namespace std::chrono_literals;
using test::ScriptedHttpServer;
using test::ScriptedReply;

TEST_F(RecordingThreadTest, AnMp3StreamBrokenAtRandomPointsIsRecordedByteForByte) {
  const test::TemporaryFolder tones;
  test::MakeToneFile(tones.path() / "tone.mp3", 10, "libmp3lame", "mp3");
  const std::string mp3 = readFile(tones.path() / "tone.mp3");

  ScriptedHttpServer server;
  std::mutex mutex;
  std::size_t served = 0;
  std::mt19937 random(4);
  server.setHandler([&](const std::string&) {
    const std::lock_guard lock(mutex);
    if (served == mp3.size()) return Silent();
    const std::size_t length =
        served == 0 ? 500
                    : std::min(mp3.size() - served,
                               std::uniform_int_distribution<std::size_t>(1, 12'000)(random));
    ScriptedReply reply = ScriptedReply::Ok(mp3.substr(served, length));
    served += length;
    return reply;
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
