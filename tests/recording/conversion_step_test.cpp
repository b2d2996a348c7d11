

#include "tests/recording/recording_thread_fixture.h"

namespace larkspan::recording {
namespace {

using namespace std::chrono_literals;
using test::ScriptedHttpServer;
using test::ScriptedReply;

// Stands in for the encoder: writes its output file, as ffmpeg would. The
// conversions with the real ffmpeg are in ffmpeg_conversion_test.cpp.
int FakeEncoder(const std::vector<std::string>& argv) {
  std::ofstream(argv.back()) << "converted";
  return 0;
}

class ConversionTest : public RecordingThreadTest {
 protected:
  // Records a little into `name` with the given delete flag and converts it.
  RecordingJob& recordAndConvert(const std::string& name, bool deleteOriginal) {
    server_.setHandler([](const std::string&) { return StreamThenSilence(0, 2046); });
    RecordingJob& job = newJob(server_.url("/live"), name,
                               {.convert = true, .deleteOriginal = deleteOriginal, .bitrate = 64});
    start(job);
    EXPECT_TRUE(waitFor([&] { return fileSize(name) == 2046; }));
    stopAndWait(job);
    return job;
  }

  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      if (entry.path().filename() != "log.txt") names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  ScriptedHttpServer server_;
};

TEST_F(ConversionTest, RunsTheEncoderWithTheFileNamesAsArguments) {
  commands_.setBehaviour(FakeEncoder);
  RecordingJob& job = recordAndConvert("Show Dec 5.mp3", false);
  const std::string file = path("Show Dec 5.mp3");
  ASSERT_EQ(commands_.commands().size(), 1u);
  EXPECT_EQ(commands_.commands()[0], (std::vector<std::string>{"ffmpeg", "-loglevel", "quiet", "-i",
                                                               file, "-ab", "64k", file + ".mp3"}));
  const auto seen = statuses(job);
  const std::vector<std::string> tail(seen.end() - 4, seen.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"WAITING TO ENCODE", "ENCODING", "DONE ENCODING",
                                            "DONE RECORDING"}));
  EXPECT_NE(logText().find("Encoding file\n"), std::string::npos);
}

TEST_F(ConversionTest, AFailedEncoderKeepsTheRecordingUntouched) {
  commands_.setBehaviour([](const std::vector<std::string>&) { return 127; });
  test::RecordingIrcBot irc;
  server_.setHandler([](const std::string&) { return StreamThenSilence(0, 2046); });
  RecordingJob& job =
      newJob(server_.url("/live"), "show.mp3",
             {.convert = true, .deleteOriginal = true, .bitrate = 64, .ircClient = &irc});
  job.programName = "Show";
  start(job);
  ASSERT_TRUE(waitFor([&] { return fileSize("show.mp3") == 2046; }));
  stopAndWait(job);
  EXPECT_EQ(files(), std::vector<std::string>{"show.mp3"});
  EXPECT_EQ(readFile("show.mp3"), test::StreamBytes(0, 2046));
  EXPECT_FALSE(job.deleteOriginal);
  const auto seen = statuses(job);
  EXPECT_NE(std::find(seen.begin(), seen.end(), "CANNOT START ENCODER"), seen.end());
  EXPECT_EQ(job.status(), "DONE RECORDING");
  EXPECT_EQ(irc.lines().back(), "SAY DONE ENCODING - Show")
      << "asked-for conversions are announced as done";
  EXPECT_EQ(commands_.commands().size(), 1u) << "nothing deleted or renamed";
}

TEST_F(ConversionTest, WhenTheOriginalCannotBeDeletedTheConversionKeepsItsOwnName) {
  // The encoder leaves a folder where the recording was, which cannot be
  // deleted as a file; the rename must then not replace it.
  commands_.setBehaviour([](const std::vector<std::string>& argv) {
    FakeEncoder(argv);
    const std::string original = argv[4];
    std::filesystem::remove(original);
    std::filesystem::create_directories(original + "/inside");
    return 0;
  });
  RecordingJob& job = recordAndConvert("show.mp3", true);
  const auto seen = statuses(job);
  EXPECT_NE(std::find(seen.begin(), seen.end(), "CANNOT DELETE ORIGINAL FILE"), seen.end());
  EXPECT_NE(std::find(seen.begin(), seen.end(), "CANNOT RENAME FILE"), seen.end());
  EXPECT_EQ(readFile("show.mp3.mp3"), "converted");
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "show.mp3"));
}

}  // namespace
}  // namespace larkspan::recording
