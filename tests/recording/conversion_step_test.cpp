#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>

#include "tests/recording/recording_thread_fixture.h"

namespace larkspan::recording {
namespace {

using namespace std::chrono_literals;
using test::ScriptedHttpServer;
using test::ScriptedReply;

// Stands in for the encoder: writes its output file, as ffmpeg would.
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

TEST_F(ConversionTest, AnEncoderInTheStartupDirectoryIsPreferred) {
  commands_.setBehaviour(FakeEncoder);
  std::ofstream(dir_ / "ffmpeg") << "#!/bin/sh\n";
  std::filesystem::permissions(dir_ / "ffmpeg", std::filesystem::perms::owner_all);
  recordAndConvert("show.mp3", false);
  EXPECT_EQ(commands_.commands().at(0).at(0), path("ffmpeg"));
}

TEST_F(ConversionTest, TheDeleteFlagLeavesTheFilesOfTheTable) {
  commands_.setBehaviour(FakeEncoder);
  recordAndConvert("show.aac", false);
  EXPECT_EQ(files(), (std::vector<std::string>{"show.aac", "show.aac.mp3"}));
}

TEST_F(ConversionTest, DeletingAnAacRecordingKeepsTheConvertedName) {
  commands_.setBehaviour(FakeEncoder);
  RecordingJob& job = recordAndConvert("show.aac", true);
  EXPECT_EQ(files(), std::vector<std::string>{"show.aac.mp3"});
  EXPECT_NE(logText().find("Deleting original file\nRenaming encoded file\n"), std::string::npos);
  const auto seen = statuses(job);
  EXPECT_NE(std::find(seen.begin(), seen.end(), "DELETING ORIGINAL FILE"), seen.end());
}

TEST_F(ConversionTest, AnMp3RecordingIsReplacedByItsConversion) {
  commands_.setBehaviour(FakeEncoder);
  RecordingJob& job = recordAndConvert("show.MP3", true);
  EXPECT_EQ(files(), std::vector<std::string>{"show.MP3"});
  EXPECT_EQ(readFile("show.MP3"), "converted");
  const auto seen = statuses(job);
  EXPECT_NE(std::find(seen.begin(), seen.end(), "RENAMING FILE"), seen.end());
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

TEST_F(ConversionTest, ConversionsNeverOverlap) {
  std::atomic<int> running{0};
  std::atomic<int> mostAtOnce{0};
  std::atomic<bool> release{false};
  commands_.setBehaviour([&](const std::vector<std::string>& argv) {
    mostAtOnce = std::max(mostAtOnce.load(), ++running);
    while (!release) std::this_thread::sleep_for(1ms);
    --running;
    return FakeEncoder(argv);
  });
  server_.setHandler([](const std::string&) { return StreamThenSilence(0, 2046); });
  RecordingJob& first = newJob(server_.url("/a"), "a.mp3", {.convert = true, .bitrate = 64});
  RecordingJob& second = newJob(server_.url("/b"), "b.mp3", {.convert = true, .bitrate = 64});
  start(first);
  start(second);
  ASSERT_TRUE(waitFor([&] { return fileSize("a.mp3") == 2046 && fileSize("b.mp3") == 2046; }));
  first.stopRequested = true;
  second.stopRequested = true;
  ASSERT_TRUE(waitFor([&] {
    const bool aWaits = first.status() == "WAITING TO ENCODE" && second.status() == "ENCODING";
    const bool bWaits = second.status() == "WAITING TO ENCODE" && first.status() == "ENCODING";
    return aWaits || bWaits;
  }));
  release = true;
  ASSERT_TRUE(waitFor([&] { return first.isFinished() && second.isFinished(); }));
  EXPECT_EQ(mostAtOnce.load(), 1);
  EXPECT_EQ(first.status(), "DONE RECORDING");
  EXPECT_EQ(second.status(), "DONE RECORDING");
}

}  // namespace
}  // namespace larkspan::recording
