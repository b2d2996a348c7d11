#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "irc/irc_bot_mfc.h"
#include "platform/command_runner.h"
#include "platform/tone.h"

namespace larkspan::test {

// Records the tones asked for and plays nothing.
class RecordingTone final : public platform::Tone {
 public:
  void play(int frequencyHz, int durationMs) override {
    const std::lock_guard lock(mutex_);
    played_.emplace_back(frequencyHz, durationMs);
  }
  std::vector<std::pair<int, int>> played() const {
    const std::lock_guard lock(mutex_);
    return played_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<int, int>> played_;
};

// Records every command and answers with what `behaviour` returns (0 when
// there is none).
class RecordingCommandRunner final : public platform::CommandRunner {
 public:
  using Behaviour = std::function<int(const std::vector<std::string>&)>;
  explicit RecordingCommandRunner(Behaviour behaviour = {}) : behaviour_(std::move(behaviour)) {}

  void setBehaviour(Behaviour behaviour) {
    const std::lock_guard lock(mutex_);
    behaviour_ = std::move(behaviour);
  }

  int run(const std::vector<std::string>& argv) override {
    Behaviour behaviour;
    {
      const std::lock_guard lock(mutex_);
      commands_.push_back(argv);
      behaviour = behaviour_;
    }
    return behaviour ? behaviour(argv) : 0;
  }
  std::vector<std::vector<std::string>> commands() const {
    const std::lock_guard lock(mutex_);
    return commands_;
  }

 private:
  Behaviour behaviour_;
  mutable std::mutex mutex_;
  std::vector<std::vector<std::string>> commands_;
};

// An IRC client that never connects and records the lines it is asked to
// post and send.
class RecordingIrcBot final : public irc::IrcBotMFC {
 public:
  explicit RecordingIrcBot(std::string_view channel = "#larkspan")
      : IrcBotMFC(irc::IrcClientSettings{.channel = channel}) {}

  bool Connect() override { return true; }
  bool Quit() override { return true; }
  void Close() override {}
  bool Say(std::string_view text) override {
    record("SAY " + std::string(text));
    return true;
  }
  std::ptrdiff_t SendRaw(std::string_view line) override {
    record("RAW " + std::string(line));
    return static_cast<std::ptrdiff_t>(line.size());
  }

  std::vector<std::string> lines() const {
    const std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  void record(std::string line) {
    const std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
  }
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace larkspan::test
