// The conversion after a recording with Debian's ffmpeg as the encoder, run
// as a program the way the recording thread runs it.

#include <sys/stat.h>

#include <cstdlib>

#include "tests/recording/live_recording_fixture.h"
#include "tests/support/media_probe.h"
#include "tests/support/scripted_http_server.h"

namespace larkspan::recording {
namespace {

using namespace std::chrono_literals;
using test::ScriptedHttpServer;
using test::ScriptedReply;

// Sets an environment variable for the life of the object. Only for a test
// whose other threads do not read the environment meanwhile.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnvironment() {
    if (old_)
      ::setenv(name_, old_->c_str(), 1);
    else
      ::unsetenv(name_);
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

bool IsAbout64k(long bitRate) {
  return bitRate >= 62'000 && bitRate <= 66'000;
}

// Each recording's stream path serves a real audio file once, then the 404
// page, so a recording holds the file (less a last short chunk that it may
// keep back).
class FfmpegConversionTest : public LiveRecordingTest {
 protected:
  static void SetUpTestSuite() { tones_ = std::make_unique<test::TemporaryFolder>(); }
  static void TearDownTestSuite() { tones_.reset(); }

  // A tone file made on first use: 4 s of MP3 or AAC, or a minute of MP3.
  static std::filesystem::path tone(const std::string& name) {
    const auto file = tones_->path() / name;
    if (std::filesystem::exists(file)) return file;
    if (name == "tone.aac")
      test::MakeToneFile(file, 4, "aac", "adts");
    else
      test::MakeToneFile(file, name == "long.mp3" ? 60 : 4, "libmp3lame", "mp3");
    return file;
  }

  void SetUp() override {
    server_.setHandler([this](const std::string& request) {
      const std::lock_guard lock(mutex_);
      for (Stream& stream : streams_) {
        if (stream.served || request.rfind("GET " + stream.path + " ", 0) != 0) continue;
        stream.served = true;
        return ScriptedReply::Ok(readFile(stream.file));
      }
      return ScriptedReply::NotFound();
    });
  }

  // Starts a recording of tone file `tone` into `name`, with conversion at
  // 64 kbit/s, and waits until the whole stream has been read.
  RecordingJob& record(const std::string& tone, const std::string& name, bool deleteOriginal) {
    const std::string streamPath = "/" + name;
    {
      const std::lock_guard lock(mutex_);
      streams_.push_back({streamPath, FfmpegConversionTest::tone(tone)});
    }
    // Persistent, as a scheduled recording is: the reconnects to the ended
    // stream must not make it a failed connection, which is never converted.
    RecordingJob& job = newJob(
        server_.url(streamPath), name,
        {.convert = true, .deleteOriginal = deleteOriginal, .bitrate = 64, .persistent = true});
    start(job);
    // The second request is the reconnect after the stream ended.
    EXPECT_TRUE(waitFor([&] {
      const auto requests = server_.requests();
      return std::count_if(requests.begin(), requests.end(), [&](const std::string& r) {
               return r.rfind("GET " + streamPath + " ", 0) == 0;
             }) >= 2;
    }));
    EXPECT_GT(fileSize(name), 0u);
    return job;
  }

