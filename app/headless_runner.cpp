#include "app/headless_runner.h"

#include <csignal>
#include <ctime>

#include "app/engine.h"
#include "app/exit_status.h"
#include "app/startup_lock.h"
#include "app/stop_signals.h"
#include "platform/diagnostics.h"
#include "platform/text.h"

namespace larkspan::app {
namespace {

using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

// The window's members without a window: the settings are their own boxes.
class HeadlessWindow final : public schedule::SchedulerWindow {
 public:
  explicit HeadlessWindow(const schedule::ProfileSettings& settings) : settings_(settings) {}
  void commitControls() override {}
  void refreshControls() override {}
  std::string recordingPathText() const override {
    return std::string(platform::FieldText(settings_.recordingPath));
  }
  bool startSoundChecked() const override { return settings_.startSound != 0; }
  std::string startSoundFileText() const override {
    return std::string(platform::FieldText(settings_.startSoundFile));
  }
  void refreshTrayIcon() override {}
  void updateTrayIcon(const std::string&) override {}

 private:
  const schedule::ProfileSettings& settings_;
};

// A timer of the loop: due every `period`, never firing twice to catch up.
struct LoopTimer {
  milliseconds period;
  SteadyClock::time_point next;

  bool due(SteadyClock::time_point now) {
    if (now < next) return false;
    next += period;
    if (next <= now) next = now + period;
    return true;
  }
};

std::string ForTerminal(std::string text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i]);
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

}  // namespace

int RunHeadless(const std::filesystem::path& startupDirectory) {
  platform::StderrPrompter prompter;
  // Held until after the exit sequence has saved the profile.
  const StartupLock lock(startupDirectory);
  if (!lock.refusal().empty()) {
    prompter.warning(lock.refusal());
    return kExitAnotherInstance;
  }
  Engine engine(startupDirectory, prompter);
  engine.startUp();
  HeadlessWindow window(engine.profile().settings);
  // Questions are answered No, so the record-options dialog never opens.
  monitor::CancellingRecordMountpointDialog recordOptions;

  const sigset_t stopSignals = StopSignals();

  const auto start = SteadyClock::now();
  LoopTimer schedulerTimer{milliseconds(5000), start + milliseconds(5000)};
  LoopTimer monitorTimer{milliseconds(5000), start + milliseconds(5000)};
  LoopTimer resultsTimer{milliseconds(15000), start + milliseconds(15000)};
  std::string shownStatus;

  for (;;) {
    const auto now = SteadyClock::now();
    const auto next = std::min({schedulerTimer.next, monitorTimer.next, resultsTimer.next});
    if (next > now) {
      const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(next - now);
      const timespec timeout{static_cast<time_t>(wait.count() / 1'000'000'000),
                             static_cast<long>(wait.count() % 1'000'000'000)};
      if (sigtimedwait(&stopSignals, nullptr, &timeout) > 0) break;
      continue;
    }
    if (schedulerTimer.due(now)) {
      engine.schedulerTick(window);
      const std::string& status = engine.schedulerState().statusText;
      if (status != shownStatus) {
        shownStatus = status;
        platform::WriteStdoutLine(ForTerminal(status));
      }
    }
    if (monitorTimer.due(now)) engine.monitorTick(recordOptions);
    if (resultsTimer.due(now)) engine.clearRecentResults();
  }

  if (!engine.shutDown()) {
    platform::WriteStderrLine(engine.profileNotSavedText());
    return kExitFailure;
  }
  return kExitSuccess;
}

}  // namespace larkspan::app
