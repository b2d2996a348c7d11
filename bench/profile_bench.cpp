// Saves and loads a profile of 10,000 entries (about 49 MB, most of it
// MonitorOptions records) and prints the times beside those of copying a file
// of the same size with cp, the floor for moving that many bytes through the
// file system. The save flushes its file to the disk, so the copy is also
// timed with the same flush added.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "schedule/byte_io.h"
#include "schedule/control_text.h"
#include "schedule/profile.h"
#include "schedule/profile_writer.h"

extern char** environ;

namespace {

using namespace larkspan::schedule;
using Clock = std::chrono::steady_clock;

constexpr int kEntries = 10000;
constexpr int kRounds = 5;

void Fill(Profile& profile) {
  for (int i = 0; i < kEntries; ++i) {
    ScheduleEntry entry;
    entry.jobSlot = kJobSlotIdle;
    entry.keep = 1;
    entry.days = 0x3E;
    entry.startHour = i % 24;
    CopyControlText(entry.programName, "Program number " + std::to_string(i));
    CopyControlText(entry.url, "http://127.0.0.1:8000/stream" + std::to_string(i));
    MonitorOptions options;
    CopyControlText(options.longIgnoreNames[0], "/a-mountpoint-to-leave-alone");
    CopyControlText(options.ignoredExtensions[0], "ogg");
    profile.schedule.appendEntry(entry, options);
  }
  profile.knownMountpoints.resize(100);
}

bool RunCp(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::string cp = "cp", source = from.string(), target = to.string();
  char* argv[] = {cp.data(), source.data(), target.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "cp", nullptr, nullptr, argv, environ) != 0) return false;
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The save's own work without its flush to the disk, to set beside cp.
bool WriteWithoutFlush(const Profile& profile, const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  FdSink sink(fd);
  const bool written =
      WriteProfile(sink, profile.settings, profile.schedule, profile.knownMountpoints);
  return ::close(fd) == 0 && written;
}

void Flush(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

template <typename Step>
double Milliseconds(Step&& step) {
  const auto start = Clock::now();
  step();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Figures {
  std::vector<double> times;
  void add(double t) { times.push_back(t); }
  double best() const { return *std::min_element(times.begin(), times.end()); }
  double median() {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
  }
};

}  // namespace

int main() {
  std::string pattern = (std::filesystem::temp_directory_path() / "larkspan-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return 1;
  const std::filesystem::path folder = pattern;
  const std::filesystem::path profileFile = folder / kProfileFileName;
  const std::filesystem::path copy = folder / "copy.prf";

  auto profile = std::make_unique<Profile>();
  Fill(*profile);

  Figures save, write, load, cp, cpFlush;
  bool ok = true;
  for (int round = 0; round < kRounds; ++round) {
    save.add(Milliseconds([&] { ok = SaveProfile(*profile, folder) && ok; }));
    std::filesystem::remove(copy);
    write.add(Milliseconds([&] { ok = WriteWithoutFlush(*profile, copy) && ok; }));
    auto loaded = std::make_unique<Profile>();
    load.add(Milliseconds([&] { ok = LoadProfile(*loaded, folder) && ok; }));
    ok = ok && loaded->schedule.count() == kEntries && loaded->knownMountpoints.size() == 100;
    std::filesystem::remove(copy);
    cp.add(Milliseconds([&] { ok = RunCp(profileFile, copy) && ok; }));
    std::filesystem::remove(copy);
    cpFlush.add(Milliseconds([&] {
      ok = RunCp(profileFile, copy) && ok;
      Flush(copy);
    }));
  }
  const auto bytes = std::filesystem::file_size(profileFile);
  std::filesystem::remove_all(folder);
  if (!ok) {
    std::puts("profile_bench: a save, load or copy failed");
    return 1;
  }

  std::printf("profile of %d entries, %.1f MB, best / median of %d rounds\n", kEntries,
              static_cast<double>(bytes) / 1e6, kRounds);
  std::printf("  SaveProfile (with fsync) %8.1f / %8.1f ms\n", save.best(), save.median());
  std::printf("  the same without fsync   %8.1f / %8.1f ms\n", write.best(), write.median());
  // The program loads once per process, into memory it has never touched; the
  // first round shows that cost, the later ones reuse freed memory.
  const double coldLoad = load.times.front();
  std::printf("  LoadProfile              %8.1f / %8.1f ms, first round %.1f ms\n", load.best(),
              load.median(), coldLoad);
  std::printf("  cp                       %8.1f / %8.1f ms\n", cp.best(), cp.median());
  std::printf("  cp then fsync            %8.1f / %8.1f ms\n", cpFlush.best(), cpFlush.median());
  const double cpMedian = cp.median();
  std::printf(
      "  save / (cp then fsync) %.2f, save without fsync / cp %.2f, load / cp %.2f, "
      "first load / cp %.2f (target: 3 or less)\n",
      save.median() / cpFlush.median(), write.median() / cpMedian, load.median() / cpMedian,
      coldLoad / cpMedian);
  return 0;
}