  static inline std::unique_ptr<test::TemporaryFolder> tones_;
  ScriptedHttpServer server_;
  struct Stream {
    std::string path;
    std::filesystem::path file;
    bool served = false;
  };
  std::mutex mutex_;
  std::vector<Stream> streams_;
};

struct TableRow {
  std::string recorded;
  bool deleteOriginal;
  std::vector<std::string> filesAfter;
  std::string converted;  // the file that holds the 64 kbit/s conversion
};

void PrintTo(const TableRow& row, std::ostream* out) {
  *out << row.recorded << (row.deleteOriginal ? " with" : " without") << " the delete flag";
}

class ConversionTableTest : public FfmpegConversionTest,
                            public ::testing::WithParamInterface<TableRow> {};

TEST_P(ConversionTableTest, LeavesTheFilesOfTheTableWithA64kConversion) {
  const TableRow& row = GetParam();
  const std::string tone = row.recorded.ends_with(".aac") ? "tone.aac" : "tone.mp3";
  RecordingJob& job = record(tone, row.recorded, row.deleteOriginal);
  stopAndWait(job);

  EXPECT_EQ(files(), row.filesAfter);
  const test::MediaInfo converted = test::ProbeMedia(path(row.converted));
  EXPECT_EQ(converted.formatName, "mp3");
  EXPECT_TRUE(IsAbout64k(converted.bitRate)) << converted.bitRate;
  EXPECT_NEAR(converted.durationSeconds, 4, 0.5);
  if (!row.deleteOriginal) {
    // The recording itself is untouched.
    EXPECT_FALSE(IsAbout64k(test::ProbeMedia(path(row.recorded)).bitRate));
  }
  EXPECT_TRUE(InOrder(statuses(job), {"WAITING TO ENCODE", "ENCODING", "DONE ENCODING"}));
  EXPECT_EQ(job.status(), "DONE RECORDING");
}

INSTANTIATE_TEST_SUITE_P(
    DeleteFlagAndExtension, ConversionTableTest,
    ::testing::Values(TableRow{"show.aac", false, {"show.aac", "show.aac.mp3"}, "show.aac.mp3"},
                      TableRow{"show.aac", true, {"show.aac.mp3"}, "show.aac.mp3"},
                      TableRow{"show.mp3", true, {"show.mp3"}, "show.mp3"},
                      TableRow{"show.mp3", false, {"show.mp3", "show.mp3.mp3"}, "show.mp3.mp3"}),
    [](const auto& info) {
      return std::string(info.param.recorded.ends_with(".aac") ? "Aac" : "Mp3") +
             (info.param.deleteOriginal ? "DeleteSet" : "DeleteClear");
    });

TEST_F(FfmpegConversionTest, WithoutAnEncoderTheRecordingStaysAsItWas) {
  // Neither a program in the start-up directory (this "ffmpeg" may not be
  // run) nor one on the search path.
  std::ofstream(path("ffmpeg")) << "not a program\n";
  std::filesystem::permissions(
      path("ffmpeg"), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  const test::TemporaryFolder emptyFolder;
  RecordingJob& job = record("tone.mp3", "show.mp3", true);
  const std::string recorded = readFile(path("show.mp3"));
  {
    const ScopedEnvironment noPath("PATH", emptyFolder.path().string());
    stopAndWait(job);
  }

  EXPECT_TRUE(InOrder(statuses(job), {"ENCODING", "CANNOT START ENCODER", "DONE RECORDING"}));
  EXPECT_FALSE(job.deleteOriginal);
  EXPECT_EQ(files(), (std::vector<std::string>{"ffmpeg", "show.mp3"}));
  EXPECT_EQ(readFile(path("show.mp3")), recorded);
  EXPECT_EQ(logText().find("Deleting original file"), std::string::npos);
}

TEST_F(FfmpegConversionTest, AFailingEncoderInTheStartupDirectoryIsRunInsteadOfTheOneOnThePath) {
  std::ofstream(path("ffmpeg")) << "#!/bin/sh\nexit 3\n";
  std::filesystem::permissions(path("ffmpeg"), std::filesystem::perms::owner_all);
  RecordingJob& job = record("tone.mp3", "show.mp3", true);
  stopAndWait(job);

  EXPECT_TRUE(InOrder(statuses(job), {"ENCODING", "CANNOT START ENCODER", "DONE RECORDING"}));
  EXPECT_EQ(files(), (std::vector<std::string>{"ffmpeg", "show.mp3"}));
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
  for (const char* name : {"first.mp3.mp3", "second.mp3.mp3"}) {
    EXPECT_TRUE(IsAbout64k(test::ProbeMedia(path(name)).bitRate)) << name;
  }
  EXPECT_EQ(first.status(), "DONE RECORDING");
  EXPECT_EQ(second.status(), "DONE RECORDING");
}

}  // namespace
}  // namespace larkspan::recording
