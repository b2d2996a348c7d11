#include "bench/measured_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace larkspan::bench {
namespace {

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// The number after `key` in a "Key:   value kB" file of /proc.
long KiBField(const std::string& file, const std::string& key) {
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, key.size(), key) == 0)
      return std::strtol(line.c_str() + key.size(), nullptr, 10);
  }
  return 0;
}

}  // namespace

MeasuredProcess::MeasuredProcess(const std::vector<std::string>& argv,
                                 const std::filesystem::path& output) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                   O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  // The benchmark blocks its stop signals; a child must get them back.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  const int rc = posix_spawnp(&pid_, args[0], &actions, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
}

MeasuredProcess::MeasuredProcess(MeasuredProcess&& other) noexcept
    : pid_(other.pid_), ended_(other.ended_), cost_(other.cost_) {
  other.pid_ = -1;
}

MeasuredProcess::~MeasuredProcess() {
  if (pid_ > 0 && !ended_) {
    ::kill(pid_, SIGKILL);
    reap(0);
  }
}

void MeasuredProcess::signal(int number) const {
  if (pid_ > 0 && !ended_) ::kill(pid_, number);
}

bool MeasuredProcess::reap(int options) {
  int status = 0;
  rusage usage{};
  pid_t r;
  do {
    r = ::wait4(pid_, &status, options, &usage);
  } while (r < 0 && errno == EINTR);
  if (r != pid_) return false;
  ended_ = true;
  cost_.waitStatus = status;
  cost_.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  cost_.maxResidentKiB = usage.ru_maxrss;
  return true;
}

bool MeasuredProcess::poll() {
  return ended_ || reap(WNOHANG);
}

const ProcessCost& MeasuredProcess::wait() {
  if (!ended_) reap(0);
  return cost_;
}

long ResidentKiB(pid_t pid) {
  return KiBField("/proc/" + std::to_string(pid) + "/status", "VmRSS:");
}

long ProportionalKiB(pid_t pid) {
  return KiBField("/proc/" + std::to_string(pid) + "/smaps_rollup", "Pss:");
}

double CpuSecondsSoFar(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The command name in parentheses may hold blanks: count fields after it.
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  // Fields 3 to 13 come before utime (14) and stime (15).
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

long long VoluntarySwitches(pid_t pid) {
  long long total = 0;
  std::error_code error;
  const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
  for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
    total += KiBField((task.path() / "status").string(), "voluntary_ctxt_switches:");
  }
  return total;
}

}  // namespace larkspan::bench
