// The conversion after a recording, with the encoder run as a program the
// way the recording thread runs it: Debian's ffmpeg, or one the start-up
// directory holds.

#include <deque>

#include "tests/recording/recording_fixture.h"
#include "tests/support/media_probe.h"

namespace larkspan::recording {
namespace {

using test::ScriptedReply;

bool IsAbout64k(long bitRate) {
  return bitRate >= 62'000 && bitRate <= 66'000;
}

// Each recording's stream serves a real audio file once, then the 404 page,
// so a recording holds the file (less a last short chunk that it may keep
// back).
class FfmpegConversionTest : public RecordingTest {
 protected:
  FfmpegConversionTest() : RecordingTest(true) {}
  static void SetUpTestSuite() { tones_ = std::make_unique<test::TemporaryFolder>(); }
  static void TearDownTestSuite() { tones_.reset(); }

  // Records a tone (4 s of MP3 or AAC, or a minute of MP3 for "long.mp3")
  // into `name`, converting at 64 kbit/s, and waits until the whole stream
  // has been read.
  RecordingJob& record(const std::string& tone, const std::string& name, bool deleteOriginal,
                       irc::IrcBotMFC* irc = nullptr) {
    const auto file = tones_->path() / tone;
    if (!std::filesystem::exists(file))
      test::MakeToneFile(file, tone == "long.mp3" ? 60 : 4,
                         tone == "tone.aac" ? "aac" : "libmp3lame",
                         tone == "tone.aac" ? "adts" : "mp3");
    test::ScriptedHttpServer& server = servers_.emplace_back();
    server.enqueue(ScriptedReply::Ok(test::ReadFile(file)));
    // Persistent, as a scheduled recording is: the reconnects to the ended
    // stream must not make it a failed connection, which is never converted.
    RecordingJob& job = start(newJob(server.url("/" + name), name,
                                     {.convert = true,
                                      .deleteOriginal = deleteOriginal,
                                      .bitrate = 64,
                                      .persistent = true,
                                      .ircClient = irc}));
    // Read to its end.
    EXPECT_TRUE(waitFor([&] { return job.status() == "RECONNECTING"; }));
    EXPECT_GT(fileSize(name), 0u);
    return job;
  }
  // The encoder the start-up directory holds: `script`, with `permissions`.
  void localEncoder(const std::string& script,
                    std::filesystem::perms permissions = std::filesystem::perms::owner_all) {
    std::filesystem::remove(path("ffmpeg"));
    std::ofstream(path("ffmpeg")) << script;
    std::filesystem::permissions(path("ffmpeg"), permissions);
  }

