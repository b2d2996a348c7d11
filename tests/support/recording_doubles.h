#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "irc/irc_bot_mfc.h"
#include "platform/command_runner.h"
#include "platform/tone.h"

namespace larkspan::test {

// What a double was asked to do, safe to add to from several threads.
template <typename T>
class Recorded {
 public:
  void add(T item) {
    const std::lock_guard lock(mutex_);
    items_.push_back(std::move(item));
  }
  std::vector<T> all() const {
    const std::lock_guard lock(mutex_);
    return items_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<T> items_;
};

// Records the tones asked for and plays nothing.
class RecordingTone final : public platform::Tone {
 public:
  void play(int frequencyHz, int durationMs) override { played_.add({frequencyHz, durationMs}); }
  std::vector<std::pair<int, int>> played() const { return played_.all(); }

 private:
  Recorded<std::pair<int, int>> played_;
};

// Records every command and runs none; each succeeds.
class RecordingCommandRunner final : public platform::CommandRunner {
 public:
  int run(const std::vector<std::string>& argv) override {
    commands_.add(argv);
    return 0;
  }
  std::vector<std::vector<std::string>> commands() const { return commands_.all(); }

 private:
  Recorded<std::vector<std::string>> commands_;
};

// An IRC client that never connects and records the lines it is asked to
// post ("SAY ...") and send ("RAW ...").
class RecordingIrcBot final : public irc::IrcBotMFC {
 public:
  explicit RecordingIrcBot(std::string_view channel = "#larkspan")
      : IrcBotMFC(irc::IrcClientSettings{.channel = channel}) {}

  bool Connect() override { return true; }
  bool Quit() override { return true; }
  void Close() override {}
  bool Say(std::string_view text) override {
    lines_.add("SAY " + std::string(text));
    return true;
  }
  std::ptrdiff_t SendRaw(std::string_view line) override {
    lines_.add("RAW " + std::string(line));
    return static_cast<std::ptrdiff_t>(line.size());
  }
  std::vector<std::string> lines() const { return lines_.all(); }

 private:
  Recorded<std::string> lines_;
};

}  // namespace larkspan::test
