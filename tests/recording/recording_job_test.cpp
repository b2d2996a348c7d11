#include "recording/recording_job.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "platform/text.h"

namespace larkspan::recording {
namespace {

using platform::FieldText;

TEST(ExtensionFromName, TakesTheTextAfterTheLastDot) {
  EXPECT_EQ(ExtensionFromName("http://host:8000/live.ogg"), "ogg");
  EXPECT_EQ(ExtensionFromName("output.ogg"), "ogg");
  EXPECT_EQ(ExtensionFromName("C:\\rec\\show.flac"), "flac");
  EXPECT_EQ(ExtensionFromName("/home/u/rec/show.flac"), "flac");
  EXPECT_EQ(ExtensionFromName("show." + std::string(40, 'x')), std::string(31, 'x'));
}

TEST(ExtensionFromName, AnotherDotBeforeItGivesMp3) {
  EXPECT_EQ(ExtensionFromName("http://host/a.b.aac"), "mp3");
  EXPECT_EQ(ExtensionFromName("a.b.ogg"), "mp3");
  EXPECT_EQ(ExtensionFromName("C:\\my.dir\\show.ogg"),
            "mp3");                                         // a backslash does not stop the search
  EXPECT_EQ(ExtensionFromName("/my.dir/show.ogg"), "ogg");  // a slash does
}

TEST(ExtensionFromName, NoResultWithoutAUsableDot) {
  EXPECT_EQ(ExtensionFromName("record"), std::nullopt);
  EXPECT_EQ(ExtensionFromName("http://10.1.2.3:8000/live"), std::nullopt);
  EXPECT_EQ(ExtensionFromName("dir/x.y/show"), std::nullopt);
  EXPECT_EQ(ExtensionFromName("host.example:8000"), std::nullopt);
  EXPECT_EQ(ExtensionFromName(""), std::nullopt);
}

TEST(SetUpRecordingJob, CutsLongTextsToTheirFields) {
  RecordingJob job;
  const std::string longUrl = "http://host/" + std::string(3000, 'u');
  SetUpRecordingJob(job, {.url = longUrl,
                          .outputFile = std::string(2000, 'o'),
                          .extension = std::string(40, 'e'),
                          .startSoundFile = std::string(400, 's')});
  EXPECT_EQ(FieldText(job.url), longUrl.substr(0, 1023));
  EXPECT_EQ(FieldText(job.outputFile), std::string(1023, 'o'));
  EXPECT_EQ(FieldText(job.extension), std::string(31, 'e'));
  EXPECT_EQ(FieldText(job.startSoundFile), std::string(255, 's'));
}

TEST(SetUpRecordingJob, OggAndFlipzuMarkAnOggStream) {
  for (const char* url :
       {"http://host/live.ogg", "http://flipzu.com/x", "oggserver://x", "http://host/OGG/ogg"}) {
    RecordingJob job;
    SetUpRecordingJob(job, {.url = url, .outputFile = "o"});
    EXPECT_TRUE(job.oggStream) << url;
  }
  RecordingJob plain;
  SetUpRecordingJob(plain, {.url = "http://host/live.mp3", .outputFile = "o"});
  EXPECT_FALSE(plain.oggStream);
}

TEST(SetUpRecordingJob, PersistenceSurvivesUnlessTheUrlNamesAnOggStream) {
  struct Case {
    const char* url;
    bool persistentIn;
    bool monitor;
    bool persistentOut;
  };
  const Case cases[] = {
      {"http://host:8000/live.mp3", true, false,
       true},  // ordinary scheduled recordings stay persistent
      {"http://host:8000/live", true, false, true},
      {"http://flipzu.com/x", true, false, true},  // Ogg, but no "ogg" in the URL
      {"http://host:8000/live.ogg", true, false, false},
      {"ogg://host/x", true, false, true},  // "ogg" at the very start
      {"http://host:8000/live.mp3", false, false, false},
      {"http://host:8000/live.mp3", true, true, false},  // monitored mountpoints count their losses
  };
  for (const Case& c : cases) {
    RecordingJob job;
    SetUpRecordingJob(job, {.url = c.url,
                            .outputFile = "o",
                            .persistent = c.persistentIn,
                            .monitorMountpoint = c.monitor});
    EXPECT_EQ(job.persistent, c.persistentOut) << c.url << " " << c.persistentIn << c.monitor;
    EXPECT_EQ(job.monitorMountpoint, c.monitor);
  }
}

TEST(RecordingJob, StatusReadsAreWholeWhileTheThreadReplacesIt) {
  RecordingJob job;
  const std::string longText(500, 'R');
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 20'000; ++i) job.setStatus(i % 2 ? "RECONNECTING" : longText);
    done = true;
  });
  while (!done) {
    const std::string s = job.status();
    ASSERT_TRUE(s == "RECONNECTING" || s == longText || s == "IDLE") << s.size();
  }
  writer.join();
}

TEST(RecordingJob, AnObserverThatBlocksNeverHoldsUpTheStatusReaders) {
  // A front end printing statuses to a pipe nobody reads.
  RecordingJob job;
  std::promise<void> entered;
  std::promise<void> release;
  job.statusObserver = [&, released = release.get_future().share()](std::string_view) {
    entered.set_value();
    released.wait();
  };
  std::thread writer([&] { job.setStatus("RECORDING"); });
  entered.get_future().wait();
  auto read = std::async(std::launch::async, [&] { return job.status(); });
  const bool answered = read.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
  release.set_value();
  writer.join();
  EXPECT_TRUE(answered);
  EXPECT_EQ(read.get(), "RECORDING");
}

TEST(RecordingJob, EverythingWrittenBeforeFinishedIsVisibleAfterIt) {
  for (int round = 0; round < 200; ++round) {
    RecordingJob job;
    std::thread thread([&] {
      job.setStatus("DONE RECORDING");
      job.deleteOriginal = true;
      job.url[0] = 'z';
      job.markFinished();
    });
    while (!job.isFinished()) std::this_thread::yield();
    EXPECT_EQ(job.status(), "DONE RECORDING");
    EXPECT_TRUE(job.deleteOriginal);
    EXPECT_EQ(job.url[0], 'z');
    thread.join();
  }
}

}  // namespace
}  // namespace larkspan::recording
