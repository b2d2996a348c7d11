#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace larkspan::bench {

// What a process cost by the time it ended, as the kernel accounts it.
struct ProcessCost {
  int waitStatus = 0;
  double cpuSeconds = 0;  // user and system time of all its threads
  long maxResidentKiB = 0;
};

// A program the benchmark starts and measures: its CPU time and peak
// resident memory come from wait4, so they cover the whole run, threads
// included, and nothing of the benchmark itself.
class MeasuredProcess {
 public:
  // Starts argv[0] (searched on the PATH when it holds no '/'), standard
  // input from /dev/null, standard output and error to `output`. Throws
  // std::runtime_error when it cannot start.
  explicit MeasuredProcess(const std::vector<std::string>& argv,
                           const std::filesystem::path& output = "/dev/null");
  // Kills the process if it still runs, so that no benchmark leaves one behind.
  ~MeasuredProcess();
  MeasuredProcess(MeasuredProcess&& other) noexcept;
  MeasuredProcess& operator=(MeasuredProcess&&) = delete;
  MeasuredProcess(const MeasuredProcess&) = delete;
  MeasuredProcess& operator=(const MeasuredProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool ended() const { return ended_; }

  void signal(int number) const;
  // Reaps the process when it has ended; true then.
  bool poll();
  // Waits for the end without limit.
  const ProcessCost& wait();
  const ProcessCost& cost() const { return cost_; }

 private:
  bool reap(int options);

  pid_t pid_ = -1;
  bool ended_ = false;
  ProcessCost cost_;
};

// Readings of a running process from /proc; 0 when it is gone.
long ResidentKiB(pid_t pid);      // VmRSS
long ProportionalKiB(pid_t pid);  // Pss: shared pages split among their users
double CpuSecondsSoFar(pid_t pid);
// Voluntary context switches of all its threads so far: how often they went
// to sleep waiting for something, and so were woken.
long long VoluntarySwitches(pid_t pid);

// One of the readings above summed over `processes`.
template <typename Reading>
double Sum(const std::vector<MeasuredProcess>& processes, Reading reading) {
  double total = 0;
  for (const auto& p : processes) total += static_cast<double>(reading(p.pid()));
  return total;
}

// Looks at `done` every 10 ms until it holds (true) or `timeout` passes.
template <typename Done>
bool WaitFor(std::chrono::milliseconds timeout, Done done) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace larkspan::bench