  static inline std::unique_ptr<test::TemporaryFolder> tones_;
  std::deque<test::ScriptedHttpServer> servers_;
};

// Only an MP3 recording is replaced by its conversion, and only when the
// original is to be deleted.
TEST_F(FfmpegConversionTest, LeavesTheFilesOfTheTableWithA64kConversion) {
  const struct {
    std::string recorded;
    bool deleteOriginal;
    std::string converted;
  } rows[] = {{"a.aac", false, "a.aac.mp3"},
              {"b.aac", true, "b.aac.mp3"},
              {"c.mp3", true, "c.mp3"},
              {"d.mp3", false, "d.mp3.mp3"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.recorded);
    RecordingJob& job = record(row.recorded.ends_with(".aac") ? "tone.aac" : "tone.mp3",
                               row.recorded, row.deleteOriginal);
    stopAndWait(job);
    const test::MediaInfo converted = test::ProbeMedia(path(row.converted));
    EXPECT_EQ(converted.formatName, "mp3");
    EXPECT_TRUE(IsAbout64k(converted.bitRate)) << converted.bitRate;
    EXPECT_NEAR(converted.durationSeconds, 4, 0.5);
    // The recording itself is untouched.
    EXPECT_TRUE(row.deleteOriginal || !IsAbout64k(test::ProbeMedia(path(row.recorded)).bitRate));
    EXPECT_TRUE(InOrder(statuses(job), {"WAITING TO ENCODE", "ENCODING", "DONE ENCODING"}));
    EXPECT_EQ(job.status(), "DONE RECORDING");
  }
  EXPECT_EQ(files(), (std::vector<std::string>{"a.aac", "a.aac.mp3", "b.aac.mp3", "c.mp3", "d.mp3",
                                               "d.mp3.mp3"}));
}

// An "ffmpeg" in the start-up directory is run instead of the one on the
// search path; one that may not be run is not, and then none is found. One
// that fails leaves the recording as it was; one that leaves a folder where
// the recording was (which cannot be deleted as a file) keeps its own name.
TEST_F(FfmpegConversionTest, AnEncoderThatCannotRunFailsOrCannotReplaceTheOriginalDeletesNothing) {
  const test::TemporaryFolder emptyFolder;
  const std::string searchPath = std::getenv("PATH");
  using Files = std::vector<std::string>;
  const struct {
    const char* script;
    std::filesystem::perms permissions;
    std::vector<std::string> statuses;
    Files files;
  } rows[] = {{"not a program\n",
               std::filesystem::perms::owner_read,
               {"ENCODING", "CANNOT START ENCODER", "DONE RECORDING"},
               Files{"ffmpeg", "show.mp3"}},
              {"#!/bin/sh\nexit 3\n",
               std::filesystem::perms::owner_all,
               {"ENCODING", "CANNOT START ENCODER", "DONE RECORDING"},
               Files{"ffmpeg", "show.mp3"}},
              {"#!/bin/sh\nfor out; do :; done\nwhile [ \"$1\" != -i ]; do shift; done\n"
               "echo converted > \"$out\" && /bin/rm \"$2\" && /bin/mkdir \"$2\"\n",
               std::filesystem::perms::owner_all,
               {"CANNOT DELETE ORIGINAL FILE", "CANNOT RENAME FILE"},
               Files{"ffmpeg", "show.mp3", "show.mp3.mp3"}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.script);
    localEncoder(row.script, row.permissions);
    test::RecordingIrcBot irc;
    RecordingJob& job = record("tone.mp3", "show.mp3", true, &irc);
    ::setenv("PATH", emptyFolder.path().c_str(), 1);
    stopAndWait(job);
    ::setenv("PATH", searchPath.c_str(), 1);

    EXPECT_TRUE(InOrder(statuses(job), row.statuses));
    EXPECT_EQ(files(), row.files);
    EXPECT_TRUE(irc.lines().back().starts_with("SAY DONE ENCODING"))
        << "asked-for conversions are announced as done";
    for (const std::string& name : files()) std::filesystem::remove_all(dir() / name);
  }
}

TEST_F(FfmpegConversionTest, TwoRecordingsEndingTogetherConvertOneAfterTheOther) {
  // A minute of sound takes the encoder long enough for the other
  // recording to be seen waiting.
  RecordingJob& first = record("long.mp3", "first.mp3", false);
  RecordingJob& second = record("long.mp3", "second.mp3", false);
  first.stopRequested = true;
  second.stopRequested = true;
  stopAndWait(first);
  stopAndWait(second);

  const bool firstWentFirst = *firstTime(first, "ENCODING") < *firstTime(second, "ENCODING");
  const RecordingJob& earlier = firstWentFirst ? first : second;
  const RecordingJob& later = firstWentFirst ? second : first;
  const auto earlierDone = *firstTime(earlier, "DONE ENCODING");
  EXPECT_LT(*firstTime(later, "WAITING TO ENCODE"), earlierDone)
      << "the later one did not wait while the other encoded";
  EXPECT_GE(*firstTime(later, "ENCODING"), earlierDone) << "the conversions overlapped";
  for (const char* name : {"first.mp3.mp3", "second.mp3.mp3"})
    EXPECT_TRUE(IsAbout64k(test::ProbeMedia(path(name)).bitRate)) << name;
}

}  // namespace
}  // namespace larkspan::recording
