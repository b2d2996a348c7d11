#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "monitor/server_monitor.h"
#include "platform/text.h"
#include "schedule/name_key.h"
#include "tests/support/recording_doubles.h"
#include "tests/support/recording_prompter.h"
#include "tests/support/scripted_clock.h"
#include "tests/support/scripted_random.h"
#include "tests/support/temporary_folder.h"

namespace larkspan::monitor {

// Keeps the values each dialog opened with and closes it as scripted: with
// OK and the given values, or with Cancel (nothing scripted: Cancel).
class ScriptedRecordDialog final : public RecordMountpointDialog {
 public:
  bool exec(RecordMountpointValues& values) override {
    opened.push_back(values);
    if (closes.empty() || !closes.front()) {
      if (!closes.empty()) closes.pop_front();
      return false;
    }
    values = *closes.front();
    closes.pop_front();
    return true;
  }

  std::deque<std::optional<RecordMountpointValues>> closes;
  std::vector<RecordMountpointValues> opened;
};

// The monitor tick with test doubles around it, on Monday 7 December 2026
// (UTC), in a start-up directory of its own.
class MonitorTickTest : public ::testing::Test {
 protected:
  static constexpr std::int64_t kMonday0000 = 1796601600;
  static constexpr int kMondayBit = 2;

  MonitorTickTest() {
    setenv("TZ", "UTC", 1);
    tzset();
  }

  void at(int hour, int minute, int second) {
    clock_.set(kMonday0000 + hour * 3600 + minute * 60 + second);
  }

  // Appends an entry that monitors the server at `url`; returns its index.
  std::size_t addServer(const std::string& programName, const std::string& url, int level,
                        std::int16_t timeout = 30) {
    schedule::ScheduleEntry entry;
    platform::CopyToField(entry.programName, programName);
    platform::CopyToField(entry.url, url);
    entry.nameKey = schedule::nameKey(programName);
    entry.monitorServer = 1;
    entry.monitorLevel = static_cast<std::int8_t>(level);
    entry.timeout = timeout;
    entry.jobSlot = schedule::kJobSlotIdle;
    entry.keep = 1;
    return *profile_.schedule.appendEntry(entry, {});
  }

  std::size_t addPlainEntry(const std::string& programName) {
    schedule::ScheduleEntry entry;
    platform::CopyToField(entry.programName, programName);
    platform::CopyToField(entry.url, "http://127.0.0.1:1/plain");
    entry.jobSlot = schedule::kJobSlotIdle;
    entry.keep = 1;
    return *profile_.schedule.appendEntry(entry, {});
  }

  MonitorContext context() {
    return MonitorContext{.profile = profile_,
                          .jobs = jobs_,
                          .clock = clock_,
                          .prompter = prompter_,
                          .tone = tone_,
                          .log = log_,
                          .ircClient = &irc_,
                          .random = random_,
                          .recordMountpointDialog = dialog_,
                          .statusPage = {.connectTimeout = std::chrono::seconds(2),
                                         .readTimeout = std::chrono::seconds(2),
                                         .fetchTimeout = std::chrono::seconds(5),
                                         .diagnostics = {}}};
  }

  void tick() { monitor_.MonitorServers(context()); }

  std::string logText() const {
    std::ifstream in(folder_.path() / "log.txt", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::vector<std::string> knownUrls() const {
    std::vector<std::string> urls;
    for (const auto& record : profile_.knownMountpoints)
      urls.emplace_back(platform::FieldText(record.url));
    return urls;
  }

  const schedule::ScheduleEntry& entry(std::size_t index) const {
    return profile_.schedule.entry(index);
  }

  test::TemporaryFolder folder_;
  schedule::Profile profile_;
  recording::JobTable jobs_;
  test::ScriptedClock clock_{kMonday0000};
  test::RecordingPrompter prompter_;
  test::RecordingTone tone_;
  platform::ActivityLog log_{folder_.path()};
  test::RecordingIrcBot irc_;
  test::ScriptedRandom random_{{}};
  ScriptedRecordDialog dialog_;
  ServerMonitor monitor_;
};

}  // namespace larkspan::monitor
