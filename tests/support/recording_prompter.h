#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/prompter.h"

namespace larkspan::test {

// Records every message box; questions take scripted answers (No when none
// is left). Safe to call from several threads.
class RecordingPrompter final : public platform::Prompter {
 public:
  enum class Kind { Warning, Information, Question };
  struct Box {
    Kind kind;
    std::string text;
    bool operator==(const Box&) const = default;
  };

  void warning(const std::string& text) override { record(Kind::Warning, text); }
  void information(const std::string& text) override { record(Kind::Information, text); }
  bool askYesNo(const std::string& text) override {
    record(Kind::Question, text);
    const std::lock_guard lock(mutex_);
    if (answers_.empty()) return false;
    const bool yes = answers_.front();
    answers_.pop_front();
    return yes;
  }

  // Runs, given the box's text, while each box is open and before it is
  // recorded, as the window's timers do while a box waits for its answer.
  // Set it before any thread can show a box.
  std::function<void(const std::string&)> whileOpen;

  void answerNext(bool yes) {
    const std::lock_guard lock(mutex_);
    answers_.push_back(yes);
  }
  std::vector<Box> boxes() const {
    const std::lock_guard lock(mutex_);
    return boxes_;
  }
  std::vector<std::string> questions() const {
    std::vector<std::string> texts;
    for (const Box& box : boxes())
      if (box.kind == Kind::Question) texts.push_back(box.text);
    return texts;
  }

 private:
  void record(Kind kind, const std::string& text) {
    if (whileOpen) whileOpen(text);
    const std::lock_guard lock(mutex_);
    boxes_.push_back({kind, text});
  }

  mutable std::mutex mutex_;
  std::vector<Box> boxes_;
  std::deque<bool> answers_;
};

}  // namespace larkspan::test
