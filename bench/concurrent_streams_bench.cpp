// Many recordings at once at 128 kbit/s from a local server: our one process
// with a recording thread per stream against one `curl -o` process per
// stream. Prints CPU (whole run and steady state), resident memory, and
// whether every file holds every byte the server sent. With --tls every
// stream is HTTPS, from a certificate of a throw-away authority that both
// recorders trust. With --icecast the streams come from a real Icecast fed
// by ffmpeg instead (see icecast_listeners.h).
//
//   concurrent_streams_bench [--tls] [--seconds S] [N ...]      (default: 100 1000)
//   concurrent_streams_bench --icecast [--tls] [--seconds S] [N ...]   (default: 500)

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/icecast_listeners.h"
#include "bench/measured_process.h"
#include "bench/recorder_swarm.h"
#include "bench/stream_check.h"
#include "bench/stream_server.h"
#include "tests/support/temporary_folder.h"
#include "tests/support/test_certificates.h"

namespace larkspan::bench {
namespace {

using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::size_t kBytesPerSecond = 128'000 / 8;

// Every byte 128 or more (a recorder takes it for audio from the first
// byte), and each stream its own long-period sequence, so that a lost,
// doubled or crossed run of bytes shows.
void Pattern(std::uint32_t id, std::uint64_t offset, char* out, std::size_t count) {
  const std::uint64_t base = offset + (static_cast<std::uint64_t>(id) << 40);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint64_t x = (base + i) * 0x9E3779B97F4A7C15ull;
    out[i] = static_cast<char>(0x80 | ((x >> 40) & 0x7F));
  }
}

struct Figures {
  double cpuSeconds = 0;       // whole run, from wait4
  double steadyCpuShare = 0;   // CPU seconds per second while every stream flowed
  double residentKiB = 0;      // sum of VmRSS while every stream flowed
  double proportionalKiB = 0;  // sum of Pss at the same moment
  double peakResidentKiB = 0;  // sum of each process's peak
  int exactFiles = 0;
  std::uint64_t bytesMissing = 0;
};

// For HTTPS: the server's certificate and key, and the authority that
// signed it; both empty for plain HTTP.
struct Trust {
  std::filesystem::path serverPem;
  std::filesystem::path authority;
};

Figures Measure(bool ours, int count, int seconds, const Trust& trust,
                const std::filesystem::path& folder) {
  const std::uint64_t perStream = static_cast<std::uint64_t>(seconds) * kBytesPerSecond;
  StreamServer server({.bytesPerSecond = kBytesPerSecond,
                       .sendInterval = 100ms,
                       .bytesPerStream = perStream,
                       .content = Pattern,
                       .tlsCertificate = trust.serverPem});
  std::filesystem::create_directories(folder);
  const auto fileOf = [&folder](int i) { return folder / ("rec_" + std::to_string(i) + ".mp3"); };

  std::vector<MeasuredProcess> processes;
  if (ours) {
    processes.emplace_back(RecorderSwarmCommand(folder, server.baseUrl(), count),
                           folder / "swarm.out");
  } else {
    for (int i = 0; i < count; ++i) {
      std::vector<std::string> command = {"curl", "-s", "-o", fileOf(i).string()};
      if (!trust.authority.empty()) command.insert(command.end(), {"--cacert", trust.authority});
      command.push_back(server.baseUrl() + std::to_string(i));
      processes.emplace_back(command);
    }
  }
  WaitFor(60s, [&] { return server.streamsBegun() > 0; });
  const auto firstBegun = SteadyClock::now();
  if (!WaitFor(120s, [&] { return server.streamsBegun() >= static_cast<std::size_t>(count); }))
    std::fprintf(stderr, "only %zu of %d streams began\n", server.streamsBegun(), count);
  const auto allBegun = SteadyClock::now();

  Figures figures;
  // The steady state: every stream flowing, none ended yet.
  const auto steadyStart = allBegun + 2s;
  const auto steadyEnd = firstBegun + std::chrono::seconds(seconds) - 2s;
  if (steadyEnd > steadyStart + 2s) {
    std::this_thread::sleep_until(steadyStart);
    const double cpuBefore = Sum(processes, CpuSecondsSoFar);
    std::this_thread::sleep_until(steadyStart + (steadyEnd - steadyStart) / 2);
    for (const auto& p : processes) {
      figures.residentKiB += static_cast<double>(ResidentKiB(p.pid()));
      figures.proportionalKiB += static_cast<double>(ProportionalKiB(p.pid()));
    }
    std::this_thread::sleep_until(steadyEnd);
    figures.steadyCpuShare = (Sum(processes, CpuSecondsSoFar) - cpuBefore) /
                             std::chrono::duration<double>(steadyEnd - steadyStart).count();
  }

  WaitFor(std::chrono::seconds(seconds) + 120s,
          [&] { return server.streamsCompleted() >= static_cast<std::size_t>(count); });
  if (ours) {
    // Every stream has ended; the recorder keeps reconnecting until stopped.
    WaitFor(15s, [&] {
      for (int i = 0; i < count; ++i) {
        std::error_code error;
        if (std::filesystem::file_size(fileOf(i), error) < perStream) return false;
      }
      return true;
    });
    processes.front().signal(SIGTERM);
  }
  WaitFor(30s, [&] {
    for (auto& p : processes) {
      if (!p.poll()) return false;
    }
    return true;
  });
  for (auto& p : processes) {
    p.signal(SIGKILL);
    const ProcessCost& cost = p.wait();
    figures.cpuSeconds += cost.cpuSeconds;
    figures.peakResidentKiB += static_cast<double>(cost.maxResidentKiB);
  }

  for (int i = 0; i < count; ++i) {
    const StreamFileCheck check =
        CheckStreamFile(fileOf(i), Pattern, static_cast<std::uint32_t>(i));
    if (check.size == perStream && check.matching == perStream) ++figures.exactFiles;
    figures.bytesMissing += perStream - std::min(perStream, check.matching);
  }
  std::filesystem::remove_all(folder);
  return figures;
}

void Print(const char* name, int count, const Figures& f) {
  std::printf("%-9s %5d %9.1f %10.1f %12.1f %12.1f %12.1f %8d/%-5d %10llu\n", name, count,
              f.cpuSeconds, f.steadyCpuShare * 100.0, f.residentKiB / count,
              f.proportionalKiB / count, f.peakResidentKiB / count, f.exactFiles, count,
              static_cast<unsigned long long>(f.bytesMissing));
  std::fflush(stdout);
}

int Main(int argc, char** argv) {
  int seconds = 30;
  bool tls = false;
  bool icecast = false;
  std::vector<int> counts;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--tls") == 0) {
      tls = true;
    } else if (std::strcmp(argv[i], "--icecast") == 0) {
      icecast = true;
    } else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      seconds = std::atoi(argv[++i]);
    } else if (const int count = std::atoi(argv[i]); count > 0) {
      counts.push_back(count);
    } else {
      std::fprintf(stderr, "usage: %s [--icecast] [--tls] [--seconds S] [N ...]\n", argv[0]);
      return 2;
    }
  }
  std::signal(SIGPIPE, SIG_IGN);
  if (icecast) {
    for (const int count : counts.empty() ? std::vector<int>{500} : counts)
      CompareIcecastListeners(count, seconds, tls);
    return 0;
  }
  if (counts.empty()) counts = {100, 1000};

  const test::TemporaryFolder scratch;
  Trust trust;
  if (tls) {
    // Sets SSL_CERT_FILE, which the recorder process inherits.
    const test::TestCertificateAuthority& authority = test::TrustedTestAuthority();
    trust = {.serverPem = authority.issue("IP:127.0.0.1"), .authority = authority.certificate()};
  }
  std::printf(
      "Streams at 128 kbit/s (one send per 100 ms), %d s each, from a local epoll server%s\n",
      seconds, tls ? ", over TLS" : "");
  std::printf("%-9s %5s %9s %10s %12s %12s %12s %14s %10s\n", "recorder", "N", "CPU s", "steady %",
              "RSS KiB/N", "PSS KiB/N", "peak KiB/N", "exact files", "missing");
  for (const int count : counts) {
    Print("larkspan", count, Measure(true, count, seconds, trust, scratch.path() / "larkspan"));
    Print("curl", count, Measure(false, count, seconds, trust, scratch.path() / "curl"));
  }
  return 0;
}

}  // namespace
}  // namespace larkspan::bench

int main(int argc, char** argv) {
  if (const int rc = larkspan::bench::RunRecorderSwarmIfAsked(argc, argv); rc >= 0) return rc;
  return larkspan::bench::Main(argc, argv);
}
