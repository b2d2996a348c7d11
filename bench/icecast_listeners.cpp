#include "bench/icecast_listeners.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench/measured_process.h"
#include "bench/recorder_swarm.h"
#include "bench/stream_check.h"
#include "tests/support/ffmpeg_source.h"
#include "tests/support/icecast_server.h"
#include "tests/support/temporary_folder.h"
#include "tests/support/test_certificates.h"

namespace larkspan::bench {
namespace {

using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Icecast's listen queue holds 5 connections: faster connects are dropped
// and retried a second later.
constexpr int kConnectsPerSecond = 400;

struct Row {
  double cpuSeconds = 0;   // in the steady window
  double wakeUps = 0;      // per stream per second, in the window
  double residentKiB = 0;  // sum of VmRSS in the middle of the window
  double stopSeconds = 0;  // from SIGTERM to the end of every process
  int exactFiles = 0;
};

Row Measure(bool ours, int count, int seconds, const std::string& url,
            const std::filesystem::path& authority, const std::filesystem::path& capture,
            const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  const auto fileOf = [&folder](int i) { return folder / ("rec_" + std::to_string(i) + ".mp3"); };
  std::vector<MeasuredProcess> processes;
  // Icecast takes the query for arguments of the request: every listener
  // hears the same mount.
  if (ours) {
    processes.emplace_back(
        RecorderSwarmCommand(folder, url + "?listener=", count, kConnectsPerSecond),
        folder / "swarm.out");
  } else {
    for (int i = 0; i < count; ++i) {
      std::vector<std::string> command = {"curl", "-s", "-o", fileOf(i).string()};
      if (!authority.empty()) command.insert(command.end(), {"--cacert", authority.string()});
      command.push_back(url + "?listener=" + std::to_string(i));
      processes.emplace_back(command);
      std::this_thread::sleep_for(std::chrono::seconds(1) / kConnectsPerSecond);
    }
  }
  const bool allFlowing = WaitFor(120s, [&] {
    for (int i = 0; i < count; ++i) {
      std::error_code error;
      if (std::filesystem::file_size(fileOf(i), error) == 0 || error) return false;
    }
    return true;
  });
  if (!allFlowing) std::fprintf(stderr, "not every listener got data within 120 s\n");

  Row row;
  std::this_thread::sleep_for(2s);
  const auto start = SteadyClock::now();
  const double cpuBefore = Sum(processes, CpuSecondsSoFar);
  const double switchesBefore = Sum(processes, VoluntarySwitches);
  std::this_thread::sleep_until(start + std::chrono::seconds(seconds) / 2);
  row.residentKiB = Sum(processes, ResidentKiB);
  std::this_thread::sleep_until(start + std::chrono::seconds(seconds));
  const double window = std::chrono::duration<double>(SteadyClock::now() - start).count();
  row.cpuSeconds = Sum(processes, CpuSecondsSoFar) - cpuBefore;
  row.wakeUps = (Sum(processes, VoluntarySwitches) - switchesBefore) / count / window;

  const auto stopped = SteadyClock::now();
  for (auto& p : processes) p.signal(SIGTERM);
  WaitFor(30s, [&] {
    for (auto& p : processes) {
      if (!p.poll()) return false;
    }
    return true;
  });
  row.stopSeconds = std::chrono::duration<double>(SteadyClock::now() - stopped).count();
  for (auto& p : processes) {
    p.signal(SIGKILL);
    p.wait();
  }

  // The capture has everything the listeners got once it has caught up.
  std::this_thread::sleep_for(1s);
  const std::string captured = test::ReadFile(capture);
  for (int i = 0; i < count; ++i) {
    const std::string recorded = test::ReadFile(fileOf(i));
    if (WithinCapture(recorded, captured)) {
      ++row.exactFiles;
    } else if (row.exactFiles == i) {
      const std::string_view text(recorded);
      std::fprintf(
          stderr,
          "%s: %zu bytes, not within the capture of %zu bytes (first 4 KiB %s, last "
          "4 KiB %s)\n",
          fileOf(i).c_str(), recorded.size(), captured.size(),
          captured.find(text.substr(0, 4096)) != std::string::npos ? "found" : "absent",
          text.size() >= 4096 && captured.find(text.substr(text.size() - 4096)) != std::string::npos
              ? "found"
              : "absent");
    }
  }
  // Our recorder logs every lost connection there.
  if (const std::string log = test::ReadFile(folder / "log.txt"); !log.empty()) {
    std::size_t lost = 0;
    for (std::size_t at = log.find("attempting reconnect"); at != std::string::npos;
         at = log.find("attempting reconnect", at + 1))
      ++lost;
    if (lost > 0) std::fprintf(stderr, "%zu reconnects (log.txt)\n", lost);
  }
  std::filesystem::remove_all(folder);
  return row;
}

void Print(const char* name, int count, const Row& row) {
  std::printf("%-9s %5d %9.2f %12.2f %12.1f %8d/%-5d %8.2f\n", name, count, row.cpuSeconds,
              row.wakeUps, row.residentKiB / count, row.exactFiles, count, row.stopSeconds);
  std::fflush(stdout);
}

}  // namespace

int CompareIcecastListeners(int count, int seconds, bool tls) {
  const test::TemporaryFolder scratch;
  test::IcecastOptions options;
  // The listeners, the capture, the source and the readiness probes.
  options.clients = count + 16;
  options.sources = 2;
  std::filesystem::path authority;
  if (tls) {
    // Sets SSL_CERT_FILE, which the recorder process inherits.
    const test::TestCertificateAuthority& trusted = test::TrustedTestAuthority();
    options.tlsCertificate = trusted.issue("IP:127.0.0.1,DNS:localhost");
    authority = trusted.certificate();
  }
  test::IcecastServer icecast(options);
  test::FfmpegSource source(icecast, "/live.mp3", test::SourceFormat::Mp3);
  const std::string url = tls ? icecast.tlsUrl("/live.mp3", "127.0.0.1") : icecast.url("/live.mp3");
  // One plain listener from before the first recording to after the last.
  const auto capture = scratch.path() / "capture.mp3";
  MeasuredProcess capturing({"curl", "-s", "-o", capture.string(), icecast.url("/live.mp3")});
  // Its connect must not be the one Icecast's short listen queue drops.
  if (!WaitFor(30s, [&] {
        std::error_code error;
        return std::filesystem::file_size(capture, error) > 0 && !error;
      }))
    std::fprintf(stderr, "the capture got no data\n");

  std::printf("%d listeners of an Icecast mount fed by ffmpeg (MP3, 128 kbit/s)%s, %d s window\n",
              count, tls ? " over TLS" : "", seconds);
  std::printf("%-9s %5s %9s %12s %12s %14s %8s\n", "recorder", "N", "CPU s", "wake/s/strm",
              "RSS KiB/N", "exact files", "stop s");
  const Row ours = Measure(true, count, seconds, url, authority, capture, scratch.path() / "ours");
  Print("larkspan", count, ours);
  const Row curl = Measure(false, count, seconds, url, authority, capture, scratch.path() / "curl");
  Print("curl", count, curl);
  std::printf("larkspan / curl CPU: %.2f\n",
              curl.cpuSeconds > 0 ? ours.cpuSeconds / curl.cpuSeconds : 0);
  capturing.signal(SIGTERM);
  capturing.wait();
  return 0;
}

}  // namespace larkspan::bench
