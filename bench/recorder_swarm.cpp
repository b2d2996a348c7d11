#include "bench/recorder_swarm.h"

#include <csignal>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "platform/command_runner.h"
#include "platform/descriptor_limit.h"
#include "platform/prompter.h"
#include "platform/tone.h"
#include "recording/recording_thread.h"

namespace larkspan::bench {

int RunRecorderSwarm(const std::filesystem::path& folder, const std::string& baseUrl, int count,
                     int startsPerSecond) {
  // As the program does: a socket, a file and a stop signal per recording.
  platform::RaiseDescriptorLimit();
  // The stop signal is taken here, never by a recording thread.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  platform::SystemClock clock;
  platform::StderrPrompter prompter;
  platform::SilentTone tone;
  platform::SpawnCommandRunner commands;
  recording::TrayIconFile trayIconFile;
  std::mutex encoderLock;
  recording::RecordingContext context{.startupDirectory = std::filesystem::absolute(folder),
                                      .clock = clock,
                                      .prompter = prompter,
                                      .tone = tone,
                                      .commands = commands,
                                      .trayIconFile = trayIconFile,
                                      .encoderLock = encoderLock};

  std::vector<std::unique_ptr<recording::RecordingJob>> jobs;
  std::vector<platform::SmallStackThread> threads;
  jobs.reserve(static_cast<std::size_t>(count));
  threads.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    auto job = std::make_unique<recording::RecordingJob>();
    const std::string url = baseUrl + std::to_string(i);
    const std::string file = "rec_" + std::to_string(i) + ".mp3";
    recording::SetUpRecordingJob(*job, {.url = url,
                                        .outputFile = file,
                                        .extension = "mp3",
                                        .entryIndex = -1,
                                        .disableSounds = true});
    threads.push_back(recording::StartRecordingThread(*job, context));
    jobs.push_back(std::move(job));
    if (startsPerSecond > 0) std::this_thread::sleep_for(std::chrono::seconds(1) / startsPerSecond);
  }

  int signal = 0;
  sigwait(&stopSignals, &signal);
  for (auto& job : jobs) job->stopRequested.store(true, std::memory_order_release);
  for (auto& thread : threads) thread.join();
  return 0;
}

std::vector<std::string> RecorderSwarmCommand(const std::filesystem::path& folder,
                                              const std::string& baseUrl, int count,
                                              int startsPerSecond) {
  return {std::filesystem::read_symlink("/proc/self/exe").string(),
          kRecorderSwarmArgument,
          folder.string(),
          baseUrl,
          std::to_string(count),
          std::to_string(startsPerSecond)};
}

int RunRecorderSwarmIfAsked(int argc, char** argv) {
  if (argc != 6 || std::strcmp(argv[1], kRecorderSwarmArgument) != 0) return -1;
  return RunRecorderSwarm(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]));
}

}  // namespace larkspan::bench
