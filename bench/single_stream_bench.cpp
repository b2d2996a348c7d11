// One stream as fast as loopback allows, recorded in turn by our recording
// thread, `curl -o` and streamripper from the same local server: bytes per
// second and CPU seconds per GiB of each.
//
//   single_stream_bench [--mib N] [--rounds R]

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/measured_process.h"
#include "bench/recorder_swarm.h"
#include "bench/stream_check.h"
#include "bench/stream_server.h"
#include "tests/support/temporary_folder.h"

namespace larkspan::bench {
namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;
constexpr double kMiB = 1024.0 * 1024.0;

// Real MP3 frames, so that streamripper, which parses the stream, records
// it as it would a radio station.
std::string MakeMp3(const std::filesystem::path& folder) {
  const auto file = folder / "tone.mp3";
  MeasuredProcess ffmpeg({"ffmpeg",
                          "-nostdin",
                          "-loglevel",
                          "error",
                          "-f",
                          "lavfi",
                          "-i",
                          "sine=frequency=440:sample_rate=44100",
                          "-t",
                          "20",
                          "-c:a",
                          "libmp3lame",
                          "-b:a",
                          "128k",
                          "-write_xing",
                          "0",
                          "-id3v2_version",
                          "0",
                          "-f",
                          "mp3",
                          file.string()});
  ffmpeg.wait();
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Tool {
  std::string name;
  std::vector<std::string> command;
  std::filesystem::path folder;
  // Our recorder reconnects for ever: it is stopped once its file is whole.
  // The others end by themselves when the server closes.
  bool stopWhenWhole = false;
};

struct Result {
  double seconds = 0;
  double cpuSeconds = 0;
  std::uint64_t bytes = 0;     // in the file
  std::uint64_t matching = 0;  // from its start, equal to the stream
};

std::filesystem::path LargestFile(const std::filesystem::path& folder) {
  std::filesystem::path best;
  std::uintmax_t size = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file() && entry.file_size() >= size) {
      size = entry.file_size();
      best = entry.path();
    }
  }
  return best;
}

std::uintmax_t SizeOf(const std::filesystem::path& folder) {
  std::error_code error;
  std::uintmax_t total = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error)) {
    if (entry.is_regular_file(error) && entry.path().filename() != "log.txt")
      total += entry.file_size(error);
  }
  return total;
}

Result RunOnce(const Tool& tool, StreamServer& server, std::uint64_t bytes,
               const StreamContent& content) {
  std::filesystem::remove_all(tool.folder);
  std::filesystem::create_directories(tool.folder);
  server.reset();
  const auto start = SteadyClock::now();
  MeasuredProcess process(tool.command, tool.folder.parent_path() / (tool.name + ".out"));
  // The end is the file's last growth: our recorder is stopped once the
  // server has sent everything and the file has stopped growing (it may keep
  // back a last short chunk).
  std::uintmax_t size = 0;
  auto lastGrowth = start;
  while (!process.poll()) {
    const auto now = SteadyClock::now();
    if (now - start > std::chrono::minutes(5)) break;
    if (const std::uintmax_t s = SizeOf(tool.folder); s != size) {
      size = s;
      lastGrowth = now;
    }
    if (tool.stopWhenWhole && server.streamsCompleted() > 0 &&
        (size >= bytes || now - lastGrowth > std::chrono::milliseconds(500))) {
      process.signal(SIGTERM);
      process.wait();
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  const auto end = tool.stopWhenWhole ? lastGrowth : SteadyClock::now();
  process.signal(SIGKILL);
  const ProcessCost& cost = process.wait();

  Result result;
  result.seconds = std::chrono::duration<double>(end - start).count();
  result.cpuSeconds = cost.cpuSeconds;
  const StreamFileCheck check = CheckStreamFile(LargestFile(tool.folder), content, 0);
  result.bytes = check.size;
  result.matching = check.matching;
  std::filesystem::remove_all(tool.folder);
  return result;
}

int Main(int argc, char** argv) {
  std::uint64_t mib = 1024;
  int rounds = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--mib") == 0) mib = std::stoull(argv[i + 1]);
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::stoi(argv[i + 1]);
  }
  std::signal(SIGPIPE, SIG_IGN);
  const std::uint64_t bytes = mib * 1024 * 1024;

  const test::TemporaryFolder scratch;
  const std::string mp3 = MakeMp3(scratch.path());
  if (mp3.empty()) {
    std::fprintf(stderr, "ffmpeg made no MP3\n");
    return 1;
  }
  const StreamContent content = [&mp3](std::uint32_t, std::uint64_t offset, char* out,
                                       std::size_t count) {
    while (count > 0) {
      const std::size_t at = static_cast<std::size_t>(offset % mp3.size());
      const std::size_t n = std::min(count, mp3.size() - at);
      std::memcpy(out, mp3.data() + at, n);
      out += n;
      offset += n;
      count -= n;
    }
  };
  StreamServer server(
      {.bytesPerSecond = 0, .bytesPerStream = bytes, .content = content, .tlsCertificate = {}});
  const std::string url = server.baseUrl() + "0";

  const std::vector<Tool> tools = {
      {"larkspan", RecorderSwarmCommand(scratch.path() / "larkspan", server.baseUrl(), 1),
       scratch.path() / "larkspan", true},
      {"curl",
       {"curl", "-s", "-o", (scratch.path() / "curl" / "out.mp3").string(), url},
       scratch.path() / "curl"},
      {"streamripper",
       {"streamripper", url, "-d", (scratch.path() / "streamripper").string(), "-s", "-a",
        "out.mp3", "-A", "-c", "-i", "--quiet"},
       scratch.path() / "streamripper"},
  };

  std::printf("One stream of %llu MiB from a local server, %d rounds (median)\n",
              static_cast<unsigned long long>(mib), rounds);
  std::printf("%-14s %10s %14s %12s %14s\n", "recorder", "MiB/s", "CPU s per GiB", "bytes",
              "bytes missing");
  for (const Tool& tool : tools) {
    std::vector<Result> results;
    for (int r = 0; r < rounds; ++r) results.push_back(RunOnce(tool, server, bytes, content));
    const auto median = [&results](auto key) {
      std::vector<double> values;
      for (const auto& r : results) values.push_back(key(r));
      std::sort(values.begin(), values.end());
      return values[values.size() / 2];
    };
    std::uint64_t worstMatching = bytes;
    for (const auto& r : results) worstMatching = std::min(worstMatching, r.matching);
    std::printf(
        "%-14s %10.1f %14.2f %12llu %14llu\n", tool.name.c_str(),
        median([](const Result& r) { return static_cast<double>(r.bytes) / kMiB / r.seconds; }),
        median([](const Result& r) { return r.cpuSeconds; }) / (static_cast<double>(bytes) / kGiB),
        static_cast<unsigned long long>(results.front().bytes),
        static_cast<unsigned long long>(bytes - worstMatching));
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace
}  // namespace larkspan::bench

int main(int argc, char** argv) {
  if (const int rc = larkspan::bench::RunRecorderSwarmIfAsked(argc, argv); rc >= 0) return rc;
  return larkspan::bench::Main(argc, argv);
}
